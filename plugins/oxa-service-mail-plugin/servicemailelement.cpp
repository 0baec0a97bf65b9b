#include "servicemailelement.h"

#include <module.h>
#include <serviceelement.h>

ServiceMailElement::ServiceMailElement(Module *module)
    : ServiceElement(module, &Module::isAdministratorHierarchy)
{
    placeElement(this, QStringLiteral("ServiceMail"), QStringLiteral("ServiceServices"), 2,
                 tr("Mail"));
}

int ServiceMailElement::treeNodeSpecialFlags() const
{
    return childCount() == 0 ? TreeNodeFlagLeaf : 0;
}

OperationTypes ServiceMailElement::availableOperations() const
{
    return OperationReadLight;
}

void ServiceMailElement::performOperation(OperationType type, ElementData *data, int n)
{
    if (type == OperationReadLight)
        forwardToModule(type, data, n);
}

QString ServiceMailElement::caption() const
{
    return tr("Mail service");
}
