#pragma once

#include <servicemodule.h>

/**
 * Turns operations on the CUPS element (service tasks, configuration read, spool clearing,
 * printer tool) and on its printers element into tasks.
 */
class ServiceCupsModule : public ServiceModule
{
    Q_OBJECT
public:
    explicit ServiceCupsModule(QObject *parent);

protected:
    AbstractTask *createRootLightRead(Element *first) override;
    AbstractTask *createTask(Element *element, OperationType type, ElementData *data) override;
};
