#include "serviceservicesmodule.h"

#include "serviceserviceselement.h"

#include <elementdata.h>
#include <nodeselementwidget.h>

ServiceServicesModule::ServiceServicesModule(QObject *parent)
    : Module(QStringLiteral("ServiceServicesModule"), parent)
{
    setLevel(1);
    setData(QStringLiteral("description"), tr("Module for service support"));
    setData(QStringLiteral("administrator"), Module::isAdministrator(this));
    appendElement(new ServiceServicesElement(this));
    insertElementWidget(new NodesElementWidget(QStringLiteral("ServiceServices"), this,
                                               &Module::isAdministratorHierarchy, nullptr));
    connectElementWidgets();
}

void ServiceServicesModule::performOperation(ContextOperation *context, OperationType type,
                                             ElementData *data, int n)
{
    // Nothing here takes a record; the service modules below get the context alone, and each
    // answers the root's light read with a light read of its own service.
    delete data;
    Module::performOperation(context, type, nullptr, n);
}
