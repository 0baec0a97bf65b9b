#include "servicetarntarndelement.h"

ServiceTarnTarndElement::ServiceTarnTarndElement(Module *module)
    : CommonServiceElement(module, QStringLiteral("ServiceTarnTarnd"),
                           QStringLiteral("ServiceTarnServer"), 3, tr("Tarnd"), tr("Tarn: Tarnd"))
{
}
