#pragma once

#include <servicemodule.h>

/** Turns operations on the Samba element (and the Services root's light read) into tasks. */
class ServiceSambaModule : public ServiceModule
{
    Q_OBJECT
public:
    explicit ServiceSambaModule(QObject *parent);

protected:
    AbstractTask *createRootLightRead(Element *first) override;
    AbstractTask *createTask(Element *element, OperationType type, ElementData *data) override;
};
