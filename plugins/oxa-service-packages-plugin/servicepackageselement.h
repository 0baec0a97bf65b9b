#pragma once

#include <element.h>

/** The package list hung under a service element of another plug-in; it offers the read only. */
class ServicePackagesElement : public SupplementElement
{
    Q_OBJECT
public:
    explicit ServicePackagesElement(Module *module);
    ~ServicePackagesElement() override;

    /// "Package list of service: <the service's caption>"; empty outside a service element.
    QString caption() const override;
};
