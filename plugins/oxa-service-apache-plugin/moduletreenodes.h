#pragma once

#include <treenode.h>

/** The invisible root of the modules list: columns "Name" and "Type". */
class ModulesRootTreeNode : public TreeNode
{
    Q_OBJECT
public:
    explicit ModulesRootTreeNode(QObject *parent = nullptr);
    ~ModulesRootTreeNode() override;

    int columnCount() const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
};

/** An Apache module loaded from a shared object, or one that could be enabled. */
class ModuleSharedTreeNode : public TreeNode
{
    Q_OBJECT
public:
    explicit ModuleSharedTreeNode(const QString &name, QObject *parent = nullptr);

    QString name() const { return m_name; }
    QVariant data(int column, int role) const override;

private:
    QString m_name;
};

/** An Apache module compiled into the server: shown, never changed. */
class ModuleStaticTreeNode : public ModuleSharedTreeNode
{
    Q_OBJECT
public:
    explicit ModuleStaticTreeNode(const QString &name, QObject *parent = nullptr);

    QVariant data(int column, int role) const override;
};
