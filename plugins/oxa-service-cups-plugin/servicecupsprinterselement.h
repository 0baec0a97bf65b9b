#pragma once

#include <element.h>

/** "Cups printers": the scheduler's printers and classes, below the CUPS element. */
class ServiceCupsPrintersElement : public Element
{
    Q_OBJECT
public:
    explicit ServiceCupsPrintersElement(Module *module);

    int treeNodeSpecialFlags() const override;
    ViewEditElementWidget *elementWidget(ElementWidgetRole role) const override;
    /// The heavy read, and update for an administrator.
    OperationTypes availableOperations() const override;
    void performOperation(OperationType type, ElementData *data, int n) override;
    QString caption() const override;
};
