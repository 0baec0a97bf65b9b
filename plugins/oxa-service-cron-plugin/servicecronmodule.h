#pragma once

#include <servicemodule.h>

/** Turns operations on the Cron element (and the Services root's light read) into tasks. */
class ServiceCronModule : public ServiceModule
{
    Q_OBJECT
public:
    explicit ServiceCronModule(QObject *parent);

protected:
    AbstractTask *createRootLightRead(Element *first) override;
    AbstractTask *createTask(Element *element, OperationType type, ElementData *data) override;
};
