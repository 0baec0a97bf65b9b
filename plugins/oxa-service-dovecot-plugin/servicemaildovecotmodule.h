#pragma once

#include "servicemaildovecotelement.h"
#include "servicemaildovecotelementwidget.h"
#include "servicemaildovecottasks.h"

#include <familyservicemodule.h>

/** Turns operations on the Dovecot element (and the Services root's light read) into tasks. */
class ServiceMailDovecotModule
    : public FamilyServiceModule<dovecotFamily, ServiceMailDovecotReadHeavyTask,
                                 ServiceMailDovecotElement, ServiceMailDovecotElementWidget>
{
    Q_OBJECT
public:
    using FamilyServiceModule::FamilyServiceModule;
};
