// TreeNodeModel: the item model over a TreeNode tree, checked by QAbstractItemModelTester
// attached before every change.

#include "testobjects.h"

#include <treenodemodel.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

using Tester = QAbstractItemModelTester;

std::unique_ptr<Tester> attachTester(QAbstractItemModel *model)
{
    return std::make_unique<Tester>(model, Tester::FailureReportingMode::Fatal);
}

TreeNode *node(const QString &id)
{
    return new CountedNode(id);
}

// Display texts of the rows under @p parent.
QStringList rowTexts(const QAbstractItemModel &model, const QModelIndex &parent = QModelIndex())
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(parent); ++row)
        texts << model.index(row, 0, parent).data().toString();
    return texts;
}

/** A root with two columns and a header, as configuration trees have. */
class TwoColumnNode : public CountedNode
{
public:
    using CountedNode::CountedNode;
    int columnCount() const override { return 2; }
    QVariant data(int column, int role) const override
    {
        if (role == Qt::DisplayRole && column == 1)
            return value;
        return CountedNode::data(column, role);
    }
    QString value;
};

} // namespace

class TestTreeNodeModel : public QObject
{
    Q_OBJECT

private slots:
    void init() { CountedNode::alive = 0; }
    void cleanup() { QCOMPARE(CountedNode::alive, 0); }

    void showsTreeBelowInvisibleRoot();
    void insertsAreOneSignalPerBatch();
    void removalsAndMoves();
    void deletingNodesRemovesRows();
    void clearDeleteIsOneRemoval();
    void dataChangesCoverAllColumns();
    void changesOutsideTheShownTreeAreSilent();
    void rootChangeIsOneReset();
    void rootChangedDuringAChange();
    void rootDestroyedResetsModel();
    void ancestorOfRootDestroyedResetsModel();
    void modelGoneBeforeTree();
    void currentNodeRequest();
    void confRootHeader();
};

void TestTreeNodeModel::showsTreeBelowInvisibleRoot()
{
    TreeNode root;
    TreeNode *a = node(QStringLiteral("a"));
    root.append({a, node(QStringLiteral("b"))});
    a->append(node(QStringLiteral("a1")));
    TreeNodeModel model(&root);
    auto tester = attachTester(&model);

    QCOMPARE(rowTexts(model), (QStringList{"a", "b"}));
    const QModelIndex ia = model.index(0, 0);
    QCOMPARE(model.nodeFromIndex(ia), a);
    QCOMPARE(model.indexFromNode(a), ia);
    QCOMPARE(model.indexFromNode(&root), QModelIndex());
    QCOMPARE(rowTexts(model, ia), QStringList{"a1"});
    QCOMPARE(model.parent(model.index(0, 0, ia)), ia);
    QVERIFY(model.hasChildren(ia));
    QVERIFY(!model.hasChildren(model.index(1, 0)));
    QCOMPARE(model.index(0, 1), QModelIndex()); // one column
    root.clearDelete();
}

void TestTreeNodeModel::insertsAreOneSignalPerBatch()
{
    TreeNode root;
    TreeNodeModel model(&root);
    auto tester = attachTester(&model);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);

    root.append(node(QStringLiteral("a")));
    root.append({node(QStringLiteral("b")), node(QStringLiteral("c")), node(QStringLiteral("d"))});
    QCOMPARE(inserted.count(), 2);
    QCOMPARE(inserted.at(1).at(1).toInt(), 1);
    QCOMPARE(inserted.at(1).at(2).toInt(), 3);

    // Below a shown node: the parent index is that node's.
    TreeNode *c = root.child(2);
    c->append({node(QStringLiteral("c1")), node(QStringLiteral("c2"))});
    QCOMPARE(inserted.count(), 3);
    QCOMPARE(inserted.at(2).at(0).value<QModelIndex>(), model.index(2, 0));
    QCOMPARE(rowTexts(model, model.index(2, 0)), (QStringList{"c1", "c2"}));
    c->child(1)->append(node(QStringLiteral("c2x")));
    QCOMPARE(inserted.count(), 4);
    QCOMPARE(inserted.at(3).at(0).value<QModelIndex>(), model.index(1, 0, model.index(2, 0)));
    root.clearDelete();
}

