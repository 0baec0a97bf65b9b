#include "testserviceelement.h"

#include <elementdata.h>
#include <module.h>

#include <QIcon>

TestServiceElement::TestServiceElement(Module *module, const Setup &setup)
    : ServiceElement(module, &Module::isAdministratorHierarchy), m_setup(setup)
{
    setId(setup.id);
    setParentId(setup.parentId);
    setLevel(setup.level);
    setTitle(setup.title);
    setElementType(setup.id);
    setExtraOperations(setup.always, setup.whileRunning);
}

QVariant TestServiceElement::data(int column, int role) const
{
    // The state icon once the state is known; the element's own icon before.
    if (column == 0 && role == Qt::DecorationRole && !m_setup.iconName.isEmpty()) {
        const ServiceLightElementData *light = serviceData();
        if (!light || !light->isStateKnown())
            return QIcon::fromTheme(m_setup.iconName);
    }
    return ServiceElement::data(column, role);
}
