#pragma once

#include <vieweditelementwidget.h>

class ChoiceTreeNodeProxyModel;
class ChoiceWidget;
class ModulesRootTreeNode;
class TreeNodeModel;

/**
 * The Apache modules as a list to tick (enabled) and untick; static modules cannot be changed.
 * Applying enables and disables the changed modules.
 */
class ServiceApacheModuleElementWidget : public ViewEditElementWidget
{
    Q_OBJECT
public:
    explicit ServiceApacheModuleElementWidget(Module *module, QWidget *parent = nullptr);
    ~ServiceApacheModuleElementWidget() override;

    /// The modules newly ticked (to enable) and unticked (to disable); the ticks become the
    /// loaded state.
    ElementData *exportElementData() override;
    void afterSuccessfulRead(Element *element, ElementData *data) override;
    /// Asks whether to restart Apache afterwards, then sends the update (Cancel sends nothing).
    void applyContentChanges() override;
    void reset() override;
    void blockEditWidget(bool blocked) override;

    ChoiceWidget *choiceWidget() const { return m_choice; }
    ChoiceTreeNodeProxyModel *choiceModel() const { return m_proxy; }
    ModulesRootTreeNode *rootNode() const { return m_root; }
    TreeNodeModel *treeModel() const { return m_model; }

private:
    ChoiceWidget *m_choice;
    ModulesRootTreeNode *m_root;
    TreeNodeModel *m_model;
    ChoiceTreeNodeProxyModel *m_proxy;
};
