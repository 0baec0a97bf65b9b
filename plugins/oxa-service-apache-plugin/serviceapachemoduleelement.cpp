#include "serviceapachemoduleelement.h"

#include <module.h>

ServiceApacheModuleElement::ServiceApacheModuleElement(Module *module)
    : Element(module, &Module::isAdministratorHierarchy)
{
    setId(QStringLiteral("ServiceApacheModules"));
    setElementType(QStringLiteral("ServiceApacheModules"));
    setParentId(QStringLiteral("ServiceApache"));
    setLevel(3);
    setTitle(tr("Apache modules"));
}

int ServiceApacheModuleElement::treeNodeSpecialFlags() const
{
    return TreeNodeFlagLeaf;
}

ViewEditElementWidget *ServiceApacheModuleElement::elementWidget(ElementWidgetRole role) const
{
    return role == ElementWidgetRoleView ? Element::elementWidget(role) : nullptr;
}

OperationTypes ServiceApacheModuleElement::availableOperations() const
{
    if (Module::isAdministratorHierarchy(module()))
        return OperationReadHeavy | OperationUpdate;
    return OperationReadHeavy;
}

void ServiceApacheModuleElement::performOperation(OperationType type, ElementData *data, int n)
{
    if (type == OperationReadHeavy || type == OperationUpdate)
        forwardToModule(type, data, n);
}

QString ServiceApacheModuleElement::caption() const
{
    return tr("Apache HTTP service modules");
}