void TestTreeNodeModel::removalsAndMoves()
{
    TreeNode root;
    TreeNode *a = node(QStringLiteral("a"));
    TreeNode *b = node(QStringLiteral("b"));
    root.append({a, b});
    a->append({node(QStringLiteral("a1")), node(QStringLiteral("a2"))});
    TreeNodeModel model(&root);
    auto tester = attachTester(&model);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);

    // A move between parents of the same tree is a removal and an insertion.
    TreeNode *a1 = a->child(0);
    b->append(a1);
    QCOMPARE(removed.count(), 1);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(rowTexts(model, model.index(0, 0)), QStringList{"a2"});
    QCOMPARE(rowTexts(model, model.index(1, 0)), QStringList{"a1"});

    // Taking a node keeps it alive, outside the model.
    TreeNode *taken = root.take(a);
    QCOMPARE(removed.count(), 2);
    QCOMPARE(rowTexts(model), QStringList{"b"});
    QCOMPARE(model.indexFromNode(taken->child(0)), QModelIndex());
    taken->append(node(QStringLiteral("quiet")));
    QCOMPARE(inserted.count(), 1);
    delete taken;
    root.clearDelete();
}

void TestTreeNodeModel::deletingNodesRemovesRows()
{
    TreeNode root;
    TreeNode *a = node(QStringLiteral("a"));
    root.append({a, node(QStringLiteral("b")), node(QStringLiteral("c"))});
    a->append({node(QStringLiteral("a1")), node(QStringLiteral("a2"))});
    a->child(1)->append(node(QStringLiteral("a2x")));
    TreeNodeModel model(&root);
    auto tester = attachTester(&model);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    const QPersistentModelIndex keep = model.index(2, 0);

    delete a->child(1); // a subtree in one removal
    QCOMPARE(removed.count(), 1);
    QCOMPARE(rowTexts(model, model.index(0, 0)), QStringList{"a1"});
    delete a;
    QCOMPARE(removed.count(), 2);
    QCOMPARE(rowTexts(model), (QStringList{"b", "c"}));
    QCOMPARE(keep.row(), 1);
    QCOMPARE(keep.data().toString(), QStringLiteral("c"));
    root.clearDelete();
}

void TestTreeNodeModel::clearDeleteIsOneRemoval()
{
    TreeNode root;
    for (int i = 0; i < 5; ++i)
        root.append(node(QString::number(i)));
    root.child(0)->append(node(QStringLiteral("deep")));
    TreeNodeModel model(&root);
    auto tester = attachTester(&model);
    QSignalSpy aboutToRemove(&model, &QAbstractItemModel::rowsAboutToBeRemoved);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    root.clearDelete();
    QCOMPARE(aboutToRemove.count(), 1);
    QCOMPARE(removed.count(), 1);
    QCOMPARE(removed.at(0).at(1).toInt(), 0);
    QCOMPARE(removed.at(0).at(2).toInt(), 4);
    QCOMPARE(model.rowCount(), 0);
    root.clearDelete(); // empty: no signal
    QCOMPARE(removed.count(), 1);
}

