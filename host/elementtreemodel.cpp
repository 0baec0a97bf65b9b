#include "elementtreemodel.h"

#include <element.h>

ElementTreeModel::ElementTreeModel(TreeNode *root, QObject *parent) : TreeNodeModel(root, parent)
{
}

Element *ElementTreeModel::elementFromIndex(const QModelIndex &index) const
{
    if (!index.isValid())
        return nullptr;
    return qobject_cast<Element *>(nodeFromIndex(index));
}

QVariant ElementTreeModel::data(const QModelIndex &index, int role) const
{
    const QVariant value = TreeNodeModel::data(index, role);
    if (role == Qt::ToolTipRole && index.column() == 0 && !value.isValid()) {
        if (Element *element = elementFromIndex(index))
            return element->caption();
    }
    return value;
}

bool ElementTreeModel::hasChildren(const QModelIndex &parent) const
{
    if (rowCount(parent) > 0)
        return true;
    if (!parent.isValid() || parent.column() != 0)
        return false;
    TreeNode *node = nodeFromIndex(parent);
    // A node that may still get content keeps its expander; a leaf has none while childless.
    return node && !(node->treeNodeSpecialFlags() & TreeNodeFlagLeaf);
}
