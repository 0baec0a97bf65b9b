// libFuzzer target for the reading of dpkg-query's answer about one package of a list: the
// input is decoded as the read task decodes the output and classified, and the result goes
// into the package map and its HTML report as the task puts it there. Nothing may crash;
// only three TAB-separated fields can say "installed", with the second one as the version;
// and no version may turn into markup.

#include <packagelist.h>

#include <childprocess.h>

#include <QByteArray>
#include <QMap>
#include <QVector>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ProcessResult result;
    result.finished = true;
    result.standardOutput = QByteArray(reinterpret_cast<const char *>(data), int(size));
    const QString output = result.outputText();
    const PackageList::Record record = PackageList::parseRecord(output);

    const QVector<QStringRef> fields = output.splitRef(QLatin1Char('\t'));
    switch (record.kind) {
    case PackageList::Record::Unknown:
        if (!output.isEmpty() && fields.size() != 3)
            __builtin_trap();
        break;
    case PackageList::Record::Malformed:
        if (fields.size() == 3)
            __builtin_trap();
        break;
    case PackageList::Record::Installed:
        if (fields.size() != 3 || record.version != fields.at(1) ||
            !fields.at(2).startsWith(QLatin1String("install ok")))
            __builtin_trap();
        break;
    case PackageList::Record::NotInstalled:
        if (fields.size() != 3)
            __builtin_trap();
        break;
    }
    if (record.kind != PackageList::Record::Installed && !record.version.isEmpty())
        __builtin_trap();

    QMap<QString, QString> packages;
    packages.insert(QStringLiteral("package"), record.version);
    const QString html = PackageList::htmlReport(packages, QStringLiteral("Package Name"),
                                                 QStringLiteral("Version"));
    if (html.count(QLatin1Char('<')) != 8 + 6)
        __builtin_trap();
    return 0;
}
