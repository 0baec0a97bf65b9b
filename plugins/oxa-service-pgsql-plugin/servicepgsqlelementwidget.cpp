#include "servicepgsqlelementwidget.h"

#include "clustermiscmodel.h"

#include <element.h>
#include <elementdata.h>

#include <QAbstractItemModel>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTableView>

ServicePgsqlElementWidget::ServicePgsqlElementWidget(QAbstractItemModel *versions, Module *module,
                                                     AccessPredicate predicate, QWidget *parent)
    : ViewEditElementWidget(module, predicate, parent), m_form(new Form), m_versions(versions),
      m_infoModel(new ClusterMiscModel(this)), m_portValidator(new QIntValidator(1, 65535, this))
{
    setElementType(QStringLiteral("ServicePgsqlCluster"));
    setupForm();
    m_form->versionComboBox->setModel(m_versions);
    m_form->portLineEdit->setValidator(m_portValidator);
    m_form->infoTableView->setModel(m_infoModel);
    m_form->infoTableView->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_form->infoTableView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_form->infoTableView->setSelectionBehavior(QAbstractItemView::SelectItems);
    blockEditWidget(true);
}

ServicePgsqlElementWidget::~ServicePgsqlElementWidget()
{
    delete m_form;
}

void ServicePgsqlElementWidget::setupForm()
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("ServicePgsqlElementWidget"));
    resize(400, 300);
    Form &f = *m_form;
    f.gridLayout = new QGridLayout(this);
    f.gridLayout->setObjectName(QStringLiteral("gridLayout"));

    auto label = [this](const char *name, const QString &text) {
        auto *l = new QLabel(text, this);
        l->setObjectName(QLatin1String(name));
        return l;
    };
    f.nameLabelLabel = label("_nameLabelLabel", tr("Name:"));
    f.nameLineEdit = new QLineEdit(this);
    f.nameLineEdit->setObjectName(QStringLiteral("_nameLineEdit"));
    f.versionLabelLabel = label("_versionLabelLabel", tr("Version:"));
    f.versionComboBox = new QComboBox(this);
    f.versionComboBox->setObjectName(QStringLiteral("_versionComboBox"));
    f.stateLabelLabel = label("_stateLabelLabel", tr("State:"));
    f.stateLabel = label("_stateLabel", tr("undefined"));
    f.stateLabel->setTextFormat(Qt::RichText);
    f.bootStateLabelLabel = label("_bootStateLabelLabel", tr("Start at boot:"));
    f.bootStateLabel = label("_bootStateLabel", tr("undefined"));
    f.bootStateLabel->setTextFormat(Qt::PlainText);
    f.portLabelLabel = label("_portLabelLabel", tr("Port:"));
    f.portLineEdit = new QLineEdit(this);
    f.portLineEdit->setObjectName(QStringLiteral("_portLineEdit"));
    f.infoTableView = new QTableView(this);
    f.infoTableView->setObjectName(QStringLiteral("_infoTableView"));
    f.infoTableView->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    f.infoTableView->horizontalHeader()->setStretchLastSection(false);

    f.gridLayout->addWidget(f.nameLabelLabel, 0, 0);
    f.gridLayout->addWidget(f.nameLineEdit, 0, 1);
    f.gridLayout->addWidget(f.versionLabelLabel, 0, 2);
    f.gridLayout->addWidget(f.versionComboBox, 0, 3);
    f.gridLayout->addWidget(f.stateLabelLabel, 1, 0);
    f.gridLayout->addWidget(f.stateLabel, 1, 1);
    f.gridLayout->addWidget(f.portLabelLabel, 1, 2);
    f.gridLayout->addWidget(f.portLineEdit, 1, 3);
    f.gridLayout->addWidget(f.bootStateLabelLabel, 2, 0);
    f.gridLayout->addWidget(f.bootStateLabel, 2, 1);
    f.gridLayout->addWidget(f.infoTableView, 3, 0, 1, 4);
    f.gridLayout->setColumnStretch(1, 1);

    setWindowTitle(tr("General"));
    connect(f.nameLineEdit, &QLineEdit::textChanged, this,
            &ServicePgsqlElementWidget::changeContent);
    connect(f.portLineEdit, &QLineEdit::textChanged, this,
            &ServicePgsqlElementWidget::changeContent);
    connect(f.versionComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ServicePgsqlElementWidget::changeContent);
}

