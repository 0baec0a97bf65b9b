#include "servicetarntarndmodule.h"

AbstractTask *ServiceTarnTarndModule::createRootLightRead(Element *)
{
    return nullptr;
}

AbstractTask *ServiceTarnTarndModule::createTask(Element *element, OperationType type,
                                                 ElementData *data)
{
    const QString elementType = element->elementType();
    if (elementType == QLatin1String("ServiceTarnServer") ||
        elementType == QLatin1String("ServiceTarnClient")) {
        // Reading the directory element refreshes the daemon's state too.
        if (type != OperationReadContent && type != OperationReadHeavy)
            return nullptr;
        Element *daemon = firstElement();
        return daemon ? new FamilyReadLightTask<tarndFamily>(daemon) : nullptr;
    }
    return FamilyServiceModule::createTask(element, type, data);
}
