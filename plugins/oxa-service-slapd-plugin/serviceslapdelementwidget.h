#pragma once

#include <serviceelementwidget.h>

/**
 * Slapd's state and its configuration directory, shown by name as the read listed it on the
 * host (no header, one column).
 */
class ServiceSlapdElementWidget : public ServiceElementWidget
{
    Q_OBJECT
public:
    explicit ServiceSlapdElementWidget(Module *module, QWidget *parent = nullptr);

protected:
    /// Replaces the tree with the record's names and titles the group box with the directory.
    void showConfiguration(ServiceHeavyElementData *record) override;
};
