#include "serviceapachemodule.h"

#include "serviceapachemoduleelement.h"
#include "serviceapachemoduleelementwidget.h"

ServiceApacheModule::ServiceApacheModule(QObject *parent) : FamilyServiceModule(parent)
{
    // Filled by the plug-in's package check.
    setData(QStringLiteral("version"), QString());
    addElementAndWidget(new ServiceApacheModuleElement(this),
                        new ServiceApacheModuleElementWidget(this));
    connectElementWidgets();
}

AbstractTask *ServiceApacheModule::createTask(Element *element, OperationType type,
                                              ElementData *data)
{
    const QString elementType = element->elementType();
    if (elementType == QLatin1String(apacheFamily.elementType) && type == OperationUpdate)
        return new ServiceApacheSiteUpdateTask(element, data);
    if (elementType == QLatin1String("ServiceApacheModules")) {
        if (type == OperationReadHeavy)
            return new ServiceApacheModulesReadTask(element);
        if (type == OperationUpdate)
            return new ServiceApacheModulesUpdateTask(element, data);
    }
    return FamilyServiceModule::createTask(element, type, data);
}
