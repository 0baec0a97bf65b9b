#pragma once

#include <serviceelement.h>

/** The Samba file server below the Services root. */
class ServiceSambaElement : public CommonServiceElement
{
    Q_OBJECT
public:
    explicit ServiceSambaElement(Module *module);
};
