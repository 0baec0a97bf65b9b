#include "servicecronelementwidget.h"

#include "crontreenode.h"

#include <elementdata.h>

#include <QHeaderView>
#include <QTreeView>

ServiceCronElementWidget::ServiceCronElementWidget(Module *module, QWidget *parent)
    : ServiceElementWidget(module, staticMetaObject.className(), QStringLiteral("ServiceCron"),
                           QT_TR_NOOP("Cron"), TreeView, QStringLiteral("_configTreeView"), parent)
{
    setTreeRoot(new CronRootTreeNode(this), true);
    configTreeView()->setIconSize(QSize(16, 16));
    configTreeView()->setHeaderHidden(true);
}

CronRootTreeNode *ServiceCronElementWidget::cronRoot() const
{
    return static_cast<CronRootTreeNode *>(treeRoot());
}

void ServiceCronElementWidget::showConfiguration(ServiceHeavyElementData *record)
{
    loadNodes(record);
    setConfigurationTitle(record->configFile());
}
