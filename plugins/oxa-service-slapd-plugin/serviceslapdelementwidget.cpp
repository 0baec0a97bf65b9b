#include "serviceslapdelementwidget.h"

#include <elementdata.h>
#include <treenode.h>

#include <QHeaderView>
#include <QTreeView>

ServiceSlapdElementWidget::ServiceSlapdElementWidget(Module *module, QWidget *parent)
    : ServiceElementWidget(module, staticMetaObject.className(), QStringLiteral("ServiceSlapd"),
                           QT_TR_NOOP("Slapd"), TreeView, QStringLiteral("_configTreeView"), parent)
{
    // The read gives the names in the order they are shown in.
    setTreeRoot(new TreeNode(0, QString(), this), false);
    QTreeView *view = configTreeView();
    view->setHeaderHidden(true);
    view->header()->setVisible(false);
}

void ServiceSlapdElementWidget::showConfiguration(ServiceHeavyElementData *record)
{
    loadNodes(record);
    setConfigurationTitle(record->configFile());
}
