#pragma once

#include "servicemaileximelement.h"
#include "servicemaileximelementwidget.h"
#include "servicemaileximtasks.h"

#include <familyservicemodule.h>

/** Turns operations on the Exim element (and the Services root's light read) into tasks. */
class ServiceMailEximModule
    : public FamilyServiceModule<eximFamily, ServiceMailEximReadHeavyTask, ServiceMailEximElement,
                                 ServiceMailEximElementWidget>
{
    Q_OBJECT
public:
    using FamilyServiceModule::FamilyServiceModule;
};
