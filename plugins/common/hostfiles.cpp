#include "hostfiles.h"

#include <QRegularExpression>

#include <algorithm>
#include <cstring>

namespace HostFiles {

ContentDevice::ContentDevice(const QByteArray &bytes) : m_bytes(bytes)
{
    setBuffer(&m_bytes);
    open(QIODevice::ReadOnly);
}

qint64 ContentDevice::readLineData(char *data, qint64 maxSize)
{
    const qint64 at = pos();
    const qint64 left = qMin<qint64>(maxSize, m_bytes.size() - at);
    if (left <= 0)
        return 0;
    const char *from = m_bytes.constData() + at;
    const void *feed = std::memchr(from, '\n', std::size_t(left));
    // Up to and with the line feed, or as far as allowed.
    const qint64 size = feed ? static_cast<const char *>(feed) - from + 1 : left;
    std::memcpy(data, from, std::size_t(size));
    return size;
}

bool matchesNameFilters(const QString &name, const QStringList &filters)
{
    if (filters.isEmpty())
        return true;
    for (const QString &filter : filters) {
        const QRegularExpression expression(QRegularExpression::wildcardToRegularExpression(filter),
                                            QRegularExpression::CaseInsensitiveOption);
        if (expression.match(name).hasMatch())
            return true;
    }
    return false;
}

QStringList regularFileNames(const QList<HostDirectoryEntry> &entries,
                             const QStringList &nameFilters, Order order)
{
    QStringList names;
    for (const HostDirectoryEntry &entry : entries) {
        // A link counts as what it points at: a dangling one, or one to a directory or a
        // device, is no file.
        if (entry.type != HostFileType::Regular || entry.name.startsWith(QLatin1Char('.')))
            continue;
        if (matchesNameFilters(entry.name, nameFilters))
            names.append(entry.name);
    }
    if (order == Order::ByName) {
        // Case folded; names equal so keep the connection's (bytewise) order between them.
        std::stable_sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
            return a.toLower() < b.toLower();
        });
    }
    return names;
}

Files regularFiles(const HostConnection &host, const QString &directory,
                   const QStringList &nameFilters, Order order)
{
    const HostDirectoryListing listing = host.listDirectory(directory);
    Files files;
    files.code = listing.code;
    files.errorText = listing.errorText;
    files.cut = listing.cut;
    if (listing.ok())
        files.names = regularFileNames(listing.entries, nameFilters, order);
    return files;
}

} // namespace HostFiles
