#pragma once

#include <vieweditelementwidget.h>

class ChoiceTreeNodeProxyModel;
class ChoiceWidget;
class ServiceApacheHeavyElementData;
class TreeNode;
class TreeNodeModel;

/**
 * What the sites and the modules widget share: names below a tree root to tick (enabled) and
 * untick, shown through a model and a ticking proxy in a choice box; the ticks mark the content
 * changed only while the widget is editable, and export as the names to enable and disable.
 */
class ApacheChoiceElementWidget : public ViewEditElementWidget
{
    Q_OBJECT
public:
    // The choice view is a child made before the tree, the model and the proxy: it goes first.
    ~ApacheChoiceElementWidget() override;

    /// The names newly ticked (to enable) and unticked (to disable).
    ElementData *exportElementData() override;
    void blockEditWidget(bool blocked) override;

    ChoiceWidget *choiceWidget() const { return m_choice; }
    ChoiceTreeNodeProxyModel *choiceModel() const { return m_proxy; }
    TreeNodeModel *treeModel() const { return m_model; }

protected:
    ApacheChoiceElementWidget(Module *module, QWidget *parent);

    /// Makes the choice box "_choiceGroupBox" titled @p title over @p root, which the widget
    /// owns from now on, with the model and the proxy.
    ChoiceWidget *makeChoices(const QString &title, TreeNode *root);
    /// Replaces the names by the record's and ticks them as it says.
    void loadChoices(ServiceApacheHeavyElementData *record);

private:
    ChoiceWidget *m_choice = nullptr;
    TreeNode *m_root = nullptr;
    TreeNodeModel *m_model = nullptr;
    ChoiceTreeNodeProxyModel *m_proxy = nullptr;
};
