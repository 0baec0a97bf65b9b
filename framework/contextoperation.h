#pragma once

#include "oxaglobal.h"

#include <QString>

class Element;
class ElementData;
class Module;
class ViewEditElementWidget;

/**
 * The side of an element or an element widget that operations are asked of and performed
 * through; the module sees it as the context of an operation.
 */
class OXA_EXPORT ContextOperation
{
public:
    /// Element type of a widget that serves elements of every type.
    static const QString allElementType;

    enum ContextType { ContextElement = 0, ContextElementWidget = 1 };

    explicit ContextOperation(Module *module = nullptr);
    virtual ~ContextOperation();

    /// The operations offered now; none by default.
    virtual OperationTypes availableOperations() const;
    /**
     * availableOperations() without those that cannot work on the host the module's
     * connection reaches: a program with a window of its own (Control) starts only on this
     * machine, never for a remote host. What the console offers and performs.
     */
    OperationTypes offeredOperations() const;
    /// Performs @p type; the default ignores everything.
    virtual void performOperation(OperationType type, ElementData *data, int n);
    virtual QString caption() const;

    /// ContextElement (0) for an element, ContextElementWidget (1) for a widget.
    virtual int contextType() const = 0;
    virtual Element *elementContext();
    virtual ViewEditElementWidget *elementWidgetContext();

    QString elementType() const { return m_elementType; }
    void setElementType(const QString &type) { m_elementType = type; }
    QString secondElementType() const { return m_secondElementType; }
    void setSecondElementType(const QString &type) { m_secondElementType = type; }
    int number() const { return m_number; }
    void setNumber(int number) { m_number = number; }
    Module *module() const { return m_module; }
    void setModule(Module *module) { m_module = module; }

    bool isOperationAvailable(OperationType type) const
    {
        return (offeredOperations() & OperationTypes(type)) != 0;
    }

private:
    Module *m_module;
    QString m_elementType;
    QString m_secondElementType;
    int m_number = 0;
};
