#include "moduletreenodes.h"

ModulesRootTreeNode::ModulesRootTreeNode(QObject *parent)
    : HeaderRootTreeNode(
          {QT_TRANSLATE_NOOP("TreeNode", "Name"), QT_TRANSLATE_NOOP("TreeNode", "Type")}, parent)
{
}

ModuleSharedTreeNode::ModuleSharedTreeNode(const QString &name, QObject *parent)
    : NamedTreeNode("Module", name, parent)
{
}

QVariant ModuleSharedTreeNode::data(int column, int role) const
{
    return HeaderRootTreeNode::columnText(column, role, {name(), tr("shared")});
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
