#pragma once

#include <servicemodule.h>

/**
 * The KDC and the administration server in one module: the Services root's light read reaches
 * the KDC only; each element's operations become that element's own tasks.
 */
class ServiceKerberosModule : public ServiceModule
{
    Q_OBJECT
public:
    explicit ServiceKerberosModule(QObject *parent);

protected:
    AbstractTask *createRootLightRead(Element *first) override;
    AbstractTask *createTask(Element *element, OperationType type, ElementData *data) override;
};
