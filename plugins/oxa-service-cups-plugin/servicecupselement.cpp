#include "servicecupselement.h"

#include "servicecupstasks.h"

ServiceCupsElement::ServiceCupsElement(Module *module)
    : CommonServiceElement(
          module, QStringLiteral("ServiceCups"), QStringLiteral("ServiceServices"), 2, tr("Cups"),
          tr("Cups"), OperationClearCache | OperationControl | OperationUpdate, OperationReload)
{
}

void ServiceCupsElement::performOperation(OperationType type, ElementData *data, int n)
{
    switch (type) {
    case OperationReadLight:
    case OperationReadHeavy:
    case OperationStart:
    case OperationStop:
    case OperationRestart:
    case OperationReload:
    case OperationControl:
    case OperationClearCache:
    case OperationEnableAtBoot:
    case OperationDisableAtBoot:
        forwardToModule(type, data, n);
        break;
    default:
        break;
    }
}

QString ServiceCupsElement::operationQuestion(OperationType type) const
{
    if (type != OperationClearCache)
        return QString();
    return tr("Clear the cache? Every file in %1 is removed: the print jobs queued there are "
              "lost.")
        .arg(QString::fromLatin1(ClearCacheTask::spoolDirectory));
}
