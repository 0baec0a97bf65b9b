#include "apachechoiceelementwidget.h"

#include "apachechoiceediting.h"
#include "serviceapacheheavyelementdata.h"

#include <choicetreenodeproxymodel.h>
#include <choicewidget.h>
#include <module.h>
#include <treenodemodel.h>

ApacheChoiceElementWidget::ApacheChoiceElementWidget(Module *module, QWidget *parent)
    : ViewEditElementWidget(module, &Module::isAdministratorHierarchy, parent)
{
}

ApacheChoiceElementWidget::~ApacheChoiceElementWidget() = default;

ChoiceWidget *ApacheChoiceElementWidget::makeChoices(const QString &title, TreeNode *root)
{
    m_choice = new ChoiceWidget(this);
    m_choice->setObjectName(QStringLiteral("_choiceGroupBox"));
    m_choice->setTitle(title);
    m_root = root;
    m_root->setParent(this);
    m_model = new TreeNodeModel(m_root, this);
    m_proxy = new ChoiceTreeNodeProxyModel(0, TreeNodeModel::NameRole,
                                           ChoiceTreeNodeProxyModel::StateRole, this);
    m_proxy->setSourceModel(m_model);
    m_choice->setChoiceModel(m_proxy);
    return m_choice;
}

void ApacheChoiceElementWidget::loadChoices(ServiceApacheHeavyElementData *record)
{
    m_root->clearDeleteAll();
    m_root->loadTreeFromList(record->data());
    m_proxy->setCheckedBlockedNames(record->checkedNames(), record->blockedNames());
}

ElementData *ApacheChoiceElementWidget::exportElementData()
{
    auto *record = new ServiceApacheHeavyElementData;
    record->checkedNames() = m_proxy->addNames();
    record->blockedNames() = m_proxy->removeNames();
    return record;
}

void ApacheChoiceElementWidget::blockEditWidget(bool blocked)
{
    ApacheChoiceEditing::follow(m_proxy, this, blocked);
    ViewEditElementWidget::blockEditWidget(blocked);
}
