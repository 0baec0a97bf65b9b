#pragma once

#include <module.h>

/**
 * Hangs a packages element under every service element its supplement modules reach, reads
 * it, and removes it again on detach.
 */
class ServicePackagesModule : public Module
{
    Q_OBJECT
public:
    explicit ServicePackagesModule(QObject *parent);
    ~ServicePackagesModule() override;

    void performOperation(ContextOperation *context, OperationType type, ElementData *data,
                          int n) override;

private:
    void attachTo(Element *service);
};
