// Tree building, ownership and bulk loading of TreeNode.

#include "testobjects.h"

#include <treenodemodel.h>

#include <QAbstractItemModelTester>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtTest>

namespace {

// "a(b(c)) d": ids in child order, subtrees in parentheses.
QString dump(const TreeNode *node)
{
    QStringList parts;
    for (const TreeNode *child : node->childNodes()) {
        QString part = child->id();
        if (child->childCount() > 0)
            part += QLatin1Char('(') + dump(child) + QLatin1Char(')');
        parts << part;
    }
    return parts.join(QLatin1Char(' '));
}

// Every child points back at its parent and knows its row.
bool consistent(const TreeNode *node)
{
    for (int row = 0; row < node->childCount(); ++row) {
        const TreeNode *child = node->child(row);
        if (child->parentNode() != node || child->row() != row || !consistent(child))
            return false;
    }
    return true;
}

int subtreeSize(const TreeNode *node)
{
    int size = 0;
    for (const TreeNode *child : node->childNodes())
        size += 1 + subtreeSize(child);
    return size;
}

// "b:a" is the node b with parent id a.
QList<TreeNode *> nodesFromList(const QStringList &entries)
{
    QList<TreeNode *> nodes;
    for (const QString &entry : entries) {
        const int colon = entry.indexOf(QLatin1Char(':'));
        nodes << new CountedNode(entry.left(colon), entry.mid(colon + 1));
    }
    return nodes;
}

} // namespace

class TestTreeNode : public QObject
{
    Q_OBJECT

private slots:
    void init() { CountedNode::alive = 0; }
    void cleanup() { QCOMPARE(CountedNode::alive, 0); }

    void deletingParentDeletesSubtree();
    void deletedChildLeavesParent();
    void deletingQObjectParentLeavesTree();
    void clearDeleteDeletesChildrenOnly();
    void appendMovesNodeFromOtherParent();
    void appendRefusesOwnAncestor();
    void appendListOncePerNode();
    void rowFollowsRemovals();
    void takeOnlyOwnChildren();

    void loadTreeFromList_data();
    void loadTreeFromList();
    void loadKeepsChildrenOfNodes();
    void loadMovesListedChildWithOtherParentId();
    void loadBreaksLoopThroughExistingChild();
    void loadIgnoresNullDuplicatesAndAncestors();
    void loadIsOneInsertion();
    void loadAppendsAfterExistingRows();
    void loadTakesNodesFromOtherTree();
};

void TestTreeNode::deletingParentDeletesSubtree()
{
    auto *root = new CountedNode(QStringLiteral("root"));
    auto *a = new CountedNode(QStringLiteral("a"));
    root->append(a);
    a->append({new CountedNode(QStringLiteral("b")), new CountedNode(QStringLiteral("c"))});
    a->child(1)->append(new CountedNode(QStringLiteral("d")));
    QCOMPARE(dump(root), QStringLiteral("a(b c(d))"));
    QCOMPARE(CountedNode::alive, 5);
    delete root;
    QCOMPARE(CountedNode::alive, 0);
}

void TestTreeNode::deletedChildLeavesParent()
{
    CountedNode root(QStringLiteral("root"));
    auto *a = new CountedNode(QStringLiteral("a"));
    auto *b = new CountedNode(QStringLiteral("b"));
    auto *c = new CountedNode(QStringLiteral("c"));
    root.append({a, b, c});
    b->append(new CountedNode(QStringLiteral("b1")));

    delete b;
    QCOMPARE(dump(&root), QStringLiteral("a c"));
    QVERIFY(consistent(&root));
    QCOMPARE(c->row(), 1);
    QCOMPARE(CountedNode::alive, 3);
}

