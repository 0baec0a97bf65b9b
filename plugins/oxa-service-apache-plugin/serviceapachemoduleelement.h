#pragma once

#include <listleafelement.h>

/** "Apache modules" below the Apache element: the modules list, applied by an administrator. */
class ServiceApacheModuleElement : public ListLeafElement
{
    Q_OBJECT
public:
    explicit ServiceApacheModuleElement(Module *module);
};