void TestTreeNodeModel::dataChangesCoverAllColumns()
{
    TwoColumnNode root(QStringLiteral("root"));
    auto *a = new TwoColumnNode(QStringLiteral("a"));
    auto *a1 = new TwoColumnNode(QStringLiteral("a1"));
    root.append(a);
    a->append(a1);
    TreeNodeModel model(&root);
    auto tester = attachTester(&model);
    QCOMPARE(model.columnCount(), 2);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    a1->value = QStringLiteral("new");
    a1->emitNodeDataChanged();
    QCOMPARE(changed.count(), 1);
    const QModelIndex ia1 = model.index(0, 0, model.index(0, 0));
    QCOMPARE(changed.at(0).at(0).value<QModelIndex>(), ia1);
    QCOMPARE(changed.at(0).at(1).value<QModelIndex>(), ia1.sibling(0, 1));
    QCOMPARE(ia1.sibling(0, 1).data().toString(), QStringLiteral("new"));

    root.emitNodeDataChanged(); // the invisible root has no row
    QCOMPARE(changed.count(), 1);
}

void TestTreeNodeModel::changesOutsideTheShownTreeAreSilent()
{
    // A model may show a branch: what happens above or beside it is none of its business.
    TreeNode top;
    TreeNode *branch = node(QStringLiteral("branch"));
    TreeNode *other = node(QStringLiteral("other"));
    top.append({branch, other});
    branch->append(node(QStringLiteral("x")));
    TreeNodeModel model(branch);
    auto tester = attachTester(&model);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    other->append(node(QStringLiteral("o1")));
    top.append(node(QStringLiteral("t1")));
    other->emitNodeDataChanged();
    delete top.child(2);
    QCOMPARE(inserted.count() + removed.count() + changed.count(), 0);

    branch->child(0)->append(node(QStringLiteral("y")));
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.at(0).at(0).value<QModelIndex>(), model.index(0, 0));
    top.clearDelete();
}

namespace {

/**
 * Re-roots a model from inside the notices of a change, as the window does when the current
 * row goes with a change and it shows the element the view falls back to.
 */
class RerootingObserver : public TreeNodeObserver
{
public:
    RerootingObserver(TreeNodeModel *model, TreeNode *newRoot) : model(model), newRoot(newRoot) {}
    void nodesAboutToBeInserted(TreeNode *, int, int) override { model->setRootNode(newRoot); }
    void nodesInserted(TreeNode *, int, int) override {}
    void nodesAboutToBeRemoved(TreeNode *, int, int) override { model->setRootNode(newRoot); }
    void nodesRemoved(TreeNode *, int, int) override {}
    void nodeDataChanged(TreeNode *) override {}
    void observedNodeDestroyed(TreeNode *) override {}

    TreeNodeModel *model;
    TreeNode *newRoot;
};

} // namespace

void TestTreeNodeModel::rootChangedDuringAChange()
{
    TreeNode container;
    container.append({node(QStringLiteral("a")), node(QStringLiteral("b"))});
    TreeNode other;
    other.append(node(QStringLiteral("x")));

    // Joining the tree that changes: the model saw the rows before the change, not its start.
    TreeNodeModel model;
    auto tester = attachTester(&model);
    RerootingObserver joining(&model, &container);
    container.addObserver(&joining);
    container.clearDelete();
    QCOMPARE(model.rootNode(), &container);
    QCOMPARE(model.rowCount(), 0);
    model.setRootNode(nullptr);
    container.append({node(QStringLiteral("c")), node(QStringLiteral("d"))});
    QCOMPARE(model.rootNode(), &container);
    QCOMPARE(rowTexts(model), (QStringList{"c", "d"}));
    container.removeObserver(&joining);

    // Leaving it: the change under way is closed before the model shows the other tree.
    RerootingObserver leaving(&model, &other);
    container.addObserver(&leaving);
    container.clearDelete();
    QCOMPARE(model.rootNode(), &other);
    QCOMPARE(rowTexts(model), QStringList{"x"});
    model.setRootNode(&container);
    container.append(node(QStringLiteral("e")));
    QCOMPARE(model.rootNode(), &other);
    QCOMPARE(rowTexts(model), QStringList{"x"});
    container.removeObserver(&leaving);

    // Rows inserted and removed afterwards go through as usual.
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    other.append(node(QStringLiteral("y")));
    other.clearDelete();
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(removed.count(), 1);
    container.clearDelete();
}

