#include "servicesambamodule.h"

#include "servicesambaelement.h"
#include "servicesambaelementwidget.h"
#include "servicesambatasks.h"

ServiceSambaModule::ServiceSambaModule(QObject *parent)
    : ServiceModule(QStringLiteral("ServiceSambaModule"), parent,
                    QStringLiteral("ServiceServicesModule"), 2, tr("Service Samba module"))
{
    addElementAndWidget(new ServiceSambaElement(this), new ServiceSambaElementWidget(this));
    connectElementWidgets();
}

AbstractTask *ServiceSambaModule::createRootLightRead(Element *first)
{
    return new ServiceSambaReadLightTask(first);
}

AbstractTask *ServiceSambaModule::createTask(Element *element, OperationType type, ElementData *)
{
    if (element->elementType() != QLatin1String("ServiceSamba"))
        return nullptr;
    return createFamilyTask<sambaFamily, ServiceSambaReadHeavyTask>(element, type);
}
