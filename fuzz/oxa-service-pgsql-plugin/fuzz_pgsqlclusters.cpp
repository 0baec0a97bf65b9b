// libFuzzer target for the PostgreSQL readers: the input is taken as dpkg-query output and as
// pg_lsclusters output (decoded as the tasks decode it), and each line's cluster is looked
// up again as a cluster read does; then as a start.conf, read and rewritten. Nothing may crash
// or read past the fields present, and a rewritten start.conf gives the mode written.

#include <servicepgsqlparser.h>

#include <childprocess.h>

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const QStringList lines = ChildProcess::splitLines(ChildProcess::decodeLocal8Bit(bytes));
    ServicePgsqlParser::installedVersions(lines);
    const QVector<ElementData> records = ServicePgsqlParser::clusterRecords(lines);
    // Looking every cluster up again is quadratic: a few suffice to reach every branch.
    for (int i = 0; i < records.size() && i < 8; ++i) {
        ElementData record = records.at(i);
        ServicePgsqlParser::updateCluster(record, lines);
        const QStringList directories =
            record.property(QStringLiteral("directories")).toStringList();
        if (!directories.isEmpty() && directories.size() != 3)
            __builtin_trap();
    }
    ServicePgsqlParser::startConfValue(bytes);
    const QByteArray manual = ServicePgsqlParser::rewriteStartConf(bytes, QStringLiteral("manual"));
    if (ServicePgsqlParser::startConfValue(manual) != QLatin1String("manual"))
        __builtin_trap();
    return 0;
}
