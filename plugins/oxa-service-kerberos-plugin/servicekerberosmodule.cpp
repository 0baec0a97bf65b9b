#include "servicekerberosmodule.h"

ServiceKerberosModule::ServiceKerberosModule(QObject *parent) : FamilyServiceModule(parent)
{
    addElementAndWidget(new ServiceKerberosKadminElement(this),
                        new ServiceKerberosKadminElementWidget(this));
    connectElementWidgets();
}

AbstractTask *ServiceKerberosModule::createTask(Element *element, OperationType type,
                                                ElementData *data)
{
    const ServiceRow &kadmin = kerberosKadminFamily;
    if (element->elementType() == QLatin1String(kadmin.elementType)) {
        return createFamilyTask<kerberosKadminFamily, ServiceKerberosKadminReadHeavyTask>(
            element, type, kadmin.lightOnElement);
    }
    return FamilyServiceModule::createTask(element, type, data);
}
