#include "servicecupselement.h"

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
        forwardToModule(type, data, n);
        break;
    default:
        break;
    }
}
