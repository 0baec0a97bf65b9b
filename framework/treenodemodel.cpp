#include "treenodemodel.h"

TreeNodeModel::TreeNodeModel(TreeNode *root, QObject *parent) : QAbstractItemModel(parent)
{
    setRootNode(root);
}

TreeNodeModel::~TreeNodeModel()
{
    if (m_root)
        m_root->removeObserver(this);
}

void TreeNodeModel::setRootNode(TreeNode *root)
{
    // Asked from inside the notices of a change (a view whose current row goes with it shows
    // another element): the rows announced must be done before the tree is swapped.
    if (m_change != Change::None) {
        m_nextRoot = root;
        m_rootPending = true;
        return;
    }
    m_rootPending = false;
    m_nextRoot = nullptr;
    if (root == m_root)
        return;
    beginResetModel();
    if (m_root)
        m_root->removeObserver(this);
    m_root = root;
    m_columns = root ? qMax(1, root->columnCount()) : 1;
    if (m_root)
        m_root->addObserver(this);
    endResetModel();
}

TreeNode *TreeNodeModel::nodeFromIndex(const QModelIndex &index) const
{
    if (!index.isValid())
        return m_root;
    return static_cast<TreeNode *>(index.internalPointer());
}

QModelIndex TreeNodeModel::indexFromNode(TreeNode *node, int column) const
{
    if (!node || node == m_root || !isShown(node))
        return QModelIndex();
    return createIndex(node->row(), column, node);
}

bool TreeNodeModel::isShown(TreeNode *node) const
{
    return m_root && node && node != m_root && m_root->isAncestorOf(node);
}

QModelIndex TreeNodeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column < 0 || column >= m_columns || (parent.isValid() && parent.column() != 0))
        return QModelIndex();
    TreeNode *parentNode = nodeFromIndex(parent);
    if (!parentNode)
        return QModelIndex();
    TreeNode *child = parentNode->child(row);
    return child ? createIndex(row, column, child) : QModelIndex();
}

QModelIndex TreeNodeModel::parent(const QModelIndex &child) const
{
    if (!child.isValid())
        return QModelIndex();
    TreeNode *node = nodeFromIndex(child);
    TreeNode *parentNode = node ? node->parentNode() : nullptr;
    if (!parentNode || parentNode == m_root)
        return QModelIndex();
    return createIndex(parentNode->row(), 0, parentNode);
}

int TreeNodeModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    TreeNode *node = nodeFromIndex(parent);
    return node ? node->childCount() : 0;
}

int TreeNodeModel::columnCount(const QModelIndex &) const
{
    return m_columns;
}

bool TreeNodeModel::hasChildren(const QModelIndex &parent) const
{
    return rowCount(parent) > 0;
}

QVariant TreeNodeModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return QVariant();
    TreeNode *node = nodeFromIndex(index);
    return node ? node->data(index.column(), role) : QVariant();
}

QVariant TreeNodeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (!m_root)
        return QVariant();
    if (orientation == Qt::Horizontal && (section < 0 || section >= m_columns))
        return QVariant();
    return m_root->headerData(section, orientation, role);
}

Qt::ItemFlags TreeNodeModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    TreeNode *node = nodeFromIndex(index);
    return node ? node->itemFlags(index.column()) : Qt::NoItemFlags;
}

void TreeNodeModel::nodesAboutToBeInserted(TreeNode *parent, int first, int last)
{
    if (m_change == Change::None && (parent == m_root || isShown(parent))) {
        beginInsertRows(indexFromNode(parent), first, last);
        m_change = Change::Inserting;
    }
}

void TreeNodeModel::nodesInserted(TreeNode *parent, int, int)
{
    if (m_change == Change::Inserting)
        finishChange();
    else
        recount(parent);
}

void TreeNodeModel::nodesAboutToBeRemoved(TreeNode *parent, int first, int last)
{
    if (m_change == Change::None && (parent == m_root || isShown(parent))) {
        beginRemoveRows(indexFromNode(parent), first, last);
        m_change = Change::Removing;
    }
}

void TreeNodeModel::nodesRemoved(TreeNode *parent, int, int)
{
    if (m_change == Change::Removing)
        finishChange();
    else
        recount(parent);
}

void TreeNodeModel::finishChange()
{
    const Change change = m_change;
    m_change = Change::None;
    if (change == Change::Inserting)
        endInsertRows();
    else if (change == Change::Removing)
        endRemoveRows();
    if (m_rootPending)
        setRootNode(m_nextRoot);
}

void TreeNodeModel::recount(TreeNode *parent)
{
    if (parent == m_root || isShown(parent)) {
        beginResetModel();
        endResetModel();
    }
}

void TreeNodeModel::nodeDataChanged(TreeNode *node)
{
    if (!isShown(node))
        return;
    emit dataChanged(createIndex(node->row(), 0, node),
                     createIndex(node->row(), m_columns - 1, node));
}

void TreeNodeModel::observedNodeDestroyed(TreeNode *node)
{
    if (node != m_root)
        return;
    beginResetModel();
    m_root = nullptr;
    m_columns = 1;
    endResetModel();
}

void TreeNodeModel::currentNodeRequested(TreeNode *node)
{
    if (isShown(node))
        emit currentNodeRequested(indexFromNode(node));
}
