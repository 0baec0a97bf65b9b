#include "servicepgsqlmodule.h"

#include "servicepgsqlclusterselement.h"
#include "servicepgsqlelementwidget.h"
#include "servicepgsqltasks.h"

#include <elementdata.h>
#include <nodeselementwidget.h>

#include <QStringListModel>

ServicePgsqlModule::ServicePgsqlModule(QObject *parent)
    : ServiceModule(QStringLiteral("ServicePgsqlModule"), parent,
                    QStringLiteral("ServiceServicesModule"), 2,
                    tr("Service PostgreSQL database module"))
{
    auto *clusters = new ServicePgsqlClustersElement(this);
    appendElement(clusters);
    insertElementWidget(new ServicePgsqlElementWidget(clusters->versionsModel(), this,
                                                      &Module::isAdministratorHierarchy));
    insertElementWidget(new ElementsElementWidget(QStringLiteral("ServicePgsqlClusters"), this,
                                                  &Module::isAdministratorHierarchy));
    connectElementWidgets();
}

AbstractTask *ServicePgsqlModule::createTask(Element *element, OperationType type,
                                             ElementData *data)
{
    const QString elementType = element->elementType();
    if (elementType == QLatin1String("ServicePgsqlClusters")) {
        if (type == OperationReadContent)
            return new ServicePgsqlClustersReadTask(element, data);
        return nullptr;
    }
    if (elementType != QLatin1String("ServicePgsqlCluster"))
        return nullptr;
    if (type == OperationEnableAtBoot || type == OperationDisableAtBoot) {
        delete data;
        return new ServicePgsqlClusterBootTask(element, type == OperationEnableAtBoot);
    }
    AbstractTask *task = taskFrom({{OperationReadHeavy, &newTask<ServicePgsqlClusterReadTask>},
                                   {OperationDelete, &newTask<ServicePgsqlClusterDeleteTask>},
                                   {OperationStart, &newTask<ServicePgsqlClusterStartTask>},
                                   {OperationStop, &newTask<ServicePgsqlClusterStopTask>},
                                   {OperationRestart, &newTask<ServicePgsqlClusterRestartTask>},
                                   {OperationReload, &newTask<ServicePgsqlClusterReloadTask>},
                                   {OperationControl, &newTask<ServicePgsqlClusterControlTask>}},
                                  element, type);
    // These tasks work on the cluster's own record; a record handed along is nobody's then.
    if (task)
        delete data;
    return task;
}

AbstractTask *ServicePgsqlModule::createWidgetTask(ViewEditElementWidget *widget,
                                                   OperationType type, ElementData *data)
{
    if (type != OperationCreate || widget->elementType() != QLatin1String("ServicePgsqlCluster"))
        return nullptr;
    Element *clusters = qobject_cast<Element *>(firstElement());
    if (!clusters)
        return nullptr;
    return new ServicePgsqlClusterCreateTask(clusters, data);
}
