#pragma once

#include "treenode.h"

#include <QAbstractItemModel>
#include <QPointer>

/**
 * Item model over a TreeNode tree: the root is invisible, its children are the top-level
 * rows; columns and header come from the root, cells from each node's data().
 */
class OXA_EXPORT TreeNodeModel : public QAbstractItemModel, private TreeNodeObserver
{
    Q_OBJECT
public:
    /// The model's own roles, answered by the nodes' data().
    enum Role
    {
        /// A row's name where it is not its display text (what a choice list ticks it by).
        NameRole = Qt::UserRole
    };

    explicit TreeNodeModel(TreeNode *root = nullptr, QObject *parent = nullptr);
    ~TreeNodeModel() override;

    TreeNode *rootNode() const { return m_root; }
    /// Shows another tree (one model reset).
    void setRootNode(TreeNode *root);

    TreeNode *nodeFromIndex(const QModelIndex &index) const;
    QModelIndex indexFromNode(TreeNode *node, int column = 0) const;

    QModelIndex index(int row, int column,
                      const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool hasChildren(const QModelIndex &parent = QModelIndex()) const override;

signals:
    /// A node asked to become the current one (TreeNode::emitSetCurrentNode).
    void currentNodeRequested(const QModelIndex &index);

private:
    void nodesAboutToBeInserted(TreeNode *parent, int first, int last) override;
    void nodesInserted(TreeNode *parent, int first, int last) override;
    void nodesAboutToBeRemoved(TreeNode *parent, int first, int last) override;
    void nodesRemoved(TreeNode *parent, int first, int last) override;
    void nodeDataChanged(TreeNode *node) override;
    void observedNodeDestroyed(TreeNode *node) override;
    void currentNodeRequested(TreeNode *node) override;
    bool isShown(TreeNode *node) const;
    /// Ends the change begun on its about-to notice; then shows a root asked for meanwhile.
    void finishChange();
    /// The tree changed under rows the model counted without the change's start (it began
    /// showing them from inside that change's notices): count them again.
    void recount(TreeNode *parent);

    enum class Change
    {
        None,
        Inserting,
        Removing
    };

    TreeNode *m_root = nullptr;
    int m_columns = 1;
    /// The change whose rows are announced and not yet done.
    Change m_change = Change::None;
    /// A root asked for while a change was under way, shown once it is done.
    QPointer<TreeNode> m_nextRoot;
    bool m_rootPending = false;
};
