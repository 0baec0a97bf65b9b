#pragma once

#include "contextoperation.h"
#include "treenode.h"

class ElementData;
class ServiceLightElementData;
class ViewEditElementWidget;

/**
 * A node of the console's element tree: what the administrator selects. It has a title, a
 * record (owned), and asks its module to perform the operations it offers.
 */
class OXA_EXPORT Element : public TreeNode, public ContextOperation
{
    Q_OBJECT
public:
    Element(Module *module, AccessPredicate predicate, QObject *parent = nullptr);
    ~Element() override;

    QString title() const { return m_title; }
    void setTitle(const QString &title);

    ElementData *elementData() const { return m_data; }
    /// Takes ownership of @p data; the former record is deleted.
    void setElementData(ElementData *data);
    /// The record as a service record, or null.
    ServiceLightElementData *serviceData() const;

    /// True while the element's content has not been read (see OperationReadContent).
    bool contentFlag() const { return m_contentFlag; }
    void setContentFlag(bool flag) { m_contentFlag = flag; }

    AccessPredicate predicate() const { return m_predicate; }
    /// The access test applied to the element's module (false without a test or module).
    bool isAccessible() const;

    /// The widget that shows this element in @p role: for viewing, the module's widget
    /// registered for the element type; none for creation.
    virtual ViewEditElementWidget *elementWidget(ElementWidgetRole role) const;
    /// The widgets that show this element for viewing now: where its reads go.
    QList<ViewEditElementWidget *> viewingWidgets() const;

    /**
     * The question the window asks before it performs @p type on this element (Yes performs
     * it, No does nothing), for an operation that loses what cannot be had back; empty (the
     * default) for none. A batch step is its own answer.
     */
    virtual QString operationQuestion(OperationType type) const;

    QVariant data(int column, int role) const override;
    QString caption() const override;
    int contextType() const override { return ContextElement; }
    Element *elementContext() override { return this; }

protected:
    /// Hands @p type to the module with this element as the context.
    void forwardToModule(OperationType type, ElementData *data, int n);

private:
    AccessPredicate m_predicate;
    QString m_title;
    ElementData *m_data = nullptr;
    bool m_contentFlag = false;
};

/**
 * An element for a service with a state: it carries a ServiceLightElementData, offers the reads
 * and, to an administrator, start or stop and restart by state, and hands them to its module.
 */
class OXA_EXPORT ServiceElement : public Element
{
    Q_OBJECT
public:
    ServiceElement(Module *module, AccessPredicate predicate, QObject *parent = nullptr);

    /// 0x30 without the right or a known state; else the reads with stop and restart while
    /// running, with start while stopped; plus the extra operations (see setExtraOperations)
    /// and, to an administrator, the boot change that would alter the boot state read
    /// (enable when "disabled", disable when "enabled").
    OperationTypes availableOperations() const override;
    /// Hands the reads, the control operations and the extra operations to the module.
    void performOperation(OperationType type, ElementData *data, int n) override;
    /// Column 0 shows a running or stopped icon once the state is known.
    QVariant data(int column, int role) const override;

protected:
    /// @p always are offered to an administrator whatever the state; @p whileRunning only
    /// while the service runs.
    void setExtraOperations(OperationTypes always, OperationTypes whileRunning = 0);

private:
    OperationTypes m_always = 0;
    OperationTypes m_whileRunning = 0;
};

/**
 * An element whose children are created and read by its module: it offers reading its
 * content and, to an administrator, creating a child.
 */
class OXA_EXPORT ContainerElement : public Element
{
    Q_OBJECT
public:
    ContainerElement(Module *module, AccessPredicate predicate, QObject *parent = nullptr);

    OperationTypes availableOperations() const override;
    /// Hands OperationReadContent (then clears the content flag) and OperationCreate to the
    /// module.
    void performOperation(OperationType type, ElementData *data, int n) override;
};

/**
 * An element that one plug-in hangs under another plug-in's element (through a
 * SupplementModule): it offers the heavy read only.
 */
class OXA_EXPORT SupplementElement : public Element
{
    Q_OBJECT
public:
    SupplementElement(Module *module, AccessPredicate predicate, QObject *parent = nullptr);

    OperationTypes availableOperations() const override;
    void performOperation(OperationType type, ElementData *data, int n) override;
    int treeNodeSpecialFlags() const override;
};
