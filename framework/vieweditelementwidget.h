#pragma once

#include "contextoperation.h"

#include <QPointer>
#include <QWidget>

class Element;

/**
 * The widget that shows an element (role ElementWidgetRoleView) or collects a new child of a
 * container (ElementWidgetRoleCreate). Read-only while blocked; the host unblocks it for
 * editing, and applyContentChanges() sends the edit to the module.
 */
class OXA_EXPORT ViewEditElementWidget : public QWidget, public ContextOperation
{
    Q_OBJECT
public:
    ViewEditElementWidget(Module *module, AccessPredicate predicate, QWidget *parent = nullptr);
    ~ViewEditElementWidget() override;

    /// Shows @p element in @p role: stores both, then reset().
    virtual void setElement(Element *element, ElementWidgetRole role);
    Element *element() const;
    ElementWidgetRole role() const { return m_role; }

    /// A read of @p element ended well; the base emits contentRead().
    virtual void afterSuccessfulRead(Element *element, ElementData *data);
    /// Clears the widget for a new element; the base forgets the modified mark.
    virtual void reset();
    /// Blocks (read-only) or unblocks (editable) the widget.
    virtual void blockEditWidget(bool blocked);
    bool isBlocked() const { return m_blocked; }
    bool isModified() const { return m_modified; }
    /// A new record with the widget's content; the caller owns it. None by default.
    virtual ElementData *exportElementData();
    /// Whether the content may be applied (creation enabled); true by default.
    virtual bool isContentValid() const;
    /// ElementWidgetRoleCreate: OperationCreate from this widget's context with
    /// exportElementData(); ElementWidgetRoleView: OperationUpdate on the element with it.
    virtual void applyContentChanges();

    AccessPredicate predicate() const { return m_predicate; }
    bool isAccessible() const;

    /// The element's caption, or the window title without an element.
    QString caption() const override;
    /// The operations of the shown element.
    OperationTypes availableOperations() const override;
    /// Hands @p type to the module with this widget as the context.
    void performOperation(OperationType type, ElementData *data, int n) override;
    int contextType() const override { return ContextElementWidget; }
    ViewEditElementWidget *elementWidgetContext() override { return this; }

public slots:
    /// Marks the content modified (connected to the editors' change signals).
    void changeContent();

signals:
    void contentChanged();
    void blockChanged(bool blocked);
    void contentRead();

private:
    AccessPredicate m_predicate;
    QPointer<Element> m_element;
    ElementWidgetRole m_role = ElementWidgetRoleNone;
    bool m_blocked = false;
    bool m_modified = false;
};
