#include "servicesambaelement.h"

ServiceSambaElement::ServiceSambaElement(Module *module)
    : CommonServiceElement(module, QStringLiteral("ServiceSamba"),
                           QStringLiteral("ServiceServices"), 2, tr("Samba"), tr("Samba"))
{
}
