#pragma once

#include <element.h>

/** The "Mail" group node below the Services root; Exim and Dovecot hang under it. */
class ServiceMailElement : public ServiceElement
{
    Q_OBJECT
public:
    explicit ServiceMailElement(Module *module);

    /// A leaf (1) while no mail service hangs below it.
    int treeNodeSpecialFlags() const override;
    /// The light read only, with or without administrator rights.
    OperationTypes availableOperations() const override;
    void performOperation(OperationType type, ElementData *data, int n) override;
    QString caption() const override;
};
