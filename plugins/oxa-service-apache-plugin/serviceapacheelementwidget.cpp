#include "serviceapacheelementwidget.h"

#include "apachechoiceediting.h"
#include "serviceapacheheavyelementdata.h"
#include "sitetreenodes.h"

#include <choicetreenodeproxymodel.h>
#include <choicewidget.h>
#include <element.h>
#include <module.h>
#include <serviceelementwidget.h>
#include <treenodemodel.h>

#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QSpacerItem>
#include <QTreeView>

ServiceApacheElementWidget::ServiceApacheElementWidget(Module *module, QWidget *parent)
    : ViewEditElementWidget(module, &Module::isAdministratorHierarchy, parent)
{
    setObjectName(QStringLiteral("ServiceApacheElementWidget"));
    setElementType(QStringLiteral("ServiceApache"));
    setNumber(0);
    resize(502, 331);
    setWindowTitle(tr("General"));

    auto *grid = new QGridLayout(this);
    grid->setObjectName(QStringLiteral("gridLayout"));
    auto *stateCaption = new QLabel(tr("State:"), this);
    stateCaption->setObjectName(QStringLiteral("_stateLabelLabel"));
    m_stateLabel = new QLabel(tr("TextLabel"), this);
    m_stateLabel->setObjectName(QStringLiteral("_stateLabel"));
    m_stateLabel->setTextFormat(Qt::RichText);
    m_choice = ApacheChoiceEditing::makeChoice(this, tr("Sites"));
    grid->addWidget(stateCaption, 0, 0);
    grid->addWidget(m_stateLabel, 0, 1);
    grid->addItem(new QSpacerItem(363, 20, QSizePolicy::Expanding, QSizePolicy::Minimum), 0, 2);
    grid->addWidget(m_choice, 1, 0, 1, 3);
    grid->setRowStretch(1, 1);

    m_root = new SitesRootTreeNode(this);
    m_model = new TreeNodeModel(m_root, this);
    m_proxy = ApacheChoiceEditing::tickProxy(m_model, m_choice, this);
    QMetaObject::connectSlotsByName(this);
    blockEditWidget(true);
}

// The choice view is a child made before the tree, the model and the proxy: it goes first.
ServiceApacheElementWidget::~ServiceApacheElementWidget() = default;

ElementData *ServiceApacheElementWidget::exportElementData()
{
    auto *record = new ServiceApacheHeavyElementData;
    record->checkedNames() = m_proxy->addNames();
    record->blockedNames() = m_proxy->removeNames();
    return record;
}

void ServiceApacheElementWidget::showState(const QString &text)
{
    m_stateLabel->setText(
        QStringLiteral("<b>%1</b>").arg((text.isEmpty() ? tr("undefined") : text).toHtmlEscaped()));
}

void ServiceApacheElementWidget::afterSuccessfulRead(Element *element, ElementData *data)
{
    ServiceLightElementData *light = ServiceElementWidget::viewedServiceRead(this, element, data);
    if (!light)
        return;
    showState(light->textState());
    if (auto *record = dynamic_cast<ServiceApacheHeavyElementData *>(data)) {
        m_root->clearDeleteAll();
        // Hosts land under their sites by their parent ids.
        m_root->loadTreeFromList(record->data());
        m_proxy->setCheckedBlockedNames(record->checkedNames(), record->blockedNames());
        // The hosts are what a site is about: show them.
        m_choice->view()->expandAll();
    }
    ViewEditElementWidget::afterSuccessfulRead(element, data);
}

void ServiceApacheElementWidget::applyContentChanges()
{
    ApacheChoiceEditing::apply(
        this, QCoreApplication::translate("ViewEditElementWidget",
                                          "Reload Apache service configuration automatically?"));
}

void ServiceApacheElementWidget::reset()
{
    ViewEditElementWidget::reset();
    showState(QString());
}

void ServiceApacheElementWidget::blockEditWidget(bool blocked)
{
    ApacheChoiceEditing::follow(m_proxy, this, blocked);
    ViewEditElementWidget::blockEditWidget(blocked);
}
