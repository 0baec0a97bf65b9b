#pragma once

#include "vieweditelementwidget.h"

class QTreeView;
class TreeNodeModel;
class TreeNodeSortFilterProxyModel;

/**
 * Shows the children of a grouping element (the Services root, the Mail group) as a list of
 * their titles, captions and icons.
 */
class OXA_EXPORT NodesElementWidget : public ViewEditElementWidget
{
    Q_OBJECT
public:
    NodesElementWidget(const QString &elementType, Module *module, AccessPredicate predicate,
                       QWidget *parent = nullptr);

    void setElement(Element *element, ElementWidgetRole role) override;
    QTreeView *view() const { return m_view; }
    TreeNodeModel *model() const { return m_model; }

protected:
    QTreeView *m_view;
    TreeNodeModel *m_model;
    TreeNodeSortFilterProxyModel *m_proxy;
};

/**
 * Shows the children of a container element as a sortable table whose columns and header come
 * from the container (a list of database clusters, say).
 */
class OXA_EXPORT ElementsElementWidget : public NodesElementWidget
{
    Q_OBJECT
public:
    ElementsElementWidget(const QString &elementType, Module *module, AccessPredicate predicate,
                          QWidget *parent = nullptr);
};
