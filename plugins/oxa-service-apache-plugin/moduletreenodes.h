#pragma once

#include <plugintreenodes.h>

/** The invisible root of the modules list: columns "Name" and "Type". */
class ModulesRootTreeNode : public HeaderRootTreeNode
{
    Q_OBJECT
public:
    explicit ModulesRootTreeNode(QObject *parent = nullptr);
};

/** An Apache module loaded from a shared object, or one that could be enabled. */
class ModuleSharedTreeNode : public NamedTreeNode
{
    Q_OBJECT
public:
    explicit ModuleSharedTreeNode(const QString &name, QObject *parent = nullptr);

    QVariant data(int column, int role) const override;
};

/** An Apache module compiled into the server: shown, never changed. */
class ModuleStaticTreeNode : public ModuleSharedTreeNode
{
    Q_OBJECT
public:
    explicit ModuleStaticTreeNode(const QString &name, QObject *parent = nullptr);

    QVariant data(int column, int role) const override;
};
