// Loads 10,000 and 100,000 tree nodes with TreeNode::loadTreeFromList into a TreeNodeModel
// shown through a sorting TreeNodeSortFilterProxyModel, flat and in two levels, and prints
// the time per node. Loading must grow linearly with the list (hash lookup, one insertion
// notice for the top level); the proxy adds its sort, n log n in comparisons.
//
// Usage: bench-treeload [repetitions] [sizes...]

#include <treenode.h>
#include <treenodemodel.h>
#include <treenodesortfilterproxymodel.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTextStream>

#include <algorithm>
#include <ctime>

namespace {

enum class Shape
{
    Flat,
    TwoLevel
};

// Times are the thread's processor time: the machine may be busy with other work, which
// wall-clock time would count too. The load is also given as wall-clock time.
qint64 cpuNs()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

struct Timing
{
    qint64 loadWallNs = 0; ///< loadTreeFromList, with the model and proxy attached
    qint64 loadNs = 0;
    qint64 walkNs = 0;      ///< every row of the proxy visited as a view does (sorts level two)
    qint64 clearNs = 0;     ///< clearDelete of the root
    int insertions = 0;     ///< rowsInserted the proxy emitted for the load
    qint64 modelOnlyNs = 0; ///< the load without the proxy
};

// Ids like "eth2" and "eth10" make the natural comparison do some work. Two levels: one
// parent for every hundred nodes; the list is shuffled, so children often come first.
QList<TreeNode *> makeNodes(int count, Shape shape)
{
    QList<TreeNode *> nodes;
    nodes.reserve(count);
    const int perParent = 100;
    for (int i = 0; i < count; ++i) {
        if (shape == Shape::Flat || i % perParent == 0) {
            nodes << new TreeNode(0, QStringLiteral("node%1").arg(i));
        } else {
            auto *node = new TreeNode(1, QStringLiteral("node%1").arg(i));
            node->setParentId(QStringLiteral("node%1").arg(i - i % perParent));
            nodes << node;
        }
    }
    std::shuffle(nodes.begin(), nodes.end(), *QRandomGenerator::global());
    return nodes;
}

qint64 visit(const QAbstractItemModel &model, const QModelIndex &parent)
{
    qint64 rows = 0;
    const int count = model.rowCount(parent);
    for (int row = 0; row < count; ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        index.data(); // as a view paints the row
        ++rows;
        if (model.hasChildren(index)) // as a view asks before it expands
            rows += visit(model, index);
    }
    return rows;
}

// The framework's own part: the same load into a model that nothing sorts.
qint64 measureModelOnly(int count, Shape shape)
{
    TreeNode root;
    TreeNodeModel model(&root);
    const QList<TreeNode *> nodes = makeNodes(count, shape);
    const qint64 cpu = cpuNs();
    root.loadTreeFromList(nodes);
    const qint64 ns = cpuNs() - cpu;
    root.clearDelete();
    return ns;
}

Timing measure(int count, Shape shape)
{
    Timing timing;
    TreeNode root;
    TreeNodeModel model(&root);
    TreeNodeSortFilterProxyModel proxy;
    proxy.setDynamicSortFilter(true);
    proxy.setSourceModel(&model);
    int inserted = 0;
    QObject::connect(&proxy, &QAbstractItemModel::rowsInserted, [&inserted] { ++inserted; });
    const QList<TreeNode *> nodes = makeNodes(count, shape);

    QElapsedTimer clock;
    clock.start();
    qint64 cpu = cpuNs();
    root.loadTreeFromList(nodes);
    timing.loadNs = cpuNs() - cpu;
    timing.loadWallNs = clock.nsecsElapsed();
    timing.insertions = inserted;

    cpu = cpuNs();
    const qint64 rows = visit(proxy, QModelIndex());
    timing.walkNs = cpuNs() - cpu;
    if (rows != count)
        qFatal("bench-treeload: %lld rows shown for %d nodes", rows, count);

    cpu = cpuNs();
    root.clearDelete();
    timing.clearNs = cpuNs() - cpu;
    return timing;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const int repetitions = args.isEmpty() ? 3 : qMax(1, args.takeFirst().toInt());
    QList<int> sizes;
    for (const QString &arg : std::as_const(args))
        sizes << arg.toInt();
    if (sizes.isEmpty())
        sizes = {10000, 100000};

    QTextStream out(stdout);
    out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9\n")
               .arg(QStringLiteral("shape"), -9)
               .arg(QStringLiteral("nodes"), 7)
               .arg(QStringLiteral("wall ms"), 9)
               .arg(QStringLiteral("load ms"), 9)
               .arg(QStringLiteral("load ns/node"), 13)
               .arg(QStringLiteral("walk ns/node"), 13)
               .arg(QStringLiteral("clear ns/node"), 14)
               .arg(QStringLiteral("inserts"), 8)
               .arg(QStringLiteral("no-proxy ns/node"), 17);
    for (const Shape shape : {Shape::Flat, Shape::TwoLevel}) {
        for (const int count : std::as_const(sizes)) {
            // The best of the repetitions, each figure on its own: the least disturbed by the
            // rest of the machine.
            Timing best;
            for (int r = 0; r < repetitions; ++r) {
                const Timing t = measure(count, shape);
                if (r == 0 || t.loadNs < best.loadNs)
                    best.loadWallNs = t.loadWallNs, best.loadNs = t.loadNs;
                if (r == 0 || t.walkNs < best.walkNs)
                    best.walkNs = t.walkNs;
                if (r == 0 || t.clearNs < best.clearNs)
                    best.clearNs = t.clearNs;
                best.insertions = t.insertions;
                const qint64 modelOnly = measureModelOnly(count, shape);
                if (r == 0 || modelOnly < best.modelOnlyNs)
                    best.modelOnlyNs = modelOnly;
            }
            out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9\n")
                       .arg(shape == Shape::Flat ? QStringLiteral("flat")
                                                 : QStringLiteral("two-level"),
                            -9)
                       .arg(count, 7)
                       .arg(best.loadWallNs / 1e6, 9, 'f', 1)
                       .arg(best.loadNs / 1e6, 9, 'f', 1)
                       .arg(double(best.loadNs) / count, 13, 'f', 0)
                       .arg(double(best.walkNs) / count, 13, 'f', 0)
                       .arg(double(best.clearNs) / count, 14, 'f', 0)
                       .arg(best.insertions, 8)
                       .arg(double(best.modelOnlyNs) / count, 17, 'f', 0);
            out.flush();
        }
    }
    return 0;
}
