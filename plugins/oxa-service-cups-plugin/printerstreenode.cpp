#include "printerstreenode.h"

#include <QCoreApplication>

PrintersTreeNode::PrintersTreeNode(const QString &name, const QString &value, QObject *parent)
    : ConfTreeNode(name, value, parent)
{
}

QVariant PrintersTreeNode::data(int column, int role) const
{
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return QVariant();
    switch (column) {
    case 0:
        return name();
    case 1:
        return value();
    case 2:
        return m_policy;
    case 3:
        return m_minLabel;
    case 4:
        return m_maxLabel;
    default:
        return QVariant();
    }
}

int PrintersTreeNode::columnCount() const
{
    return 5;
}

PrintersRootTreeNode::PrintersRootTreeNode(QObject *parent) : TreeNode(0, QString(), parent)
{
}

PrintersRootTreeNode::~PrintersRootTreeNode()
{
    clearDeleteAll();
}

int PrintersRootTreeNode::columnCount() const
{
    return 5;
}

QVariant PrintersRootTreeNode::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case 0:
        return QCoreApplication::translate("TreeNode", "Name");
    case 1:
        return QCoreApplication::translate("TreeNode", "Value");
    case 2:
        return QCoreApplication::translate("TreeNode", "Policy");
    case 3:
        return QCoreApplication::translate("TreeNode", "Min. label");
    case 4:
        return QCoreApplication::translate("TreeNode", "Max. label");
    default:
        return QVariant();
    }
}
