// TreeNodeSortFilterProxyModel over a TreeNodeModel: natural order, recursive filtering, and
// the signals a bulk load sends through it.

#include "testobjects.h"

#include <treenodemodel.h>
#include <treenodesortfilterproxymodel.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

using Tester = QAbstractItemModelTester;

QStringList rowTexts(const QAbstractItemModel &model, const QModelIndex &parent = QModelIndex())
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(parent); ++row)
        texts << model.index(row, 0, parent).data().toString();
    return texts;
}

QList<TreeNode *> nodes(const QStringList &ids)
{
    QList<TreeNode *> list;
    for (const QString &id : ids)
        list << new CountedNode(id);
    return list;
}

/** A node whose column 0 holds a number, not a text. */
class NumberNode : public CountedNode
{
public:
    NumberNode(int number) : CountedNode(QString::number(number)), m_number(number) {}
    QVariant data(int column, int role) const override
    {
        if (column == 0 && role == Qt::DisplayRole)
            return m_number;
        return CountedNode::data(column, role);
    }

private:
    int m_number;
};

/** Model and proxy over one root, with testers on both attached from the start. */
struct Fixture
{
    TreeNode root;
    TreeNodeModel model{&root};
    TreeNodeSortFilterProxyModel proxy;
    std::unique_ptr<Tester> sourceTester;
    std::unique_ptr<Tester> proxyTester;

    Fixture()
    {
        proxy.setSourceModel(&model);
        sourceTester = std::make_unique<Tester>(&model, Tester::FailureReportingMode::Fatal);
        proxyTester = std::make_unique<Tester>(&proxy, Tester::FailureReportingMode::Fatal);
    }
    ~Fixture()
    {
        proxyTester.reset();
        sourceTester.reset();
        root.clearDelete();
    }
};

} // namespace

class TestTreeNodeSortFilterProxyModel : public QObject
{
    Q_OBJECT

private slots:
    void init() { CountedNode::alive = 0; }
    void cleanup() { QCOMPARE(CountedNode::alive, 0); }

    void naturalOrder_data();
    void naturalOrder();
    void numbersCompareByValue();
    void bulkLoadIsOneInsertion();
    void twoLevelLoadSortsEveryLevel();
    void changesKeepOrder();
    void clearAndRootChanges();
    void rootDestroyed();
    void filterKeepsAncestorsOfMatches();
};

void TestTreeNodeSortFilterProxyModel::naturalOrder_data()
{
    QTest::addColumn<QStringList>("input");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("digits by value")
        << QStringList{"eth10", "eth2", "eth1"} << QStringList{"eth1", "eth2", "eth10"};
    QTest::newRow("case-insensitive")
        << QStringList{"b", "C", "a", "B2"} << QStringList{"a", "b", "B2", "C"};
    QTest::newRow("several digit runs")
        << QStringList{"a10b10", "a9", "a10b2"} << QStringList{"a9", "a10b2", "a10b10"};
    QTest::newRow("leading zeros")
        << QStringList{"x010", "x9", "x0011"} << QStringList{"x9", "x010", "x0011"};
    QTest::newRow("prefix first") << QStringList{"main-15", "main", "main-9"}
                                  << QStringList{"main", "main-9", "main-15"};
    QTest::newRow("digits before letters")
        << QStringList{"b", "10", "a", "9"} << QStringList{"9", "10", "a", "b"};
    // Folded, then by code: accented letters after the plain ones, not by locale.
    QTest::newRow("non-ASCII letters fold too") << QStringList{"école", "Éclair", "Ecu", "ecz"}
                                                << QStringList{"Ecu", "ecz", "Éclair", "école"};
    QTest::newRow("long numbers") << QStringList{"v99999999999999999999", "v100000000000000000000"}
                                  << QStringList{"v99999999999999999999", "v100000000000000000000"};
}

void TestTreeNodeSortFilterProxyModel::naturalOrder()
{
    QFETCH(QStringList, input);
    QFETCH(QStringList, expected);
    Fixture f;
    f.root.append(nodes(input));
    QCOMPARE(rowTexts(f.proxy), expected);
}

void TestTreeNodeSortFilterProxyModel::numbersCompareByValue()
{
    Fixture f;
    f.root.append({new NumberNode(100), new NumberNode(-3), new NumberNode(20)});
    QCOMPARE(rowTexts(f.proxy), (QStringList{"-3", "20", "100"}));
}

void TestTreeNodeSortFilterProxyModel::bulkLoadIsOneInsertion()
{
    Fixture f;
    QSignalSpy inserted(&f.proxy, &QAbstractItemModel::rowsInserted);
    QSignalSpy layout(&f.proxy, &QAbstractItemModel::layoutChanged);
    QList<TreeNode *> list;
    for (int i = 500; i > 0; --i)
        list << new CountedNode(QStringLiteral("node%1").arg(i));
    f.root.loadTreeFromList(list);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.at(0).at(1).toInt(), 0);
    QCOMPARE(inserted.at(0).at(2).toInt(), 499);
    QCOMPARE(layout.count(), 0);
    QCOMPARE(f.proxy.rowCount(), 500);
    QCOMPARE(f.proxy.index(0, 0).data().toString(), QStringLiteral("node1"));
    QCOMPARE(f.proxy.index(9, 0).data().toString(), QStringLiteral("node10"));
    QCOMPARE(f.proxy.index(499, 0).data().toString(), QStringLiteral("node500"));
}

