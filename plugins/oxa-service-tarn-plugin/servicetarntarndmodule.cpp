#include "servicetarntarndmodule.h"

#include "servicetarntarndelement.h"
#include "servicetarntarndelementwidget.h"
#include "servicetarntasks.h"

ServiceTarnTarndModule::ServiceTarnTarndModule(QObject *parent)
    : ServiceModule(QStringLiteral("ServiceTarnTarndModule"), parent,
                    QStringLiteral("ServiceTarnModule"), 3, tr("Service Tarnd module"),
                    ServiceModule::NoOptions)
{
    addElementAndWidget(new ServiceTarnTarndElement(this), new ServiceTarnTarndElementWidget(this));
    connectElementWidgets();
}

AbstractTask *ServiceTarnTarndModule::createTask(Element *element, OperationType type,
                                                 ElementData *)
{
    const QString elementType = element->elementType();
    if (elementType == QLatin1String("ServiceTarnServer") ||
        elementType == QLatin1String("ServiceTarnClient")) {
        // Reading the directory element refreshes the daemon's state too.
        if (type != OperationReadContent && type != OperationReadHeavy)
            return nullptr;
        Element *daemon = firstElement();
        return daemon ? new ServiceTarnTarndReadLightTask(daemon) : nullptr;
    }
    if (elementType == QLatin1String("ServiceTarnTarnd"))
        return createFamilyTask<tarndFamily, ServiceTarnTarndReadHeavyTask>(element, type, true);
    return nullptr;
}
