#pragma once

#include <serviceelement.h>

/** The Exim mail transfer agent below the Mail group; offers reload while it runs. */
class ServiceMailEximElement : public CommonServiceElement
{
    Q_OBJECT
public:
    explicit ServiceMailEximElement(Module *module);
};
