#include "testservicewidget.h"

#include <choicetreenodeproxymodel.h>
#include <choicewidget.h>
#include <element.h>
#include <elementdata.h>
#include <module.h>
#include <treenodemodel.h>

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>

TestServiceWidget::TestServiceWidget(const QString &elementType, const QString &title,
                                     Module *module)
    : ViewEditElementWidget(module, &Module::isAdministratorHierarchy)
{
    setElementType(elementType);
    setObjectName(QStringLiteral("TestServiceWidget"));
    setWindowTitle(title);
    auto *grid = new QGridLayout(this);
    grid->setObjectName(QStringLiteral("gridLayout_2"));
    auto *stateCaption = new QLabel(tr("State:"), this);
    stateCaption->setObjectName(QStringLiteral("_stateLabelLabel"));
    m_stateLabel = new QLabel(QStringLiteral("TextLabel"), this);
    m_stateLabel->setObjectName(QStringLiteral("_stateLabel"));
    grid->addWidget(stateCaption, 0, 0);
    grid->addWidget(m_stateLabel, 0, 1);
    auto *nameCaption = new QLabel(tr("Name:"), this);
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("_nameEdit"));
    grid->addWidget(nameCaption, 1, 0);
    grid->addWidget(m_name, 1, 1);
    m_mode = new QComboBox(this);
    m_mode->setObjectName(QStringLiteral("_modeCombo"));
    m_mode->addItems({QStringLiteral("fast"), QStringLiteral("safe")});
    grid->addWidget(new QLabel(tr("Mode:"), this), 2, 0);
    grid->addWidget(m_mode, 2, 1);
    m_choice = new ChoiceWidget(this);
    m_choice->setObjectName(QStringLiteral("_choiceWidget"));
    m_choice->setTitle(tr("Features"));
    m_choiceRoot = new TreeNode;
    QList<TreeNode *> rows;
    for (const char *name : {"alpha", "beta", "gamma", "locked"})
        rows.append(new TreeNode(1, QString::fromLatin1(name)));
    m_choiceRoot->append(rows);
    m_choiceSource = new TreeNodeModel(m_choiceRoot, this);
    m_choiceModel = new ChoiceTreeNodeProxyModel(0, TreeNodeModel::NameRole,
                                                 ChoiceTreeNodeProxyModel::StateRole, this);
    m_choiceModel->setSourceModel(m_choiceSource);
    m_choiceModel->setCheckedBlockedNames({}, {QStringLiteral("locked")});
    m_choice->setChoiceModel(m_choiceModel);
    grid->addWidget(m_choice, 3, 0, 1, 2);
    auto *group = new QGroupBox(tr("Configuration"), this);
    group->setObjectName(QStringLiteral("_confGroupBox"));
    auto *inner = new QGridLayout(group);
    inner->setObjectName(QStringLiteral("gridLayout"));
    m_config = new QPlainTextEdit(group);
    m_config->setObjectName(QStringLiteral("_configPlainEdit"));
    m_config->setReadOnly(true);
    inner->addWidget(m_config, 0, 0);
    grid->addWidget(group, 4, 0, 1, 2);
    grid->setColumnStretch(1, 1);

    connect(m_name, &QLineEdit::textEdited, this, &ViewEditElementWidget::changeContent);
    connect(m_mode, qOverload<int>(&QComboBox::activated), this,
            &ViewEditElementWidget::changeContent);
    connect(m_choiceModel, &ChoiceTreeNodeProxyModel::stateChanged, this,
            &ViewEditElementWidget::changeContent);
    blockEditWidget(true);
}

TestServiceWidget::~TestServiceWidget()
{
    m_choiceSource->setRootNode(nullptr);
    delete m_choiceRoot;
}

void TestServiceWidget::reset()
{
    m_stateLabel->setText(QStringLiteral("TextLabel"));
    m_config->clear();
    m_name->clear();
    ViewEditElementWidget::reset();
}

void TestServiceWidget::blockEditWidget(bool blocked)
{
    m_name->setEnabled(!blocked);
    m_mode->setEnabled(!blocked);
    m_choice->setEnabled(!blocked);
    ViewEditElementWidget::blockEditWidget(blocked);
}

void TestServiceWidget::afterSuccessfulRead(Element *element, ElementData *data)
{
    if (element != this->element() || !data) {
        ViewEditElementWidget::afterSuccessfulRead(element, data);
        return;
    }
    if (auto *light = dynamic_cast<ServiceLightElementData *>(data))
        m_stateLabel->setText(light->textState());
    if (auto *heavy = dynamic_cast<ServiceHeavyElementData *>(data)) {
        m_config->setPlainText(heavy->configData());
        QSet<QString> checked;
        for (const QString &line : heavy->configData().split(QLatin1Char('\n'))) {
            const QString key = line.section(QLatin1Char('='), 0, 0);
            const QString value = line.section(QLatin1Char('='), 1);
            if (key == QLatin1String("name"))
                m_name->setText(value);
            else if (key == QLatin1String("mode"))
                m_mode->setCurrentText(value);
            else if (key == QLatin1String("choices"))
                for (const QString &name : value.split(QLatin1Char(','), Qt::SkipEmptyParts))
                    checked.insert(name);
        }
        m_choiceModel->setCheckedBlockedNames(checked, {QStringLiteral("locked")});
    }
    ViewEditElementWidget::afterSuccessfulRead(element, data);
}

ElementData *TestServiceWidget::exportElementData()
{
    auto *data = new ElementData(m_name->text());
    data->setProperty(QStringLiteral("name"), m_name->text());
    data->setProperty(QStringLiteral("mode"), m_mode->currentText());
    QStringList checked = m_choiceModel->checkedNames().values();
    checked.sort();
    data->setProperty(QStringLiteral("choices"), checked.join(QLatin1Char(',')));
    data->setProperty(QStringLiteral("reload"), m_reload);
    return data;
}

bool TestServiceWidget::isContentValid() const
{
    return !m_name->text().trimmed().isEmpty();
}

void TestServiceWidget::applyContentChanges()
{
    const QMessageBox::StandardButton answer = QMessageBox::question(
        this, tr("Apply changes"), tr("Reload %1 after the change?").arg(windowTitle()),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel);
    if (answer == QMessageBox::Cancel)
        return; // stays modified: nothing was applied
    m_reload = answer == QMessageBox::Yes;
    ViewEditElementWidget::applyContentChanges();
}
