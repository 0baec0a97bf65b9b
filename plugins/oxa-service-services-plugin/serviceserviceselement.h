#pragma once

#include <element.h>

/**
 * The "Services" element at the top of the tree: asked for the light read, it makes every
 * service module read its service's state. Shows the "computer" icon.
 */
class ServiceServicesElement : public Element
{
    Q_OBJECT
public:
    explicit ServiceServicesElement(Module *module);

    int treeNodeSpecialFlags() const override;
    QVariant data(int column, int role) const override;
    OperationTypes availableOperations() const override;
    void performOperation(OperationType type, ElementData *data, int n) override;
    QString caption() const override;
};
