#include "servicetarntarndelementwidget.h"

#include <treenode.h>

ServiceTarnTarndElementWidget::ServiceTarnTarndElementWidget(Module *module, QWidget *parent)
    : ServiceElementWidget(module, staticMetaObject.className(), QStringLiteral("ServiceTarnTarnd"),
                           QT_TR_NOOP("Tarnd"), TreeView, QStringLiteral("_confTreeView"), parent)
{
    setSecondElementType(QStringLiteral("ServiceTarnServer"));
    setTreeRoot(new ConfRootTreeNode);
}
