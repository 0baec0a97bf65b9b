#pragma once

#include "serviceapacheelement.h"
#include "serviceapacheelementwidget.h"
#include "serviceapachetasks.h"

#include <familyservicemodule.h>

/**
 * Turns operations on the Apache element (state, sites) and the modules element into tasks, and
 * carries the server's version in its "version" entry.
 */
class ServiceApacheModule
    : public FamilyServiceModule<apacheFamily, ServiceApacheReadHeavyTask, ServiceApacheElement,
                                 ServiceApacheElementWidget>
{
    Q_OBJECT
public:
    explicit ServiceApacheModule(QObject *parent);

protected:
    AbstractTask *createTask(Element *element, OperationType type, ElementData *data) override;
};
