#include "serviceslapdelement.h"

ServiceSlapdElement::ServiceSlapdElement(Module *module)
    : CommonServiceElement(module, QStringLiteral("ServiceSlapd"),
                           QStringLiteral("ServiceServices"), 2, tr("Slapd"), tr("Slapd"))
{
}
