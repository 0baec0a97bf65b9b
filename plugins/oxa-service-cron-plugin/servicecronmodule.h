#pragma once

#include "servicecronelement.h"
#include "servicecronelementwidget.h"
#include "servicecrontasks.h"

#include <familyservicemodule.h>

/**
 * Turns operations on the Cron element (and the Services root's light read) into tasks; its
 * control operation starts the cron administration program.
 */
class ServiceCronModule : public FamilyServiceModule<cronFamily, ServiceCronReadHeavyTask,
                                                     ServiceCronElement, ServiceCronElementWidget>
{
    Q_OBJECT
public:
    using FamilyServiceModule::FamilyServiceModule;

protected:
    AbstractTask *createTask(Element *element, OperationType type, ElementData *data) override;
};
