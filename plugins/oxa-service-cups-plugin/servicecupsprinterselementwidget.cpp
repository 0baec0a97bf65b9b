#include "servicecupsprinterselementwidget.h"

#include "printerstreenode.h"

#include <element.h>
#include <elementdata.h>
#include <module.h>
#include <serviceelementwidget.h>
#include <treenodemodel.h>
#include <treenodesortfilterproxymodel.h>

#include <QGridLayout>
#include <QHeaderView>
#include <QTreeView>

ServiceCupsPrintersElementWidget::ServiceCupsPrintersElementWidget(Module *module, QWidget *parent)
    : ViewEditElementWidget(module, &Module::isAdministratorHierarchy, parent)
{
    setObjectName(QStringLiteral("ServiceCupsPrintersElementWidget"));
    resize(400, 300);
    setElementType(QStringLiteral("ServiceCupsPrinters"));
    setSecondElementType(QStringLiteral("ServiceCups"));
    setNumber(510);

    m_root = new PrintersRootTreeNode(this);
    m_model = new TreeNodeModel(m_root, this);
    m_proxy = new TreeNodeSortFilterProxyModel(0, this);
    m_proxy->setDynamicSortFilter(true);
    m_proxy->setSourceModel(m_model);

    auto *grid = new QGridLayout(this);
    grid->setObjectName(QStringLiteral("gridLayout"));
    m_view = new QTreeView(this);
    m_view->setObjectName(QStringLiteral("_printersTreeView"));
    m_view->setUniformRowHeights(true);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setModel(m_proxy);
    m_view->setSortingEnabled(true);
    m_view->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    grid->addWidget(m_view, 0, 0);
    setWindowTitle(tr("Printers"));
}

void ServiceCupsPrintersElementWidget::afterSuccessfulRead(Element *element, ElementData *data)
{
    if (!ServiceElementWidget::viewedServiceRead(this, element, data))
        return;
    if (auto *heavy = dynamic_cast<ServiceHeavyElementData *>(data)) {
        m_root->clearDeleteAll();
        m_root->loadTreeFromList(heavy->data());
        // The tree owns the nodes now.
        heavy->data().clear();
    }
    ViewEditElementWidget::afterSuccessfulRead(element, data);
}