void TestTreeNode::deletingQObjectParentLeavesTree()
{
    // A node may also have a QObject parent (a widget holding a tree): whichever owner goes
    // first, the node is deleted once and the tree is left without it.
    CountedNode root(QStringLiteral("root"));
    auto *holder = new QObject;
    auto *held = new CountedNode(QStringLiteral("held"), QString(), holder);
    root.append({new CountedNode(QStringLiteral("a")), held});
    delete holder;
    QCOMPARE(dump(&root), QStringLiteral("a"));
    QVERIFY(consistent(&root));

    auto *holder2 = new QObject;
    root.append(new CountedNode(QStringLiteral("x"), QString(), holder2));
    root.clearDelete();
    QVERIFY(holder2->children().isEmpty());
    delete holder2;
}

void TestTreeNode::clearDeleteDeletesChildrenOnly()
{
    CountedNode root(QStringLiteral("root"));
    root.append({new CountedNode(QStringLiteral("a")), new CountedNode(QStringLiteral("b"))});
    root.child(0)->append(new CountedNode(QStringLiteral("a1")));
    root.clearDelete();
    QCOMPARE(root.childCount(), 0);
    QCOMPARE(CountedNode::alive, 1);
    root.clearDeleteAll(); // nothing left: no harm
    QCOMPARE(CountedNode::alive, 1);
}

void TestTreeNode::appendMovesNodeFromOtherParent()
{
    CountedNode p1(QStringLiteral("p1"));
    CountedNode p2(QStringLiteral("p2"));
    auto *x = new CountedNode(QStringLiteral("x"));
    auto *y = new CountedNode(QStringLiteral("y"));
    p1.append({x, y});
    p2.append(x);
    QCOMPARE(x->parentNode(), &p2);
    QCOMPARE(dump(&p1), QStringLiteral("y"));
    QCOMPARE(dump(&p2), QStringLiteral("x"));
    QVERIFY(consistent(&p1));
    QVERIFY(consistent(&p2));

    // Appending a child again moves it to the end.
    p2.append(new CountedNode(QStringLiteral("z")));
    p2.append(x);
    QCOMPARE(dump(&p2), QStringLiteral("z x"));
    QVERIFY(consistent(&p2));
}

void TestTreeNode::appendRefusesOwnAncestor()
{
    CountedNode root(QStringLiteral("root"));
    auto *a = new CountedNode(QStringLiteral("a"));
    auto *b = new CountedNode(QStringLiteral("b"));
    root.append(a);
    a->append(b);

    a->append(a);
    b->append(a);
    b->append(&root);
    b->append(QList<TreeNode *>{a, &root});
    QCOMPARE(dump(&root), QStringLiteral("a(b)"));
    QVERIFY(consistent(&root));
    QVERIFY(root.isAncestorOf(b));
    QVERIFY(!b->isAncestorOf(&root));
    QCOMPARE(b->rootNode(), &root);
}

void TestTreeNode::appendListOncePerNode()
{
    CountedNode root(QStringLiteral("root"));
    auto *a = new CountedNode(QStringLiteral("a"));
    root.append(QList<TreeNode *>{a, nullptr, a});
    QCOMPARE(dump(&root), QStringLiteral("a"));
    root.append(static_cast<TreeNode *>(nullptr));
    QCOMPARE(root.childCount(), 1);
}

void TestTreeNode::rowFollowsRemovals()
{
    CountedNode root(QStringLiteral("root"));
    QList<TreeNode *> nodes;
    for (int i = 0; i < 6; ++i)
        nodes << new CountedNode(QString::number(i));
    root.append(nodes);

    TreeNode *taken = root.take(nodes.at(2));
    QCOMPARE(taken, nodes.at(2));
    QCOMPARE(taken->row(), -1);
    QVERIFY(!taken->parentNode());
    delete taken;
    delete nodes.at(0);
    delete nodes.at(5);
    QCOMPARE(dump(&root), QStringLiteral("1 3 4"));
    QVERIFY(consistent(&root));
    QCOMPARE(nodes.at(4)->row(), 2);
}

void TestTreeNode::takeOnlyOwnChildren()
{
    CountedNode root(QStringLiteral("root"));
    auto *a = new CountedNode(QStringLiteral("a"));
    auto *a1 = new CountedNode(QStringLiteral("a1"));
    root.append(a);
    a->append(a1);
    QCOMPARE(root.take(a1), nullptr);
    QCOMPARE(root.take(nullptr), nullptr);
    QCOMPARE(dump(&root), QStringLiteral("a(a1)"));
}

