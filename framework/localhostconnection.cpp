#include "localhostconnection.h"

#include <hostiofiles.h>

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <cstring>

#include <unistd.h>

namespace {

std::string encoded(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

/// @p bytes as the library's bound, within what one QByteArray holds (less than 2 GiB).
std::size_t byteBound(qint64 bytes)
{
    return std::size_t(qBound<qint64>(0, bytes, qint64(1) << 30));
}

QString errnoText(int error)
{
    char buffer[256];
    // The GNU strerror_r: safe on many threads at once, unlike strerror.
    return QString::fromLocal8Bit(::strerror_r(error, buffer, sizeof buffer));
}

/// The framework's form of @p outcome, with a message for a failure.
void setStatus(HostFileStatus *status, const hostio::Outcome &outcome)
{
    switch (outcome.status) {
    case hostio::Status::Ok:
        status->code = HostFileStatus::Ok;
        status->errorText.clear();
        return;
    case hostio::Status::Missing:
        status->code = HostFileStatus::Missing;
        status->errorText = errnoText(outcome.error ? outcome.error : ENOENT);
        return;
    case hostio::Status::NotRegular:
        status->code = HostFileStatus::NotRegular;
        status->errorText = QCoreApplication::translate("QObject", "Not a regular file");
        return;
    case hostio::Status::NotDirectory:
        status->code = HostFileStatus::NotDirectory;
        status->errorText = errnoText(ENOTDIR);
        return;
    case hostio::Status::Link:
        status->code = HostFileStatus::Link;
        status->errorText = QCoreApplication::translate("HostConnection", "Is a symbolic link");
        return;
    case hostio::Status::TooLarge:
        status->code = HostFileStatus::TooLarge;
        status->errorText = QCoreApplication::translate("HostConnection", "Larger than %1 bytes")
                                .arg(qulonglong(hostio::MaxWriteBytes));
        return;
    case hostio::Status::Failed:
        break;
    }
    status->code = HostFileStatus::Failed;
    status->errorText = errnoText(outcome.error ? outcome.error : EIO);
}

HostFileType fromHostio(hostio::FileType type)
{
    switch (type) {
    case hostio::FileType::None:
        return HostFileType::None;
    case hostio::FileType::Regular:
        return HostFileType::Regular;
    case hostio::FileType::Directory:
        return HostFileType::Directory;
    case hostio::FileType::Fifo:
        return HostFileType::Fifo;
    case hostio::FileType::Socket:
        return HostFileType::Socket;
    case hostio::FileType::CharacterDevice:
        return HostFileType::CharacterDevice;
    case hostio::FileType::BlockDevice:
        return HostFileType::BlockDevice;
    case hostio::FileType::Unknown:
        break;
    }
    return HostFileType::Unknown;
}

HostFileContent fromHostio(const hostio::FileContent &content)
{
    HostFileContent result;
    setStatus(&result, content);
    result.data = QByteArray(content.data.data(), int(content.data.size()));
    result.cut = content.cut;
    return result;
}

QString decoded(const std::string &name)
{
    return QFile::decodeName(QByteArray::fromStdString(name));
}

} // namespace

QSharedPointer<HostConnection> LocalHostConnection::outsideConsole()
{
    // One for the whole process: it holds no state, and every thread may share it.
    static const QSharedPointer<HostConnection> local(new LocalHostConnection);
    return local;
}

bool LocalHostConnection::isPrivileged() const
{
    return ::geteuid() == 0;
}

QString LocalHostConnection::findProgram(const QString &program) const
{
    return ChildProcess::findProgram(program);
}

ProcessResult LocalHostConnection::run(const QString &program, const QStringList &arguments,
                                       int timeoutMs) const
{
    return ChildProcess::run(program, arguments, timeoutMs);
}

ProcessResult LocalHostConnection::runChange(const QString &program, const QStringList &arguments,
                                             const ChildProcess::ChangeWait &wait) const
{
    return ChildProcess::runChange(program, arguments, wait);
}

DetachedStart LocalHostConnection::startDetached(const QString &program,
                                                 const QStringList &arguments,
                                                 const QList<QByteArray> &environment,
                                                 int graceMs) const
{
    return ChildProcess::startDetached(program, arguments, environment, graceMs);
}

HostFileContent LocalHostConnection::readFile(const QString &path, qint64 maxBytes) const
{
    return fromHostio(hostio::readFile(encoded(path), byteBound(maxBytes)));
}

HostFileContent LocalHostConnection::readTail(const QString &path, int lines, qint64 maxBytes) const
{
    return fromHostio(
        hostio::readTail(encoded(path), std::size_t(qMax(0, lines)), byteBound(maxBytes)));
}

HostDirectoryListing LocalHostConnection::listDirectory(const QString &path, int maxEntries) const
{
    const hostio::DirectoryListing listing =
        hostio::listDirectory(encoded(path), std::size_t(qMax(0, maxEntries)));
    HostDirectoryListing result;
    setStatus(&result, listing);
    result.cut = listing.cut;
    result.entries.reserve(int(listing.entries.size()));
    for (const hostio::DirectoryEntry &entry : listing.entries) {
        HostDirectoryEntry item;
        item.rawName = QByteArray::fromStdString(entry.name);
        item.name = QFile::decodeName(item.rawName);
        item.type = fromHostio(entry.type);
        item.link = entry.link;
        result.entries.append(item);
    }
    return result;
}

HostRemoval LocalHostConnection::removePlainEntries(const QString &directory) const
{
    const hostio::Removal removal = hostio::removePlainEntries(encoded(directory));
    HostRemoval result;
    setStatus(&result, removal);
    for (const std::string &name : removal.removed)
        result.removed.append(decoded(name));
    for (const auto &failed : removal.failed)
        result.failed.append(decoded(failed.first));
    // As people read a listing: case folded, and the exact case only between equals.
    std::sort(result.failed.begin(), result.failed.end(), [](const QString &a, const QString &b) {
        const int folded = a.compare(b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a < b;
    });
    return result;
}

HostFileStatus LocalHostConnection::writeFile(const QString &path, const QByteArray &contents,
                                              int newFileMode) const
{
    HostFileStatus result;
    setStatus(&result, hostio::writeFileAtomically(encoded(path), contents.toStdString(),
                                                   mode_t(newFileMode & 07777)));
    return result;
}

HostPathInfo LocalHostConnection::pathInfo(const QString &path) const
{
    const hostio::PathInfo info = hostio::pathInfo(encoded(path));
    HostPathInfo result;
    result.type = fromHostio(info.type);
    result.link = info.link;
    return result;
}
