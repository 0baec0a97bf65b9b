#include "servicetarnelementwidget.h"

#include "servicetarnheavyelementdata.h"

#include <treenode.h>

ServiceTarnElementWidget::ServiceTarnElementWidget(Module *module, const QString &elementType,
                                                   QWidget *parent)
    : ServiceElementWidget(module, staticMetaObject.className(), elementType, QT_TR_NOOP("General"),
                           TreeView, QStringLiteral("_confTreeView"), parent)
{
    setTreeRoot(new ConfRootTreeNode);
}

void ServiceTarnElementWidget::showConfiguration(ServiceHeavyElementData *record)
{
    if (auto *tarn = dynamic_cast<ServiceTarnHeavyElementData *>(record))
        loadNodes(tarn);
}
