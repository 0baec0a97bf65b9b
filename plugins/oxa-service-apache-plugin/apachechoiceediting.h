#pragma once

#include <QString>

class ChoiceTreeNodeProxyModel;
class ViewEditElementWidget;

/** What the sites and the modules widget share in editing their ticks. */
namespace ApacheChoiceEditing {

/// While unblocked, every tick change marks @p widget's content changed; blocked, none does.
void follow(ChoiceTreeNodeProxyModel *proxy, ViewEditElementWidget *widget, bool blocked);

/**
 * Asks @p question (Yes, No, Cancel; default Yes): Yes and No send the widget's exported
 * record to its element as OperationUpdate, with the automatic reload or restart on Yes only;
 * Cancel sends nothing.
 */
void apply(ViewEditElementWidget *widget, const QString &question);

} // namespace ApacheChoiceEditing
