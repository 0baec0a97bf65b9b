#pragma once

#include <treenode.h>

#include <initializer_list>

/**
 * The invisible root of a plug-in's tree: its columns are named by the headers it was given
 * (texts of the "TreeNode" context, translated when shown), and it empties itself, with the
 * notices, before it goes.
 */
class HeaderRootTreeNode : public TreeNode
{
    Q_OBJECT
public:
    HeaderRootTreeNode(std::initializer_list<const char *> headers, QObject *parent);
    ~HeaderRootTreeNode() override;

    int columnCount() const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    /// @p texts[column] for the display and tool-tip roles of a node's @p column; nothing
    /// for other roles or columns.
    static QVariant columnText(int column, int role, std::initializer_list<QString> texts);

private:
    QList<const char *> m_headers;
};

/** A node showing one name in its first column; its id is "<prefix>_<name>", at level 1. */
class NamedTreeNode : public TreeNode
{
    Q_OBJECT
public:
    NamedTreeNode(const char *idPrefix, const QString &name, QObject *parent);

    QString name() const { return m_name; }
    QVariant data(int column, int role) const override;

private:
    QString m_name;
};