void TestTreeNode::loadTreeFromList_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("expected");

    QTest::newRow("parents first")
        << QStringList{"a:", "b:a", "c:b", "d:"} << QStringLiteral("a(b(c)) d");
    QTest::newRow("children first")
        << QStringList{"c:b", "b:a", "a:", "d:"} << QStringLiteral("a(b(c)) d");
    QTest::newRow("mixed") << QStringList{"b:a", "d:", "c:b", "a:"} << QStringLiteral("d a(b(c))");
    QTest::newRow("siblings keep list order")
        << QStringList{"x2:p", "p:", "x1:p", "x3:p"} << QStringLiteral("p(x2 x1 x3)");
    QTest::newRow("unknown parent id")
        << QStringList{"a:", "b:nowhere", "c:b"} << QStringLiteral("a b(c)");
    QTest::newRow("own id as parent id") << QStringList{"s:s", "t:s"} << QStringLiteral("s(t)");
    QTest::newRow("two-node loop") << QStringList{"a:b", "b:a"} << QStringLiteral("a(b)");
    QTest::newRow("three-node loop")
        << QStringList{"a:c", "b:a", "c:b"} << QStringLiteral("a(b(c))");
    QTest::newRow("loop met from a tail")
        << QStringList{"t:b", "a:b", "b:a", "u:"} << QStringLiteral("b(t a) u");
    QTest::newRow("duplicate ids: first is the parent")
        << QStringList{"a:", "a:", "x:a"} << QStringLiteral("a(x) a");
    QTest::newRow("duplicate ids, parent listed last")
        << QStringList{"x:a", "a:", "a:"} << QStringLiteral("a(x) a");
    QTest::newRow("deep chain reversed")
        << QStringList{"e:d", "d:c", "c:b", "b:a", "a:"} << QStringLiteral("a(b(c(d(e))))");
    QTest::newRow("empty list") << QStringList{} << QString();
}

void TestTreeNode::loadTreeFromList()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, expected);

    CountedNode root(QStringLiteral("root"));
    const QList<TreeNode *> nodes = nodesFromList(entries);
    root.loadTreeFromList(nodes);
    QCOMPARE(dump(&root), expected);
    QVERIFY(consistent(&root));
    QCOMPARE(subtreeSize(&root), nodes.size()); // nothing lost, nothing twice
}

void TestTreeNode::loadKeepsChildrenOfNodes()
{
    CountedNode root(QStringLiteral("root"));
    auto *a = new CountedNode(QStringLiteral("a"));
    a->append(new CountedNode(QStringLiteral("k")));
    auto *c = new CountedNode(QStringLiteral("c")); // already a's child, listed, no parent id
    a->append(c);
    root.loadTreeFromList({c, a, new CountedNode(QStringLiteral("b"), QStringLiteral("a"))});
    QCOMPARE(dump(&root), QStringLiteral("a(k c b)"));
    QVERIFY(consistent(&root));
}

void TestTreeNode::loadMovesListedChildWithOtherParentId()
{
    CountedNode root(QStringLiteral("root"));
    auto *a = new CountedNode(QStringLiteral("a"));
    auto *c = new CountedNode(QStringLiteral("c"), QStringLiteral("b"));
    a->append(c);
    root.loadTreeFromList({a, c, new CountedNode(QStringLiteral("b"))});
    QCOMPARE(dump(&root), QStringLiteral("a b(c)"));
    QVERIFY(consistent(&root));
}

