#pragma once

#include <element.h>

/**
 * One database cluster (a major version and a name) below the PostgreSQL container; its
 * record holds what pg_lsclusters tells of it. It has no id: the console knows it by its
 * element type and its title "name-version".
 */
class ServicePgsqlClusterElement : public Element
{
    Q_OBJECT
public:
    explicit ServicePgsqlClusterElement(Module *module, QObject *parent = nullptr);

    QVariant data(int column, int role) const override;
    /// Read only without administrator rights; else create, read, delete, control, the state
    /// changes that fit the cluster's state and the start mode change that fits start.conf.
    OperationTypes availableOperations() const override;
    /// Hands the cluster's operations to the module with this element as the context.
    void performOperation(OperationType type, ElementData *data, int n) override;
    QString caption() const override;
    /// A cluster has nothing to open of its own: no expander unless something hangs below.
    int treeNodeSpecialFlags() const override;

private:
    QVariant property(const QString &key, const QVariant &defaultValue = QVariant()) const;
    bool isRunning() const;
};
