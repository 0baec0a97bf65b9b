#pragma once

#include "servicekerberoselements.h"
#include "servicekerberoselementwidgets.h"
#include "servicekerberostasks.h"

#include <familyservicemodule.h>

/**
 * The KDC and the administration server in one module: the Services root's light read reaches
 * the KDC only; each element's operations become that element's own tasks.
 */
class ServiceKerberosModule
    : public FamilyServiceModule<kerberosKdcFamily, ServiceKerberosKdcReadHeavyTask,
                                 ServiceKerberosKdcElement, ServiceKerberosKdcElementWidget>
{
    Q_OBJECT
public:
    explicit ServiceKerberosModule(QObject *parent);

protected:
    AbstractTask *createTask(Element *element, OperationType type, ElementData *data) override;
};