void TestTreeNode::loadBreaksLoopThroughExistingChild()
{
    // a already holds c, and a's parent id names c: linking a under c would cut both off.
    CountedNode root(QStringLiteral("root"));
    auto *a = new CountedNode(QStringLiteral("a"), QStringLiteral("c"));
    auto *c = new CountedNode(QStringLiteral("c"));
    a->append(c);
    root.loadTreeFromList({a, c});
    QCOMPARE(dump(&root), QStringLiteral("a(c)"));
    QVERIFY(consistent(&root));

    // The same through an unlisted node between them.
    CountedNode root2(QStringLiteral("root2"));
    auto *p = new CountedNode(QStringLiteral("p"), QStringLiteral("q"));
    auto *mid = new CountedNode(QStringLiteral("mid"));
    auto *q = new CountedNode(QStringLiteral("q"));
    p->append(mid);
    mid->append(q);
    root2.loadTreeFromList({p, q});
    QCOMPARE(dump(&root2), QStringLiteral("q(p(mid))"));
    QVERIFY(consistent(&root2));
}

void TestTreeNode::loadIgnoresNullDuplicatesAndAncestors()
{
    CountedNode top(QStringLiteral("top"));
    auto *root = new CountedNode(QStringLiteral("root"));
    top.append(root);
    auto *a = new CountedNode(QStringLiteral("a"));
    root->loadTreeFromList({nullptr, a, a, root, &top, nullptr});
    QCOMPARE(dump(&top), QStringLiteral("root(a)"));
    QVERIFY(consistent(&top));
}

void TestTreeNode::loadIsOneInsertion()
{
    TreeNode root;
    TreeNodeModel model(&root);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy aboutToInsert(&model, &QAbstractItemModel::rowsAboutToBeInserted);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);

    // 100 parents with 9 children each, in a random order.
    QList<TreeNode *> nodes;
    for (int p = 0; p < 100; ++p) {
        nodes << new CountedNode(QStringLiteral("p%1").arg(p));
        for (int c = 0; c < 9; ++c)
            nodes << new CountedNode(QStringLiteral("p%1c%2").arg(p).arg(c),
                                     QStringLiteral("p%1").arg(p));
    }
    QRandomGenerator random(42);
    std::shuffle(nodes.begin(), nodes.end(), random);
    root.loadTreeFromList(nodes);

    QCOMPARE(aboutToInsert.count(), 1);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.at(0).at(0).value<QModelIndex>(), QModelIndex());
    QCOMPARE(inserted.at(0).at(1).toInt(), 0);
    QCOMPARE(inserted.at(0).at(2).toInt(), 99);
    QCOMPARE(model.rowCount(), 100);
    for (int row = 0; row < 100; ++row)
        QCOMPARE(model.rowCount(model.index(row, 0)), 9);
    QVERIFY(consistent(&root));
    root.clearDelete();
}

void TestTreeNode::loadAppendsAfterExistingRows()
{
    TreeNode root;
    root.append({new CountedNode(QStringLiteral("old1")), new CountedNode(QStringLiteral("old2"))});
    TreeNodeModel model(&root);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    root.loadTreeFromList(nodesFromList({"n1:", "n2:n1", "n3:"}));
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.at(0).at(1).toInt(), 2);
    QCOMPARE(inserted.at(0).at(2).toInt(), 3);
    QCOMPARE(dump(&root), QStringLiteral("old1 old2 n1(n2) n3"));
    root.clearDelete();
}

void TestTreeNode::loadTakesNodesFromOtherTree()
{
    // Listed nodes that still hang in a shown tree leave it with a removal notice.
    TreeNode other;
    auto *moved = new CountedNode(QStringLiteral("m"));
    other.append({new CountedNode(QStringLiteral("stay")), moved});
    TreeNodeModel otherModel(&other);
    QAbstractItemModelTester otherTester(&otherModel,
                                         QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy removed(&otherModel, &QAbstractItemModel::rowsRemoved);

    TreeNode root;
    TreeNodeModel model(&root);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    root.loadTreeFromList({moved, new CountedNode(QStringLiteral("k"), QStringLiteral("m"))});
    QCOMPARE(removed.count(), 1);
    QCOMPARE(dump(&other), QStringLiteral("stay"));
    QCOMPARE(dump(&root), QStringLiteral("m(k)"));
    QCOMPARE(model.rowCount(model.index(0, 0)), 1);
    root.clearDelete();
    other.clearDelete();
}

QTEST_GUILESS_MAIN(TestTreeNode)
#include "tst_treenode.moc"
