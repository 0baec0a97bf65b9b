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
    : ViewEditElementWidget(module, &Module::isAdministratorHierarchy, parent)
{
    setObjectName(QStringLiteral("ServiceApacheModuleElementWidget"));
    setElementType(QStringLiteral("ServiceApacheModules"));
    setSecondElementType(QStringLiteral("ServiceApache"));
    resize(400, 300);
    setWindowTitle(tr("Modules"));

    auto *grid = new QGridLayout(this);
    grid->setObjectName(QStringLiteral("gridLayout"));
    m_choice = ApacheChoiceEditing::makeChoice(this, tr("Active modules"));
    grid->addWidget(m_choice, 0, 0);

    m_root = new ModulesRootTreeNode(this);
    m_model = new TreeNodeModel(m_root, this);
    m_proxy = ApacheChoiceEditing::tickProxy(m_model, m_choice, this);
    QMetaObject::connectSlotsByName(this);
    blockEditWidget(true);
}

// The choice view is a child made before the tree, the model and the proxy: it goes first.
ServiceApacheModuleElementWidget::~ServiceApacheModuleElementWidget() = default;

ElementData *ServiceApacheModuleElementWidget::exportElementData()
{
    auto *record = new ServiceApacheHeavyElementData;
    record->checkedNames() = m_proxy->addNames();
    record->blockedNames() = m_proxy->removeNames();
    m_proxy->clearAddRemoveNames();
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
    m_root->clearDeleteAll();
    m_root->loadTreeFromList(record->data());
    m_proxy->setCheckedBlockedNames(record->checkedNames(), record->blockedNames());
    ViewEditElementWidget::afterSuccessfulRead(element, data);
}

void ServiceApacheModuleElementWidget::applyContentChanges()
{
    ApacheChoiceEditing::apply(
        this, QCoreApplication::translate("ViewEditElementWidget",
                                          "Restart Apache service automatically?"));
}

void ServiceApacheModuleElementWidget::reset()
{
    ViewEditElementWidget::reset();
}

void ServiceApacheModuleElementWidget::blockEditWidget(bool blocked)
{
    ApacheChoiceEditing::follow(m_proxy, this, blocked);
    ViewEditElementWidget::blockEditWidget(blocked);
}
