#include "servicecupsprinterselement.h"

ServiceCupsPrintersElement::ServiceCupsPrintersElement(Module *module)
    : ListLeafElement(module, QStringLiteral("ServiceCupsPrinters"), QStringLiteral("ServiceCups"),
                      3, tr("Cups printers"), tr("Cups service printers"))
{
}
