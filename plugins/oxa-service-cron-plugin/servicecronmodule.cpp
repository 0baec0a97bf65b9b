#include "servicecronmodule.h"

#include "servicecronelement.h"
#include "servicecronelementwidget.h"
#include "servicecrontasks.h"

ServiceCronModule::ServiceCronModule(QObject *parent)
    : ServiceModule(QStringLiteral("ServiceCronModule"), parent,
                    QStringLiteral("ServiceServicesModule"), 2, tr("Service Cron module"))
{
    addElementAndWidget(new ServiceCronElement(this), new ServiceCronElementWidget(this));
    connectElementWidgets();
}

AbstractTask *ServiceCronModule::createRootLightRead(Element *first)
{
    return new ServiceCronReadLightTask(first);
}

AbstractTask *ServiceCronModule::createTask(Element *element, OperationType type, ElementData *)
{
    if (element->elementType() != QLatin1String("ServiceCron"))
        return nullptr;
    if (type == OperationControl)
        return new ServiceCronControlTask(element);
    return createFamilyTask<cronFamily, ServiceCronReadHeavyTask>(element, type);
}
