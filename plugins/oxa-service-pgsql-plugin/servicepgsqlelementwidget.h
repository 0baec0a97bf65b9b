#pragma once

#include <vieweditelementwidget.h>

class ClusterMiscModel;
class QAbstractItemModel;
class QComboBox;
class QGridLayout;
class QIntValidator;
class QLabel;
class QLineEdit;
class QTableView;

/**
 * The cluster form: shows one cluster (name, version, state, start.conf's start mode, port and
 * its directories) or,
 * in a creation dialog, collects the name, version and port of a new one.
 */
class ServicePgsqlElementWidget : public ViewEditElementWidget
{
    Q_OBJECT
public:
    /// @p versions is the clusters element's list of installed versions (not owned).
    ServicePgsqlElementWidget(QAbstractItemModel *versions, Module *module,
                              AccessPredicate predicate, QWidget *parent = nullptr);
    ~ServicePgsqlElementWidget() override;

    QString caption() const override;
    /// A new record: "name" as typed, "port" (0 when empty), "version"; the caller owns it.
    ElementData *exportElementData() override;
    void afterSuccessfulRead(Element *element, ElementData *data) override;
    void reset() override;
    /// A name that is not blank, a chosen version, and a port that is empty or 1 to 65535.
    bool isContentValid() const override;
    void blockEditWidget(bool blocked) override;

    ClusterMiscModel *infoModel() const { return m_infoModel; }
    QIntValidator *portValidator() const { return m_portValidator; }

private:
    /// The form's widgets, built once and deleted with the widget.
    struct Form
    {
        QGridLayout *gridLayout = nullptr;
        QLabel *nameLabelLabel = nullptr;
        QLineEdit *nameLineEdit = nullptr;
        QLabel *versionLabelLabel = nullptr;
        QComboBox *versionComboBox = nullptr;
        QLabel *stateLabelLabel = nullptr;
        QLabel *stateLabel = nullptr;
        QLabel *bootStateLabelLabel = nullptr;
        QLabel *bootStateLabel = nullptr;
        QLabel *portLabelLabel = nullptr;
        QLineEdit *portLineEdit = nullptr;
        QTableView *infoTableView = nullptr;
    };

    void setupForm();
    void showState(const QString &text);

    Form *m_form;
    QAbstractItemModel *m_versions;
    ClusterMiscModel *m_infoModel;
    QIntValidator *m_portValidator;
};
