#include "treenode.h"

#include <QCoreApplication>
#include <QHash>
#include <QSet>

TreeNodeObserver::~TreeNodeObserver() = default;

void TreeNodeObserver::currentNodeRequested(TreeNode *) {}

TreeNode::TreeNode(int level, const QString &id, QObject *parent)
    : QObject(parent), m_id(id), m_level(level)
{
}

TreeNode::~TreeNode()
{
    if (m_parentNode)
        m_parentNode->take(this);
    const QList<TreeNodeObserver *> observers = m_observers;
    for (TreeNodeObserver *observer : observers)
        observer->observedNodeDestroyed(this);
    m_observers.clear();
    // The subtree is no longer reachable from any observed ancestor: delete it quietly.
    const QList<TreeNode *> children = m_children;
    m_children.clear();
    for (TreeNode *child : children) {
        child->m_parentNode = nullptr;
        child->m_row = -1;
        delete child;
    }
}

TreeNode *TreeNode::rootNode() const
{
    const TreeNode *node = this;
    while (node->m_parentNode)
        node = node->m_parentNode;
    return const_cast<TreeNode *>(node);
}

TreeNode *TreeNode::child(int row) const
{
    return row >= 0 && row < m_children.size() ? m_children.at(row) : nullptr;
}

bool TreeNode::isAncestorOf(const TreeNode *node) const
{
    for (; node; node = node->m_parentNode) {
        if (node == this)
            return true;
    }
    return false;
}

template<typename Fn> void TreeNode::notify(Fn fn) const
{
    for (const TreeNode *node = this; node; node = node->m_parentNode) {
        if (node->m_observers.isEmpty())
            continue;
        const QList<TreeNodeObserver *> observers = node->m_observers;
        for (TreeNodeObserver *observer : observers)
            fn(observer);
    }
}

void TreeNode::renumberFrom(int row)
{
    for (int i = row; i < m_children.size(); ++i)
        m_children.at(i)->m_row = i;
}

void TreeNode::append(TreeNode *node)
{
    if (node)
        append(QList<TreeNode *>{node});
}

void TreeNode::append(const QList<TreeNode *> &nodes)
{
    QList<TreeNode *> accepted;
    accepted.reserve(nodes.size());
    QSet<TreeNode *> seen;
    for (TreeNode *node : nodes) {
        // A node cannot become its own ancestor, and is appended once.
        if (!node || node->isAncestorOf(this) || seen.contains(node))
            continue;
        seen.insert(node);
        if (node->m_parentNode)
            node->m_parentNode->take(node);
        accepted.append(node);
    }
    if (accepted.isEmpty())
        return;
    const int first = m_children.size();
    const int last = first + accepted.size() - 1;
    notify([&](TreeNodeObserver *o) { o->nodesAboutToBeInserted(this, first, last); });
    attachChildren(accepted);
    notify([&](TreeNodeObserver *o) { o->nodesInserted(this, first, last); });
}

void TreeNode::attachChildren(const QList<TreeNode *> &nodes)
{
    m_children.reserve(m_children.size() + nodes.size());
    for (TreeNode *node : nodes) {
        node->m_parentNode = this;
        node->m_row = m_children.size();
        m_children.append(node);
    }
}

TreeNode *TreeNode::take(TreeNode *node)
{
    if (!node || node->m_parentNode != this)
        return nullptr;
    const int row = node->m_row;
    notify([&](TreeNodeObserver *o) { o->nodesAboutToBeRemoved(this, row, row); });
    m_children.removeAt(row);
    node->m_parentNode = nullptr;
    node->m_row = -1;
    renumberFrom(row);
    notify([&](TreeNodeObserver *o) { o->nodesRemoved(this, row, row); });
    return node;
}

void TreeNode::clearDelete()
{
    if (m_children.isEmpty())
        return;
    const int last = m_children.size() - 1;
    notify([&](TreeNodeObserver *o) { o->nodesAboutToBeRemoved(this, 0, last); });
    const QList<TreeNode *> children = m_children;
    m_children.clear();
    for (TreeNode *child : children) {
        child->m_parentNode = nullptr;
        child->m_row = -1;
    }
    notify([&](TreeNodeObserver *o) { o->nodesRemoved(this, 0, last); });
    qDeleteAll(children);
}

void TreeNode::clearDeleteAll()
{
    clearDelete();
}

