#pragma once

#include <vieweditelementwidget.h>

class ChoiceTreeNodeProxyModel;
class ChoiceWidget;
class QLabel;
class SitesRootTreeNode;
class TreeNodeModel;

/**
 * Apache's state and its sites as a list to tick (enabled) and untick, with each site's virtual
 * hosts below it; applying enables and disables the changed sites.
 */
class ServiceApacheElementWidget : public ViewEditElementWidget
{
    Q_OBJECT
public:
    explicit ServiceApacheElementWidget(Module *module, QWidget *parent = nullptr);
    ~ServiceApacheElementWidget() override;

    /// The sites newly ticked (to enable) and unticked (to disable); they stay pending.
    ElementData *exportElementData() override;
    /// Shows the state and, for a full read, the sites tree with its ticks.
    void afterSuccessfulRead(Element *element, ElementData *data) override;
    /// Asks whether to reload Apache afterwards, then sends the update (Cancel sends nothing).
    void applyContentChanges() override;
    void reset() override;
    /// Tick changes mark the content changed only while the widget is editable.
    void blockEditWidget(bool blocked) override;

    QLabel *stateLabel() const { return m_stateLabel; }
    ChoiceWidget *choiceWidget() const { return m_choice; }
    ChoiceTreeNodeProxyModel *choiceModel() const { return m_proxy; }
    SitesRootTreeNode *rootNode() const { return m_root; }
    TreeNodeModel *treeModel() const { return m_model; }

private:
    void showState(const QString &text);

    QLabel *m_stateLabel;
    ChoiceWidget *m_choice;
    SitesRootTreeNode *m_root;
    TreeNodeModel *m_model;
    ChoiceTreeNodeProxyModel *m_proxy;
};
