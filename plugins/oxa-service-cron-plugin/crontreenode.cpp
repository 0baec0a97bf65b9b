#include "crontreenode.h"

#include <QIcon>

CronTreeNode::CronTreeNode(const QString &text, int kind, QObject *parent)
    : TreeNode(0, QString(), parent), m_text(text), m_kind(kind)
{
}

QVariant CronTreeNode::data(int column, int role) const
{
    if (column != 0)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return m_text;
    case Qt::DecorationRole:
        if (m_kind == FileKind)
            return QIcon::fromTheme(QStringLiteral("text-plain"));
        if (m_kind == DirectoryKind)
            return QIcon::fromTheme(QStringLiteral("folder"));
        return QVariant();
    default:
        return QVariant();
    }
}

CronRootTreeNode::CronRootTreeNode(QObject *parent)
    : HeaderRootTreeNode({QT_TRANSLATE_NOOP("TreeNode", "Name")}, parent)
{
}
