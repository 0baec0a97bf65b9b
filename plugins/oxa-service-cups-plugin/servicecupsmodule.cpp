#include "servicecupsmodule.h"

#include "servicecupselement.h"
#include "servicecupselementwidget.h"
#include "servicecupsprinterselement.h"
#include "servicecupsprinterselementwidget.h"
#include "servicecupstasks.h"

ServiceCupsModule::ServiceCupsModule(QObject *parent)
    : ServiceModule(QStringLiteral("ServiceCupsModule"), parent,
                    QStringLiteral("ServiceServicesModule"), 2, tr("Service Cups module"))
{
    appendElement(new ServiceCupsElement(this));
    appendElement(new ServiceCupsPrintersElement(this));
    insertElementWidget(new ServiceCupsElementWidget(this));
    insertElementWidget(new ServiceCupsPrintersElementWidget(this));
    connectElementWidgets();
}

AbstractTask *ServiceCupsModule::createRootLightRead(Element *first)
{
    return new ServiceCupsReadLightTask(first);
}

AbstractTask *ServiceCupsModule::createTask(Element *element, OperationType type, ElementData *)
{
    const QString elementType = element->elementType();
    if (elementType == QLatin1String("ServiceCupsPrinters"))
        return type == OperationReadHeavy ? new ServiceCupsPrintersReadHeavyTask(element) : nullptr;
    if (elementType != QLatin1String("ServiceCups"))
        return nullptr;
    switch (type) {
    case OperationControl:
        return new ServiceCupsControlTask(element);
    case OperationClearCache:
        return new ClearCacheTask(element);
    default:
        return createFamilyTask<cupsFamily, ServiceCupsReadHeavyTask>(element, type);
    }
}
