#pragma once

#include <listleafelement.h>

/** "Cups printers": the scheduler's printers and classes, below the CUPS element. */
class ServiceCupsPrintersElement : public ListLeafElement
{
    Q_OBJECT
public:
    explicit ServiceCupsPrintersElement(Module *module);
};
