#include "printerstreenode.h"

PrintersTreeNode::PrintersTreeNode(const QString &name, const QString &value, QObject *parent)
    : ConfTreeNode(name, value, parent)
{
}

QVariant PrintersTreeNode::data(int column, int role) const
{
    return HeaderRootTreeNode::columnText(column, role,
                                          {name(), value(), m_policy, m_minLabel, m_maxLabel});
}

int PrintersTreeNode::columnCount() const
{
    return 5;
}

PrintersRootTreeNode::PrintersRootTreeNode(QObject *parent)
    : HeaderRootTreeNode(
          {QT_TRANSLATE_NOOP("TreeNode", "Name"), QT_TRANSLATE_NOOP("TreeNode", "Value"),
           QT_TRANSLATE_NOOP("TreeNode", "Policy"), QT_TRANSLATE_NOOP("TreeNode", "Min. label"),
           QT_TRANSLATE_NOOP("TreeNode", "Max. label")},
          parent)
{
}
