#pragma once

#include <element.h>

/** The log hung under a service element or database cluster of another plug-in; read only. */
class ServiceLogElement : public SupplementElement
{
    Q_OBJECT
public:
    explicit ServiceLogElement(Module *module);
    ~ServiceLogElement() override;

    /// "Log of service: <the service's caption>"; empty outside a service element.
    QString caption() const override;
};