void TreeNode::loadTreeFromList(const QList<TreeNode *> &nodes)
{
    // The nodes to place: each once, never this node or one of its ancestors.
    QList<TreeNode *> list;
    list.reserve(nodes.size());
    QSet<TreeNode *> inList;
    inList.reserve(nodes.size());
    for (TreeNode *node : nodes) {
        if (!node || node->isAncestorOf(this) || inList.contains(node))
            continue;
        inList.insert(node);
        list.append(node);
    }

    // First node with a given id wins, as a parent.
    QHash<QString, TreeNode *> byId;
    byId.reserve(list.size());
    for (TreeNode *node : std::as_const(list)) {
        if (!node->m_id.isEmpty() && !byId.contains(node->m_id))
            byId.insert(node->m_id, node);
    }

    // Resolve each node's parent. Parent ids that loop back would detach the loop from the
    // tree: its nodes go under this node instead. Each node is walked once: linear.
    QHash<TreeNode *, TreeNode *> target;
    target.reserve(list.size());
    QHash<TreeNode *, int> state; // 1 on the current walk, 2 resolved
    state.reserve(list.size());
    for (TreeNode *start : std::as_const(list)) {
        QList<TreeNode *> path;
        TreeNode *node = start;
        while (node && state.value(node) == 0) {
            state.insert(node, 1);
            path.append(node);
            TreeNode *p = node->m_parentId.isEmpty() ? nullptr : byId.value(node->m_parentId);
            if (p == node)
                p = nullptr;
            if (p)
                target.insert(node, p);
            node = p;
        }
        if (node && state.value(node) == 1) {
            for (int i = path.indexOf(node); i < path.size(); ++i)
                target.remove(path.at(i));
        }
        for (TreeNode *n : std::as_const(path))
            state.insert(n, 2);
    }

    QList<TreeNode *> topLevel;
    QList<TreeNode *> moving;
    QHash<TreeNode *, QList<TreeNode *>> childrenOf;
    QList<TreeNode *> parentsInOrder;
    for (TreeNode *node : std::as_const(list)) {
        TreeNode *p = target.value(node);
        if (!p && node->m_parentNode && inList.contains(node->m_parentNode))
            continue; // already a child of a listed node, and no parent id says otherwise
        moving.append(node);
        if (p) {
            if (!childrenOf.contains(p))
                parentsInOrder.append(p);
            childrenOf[p].append(node);
        } else {
            topLevel.append(node);
        }
    }
    // Nodes leave their former parents before they are linked here.
    for (TreeNode *node : std::as_const(moving)) {
        if (node->m_parentNode)
            node->m_parentNode->take(node);
    }
    for (TreeNode *p : std::as_const(parentsInOrder))
        p->attachChildren(childrenOf.value(p));
    append(topLevel);
}

void TreeNode::emitNodeDataChanged()
{
    notify([&](TreeNodeObserver *o) { o->nodeDataChanged(this); });
}

void TreeNode::emitSetCurrentNode()
{
    notify([&](TreeNodeObserver *o) { o->currentNodeRequested(this); });
}

QVariant TreeNode::data(int column, int role) const
{
    if (column == 0 && (role == Qt::DisplayRole || role == Qt::ToolTipRole))
        return m_id;
    return QVariant();
}

int TreeNode::columnCount() const
{
    return 1;
}

QVariant TreeNode::headerData(int, Qt::Orientation, int) const
{
    return QVariant();
}

int TreeNode::treeNodeSpecialFlags() const
{
    return 0;
}

Qt::ItemFlags TreeNode::itemFlags(int) const
{
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void TreeNode::addObserver(TreeNodeObserver *observer)
{
    if (observer && !m_observers.contains(observer))
        m_observers.append(observer);
}

void TreeNode::removeObserver(TreeNodeObserver *observer)
{
    m_observers.removeAll(observer);
}

ConfTreeNode::ConfTreeNode(const QString &name, const QString &value, QObject *parent)
    : TreeNode(0, QString(), parent), m_name(name), m_value(value)
{
}

QVariant ConfTreeNode::data(int column, int role) const
{
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return QVariant();
    if (column == 0)
        return m_name;
    if (column == 1)
        return m_value;
    return QVariant();
}

int ConfTreeNode::columnCount() const
{
    return 2;
}

ConfRootTreeNode::ConfRootTreeNode(QObject *parent) : TreeNode(0, QString(), parent) {}

ConfRootTreeNode::~ConfRootTreeNode()
{
    clearDeleteAll();
}

int ConfRootTreeNode::columnCount() const
{
    return 2;
}

QVariant ConfRootTreeNode::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    if (section == 0)
        return QCoreApplication::translate("TreeNode", "Name");
    if (section == 1)
        return QCoreApplication::translate("TreeNode", "Value");
    return QVariant();
}
