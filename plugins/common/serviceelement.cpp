#include "serviceelement.h"

#include <module.h>

CommonServiceElement::CommonServiceElement(Module *module, const QString &id,
                                           const QString &parentId, int level, const QString &title,
                                           const QString &caption, OperationTypes alwaysOffered,
                                           OperationTypes offeredWhileRunning)
    : ServiceElement(module, &Module::isAdministratorHierarchy), m_caption(caption)
{
    setId(id);
    setElementType(id);
    setParentId(parentId);
    setLevel(level);
    setTitle(title);
    setExtraOperations(alwaysOffered, offeredWhileRunning);
}
