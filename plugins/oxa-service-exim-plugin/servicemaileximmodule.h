#pragma once

#include <servicemodule.h>

/** Turns operations on the Exim element (and the Services root's light read) into tasks. */
class ServiceMailEximModule : public ServiceModule
{
    Q_OBJECT
public:
    explicit ServiceMailEximModule(QObject *parent);

protected:
    AbstractTask *createRootLightRead(Element *first) override;
    AbstractTask *createTask(Element *element, OperationType type, ElementData *data) override;
};
