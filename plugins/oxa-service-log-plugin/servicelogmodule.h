#pragma once

#include <supplementworkmodule.h>

/**
 * Hangs a log element under every service element and database cluster its supplement modules
 * reach; reads it only when it is shown or refreshed, never along with the state reads.
 */
class ServiceLogModule : public SupplementWorkModule
{
    Q_OBJECT
public:
    explicit ServiceLogModule(QObject *parent);
    ~ServiceLogModule() override;

protected:
    SupplementElement *createSupplement(Element *service) override;
    AbstractTask *createReadTask(Element *element) override;
};
