#pragma once

#include "servicecupselement.h"
#include "servicecupselementwidget.h"
#include "servicecupstasks.h"

#include <familyservicemodule.h>

/**
 * Turns operations on the CUPS element (service tasks, configuration read, spool clearing,
 * printer tool) and on its printers element into tasks.
 */
class ServiceCupsModule : public FamilyServiceModule<cupsFamily, ServiceCupsReadHeavyTask,
                                                     ServiceCupsElement, ServiceCupsElementWidget>
{
    Q_OBJECT
public:
    explicit ServiceCupsModule(QObject *parent);

protected:
    AbstractTask *createTask(Element *element, OperationType type, ElementData *data) override;
};
