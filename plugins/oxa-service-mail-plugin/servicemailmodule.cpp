#include "servicemailmodule.h"

#include "servicemailelement.h"

#include <nodeselementwidget.h>

ServiceMailModule::ServiceMailModule(QObject *parent)
    : Module(QStringLiteral("ServiceMailModule"), parent)
{
    setParentModuleName(QStringLiteral("ServiceServicesModule"));
    setLevel(2);
    setData(QStringLiteral("description"), tr("Service Mail module - dummy"));
    setData(QStringLiteral("administrator"), Module::isAdministrator(this));
    appendElement(new ServiceMailElement(this));
    auto *widget = new NodesElementWidget(QStringLiteral("ServiceMail"), this,
                                          &Module::isAdministratorHierarchy, nullptr);
    widget->setWindowTitle(tr("Mail"));
    insertElementWidget(widget);
    connectElementWidgets();
}
