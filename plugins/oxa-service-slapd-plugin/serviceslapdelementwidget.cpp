#include "serviceslapdelementwidget.h"

#include <elementdata.h>

#include <QFileSystemModel>
#include <QHeaderView>
#include <QTreeView>

ServiceSlapdElementWidget::ServiceSlapdElementWidget(Module *module, QWidget *parent)
    : ServiceElementWidget(module, staticMetaObject.className(), QStringLiteral("ServiceSlapd"),
                           QT_TR_NOOP("Slapd"), TreeView, QStringLiteral("_configTreeView"),
                           parent),
      m_fileSystemModel(new QFileSystemModel(this))
{
    QTreeView *view = configTreeView();
    view->setHeaderHidden(true);
    view->header()->setVisible(false);
    attachModel(true);
}

void ServiceSlapdElementWidget::attachModel(bool attached)
{
    QTreeView *view = configTreeView();
    if (!attached) {
        view->setModel(nullptr);
        return;
    }
    if (view->model() == m_fileSystemModel)
        return;
    view->setModel(m_fileSystemModel);
    // Names only: no size, type or date.
    for (int column = 1; column <= 3; ++column)
        view->hideColumn(column);
}

void ServiceSlapdElementWidget::showConfiguration(ServiceHeavyElementData *record)
{
    const QString path = record->configFile();
    m_fileSystemModel->setRootPath(path);
    const QModelIndex root = m_fileSystemModel->index(path);
    // A missing directory has no index, and an invalid root would show the whole file system:
    // the view stays empty until the directory is there.
    attachModel(root.isValid());
    if (root.isValid())
        configTreeView()->setRootIndex(root);
    setConfigurationTitle(path);
}
