#include "nodeselementwidget.h"

#include "element.h"
#include "treenodemodel.h"
#include "treenodesortfilterproxymodel.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QTreeView>

NodesElementWidget::NodesElementWidget(const QString &elementType, Module *module,
                                       AccessPredicate predicate, QWidget *parent)
    : ViewEditElementWidget(module, predicate, parent)
{
    setElementType(elementType);
    if (objectName().isEmpty())
        setObjectName(elementType);
    auto *layout = new QGridLayout(this);
    layout->setObjectName(QStringLiteral("gridLayout"));
    m_view = new QTreeView(this);
    m_view->setObjectName(QStringLiteral("_nodesTreeView"));
    m_view->setRootIsDecorated(false);
    m_view->setItemsExpandable(false);
    m_view->setUniformRowHeights(true);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(m_view, 0, 0);
    m_model = new TreeNodeModel(nullptr, this);
    m_proxy = new TreeNodeSortFilterProxyModel(0, this);
    m_proxy->setDynamicSortFilter(true);
    m_proxy->setSourceModel(m_model);
    m_view->setModel(m_proxy);
    m_view->setSortingEnabled(true);
    m_view->sortByColumn(0, Qt::AscendingOrder);
    m_view->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    blockEditWidget(true);
}

void NodesElementWidget::setElement(Element *element, ElementWidgetRole role)
{
    m_model->setRootNode(element);
    ViewEditElementWidget::setElement(element, role);
}

ElementsElementWidget::ElementsElementWidget(const QString &elementType, Module *module,
                                             AccessPredicate predicate, QWidget *parent)
    : NodesElementWidget(elementType, module, predicate, parent)
{
    m_view->setObjectName(QStringLiteral("_elementsTreeView"));
    m_view->setAlternatingRowColors(true);
}
