#include "servicecronmodule.h"

AbstractTask *ServiceCronModule::createTask(Element *element, OperationType type, ElementData *data)
{
    if (type == OperationControl && element->elementType() == QLatin1String(cronFamily.elementType))
        return new ServiceCronControlTask(element);
    return FamilyServiceModule::createTask(element, type, data);
}
