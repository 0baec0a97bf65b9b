#pragma once

#include <servicemodule.h>

/**
 * The PostgreSQL module below the Services root: the clusters container, the list of
 * clusters and the cluster form; turns operations on them into the cluster tasks.
 */
class ServicePgsqlModule : public ServiceModule
{
    Q_OBJECT
public:
    explicit ServicePgsqlModule(QObject *parent);

protected:
    AbstractTask *createTask(Element *element, OperationType type, ElementData *data) override;
    /// The cluster form's create operation: a new cluster in the clusters container.
    AbstractTask *createWidgetTask(ViewEditElementWidget *widget, OperationType type,
                                   ElementData *data) override;
};
