#include "servicelogelement.h"

#include <module.h>

ServiceLogElement::ServiceLogElement(Module *module)
    : SupplementElement(module, Module::isAdministratorHierarchy)
{
    setElementType(QStringLiteral("ServiceLog"));
    setTitle(tr("Log"));
}

ServiceLogElement::~ServiceLogElement() = default;

QString ServiceLogElement::caption() const
{
    const Element *service = qobject_cast<const Element *>(parentNode());
    if (!service)
        return QString();
    return tr("Log of service: %1").arg(service->caption());
}
