#include "servicepackageselement.h"

#include <module.h>

ServicePackagesElement::ServicePackagesElement(Module *module)
    : SupplementElement(module, Module::isAdministratorHierarchy)
{
    setElementType(QStringLiteral("ServicePackages"));
}

ServicePackagesElement::~ServicePackagesElement() = default;

QString ServicePackagesElement::caption() const
{
    const Element *service = qobject_cast<const Element *>(parentNode());
    if (!service)
        return QString();
    return tr("Package list of service: %1").arg(service->caption());
}
