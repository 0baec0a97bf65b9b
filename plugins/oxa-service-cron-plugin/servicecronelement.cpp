#include "servicecronelement.h"

ServiceCronElement::ServiceCronElement(Module *module)
    : CommonServiceElement(module, QStringLiteral("ServiceCron"), QStringLiteral("ServiceServices"),
                           2, tr("Cron"), tr("Cron"), OperationControl)
{
}
