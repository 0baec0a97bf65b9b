#include "contextoperation.h"

#include "hostconnection.h"
#include "module.h"

#include <QList>

const QString ContextOperation::allElementType = QStringLiteral("*");

ContextOperation::ContextOperation(Module *module) : m_module(module) {}

ContextOperation::~ContextOperation() = default;

OperationTypes ContextOperation::availableOperations() const
{
    return 0;
}

OperationTypes ContextOperation::offeredOperations() const
{
    OperationTypes operations = availableOperations();
    if ((operations & OperationControl) &&
        !Module::hostConnectionOf(m_module)->remoteHost().isEmpty())
        operations &= ~OperationTypes(OperationControl);
    return operations;
}

void ContextOperation::performOperation(OperationType, ElementData *, int) {}

QString ContextOperation::caption() const
{
    return QString();
}

Element *ContextOperation::elementContext()
{
    return nullptr;
}

ViewEditElementWidget *ContextOperation::elementWidgetContext()
{
    return nullptr;
}

namespace {
struct NamedOperation
{
    OperationType type;
    const char *name;
};

const NamedOperation namedOperations[] = {
    {OperationAttach, "attach"},
    {OperationDetach, "detach"},
    {OperationCreate, "create"},
    {OperationReadContent, "read-content"},
    {OperationReadLight, "read-light"},
    {OperationReadHeavy, "read-heavy"},
    {OperationUpdate, "update"},
    {OperationDelete, "delete"},
    {OperationStart, "start"},
    {OperationStop, "stop"},
    {OperationRestart, "restart"},
    {OperationReload, "reload"},
    {OperationControl, "control"},
    {OperationClearCache, "clear-cache"},
};
} // namespace

QString operationName(OperationType type)
{
    for (const NamedOperation &op : namedOperations) {
        if (op.type == type)
            return QString::fromLatin1(op.name);
    }
    return QString();
}

OperationType operationFromName(const QString &name)
{
    for (const NamedOperation &op : namedOperations) {
        if (name == QLatin1String(op.name))
            return op.type;
    }
    return OperationNone;
}

QList<OperationType> allOperations()
{
    QList<OperationType> all;
    for (const NamedOperation &op : namedOperations)
        all.append(op.type);
    return all;
}
