#include "serviceapachemoduleelement.h"

ServiceApacheModuleElement::ServiceApacheModuleElement(Module *module)
    : ListLeafElement(module, QStringLiteral("ServiceApacheModules"),
                      QStringLiteral("ServiceApache"), 3, tr("Apache modules"),
                      tr("Apache HTTP service modules"))
{
}