QString ServicePgsqlElementWidget::caption() const
{
    if (Element *e = element())
        return e->caption();
    return QCoreApplication::translate("ViewEditElementWidget", "Cluster PostgreSQL creation");
}

ElementData *ServicePgsqlElementWidget::exportElementData()
{
    auto *record = new ElementData;
    record->setProperty(QStringLiteral("name"), m_form->nameLineEdit->text());
    record->setProperty(QStringLiteral("port"), m_form->portLineEdit->text().toInt(nullptr, 10));
    record->setProperty(QStringLiteral("version"), m_form->versionComboBox->currentText());
    return record;
}

void ServicePgsqlElementWidget::showState(const QString &text)
{
    m_form->stateLabel->setText(QStringLiteral("<b>%1</b>").arg(text.toHtmlEscaped()));
}

void ServicePgsqlElementWidget::afterSuccessfulRead(Element *element, ElementData *data)
{
    if (!element || element != this->element() || role() != ElementWidgetRoleView || !data)
        return;
    if (!isBlocked())
        blockEditWidget(true);
    m_form->nameLineEdit->setText(data->property(QStringLiteral("name")).toString());
    showState(data->property(QStringLiteral("textState")).toString());
    const QString boot = data->property(QStringLiteral("bootState")).toString();
    m_form->bootStateLabel->setText(
        boot.isEmpty() ? QCoreApplication::translate("ViewEditElementWidget", "undefined") : boot);
    m_form->portLineEdit->setText(
        QString::number(data->property(QStringLiteral("port"), -1).toInt()));
    // A cluster whose version is no longer installed shows no version rather than another.
    const int index =
        m_form->versionComboBox->findText(data->property(QStringLiteral("version")).toString());
    m_form->versionComboBox->setCurrentIndex(index);
    m_infoModel->setData(data->property(QStringLiteral("directories")).toStringList());
    ViewEditElementWidget::afterSuccessfulRead(element, data);
}

void ServicePgsqlElementWidget::reset()
{
    ViewEditElementWidget::reset();
    // Clearing the form is no edit of it.
    const QSignalBlocker nameBlocker(m_form->nameLineEdit);
    const QSignalBlocker versionBlocker(m_form->versionComboBox);
    const QSignalBlocker portBlocker(m_form->portLineEdit);
    m_form->nameLineEdit->clear();
    showState(QCoreApplication::translate("ViewEditElementWidget", "undefined"));
    m_form->bootStateLabel->setText(
        QCoreApplication::translate("ViewEditElementWidget", "undefined"));
    const bool creating = role() == ElementWidgetRoleCreate;
    m_form->nameLineEdit->setEnabled(creating);
    m_form->versionComboBox->setEnabled(creating);
    m_form->portLineEdit->setEnabled(creating);
    if (creating || m_form->versionComboBox->count() == 0)
        m_form->versionComboBox->setCurrentIndex(-1);
    else
        m_form->versionComboBox->setCurrentIndex(0);
    m_form->portLineEdit->clear();
    m_infoModel->clear();
}

bool ServicePgsqlElementWidget::isContentValid() const
{
    // The validator lets out-of-range numbers stand while they are typed ("0", "70000"):
    // such a port must not reach pg_createcluster. An empty port lets the tool choose.
    const QLineEdit *port = m_form->portLineEdit;
    return !m_form->nameLineEdit->text().trimmed().isEmpty() &&
           !m_form->versionComboBox->currentText().trimmed().isEmpty() &&
           (port->text().isEmpty() || port->hasAcceptableInput());
}

void ServicePgsqlElementWidget::blockEditWidget(bool blocked)
{
    m_form->nameLineEdit->blockSignals(blocked);
    m_form->versionComboBox->blockSignals(blocked);
    m_form->portLineEdit->blockSignals(blocked);
    ViewEditElementWidget::blockEditWidget(blocked);
}