void TestTreeNodeSortFilterProxyModel::twoLevelLoadSortsEveryLevel()
{
    Fixture f;
    QSignalSpy inserted(&f.proxy, &QAbstractItemModel::rowsInserted);
    QList<TreeNode *> list;
    for (int p = 3; p > 0; --p) {
        for (int c = 12; c > 0; --c) {
            auto *child = new CountedNode(QStringLiteral("p%1c%2").arg(p).arg(c));
            child->setParentId(QStringLiteral("p%1").arg(p));
            list << child;
        }
        list << new CountedNode(QStringLiteral("p%1").arg(p));
    }
    f.root.loadTreeFromList(list);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(rowTexts(f.proxy), (QStringList{"p1", "p2", "p3"}));
    const QStringList children = rowTexts(f.proxy, f.proxy.index(1, 0));
    QCOMPARE(children.size(), 12);
    QCOMPARE(children.first(), QStringLiteral("p2c1"));
    QCOMPARE(children.at(1), QStringLiteral("p2c2"));
    QCOMPARE(children.last(), QStringLiteral("p2c12"));
}

void TestTreeNodeSortFilterProxyModel::changesKeepOrder()
{
    Fixture f;
    f.root.append(nodes({"b", "d", "f"}));
    QSignalSpy inserted(&f.proxy, &QAbstractItemModel::rowsInserted);

    // A batch that falls into several places of the sorted rows.
    f.root.append(nodes({"e", "a", "c"}));
    QCOMPARE(rowTexts(f.proxy), (QStringList{"a", "b", "c", "d", "e", "f"}));
    QVERIFY(inserted.count() >= 1);

    // A renamed node moves to its new place.
    TreeNode *b = f.root.child(0);
    b->setId(QStringLiteral("z"));
    b->emitNodeDataChanged();
    QCOMPARE(rowTexts(f.proxy), (QStringList{"a", "c", "d", "e", "f", "z"}));

    delete f.root.child(1); // "d"
    QCOMPARE(rowTexts(f.proxy), (QStringList{"a", "c", "e", "f", "z"}));
    TreeNode *e = f.root.child(2);
    e->append(nodes({"e2", "e10", "e1"}));
    const QModelIndex ie = f.proxy.index(2, 0);
    QCOMPARE(ie.data().toString(), QStringLiteral("e"));
    QCOMPARE(rowTexts(f.proxy, ie), (QStringList{"e1", "e2", "e10"}));
}

void TestTreeNodeSortFilterProxyModel::clearAndRootChanges()
{
    Fixture f;
    f.root.append(nodes({"b", "a"}));
    f.root.child(0)->append(nodes({"b1"}));
    QSignalSpy removed(&f.proxy, &QAbstractItemModel::rowsRemoved);
    f.root.clearDelete();
    QCOMPARE(removed.count(), 1);
    QCOMPARE(f.proxy.rowCount(), 0);

    TreeNode other;
    other.append(nodes({"y", "x"}));
    QSignalSpy reset(&f.proxy, &QAbstractItemModel::modelReset);
    f.model.setRootNode(&other);
    QCOMPARE(reset.count(), 1);
    QCOMPARE(rowTexts(f.proxy), (QStringList{"x", "y"}));
    f.model.setRootNode(&f.root);
    other.clearDelete();
}

void TestTreeNodeSortFilterProxyModel::rootDestroyed()
{
    auto root = std::make_unique<CountedNode>(QStringLiteral("root"));
    root->append(nodes({"b", "a"}));
    TreeNodeModel model(root.get());
    TreeNodeSortFilterProxyModel proxy;
    proxy.setSourceModel(&model);
    Tester sourceTester(&model, Tester::FailureReportingMode::Fatal);
    Tester proxyTester(&proxy, Tester::FailureReportingMode::Fatal);
    QCOMPARE(proxy.rowCount(), 2);
    QSignalSpy reset(&proxy, &QAbstractItemModel::modelReset);
    root.reset();
    QCOMPARE(reset.count(), 1);
    QCOMPARE(proxy.rowCount(), 0);
}

void TestTreeNodeSortFilterProxyModel::filterKeepsAncestorsOfMatches()
{
    Fixture f;
    f.root.append(nodes({"apache", "samba"}));
    f.root.child(0)->append(nodes({"mod_ssl", "mod_rewrite"}));
    f.root.child(1)->append(nodes({"share"}));
    f.proxy.setFilterFixedString(QStringLiteral("SSL"));
    QCOMPARE(rowTexts(f.proxy), QStringList{"apache"});
    QCOMPARE(rowTexts(f.proxy, f.proxy.index(0, 0)), QStringList{"mod_ssl"});

    // A match that arrives later brings its ancestors along.
    f.root.child(1)->child(0)->append(nodes({"ssl-certs"}));
    QCOMPARE(rowTexts(f.proxy), (QStringList{"apache", "samba"}));
    f.proxy.setFilterFixedString(QString());
    QCOMPARE(f.proxy.rowCount(), 2);
}

QTEST_GUILESS_MAIN(TestTreeNodeSortFilterProxyModel)
#include "tst_treenodesortfilterproxymodel.moc"
