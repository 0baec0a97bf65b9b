#pragma once

#include <vieweditelementwidget.h>

class PrintersRootTreeNode;
class QTreeView;
class TreeNodeModel;
class TreeNodeSortFilterProxyModel;

/** The scheduler's printers and classes as a read-only tree with policy and labels. */
class ServiceCupsPrintersElementWidget : public ViewEditElementWidget
{
    Q_OBJECT
public:
    explicit ServiceCupsPrintersElementWidget(Module *module, QWidget *parent = nullptr);

    /// Acts only for the widget's own element, in the viewing role, with a service record:
    /// replaces the tree by the record's printers.
    void afterSuccessfulRead(Element *element, ElementData *data) override;

    QTreeView *treeView() const { return m_view; }
    PrintersRootTreeNode *treeRoot() const { return m_root; }
    TreeNodeModel *treeModel() const { return m_model; }

private:
    PrintersRootTreeNode *m_root;
    TreeNodeModel *m_model;
    TreeNodeSortFilterProxyModel *m_proxy;
    QTreeView *m_view;
};
