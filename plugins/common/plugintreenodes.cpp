#include "plugintreenodes.h"

#include <QCoreApplication>

HeaderRootTreeNode::HeaderRootTreeNode(std::initializer_list<const char *> headers, QObject *parent)
    : TreeNode(0, QString(), parent), m_headers(headers)
{
}

HeaderRootTreeNode::~HeaderRootTreeNode()
{
    clearDeleteAll();
}

int HeaderRootTreeNode::columnCount() const
{
    return m_headers.size();
}

QVariant HeaderRootTreeNode::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= m_headers.size())
        return QVariant();
    return QCoreApplication::translate("TreeNode", m_headers.at(section));
}

QVariant HeaderRootTreeNode::columnText(int column, int role, std::initializer_list<QString> texts)
{
    if ((role != Qt::DisplayRole && role != Qt::ToolTipRole) || column < 0 ||
        column >= int(texts.size()))
        return QVariant();
    return texts.begin()[column];
}

NamedTreeNode::NamedTreeNode(const char *idPrefix, const QString &name, QObject *parent)
    : TreeNode(1, QStringLiteral("%1_%2").arg(QLatin1String(idPrefix), name), parent), m_name(name)
{
}

QVariant NamedTreeNode::data(int column, int role) const
{
    return HeaderRootTreeNode::columnText(column, role, {m_name});
}
