#pragma once

#include <serviceelement.h>

/**
 * The CUPS print scheduler below the Services root. Besides the service operations it offers
 * clearing the spool and starting the printer tool to an administrator.
 */
class ServiceCupsElement : public CommonServiceElement
{
    Q_OBJECT
public:
    explicit ServiceCupsElement(Module *module);

    /// Hands the reads, the service operations, the boot changes, control and clear-cache to the
    /// module; the offered update does nothing here.
    void performOperation(OperationType type, ElementData *data, int n) override;
    /// Clearing the spool asks first: the queued print jobs are lost.
    QString operationQuestion(OperationType type) const override;
};
