#include "moduletreenodes.h"

#include <QCoreApplication>

ModulesRootTreeNode::ModulesRootTreeNode(QObject *parent) : TreeNode(0, QString(), parent)
{
}

ModulesRootTreeNode::~ModulesRootTreeNode()
{
    clearDeleteAll();
}

int ModulesRootTreeNode::columnCount() const
{
    return 2;
}

QVariant ModulesRootTreeNode::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    if (section == 0)
        return QCoreApplication::translate("TreeNode", "Name");
    if (section == 1)
        return QCoreApplication::translate("TreeNode", "Type");
    return QVariant();
}

ModuleSharedTreeNode::ModuleSharedTreeNode(const QString &name, QObject *parent)
    : TreeNode(1, QStringLiteral("Module_%1").arg(name), parent), m_name(name)
{
}

QVariant ModuleSharedTreeNode::data(int column, int role) const
{
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return QVariant();
    if (column == 0)
        return m_name;
    if (column == 1)
        return tr("shared");
    return QVariant();
}

ModuleStaticTreeNode::ModuleStaticTreeNode(const QString &name, QObject *parent)
    : ModuleSharedTreeNode(name, parent)
{
}

QVariant ModuleStaticTreeNode::data(int column, int role) const
{
    if (column == 1)
        return role == Qt::DisplayRole || role == Qt::ToolTipRole ? QVariant(tr("static"))
                                                                  : QVariant();
    return ModuleSharedTreeNode::data(column, role);
}
