#pragma once

#include "apachechoiceelementwidget.h"

class QLabel;
class SitesRootTreeNode;

/**
 * Apache's state, its start at boot, and its sites as a list to tick (enabled) and untick,
 * with each site's virtual hosts below it; applying enables and disables the changed sites.
 */
class ServiceApacheElementWidget : public ApacheChoiceElementWidget
{
    Q_OBJECT
public:
    explicit ServiceApacheElementWidget(Module *module, QWidget *parent = nullptr);

    /// Shows the state and, for a full read, the sites tree with its ticks.
    void afterSuccessfulRead(Element *element, ElementData *data) override;
    /// Asks whether to reload Apache afterwards, then sends the update (Cancel sends nothing).
    void applyContentChanges() override;
    void reset() override;

    QLabel *stateLabel() const { return m_stateLabel; }
    QLabel *bootStateLabel() const { return m_bootStateLabel; }
    SitesRootTreeNode *rootNode() const { return m_root; }

private:
    void showState(const QString &text);

    QLabel *m_stateLabel;
    QLabel *m_bootStateLabel;
    SitesRootTreeNode *m_root;
};
