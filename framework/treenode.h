#pragma once

#include "oxaglobal.h"

#include <QList>
#include <QObject>
#include <QVariant>

class TreeNode;

/** Receives the structural and data changes of a tree; item models implement it. */
class OXA_EXPORT TreeNodeObserver
{
public:
    virtual ~TreeNodeObserver();
    virtual void nodesAboutToBeInserted(TreeNode *parent, int first, int last) = 0;
    virtual void nodesInserted(TreeNode *parent, int first, int last) = 0;
    virtual void nodesAboutToBeRemoved(TreeNode *parent, int first, int last) = 0;
    virtual void nodesRemoved(TreeNode *parent, int first, int last) = 0;
    virtual void nodeDataChanged(TreeNode *node) = 0;
    /// The node the observer is attached to is being destroyed.
    virtual void observedNodeDestroyed(TreeNode *node) = 0;
    /// Somebody asked for @p node to become the current node (TreeNode::emitSetCurrentNode).
    virtual void currentNodeRequested(TreeNode *node);
};

/**
 * A node of an ordered tree with an id, a parent id and a level, shown through TreeNodeModel.
 * A node owns its children: deleting it deletes its subtree, and a deleted node leaves its
 * parent first, so no parent ever points at a dead child.
 */
class OXA_EXPORT TreeNode : public QObject
{
    Q_OBJECT
public:
    explicit TreeNode(int level = 0, const QString &id = QString(), QObject *parent = nullptr);
    ~TreeNode() override;

    QString id() const { return m_id; }
    void setId(const QString &id) { m_id = id; }
    QString parentId() const { return m_parentId; }
    void setParentId(const QString &parentId) { m_parentId = parentId; }
    int level() const { return m_level; }
    void setLevel(int level) { m_level = level; }

    TreeNode *parentNode() const { return m_parentNode; }
    /// The topmost ancestor (the node itself when it has no parent).
    TreeNode *rootNode() const;
    int childCount() const { return m_children.size(); }
    TreeNode *child(int row) const;
    const QList<TreeNode *> &childNodes() const { return m_children; }
    /// Position among the parent's children, -1 without a parent. Constant time.
    int row() const { return m_row; }
    /// True when @p node is this node or lies below it.
    bool isAncestorOf(const TreeNode *node) const;

    /// Appends @p node as the last child (it leaves its former parent first).
    void append(TreeNode *node);
    /// Appends @p nodes, in order, with one insertion notice.
    void append(const QList<TreeNode *> &nodes);
    /// Removes @p node from the children without deleting it; returns it (null if not a child).
    TreeNode *take(TreeNode *node);
    /// Removes and deletes the children (their subtrees go with them), with one notice.
    void clearDelete();
    /// Removes and deletes everything below this node.
    void clearDeleteAll();
    /**
     * Places each node of @p nodes under the node of the list whose id equals its parent id,
     * or under this node when no listed node has that id (or the parent id is empty). Each
     * node keeps the children it already has. A loop of parents is broken at its first node
     * in the list, which lands under this node. Hash lookup: linear in the list's length; one
     * insertion notice for the nodes that land directly under this node.
     */
    void loadTreeFromList(const QList<TreeNode *> &nodes);

    /// Tells the observers that this node's data changed.
    void emitNodeDataChanged();
    /// Asks the observers (the host's tree) to make this node the current one.
    void emitSetCurrentNode();

    virtual QVariant data(int column, int role) const;
    virtual int columnCount() const;
    virtual QVariant headerData(int section, Qt::Orientation orientation, int role) const;
    virtual int treeNodeSpecialFlags() const;
    virtual Qt::ItemFlags itemFlags(int column) const;

    void addObserver(TreeNodeObserver *observer);
    void removeObserver(TreeNodeObserver *observer);

private:
    template <typename Fn> void notify(Fn fn) const;
    void renumberFrom(int row);
    void attachChildren(const QList<TreeNode *> &nodes);
    /// Appends checked, parentless @p nodes with one insertion notice.
    void insertChildren(const QList<TreeNode *> &nodes);

    QString m_id;
    QString m_parentId;
    int m_level = 0;
    int m_row = -1;
    TreeNode *m_parentNode = nullptr;
    QList<TreeNode *> m_children;
    QList<TreeNodeObserver *> m_observers;
};

/** A configuration entry: a name and a value, in two columns. */
class OXA_EXPORT ConfTreeNode : public TreeNode
{
    Q_OBJECT
public:
    ConfTreeNode(const QString &name, const QString &value, QObject *parent = nullptr);

    QString name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    QString value() const { return m_value; }
    void setValue(const QString &value) { m_value = value; }

    QVariant data(int column, int role) const override;
    int columnCount() const override;

private:
    QString m_name;
    QString m_value;
};

/** The invisible root of a configuration tree: columns "Name" and "Value". */
class OXA_EXPORT ConfRootTreeNode : public TreeNode
{
    Q_OBJECT
public:
    explicit ConfRootTreeNode(QObject *parent = nullptr);
    ~ConfRootTreeNode() override;

    int columnCount() const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
};
