#pragma once

#include <servicemodule.h>

/**
 * Turns operations on the directory element (server or client) and the Services root's light
 * read into tasks; its child module, the daemon's, sees the same operations.
 */
class ServiceTarnModule : public ServiceModule
{
    Q_OBJECT
public:
    explicit ServiceTarnModule(QObject *parent);

protected:
    /// Asks the host for its role (server or client): the element's id and widget follow it.
    void hostConnectionChanged() override;
    AbstractTask *createRootLightRead(Element *first) override;
    AbstractTask *createTask(Element *element, OperationType type, ElementData *data) override;
};
