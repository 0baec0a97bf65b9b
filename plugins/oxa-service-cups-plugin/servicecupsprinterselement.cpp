#include "servicecupsprinterselement.h"

#include <module.h>

ServiceCupsPrintersElement::ServiceCupsPrintersElement(Module *module)
    : Element(module, &Module::isAdministratorHierarchy)
{
    setId(QStringLiteral("ServiceCupsPrinters"));
    setElementType(id());
    setParentId(QStringLiteral("ServiceCups"));
    setLevel(3);
    setTitle(tr("Cups printers"));
}

int ServiceCupsPrintersElement::treeNodeSpecialFlags() const
{
    return TreeNodeFlagLeaf;
}

ViewEditElementWidget *ServiceCupsPrintersElement::elementWidget(ElementWidgetRole role) const
{
    return role == ElementWidgetRoleView ? Element::elementWidget(role) : nullptr;
}

OperationTypes ServiceCupsPrintersElement::availableOperations() const
{
    if (!isAccessible())
        return OperationReadHeavy;
    return OperationReadHeavy | OperationUpdate;
}

void ServiceCupsPrintersElement::performOperation(OperationType type, ElementData *data, int n)
{
    if (type == OperationReadHeavy || type == OperationUpdate)
        forwardToModule(type, data, n);
}

QString ServiceCupsPrintersElement::caption() const
{
    return tr("Cups service printers");
}
