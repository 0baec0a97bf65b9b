#include "serviceelement.h"

#include <module.h>

CommonServiceElement::CommonServiceElement(Module *module, const QString &id,
                                           const QString &parentId, int level, const QString &title,
                                           const QString &caption, OperationTypes alwaysOffered,
                                           OperationTypes offeredWhileRunning)
    : ServiceElement(module, &Module::isAdministratorHierarchy), m_caption(caption)
{
    placeElement(this, id, parentId, level, title);
    setExtraOperations(alwaysOffered, offeredWhileRunning);
}

void placeElement(Element *element, const QString &id, const QString &parentId, int level,
                  const QString &title)
{
    element->setId(id);
    element->setElementType(id);
    element->setParentId(parentId);
    element->setLevel(level);
    element->setTitle(title);
}
