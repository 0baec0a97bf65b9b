#include "vieweditelementwidget.h"

#include "element.h"
#include "elementdata.h"
#include "module.h"

ViewEditElementWidget::ViewEditElementWidget(Module *module, AccessPredicate predicate,
                                             QWidget *parent)
    : QWidget(parent), ContextOperation(module), m_predicate(predicate)
{
}

ViewEditElementWidget::~ViewEditElementWidget() = default;

void ViewEditElementWidget::setElement(Element *element, ElementWidgetRole role)
{
    m_element = element;
    m_role = role;
    reset();
}

Element *ViewEditElementWidget::element() const
{
    return m_element;
}

void ViewEditElementWidget::afterSuccessfulRead(Element *, ElementData *)
{
    emit contentRead();
}

void ViewEditElementWidget::reset()
{
    m_modified = false;
}

void ViewEditElementWidget::blockEditWidget(bool blocked)
{
    const bool changed = blocked != m_blocked;
    m_blocked = blocked;
    if (blocked)
        m_modified = false;
    if (changed)
        emit blockChanged(blocked);
}

ElementData *ViewEditElementWidget::exportElementData()
{
    return nullptr;
}

bool ViewEditElementWidget::isContentValid() const
{
    return true;
}

void ViewEditElementWidget::applyContentChanges()
{
    if (m_role == ElementWidgetRoleCreate) {
        performOperation(OperationCreate, exportElementData(), 0);
    } else if (m_role == ElementWidgetRoleView && m_element) {
        m_element->performOperation(OperationUpdate, exportElementData(), 0);
    }
    m_modified = false;
}

bool ViewEditElementWidget::isAccessible() const
{
    return m_predicate && module() && m_predicate(module());
}

QString ViewEditElementWidget::caption() const
{
    return m_element ? m_element->caption() : windowTitle();
}

OperationTypes ViewEditElementWidget::availableOperations() const
{
    return m_element ? m_element->offeredOperations() : OperationTypes(0);
}

void ViewEditElementWidget::performOperation(OperationType type, ElementData *data, int n)
{
    if (module())
        module()->performOperation(this, type, data, n);
}

void ViewEditElementWidget::changeContent()
{
    m_modified = true;
    emit contentChanged();
}
