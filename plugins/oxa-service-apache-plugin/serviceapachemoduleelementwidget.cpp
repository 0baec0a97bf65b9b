#include "serviceapachemoduleelementwidget.h"

#include "apachechoiceediting.h"
#include "moduletreenodes.h"
#include "serviceapacheheavyelementdata.h"

#include <choicetreenodeproxymodel.h>
#include <choicewidget.h>
#include <element.h>
#include <module.h>
#include <treenodemodel.h>

#include <QCoreApplication>
#include <QGridLayout>

ServiceApacheModuleElementWidget::ServiceApacheModuleElementWidget(Module *module, QWidget *parent)
    : ApacheChoiceElementWidget(module, parent)
{
    setObjectName(QStringLiteral("ServiceApacheModuleElementWidget"));
    setElementType(QStringLiteral("ServiceApacheModules"));
    setSecondElementType(QStringLiteral("ServiceApache"));
    resize(400, 300);
    setWindowTitle(tr("Modules"));

    auto *grid = new QGridLayout(this);
    grid->setObjectName(QStringLiteral("gridLayout"));
    m_root = new ModulesRootTreeNode;
    grid->addWidget(makeChoices(tr("Active modules"), m_root), 0, 0);
    QMetaObject::connectSlotsByName(this);
    blockEditWidget(true);
}

ElementData *ServiceApacheModuleElementWidget::exportElementData()
{
    ElementData *record = ApacheChoiceElementWidget::exportElementData();
    // The ticks become the loaded state.
    choiceModel()->clearAddRemoveNames();
    return record;
}

void ServiceApacheModuleElementWidget::afterSuccessfulRead(Element *element, ElementData *data)
{
    if (!element || element != this->element() || role() != ElementWidgetRoleView)
        return;
    auto *record = dynamic_cast<ServiceApacheHeavyElementData *>(data);
    if (!record)
        return;
    if (!isBlocked())
        blockEditWidget(true);
    loadChoices(record);
    ViewEditElementWidget::afterSuccessfulRead(element, data);
}

void ServiceApacheModuleElementWidget::applyContentChanges()
{
    ApacheChoiceEditing::apply(
        this, QCoreApplication::translate("ViewEditElementWidget",
                                          "Restart Apache service automatically?"));
}
