#include "servicecupsmodule.h"

#include "servicecupsprinterselement.h"
#include "servicecupsprinterselementwidget.h"

ServiceCupsModule::ServiceCupsModule(QObject *parent) : FamilyServiceModule(parent)
{
    addElementAndWidget(new ServiceCupsPrintersElement(this),
                        new ServiceCupsPrintersElementWidget(this));
    connectElementWidgets();
}

AbstractTask *ServiceCupsModule::createTask(Element *element, OperationType type, ElementData *data)
{
    const QString elementType = element->elementType();
    if (elementType == QLatin1String("ServiceCupsPrinters"))
        return type == OperationReadHeavy ? new ServiceCupsPrintersReadHeavyTask(element) : nullptr;
    if (elementType == QLatin1String(cupsFamily.elementType)) {
        if (type == OperationControl)
            return new ServiceCupsControlTask(element);
        if (type == OperationClearCache)
            return new ClearCacheTask(element);
    }
    return FamilyServiceModule::createTask(element, type, data);
}
