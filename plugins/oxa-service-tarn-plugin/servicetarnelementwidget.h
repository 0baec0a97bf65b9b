#pragma once

#include <serviceelementwidget.h>

/** The directory host's state and the settings "tarn-client" reports, as a sorted tree. */
class ServiceTarnElementWidget : public ServiceElementWidget
{
    Q_OBJECT
public:
    /// Serves the element type @p elementType: the server's or the client's, as detected.
    explicit ServiceTarnElementWidget(Module *module, const QString &elementType,
                                      QWidget *parent = nullptr);

protected:
    /// Only the directory's own record fills the tree; the group box keeps its title.
    void showConfiguration(ServiceHeavyElementData *record) override;
};
