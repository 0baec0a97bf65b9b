#pragma once

#include "serviceslapdelement.h"
#include "serviceslapdelementwidget.h"
#include "serviceslapdtasks.h"

#include <familyservicemodule.h>

/** Turns operations on the Slapd element (and the Services root's light read) into tasks. */
class ServiceSlapdModule
    : public FamilyServiceModule<slapdFamily, ServiceSlapdReadHeavyTask, ServiceSlapdElement,
                                 ServiceSlapdElementWidget>
{
    Q_OBJECT
public:
    using FamilyServiceModule::FamilyServiceModule;
};
