#pragma once

#include <serviceelement.h>

/**
 * The Apache HTTP server below the Services root: its state and sites; sites can be applied
 * whatever the state, and a running server can be reloaded.
 */
class ServiceApacheElement : public CommonServiceElement
{
    Q_OBJECT
public:
    explicit ServiceApacheElement(Module *module);

    /// "Apache HTTP server <version>", the version the package check found.
    QString caption() const override;
};
