#include "choicewidget.h"

#include "choicetreenodeproxymodel.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QTreeView>

ChoiceWidget::ChoiceWidget(QWidget *parent) : QGroupBox(parent)
{
    auto *layout = new QGridLayout(this);
    layout->setObjectName(QStringLiteral("gridLayout"));
    m_view = new QTreeView(this);
    m_view->setObjectName(QStringLiteral("_choiceTreeView"));
    m_view->setUniformRowHeights(true);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(m_view, 0, 0);
}

void ChoiceWidget::setChoiceModel(ChoiceTreeNodeProxyModel *model)
{
    m_model = model;
    m_view->setModel(model);
}
