// libFuzzer target for the installed-packages readers: the input is taken as a package list
// file and, line by line, as dpkg-query's answer (decoded as the read task decodes both); the
// results go into a package map and its HTML report. Nothing may crash, and no name or
// result may ever turn into markup.

#include <packagelist.h>

#include <childprocess.h>

#include <QByteArray>
#include <QMap>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const QString text = ChildProcess::decodeLocal8Bit(bytes);
    QMap<QString, QString> packages;
    for (const PackageList::Entry &entry : PackageList::parse(text)) {
        if (entry.name.contains(QLatin1Char('\n')) ||
            (entry.optional && entry.name.contains(QLatin1Char('!'))) ||
            entry.alternatives.isEmpty())
            __builtin_trap();
        if (entry.alternatives.size() > 1 || entry.alternatives.first() != entry.name) {
            for (const QString &alternative : entry.alternatives) {
                if (alternative.isEmpty() || alternative.contains(QLatin1Char('|')) ||
                    alternative != alternative.trimmed())
                    __builtin_trap();
            }
        }
        const PackageList::Record record = PackageList::parseRecord(entry.name);
        if (record.kind != PackageList::Record::Installed && !record.version.isEmpty())
            __builtin_trap();
        packages.insert(entry.name, record.version);
    }
    const QString html = PackageList::htmlReport(packages, QStringLiteral("Package Name"),
                                                 QStringLiteral("Version"));
    // Every "<" is one of the report's own tags: the table, the header row, and six a row.
    if (html.count(QLatin1Char('<')) != 8 + 6 * packages.size())
        __builtin_trap();
    return 0;
}
