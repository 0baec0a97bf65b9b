#pragma once

#include "apachechoiceelementwidget.h"

class ModulesRootTreeNode;

/**
 * The Apache modules as a list to tick (enabled) and untick; static modules cannot be changed.
 * Applying enables and disables the changed modules.
 */
class ServiceApacheModuleElementWidget : public ApacheChoiceElementWidget
{
    Q_OBJECT
public:
    explicit ServiceApacheModuleElementWidget(Module *module, QWidget *parent = nullptr);

    /// The modules newly ticked (to enable) and unticked (to disable); the ticks become the
    /// loaded state.
    ElementData *exportElementData() override;
    void afterSuccessfulRead(Element *element, ElementData *data) override;
    /// Asks whether to restart Apache afterwards, then sends the update (Cancel sends nothing).
    void applyContentChanges() override;

    ModulesRootTreeNode *rootNode() const { return m_root; }

private:
    ModulesRootTreeNode *m_root;
};
