#pragma once

#include <servicemodule.h>

/**
 * Turns operations on the Apache element (state, sites) and the modules element into tasks, and
 * carries the server's version in its "version" entry.
 */
class ServiceApacheModule : public ServiceModule
{
    Q_OBJECT
public:
    explicit ServiceApacheModule(QObject *parent);

protected:
    AbstractTask *createRootLightRead(Element *first) override;
    AbstractTask *createTask(Element *element, OperationType type, ElementData *data) override;
};
