#pragma once

#include <servicemodule.h>

/** Turns operations on the Slapd element (and the Services root's light read) into tasks. */
class ServiceSlapdModule : public ServiceModule
{
    Q_OBJECT
public:
    explicit ServiceSlapdModule(QObject *parent);

protected:
    AbstractTask *createRootLightRead(Element *first) override;
    AbstractTask *createTask(Element *element, OperationType type, ElementData *data) override;
};
