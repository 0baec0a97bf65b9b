#include "servicekerberosmodule.h"

#include "servicekerberoselements.h"
#include "servicekerberoselementwidgets.h"
#include "servicekerberostasks.h"

ServiceKerberosModule::ServiceKerberosModule(QObject *parent)
    : ServiceModule(QStringLiteral("ServiceKerberosModule"), parent,
                    QStringLiteral("ServiceServicesModule"), 2, tr("Service Kerberos module"))
{
    appendElement(new ServiceKerberosKdcElement(this));
    appendElement(new ServiceKerberosKadminElement(this));
    insertElementWidget(new ServiceKerberosKdcElementWidget(this));
    insertElementWidget(new ServiceKerberosKadminElementWidget(this));
    connectElementWidgets();
}

AbstractTask *ServiceKerberosModule::createRootLightRead(Element *first)
{
    return new ServiceKerberosKdcReadLightTask(first);
}

AbstractTask *ServiceKerberosModule::createTask(Element *element, OperationType type, ElementData *)
{
    const QString id = element->elementType();
    if (id == QLatin1String("ServiceKerberosKdc"))
        return createFamilyTask<kerberosKdcFamily, ServiceKerberosKdcReadHeavyTask>(element, type);
    // The administration server's state is read only when it is asked itself.
    if (id == QLatin1String("ServiceKerberosKadmin"))
        return createFamilyTask<kerberosKadminFamily, ServiceKerberosKadminReadHeavyTask>(
            element, type, true);
    return nullptr;
}
