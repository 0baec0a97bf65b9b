#include "servicepackagesmodule.h"

#include "servicepackageselement.h"
#include "servicepackageselementwidget.h"
#include "servicepackagesreadheavytask.h"

#include <contextoperation.h>
#include <element.h>
#include <taskobserver.h>

namespace {
const QString packagesType = QStringLiteral("ServicePackages");
}

ServicePackagesModule::ServicePackagesModule(QObject *parent)
    : Module(QStringLiteral("ServicePackagesModule"), parent)
{
    setParentModuleName(QStringLiteral("ServiceServicesModule"));
    setLevel(2);
    // Nothing here changes the tree through a task, so "paranoid" means nothing to it.
    moduleData().remove(QStringLiteral("paranoid"));
    setData(QStringLiteral("description"), tr("Module for viewing installed packages of service"));
    setData(QStringLiteral("administrator"), Module::isAdministrator(this));
    insertElementWidget(new ServicePackagesElementWidget(this));
    connectElementWidgets();
}

ServicePackagesModule::~ServicePackagesModule() = default;

void ServicePackagesModule::performOperation(ContextOperation *context, OperationType type,
                                             ElementData *, int n)
{
    // Widgets ask nothing of this module: only element operations do something here.
    Element *element = nullptr;
    if (context && context->contextType() == ContextOperation::ContextElement)
        element = context->elementContext();
    if (!element) {
        Module::performOperation(context, type, nullptr, n);
        return;
    }
    if (element->elementType() == packagesType) {
        if (type == OperationDetach) {
            // Passed on first, so that nobody below is handed an element already gone.
            Module::performOperation(context, type, nullptr, n);
            delete element; // leaves its service element first
            return;
        }
        if (type == OperationReadHeavy) {
            auto *task = new ServicePackagesReadHeavyTask(element);
            Module::performOperation(context, type, nullptr, n);
            TaskObserver::instance(nullptr)->performTask(task);
            return;
        }
    } else if (type == OperationAttach &&
               element->elementType() != QLatin1String("ServiceServices")) {
        attachTo(element);
    }
    Module::performOperation(context, type, nullptr, n);
}

void ServicePackagesModule::attachTo(Element *service)
{
    // One list per service element, however often the attach is routed to it.
    for (TreeNode *child : service->childNodes()) {
        auto *existing = qobject_cast<ServicePackagesElement *>(child);
        if (existing && existing->module() == this)
            return;
    }
    auto *packages = new ServicePackagesElement(this);
    packages->setTitle(service->title());
    packages->setLevel(service->level() + 1);
    appendElement(packages);
    service->append(packages);
    packages->performOperation(OperationReadHeavy, nullptr, 0);
}
