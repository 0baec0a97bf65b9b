#include "servicemaildovecotelementwidget.h"

#include <treenode.h>

ServiceMailDovecotElementWidget::ServiceMailDovecotElementWidget(Module *module, QWidget *parent)
    : ServiceElementWidget(module, staticMetaObject.className(),
                           QStringLiteral("ServiceMailDovecot"), QT_TR_NOOP("Dovecot"), TreeView,
                           QStringLiteral("_confTreeView"), parent)
{
    setTreeRoot(new ConfRootTreeNode(this));
}
