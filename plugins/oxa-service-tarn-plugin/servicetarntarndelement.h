#pragma once

#include <serviceelement.h>

/**
 * The directory daemon "tarnd" below the server element. On a client host its parent does
 * not exist, so the console does not show it.
 */
class ServiceTarnTarndElement : public CommonServiceElement
{
    Q_OBJECT
public:
    explicit ServiceTarnTarndElement(Module *module);
};
