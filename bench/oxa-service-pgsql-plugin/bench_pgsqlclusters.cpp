// Reads `pg_lsclusters --no-header` output of 1,000 to 100,000 clusters, looks up the last
// cluster as a cluster read does, and hangs the clusters under the container as a list read
// does, with the list widget's model and sorting proxy attached. Prints the processor time
// per cluster: reading and placing must grow linearly with the number of clusters.
//
// Usage: bench_pgsqlclusters [sizes...]

#include <servicepgsqlclusterelement.h>
#include <servicepgsqlclusterselement.h>
#include <servicepgsqlparser.h>

#include <module.h>
#include <treenodemodel.h>
#include <treenodesortfilterproxymodel.h>

#include <QApplication>
#include <QTextStream>

#include <ctime>

namespace {

// The thread's processor time: the machine may be busy with other work, which wall-clock
// time would count too.
qint64 cpuNs()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

QStringList makeOutput(int count)
{
    QStringList lines;
    lines.reserve(count);
    for (int i = 0; i < count; ++i) {
        lines << QStringLiteral("%1 c%2 %3 %4 postgres /var/lib/postgresql/%1/c%2 "
                                "/var/log/postgresql/postgresql-%1-c%2.log")
                     .arg(i % 3 ? QStringLiteral("15") : QStringLiteral("9.6"))
                     .arg(i)
                     .arg(1024 + i % 60000)
                     .arg(i % 2 ? QStringLiteral("online") : QStringLiteral("down"));
    }
    return lines;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QString::fromLocal8Bit(argv[i]).toInt();
    if (sizes.isEmpty())
        sizes = {1000, 10000, 100000};

    QTextStream out(stdout);
    out << "clusters  parse ns/cluster  find-last ns/cluster  place ns/cluster\n";
    for (int count : sizes) {
        const QStringList lines = makeOutput(count);
        qint64 start = cpuNs();
        const QVector<ElementData> records = ServicePgsqlParser::clusterRecords(lines);
        const qint64 parseNs = cpuNs() - start;

        ElementData last = records.last();
        start = cpuNs();
        ServicePgsqlParser::updateCluster(last, lines);
        const qint64 findNs = cpuNs() - start;

        Module module(QStringLiteral("ServicePgsqlModule"));
        module.setData(QStringLiteral("administrator"), true);
        ServicePgsqlClustersElement clusters(&module);
        TreeNodeModel model(&clusters);
        TreeNodeSortFilterProxyModel proxy(0);
        proxy.setDynamicSortFilter(true);
        proxy.setSourceModel(&model);
        proxy.sort(0);
        start = cpuNs();
        QList<TreeNode *> elements;
        elements.reserve(records.size());
        for (const ElementData &record : records) {
            auto *cluster = new ServicePgsqlClusterElement(&module);
            cluster->setTitle(ServicePgsqlParser::clusterTitle(
                record.property(QStringLiteral("name")).toString(),
                record.property(QStringLiteral("version")).toString()));
            cluster->setElementData(new ElementData(record));
            elements << cluster;
        }
        clusters.clearDelete();
        clusters.append(elements);
        const qint64 placeNs = cpuNs() - start;

        out << qSetFieldWidth(8) << count << qSetFieldWidth(18) << parseNs / count
            << qSetFieldWidth(22) << findNs / count << qSetFieldWidth(18) << placeNs / count
            << qSetFieldWidth(0) << "\n";
        out.flush();
        clusters.clearDelete();
    }
    return 0;
}
