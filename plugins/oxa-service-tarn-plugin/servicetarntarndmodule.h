#pragma once

#include "servicetarntarndelement.h"
#include "servicetarntarndelementwidget.h"
#include "servicetarntasks.h"

#include <familyservicemodule.h>

/**
 * The directory daemon's module, below the directory module: the daemon's own operations,
 * and a refresh of its state whenever the directory element's content or configuration is
 * read.
 */
class ServiceTarnTarndModule
    : public FamilyServiceModule<tarndFamily, ServiceTarnTarndReadHeavyTask,
                                 ServiceTarnTarndElement, ServiceTarnTarndElementWidget>
{
    Q_OBJECT
public:
    using FamilyServiceModule::FamilyServiceModule;

protected:
    /// None: the daemon's state follows the directory element's reads instead.
    AbstractTask *createRootLightRead(Element *first) override;
    AbstractTask *createTask(Element *element, OperationType type, ElementData *data) override;
};
