#pragma once

#include <servicemodule.h>

/** Turns operations on the Dovecot element (and the Services root's light read) into tasks. */
class ServiceMailDovecotModule : public ServiceModule
{
    Q_OBJECT
public:
    explicit ServiceMailDovecotModule(QObject *parent);

protected:
    AbstractTask *createRootLightRead(Element *first) override;
    AbstractTask *createTask(Element *element, OperationType type, ElementData *data) override;
};
