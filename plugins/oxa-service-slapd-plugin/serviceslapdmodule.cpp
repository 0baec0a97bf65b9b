#include "serviceslapdmodule.h"

#include "serviceslapdelement.h"
#include "serviceslapdelementwidget.h"
#include "serviceslapdtasks.h"

ServiceSlapdModule::ServiceSlapdModule(QObject *parent)
    : ServiceModule(QStringLiteral("ServiceSlapdModule"), parent,
                    QStringLiteral("ServiceServicesModule"), 2, tr("Service Slapd module"))
{
    addElementAndWidget(new ServiceSlapdElement(this), new ServiceSlapdElementWidget(this));
    connectElementWidgets();
}

AbstractTask *ServiceSlapdModule::createRootLightRead(Element *first)
{
    return new ServiceSlapdReadLightTask(first);
}

AbstractTask *ServiceSlapdModule::createTask(Element *element, OperationType type, ElementData *)
{
    if (element->elementType() != QLatin1String("ServiceSlapd"))
        return nullptr;
    return createFamilyTask<slapdFamily, ServiceSlapdReadHeavyTask>(element, type);
}
