#pragma once

#include "servicesambaelement.h"
#include "servicesambaelementwidget.h"
#include "servicesambatasks.h"

#include <familyservicemodule.h>

/** Turns operations on the Samba element (and the Services root's light read) into tasks. */
class ServiceSambaModule
    : public FamilyServiceModule<sambaFamily, ServiceSambaReadHeavyTask, ServiceSambaElement,
                                 ServiceSambaElementWidget>
{
    Q_OBJECT
public:
    using FamilyServiceModule::FamilyServiceModule;
};
