#include "treenode.h"

#include <QCoreApplication>
#include <QHash>
#include <QSet>

#include <vector>

TreeNodeObserver::~TreeNodeObserver() = default;

void TreeNodeObserver::currentNodeRequested(TreeNode *)
{
}

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

template <typename Fn> void TreeNode::notify(Fn fn) const
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
    insertChildren(accepted);
}

void TreeNode::insertChildren(const QList<TreeNode *> &nodes)
{
    if (nodes.isEmpty())
        return;
    const int first = m_children.size();
    const int last = first + nodes.size() - 1;
    notify([&](TreeNodeObserver *o) { o->nodesAboutToBeInserted(this, first, last); });
    attachChildren(nodes);
    notify([&](TreeNodeObserver *o) { o->nodesInserted(this, first, last); });
}

void TreeNode::attachChildren(const QList<TreeNode *> &nodes)
{
    // Reserving the exact size on every call would copy the whole list for each node
    // appended one at a time; the list grows geometrically by itself.
    if (m_children.isEmpty())
        m_children.reserve(nodes.size());
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
    QHash<TreeNode *, int> indexOf;
    indexOf.reserve(nodes.size());
    for (TreeNode *node : nodes) {
        if (!node || indexOf.contains(node) || node->isAncestorOf(this))
            continue;
        indexOf.insert(node, list.size());
        list.append(node);
    }
    const int count = list.size();

    // First node with a given id wins, as a parent.
    QHash<QString, int> byId;
    byId.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QString &id = list.at(i)->m_id;
        if (!id.isEmpty() && !byId.contains(id))
            byId.insert(id, i);
    }

    // Where each node goes (an index into the list, -1 for this node): the node its parent id
    // names, else the listed node it already hangs under, so that children of listed nodes
    // stay where they are unless a parent id says otherwise.
    std::vector<int> parentOf(size_t(count), -1);
    for (int i = 0; i < count; ++i) {
        TreeNode *node = list.at(i);
        int p = node->m_parentId.isEmpty() ? -1 : byId.value(node->m_parentId, -1);
        if (p == i)
            p = -1;
        if (p < 0 && node->m_parentNode)
            p = indexOf.value(node->m_parentNode, -1);
        parentOf[size_t(i)] = p;
    }

    // A loop of parents (by id, or a parent id pointing into the node's own subtree) would
    // cut its nodes off every tree: it is broken at the first of its nodes met, which goes
    // under this node and keeps the rest of the loop below it. Each node is walked once.
    std::vector<char> state(size_t(count), 0); // 1 on the current walk, 2 placed
    for (int i = 0; i < count; ++i) {
        int j = i;
        while (j >= 0 && state[size_t(j)] == 0) {
            state[size_t(j)] = 1;
            j = parentOf[size_t(j)];
        }
        if (j >= 0 && state[size_t(j)] == 1) {
            int k = parentOf[size_t(j)];
            parentOf[size_t(j)] = -1;
            while (k != j) {
                state[size_t(k)] = 2;
                k = parentOf[size_t(k)];
            }
        }
        for (j = i; j >= 0 && state[size_t(j)] == 1; j = parentOf[size_t(j)])
            state[size_t(j)] = 2;
    }

    QList<TreeNode *> topLevel;
    QList<TreeNode *> moving;
    QHash<int, QList<TreeNode *>> childrenOf;
    QList<int> parentsInOrder;
    for (int i = 0; i < count; ++i) {
        TreeNode *node = list.at(i);
        const int p = parentOf[size_t(i)];
        if (p >= 0 && node->m_parentNode == list.at(p))
            continue; // stays under the listed node it hangs under
        moving.append(node);
        if (p >= 0) {
            auto it = childrenOf.find(p);
            if (it == childrenOf.end()) {
                parentsInOrder.append(p);
                it = childrenOf.insert(p, QList<TreeNode *>());
            }
            it->append(node);
        } else {
            topLevel.append(node);
        }
    }
    // Nodes leave their former parents before they are linked here. Every chain of parents
    // ends in a node that moves, so what is linked below is out of every observed tree until
    // the single insertion notice for the top level.
    for (TreeNode *node : std::as_const(moving)) {
        if (node->m_parentNode)
            node->m_parentNode->take(node);
    }
    for (int p : std::as_const(parentsInOrder))
        list.at(p)->attachChildren(childrenOf.value(p));
    // Already checked above: each once, none an ancestor of this node, none with a parent.
    insertChildren(topLevel);
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

ConfRootTreeNode::ConfRootTreeNode(QObject *parent) : TreeNode(0, QString(), parent)
{
}

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
