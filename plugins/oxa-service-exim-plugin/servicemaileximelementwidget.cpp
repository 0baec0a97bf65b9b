#include "servicemaileximelementwidget.h"

#include <treenode.h>

ServiceMailEximElementWidget::ServiceMailEximElementWidget(Module *module, QWidget *parent)
    : ServiceElementWidget(module, staticMetaObject.className(), QStringLiteral("ServiceMailExim"),
                           QT_TR_NOOP("Exim"), TreeView, QStringLiteral("_confTreeView"), parent)
{
    // The group box keeps its title "Configuration": the shared form changes it only for
    // text views.
    setTreeRoot(new ConfRootTreeNode(this));
}