void TestTreeNodeModel::rootChangeIsOneReset()
{
    TreeNode first;
    first.append(node(QStringLiteral("a")));
    TwoColumnNode second(QStringLiteral("second"));
    second.append({node(QStringLiteral("b")), node(QStringLiteral("c"))});
    TreeNodeModel model(&first);
    auto tester = attachTester(&model);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

    model.setRootNode(&second);
    QCOMPARE(reset.count(), 1);
    QCOMPARE(model.columnCount(), 2);
    QCOMPARE(rowTexts(model), (QStringList{"b", "c"}));
    model.setRootNode(&second);
    QCOMPARE(reset.count(), 1);

    // The former root is no longer observed.
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    first.append(node(QStringLiteral("late")));
    QCOMPARE(inserted.count(), 0);

    model.setRootNode(nullptr);
    QCOMPARE(reset.count(), 2);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.index(0, 0), QModelIndex());
    first.clearDelete();
    second.clearDelete();
}

void TestTreeNodeModel::rootDestroyedResetsModel()
{
    auto *root = new CountedNode(QStringLiteral("root"));
    root->append({node(QStringLiteral("a")), node(QStringLiteral("b"))});
    TreeNodeModel model(root);
    auto tester = attachTester(&model);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    delete root;
    QCOMPARE(reset.count(), 1);
    QCOMPARE(model.rootNode(), nullptr);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.index(0, 0), QModelIndex());
}

void TestTreeNodeModel::ancestorOfRootDestroyedResetsModel()
{
    auto *top = new CountedNode(QStringLiteral("top"));
    TreeNode *mid = node(QStringLiteral("mid"));
    TreeNode *branch = node(QStringLiteral("branch"));
    top->append(mid);
    mid->append(branch);
    branch->append(node(QStringLiteral("leaf")));
    TreeNodeModel model(branch);
    auto tester = attachTester(&model);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    delete top;
    QCOMPARE(reset.count(), 1);
    QCOMPARE(model.rowCount(), 0);
}

void TestTreeNodeModel::modelGoneBeforeTree()
{
    TreeNode root;
    root.append(node(QStringLiteral("a")));
    {
        TreeNodeModel model(&root);
        TreeNodeModel second(&root);
        auto tester = attachTester(&second);
    }
    // Neither model may still be told anything.
    root.append(node(QStringLiteral("b")));
    root.child(0)->emitNodeDataChanged();
    root.clearDelete();
}

void TestTreeNodeModel::currentNodeRequest()
{
    TreeNode root;
    TreeNode *a = node(QStringLiteral("a"));
    root.append(a);
    a->append(node(QStringLiteral("a1")));
    TreeNodeModel model(&root);
    QSignalSpy requested(&model, SIGNAL(currentNodeRequested(QModelIndex)));
    a->child(0)->emitSetCurrentNode();
    QCOMPARE(requested.count(), 1);
    QCOMPARE(requested.at(0).at(0).value<QModelIndex>(), model.index(0, 0, model.index(0, 0)));
    root.emitSetCurrentNode(); // not a row
    QCOMPARE(requested.count(), 1);
    root.clearDelete();
}

void TestTreeNodeModel::confRootHeader()
{
    ConfRootTreeNode root;
    root.append(new ConfTreeNode(QStringLiteral("Listen"), QStringLiteral("80")));
    TreeNodeModel model(&root);
    auto tester = attachTester(&model);
    QCOMPARE(model.columnCount(), 2);
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Name"));
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Value"));
    QCOMPARE(model.headerData(2, Qt::Horizontal), QVariant());
    QCOMPARE(model.index(0, 1).data().toString(), QStringLiteral("80"));
}

QTEST_GUILESS_MAIN(TestTreeNodeModel)
#include "tst_treenodemodel.moc"
