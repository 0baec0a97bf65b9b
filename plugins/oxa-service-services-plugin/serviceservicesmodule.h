#pragma once

#include <module.h>

/**
 * The root of the module tree ("ServiceServicesModule"): it holds the "Services" element and
 * passes every operation on to the service modules below it; it creates no task itself.
 */
class ServiceServicesModule : public Module
{
    Q_OBJECT
public:
    explicit ServiceServicesModule(QObject *parent);

    void performOperation(ContextOperation *context, OperationType type, ElementData *data,
                          int n) override;
};
