#pragma once

#include <element.h>

/** "Apache modules" below the Apache element: the modules list, applied by an administrator. */
class ServiceApacheModuleElement : public Element
{
    Q_OBJECT
public:
    explicit ServiceApacheModuleElement(Module *module);

    int treeNodeSpecialFlags() const override;
    /// The module's widget for viewing; none for creation.
    ViewEditElementWidget *elementWidget(ElementWidgetRole role) const override;
    /// The heavy read, and the update for an administrator.
    OperationTypes availableOperations() const override;
    /// Hands the heavy read and the update to the module; ignores everything else.
    void performOperation(OperationType type, ElementData *data, int n) override;
    QString caption() const override;
};
