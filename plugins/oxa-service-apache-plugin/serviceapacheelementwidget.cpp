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
    : ApacheChoiceElementWidget(module, parent)
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
    auto *bootCaption = new QLabel(tr("Start at boot:"), this);
    bootCaption->setObjectName(QStringLiteral("_bootStateLabelLabel"));
    m_bootStateLabel = new QLabel(tr("undefined"), this);
    m_bootStateLabel->setObjectName(QStringLiteral("_bootStateLabel"));
    // What a tool printed is shown as it is, never as markup.
    m_bootStateLabel->setTextFormat(Qt::PlainText);
    m_root = new SitesRootTreeNode;
    ChoiceWidget *choice = makeChoices(tr("Sites"), m_root);
    grid->addWidget(stateCaption, 0, 0);
    grid->addWidget(m_stateLabel, 0, 1);
    grid->addItem(new QSpacerItem(363, 20, QSizePolicy::Expanding, QSizePolicy::Minimum), 0, 2);
    grid->addWidget(bootCaption, 1, 0);
    grid->addWidget(m_bootStateLabel, 1, 1);
    grid->addWidget(choice, 2, 0, 1, 3);
    grid->setRowStretch(2, 1);

    QMetaObject::connectSlotsByName(this);
    blockEditWidget(true);
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
    if (!light->bootState().isEmpty())
        m_bootStateLabel->setText(light->bootState());
    if (auto *record = dynamic_cast<ServiceApacheHeavyElementData *>(data)) {
        // Hosts land under their sites by their parent ids.
        loadChoices(record);
        // The hosts are what a site is about: show them.
        choiceWidget()->view()->expandAll();
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
    m_bootStateLabel->setText(tr("undefined"));
}
