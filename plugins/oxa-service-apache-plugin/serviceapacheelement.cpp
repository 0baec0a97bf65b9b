#include "serviceapacheelement.h"

#include <module.h>

ServiceApacheElement::ServiceApacheElement(Module *module)
    : CommonServiceElement(module, QStringLiteral("ServiceApache"),
                           QStringLiteral("ServiceServices"), 2, tr("Apache 2"), QString(),
                           OperationUpdate, OperationReload)
{
}

QString ServiceApacheElement::caption() const
{
    const QString version =
        module() ? module()->getData(QStringLiteral("version")).toString() : QString();
    return tr("Apache HTTP server %1").arg(version);
}
