#pragma once

#include <supplementworkmodule.h>

/**
 * Hangs a packages element under every service element its supplement modules reach, reads
 * it, and removes it again on detach.
 */
class ServicePackagesModule : public SupplementWorkModule
{
    Q_OBJECT
public:
    explicit ServicePackagesModule(QObject *parent);
    ~ServicePackagesModule() override;

protected:
    SupplementElement *createSupplement(Element *service) override;
    AbstractTask *createReadTask(Element *element) override;
};
