#pragma once

#include "servicerows.h"

#include <element.h>

/**
 * The module of a service with one element: @p Row names and places it and gives its tasks,
 * @p HeavyTask reads the configuration, @p ElementType and @p Widget are made with the module.
 * The Services root's light read and every family operation on the element become tasks.
 */
template <const ServiceRow &Row, class HeavyTask, class ElementType, class Widget>
class FamilyServiceModule : public ServiceModule
{
public:
    explicit FamilyServiceModule(QObject *parent) : ServiceModule(Row, parent)
    {
        addElementAndWidget(new ElementType(this), new Widget(this));
        connectElementWidgets();
    }

protected:
    AbstractTask *createRootLightRead(Element *first) override
    {
        return new FamilyReadLightTask<Row>(first);
    }
    AbstractTask *createTask(Element *element, OperationType type, ElementData *) override
    {
        if (element->elementType() != QLatin1String(Row.elementType))
            return nullptr;
        return createFamilyTask<Row, HeavyTask>(element, type, Row.lightOnElement);
    }
};
