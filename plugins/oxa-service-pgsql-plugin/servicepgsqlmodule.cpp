#include "servicepgsqlmodule.h"

#include "servicepgsqlclusterselement.h"
#include "servicepgsqlelementwidget.h"
#include "servicepgsqltasks.h"

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
    switch (type) {
    case OperationReadHeavy:
        return new ServicePgsqlClusterReadTask(element);
    case OperationDelete:
        return new ServicePgsqlClusterDeleteTask(element);
    case OperationStart:
        return new ServicePgsqlClusterStartTask(element);
    case OperationStop:
        return new ServicePgsqlClusterStopTask(element);
    case OperationRestart:
        return new ServicePgsqlClusterRestartTask(element);
    case OperationReload:
        return new ServicePgsqlClusterReloadTask(element);
    case OperationControl:
        return new ServicePgsqlClusterControlTask(element);
    default:
        return nullptr;
    }
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
