#include "servicemaileximelement.h"

ServiceMailEximElement::ServiceMailEximElement(Module *module)
    : CommonServiceElement(module, QStringLiteral("ServiceMailExim"), QStringLiteral("ServiceMail"),
                           3, tr("Exim"), tr("Mail: Exim"), 0, OperationReload)
{
}
