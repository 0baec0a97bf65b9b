#include "servicemaildovecotelement.h"

ServiceMailDovecotElement::ServiceMailDovecotElement(Module *module)
    : CommonServiceElement(module, QStringLiteral("ServiceMailDovecot"),
                           QStringLiteral("ServiceMail"), 3, tr("Dovecot"), tr("Mail: Dovecot"), 0,
                           OperationReload)
{
}
