#pragma once

#include <serviceelementwidget.h>

class QFileSystemModel;

/**
 * Slapd's state and its configuration directory, shown by name through one file-system model
 * that each read re-roots.
 */
class ServiceSlapdElementWidget : public ServiceElementWidget
{
    Q_OBJECT
public:
    explicit ServiceSlapdElementWidget(Module *module, QWidget *parent = nullptr);

    QFileSystemModel *fileSystemModel() const { return m_fileSystemModel; }

protected:
    /// Re-roots the model and the view at the record's directory; the model lists it itself.
    void showConfiguration(ServiceHeavyElementData *record) override;

private:
    /// Shows the model in the view (names only), or nothing.
    void attachModel(bool attached);

    QFileSystemModel *m_fileSystemModel = nullptr;
};
