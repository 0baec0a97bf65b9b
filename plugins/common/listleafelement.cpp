#include "listleafelement.h"

#include "serviceelement.h"

#include <module.h>

ListLeafElement::ListLeafElement(Module *module, const QString &id, const QString &parentId,
                                 int level, const QString &title, const QString &caption)
    : Element(module, &Module::isAdministratorHierarchy), m_caption(caption)
{
    placeElement(this, id, parentId, level, title);
}

int ListLeafElement::treeNodeSpecialFlags() const
{
    return TreeNodeFlagLeaf;
}

ViewEditElementWidget *ListLeafElement::elementWidget(ElementWidgetRole role) const
{
    return role == ElementWidgetRoleView ? Element::elementWidget(role) : nullptr;
}

OperationTypes ListLeafElement::availableOperations() const
{
    if (!isAccessible())
        return OperationReadHeavy;
    return OperationReadHeavy | OperationUpdate;
}

void ListLeafElement::performOperation(OperationType type, ElementData *data, int n)
{
    if (type == OperationReadHeavy || type == OperationUpdate)
        forwardToModule(type, data, n);
}
