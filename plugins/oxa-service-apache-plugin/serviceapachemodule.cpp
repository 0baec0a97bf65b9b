#include "serviceapachemodule.h"

#include "serviceapacheelement.h"
#include "serviceapacheelementwidget.h"
#include "serviceapachemoduleelement.h"
#include "serviceapachemoduleelementwidget.h"
#include "serviceapachetasks.h"

ServiceApacheModule::ServiceApacheModule(QObject *parent)
    : ServiceModule(QStringLiteral("ServiceApacheModule"), parent,
                    QStringLiteral("ServiceServicesModule"), 2, tr("Service Apache HTTP module"))
{
    // Filled by the plug-in's package check.
    setData(QStringLiteral("version"), QString());
    appendElement(new ServiceApacheElement(this));
    appendElement(new ServiceApacheModuleElement(this));
    insertElementWidget(new ServiceApacheElementWidget(this));
    insertElementWidget(new ServiceApacheModuleElementWidget(this));
    connectElementWidgets();
}

AbstractTask *ServiceApacheModule::createRootLightRead(Element *first)
{
    return new ServiceApacheReadLightTask(first);
}

AbstractTask *ServiceApacheModule::createTask(Element *element, OperationType type,
                                              ElementData *data)
{
    const QString elementType = element->elementType();
    if (elementType == QLatin1String("ServiceApache")) {
        if (type == OperationUpdate)
            return new ServiceApacheSiteUpdateTask(element, data);
        return createFamilyTask<apacheFamily, ServiceApacheReadHeavyTask>(element, type);
    }
    if (elementType == QLatin1String("ServiceApacheModules")) {
        if (type == OperationReadHeavy)
            return new ServiceApacheModulesReadTask(element);
        if (type == OperationUpdate)
            return new ServiceApacheModulesUpdateTask(element, data);
    }
    return nullptr;
}
