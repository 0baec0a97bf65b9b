#include "servicetarnmodule.h"

#include "servicetarnelement.h"
#include "servicetarnelementwidget.h"
#include "servicetarntasks.h"

namespace {
const QString serverType = QStringLiteral("ServiceTarnServer");
const QString clientType = QStringLiteral("ServiceTarnClient");

/// A role's (server's or client's) task: its heavy read and its tool's start, stop, restart.
template <class HeavyTask, class StartTask, class StopTask, class RestartTask>
AbstractTask *roleTask(Element *element, OperationType type)
{
    return taskFrom({{OperationReadHeavy, &newTask<HeavyTask>},
                     {OperationStart, &newTask<StartTask>},
                     {OperationStop, &newTask<StopTask>},
                     {OperationRestart, &newTask<RestartTask>}},
                    element, type);
}
} // namespace

ServiceTarnModule::ServiceTarnModule(QObject *parent)
    : ServiceModule(QStringLiteral("ServiceTarnModule"), parent,
                    QStringLiteral("ServiceServicesModule"), 2, tr("Service Tarn module"))
{
    auto *element = new ServiceTarnElement(this);
    addElementAndWidget(element, new ServiceTarnElementWidget(this, element->elementType()));
    connectElementWidgets();
}

void ServiceTarnModule::hostConnectionChanged()
{
    auto *element = qobject_cast<ServiceTarnElement *>(firstElement());
    if (!element)
        return;
    ViewEditElementWidget *widget = elementWidget(element->elementType());
    element->detectRole();
    if (widget)
        widget->setElementType(element->elementType());
}

AbstractTask *ServiceTarnModule::createRootLightRead(Element *first)
{
    if (auto *element = qobject_cast<ServiceTarnElement *>(first))
        element->detectRole();
    if (first->elementType() == serverType)
        return new ServiceTarnServerReadLightTask(first);
    if (first->elementType() == clientType)
        return new ServiceTarnClientReadLightTask(first);
    return nullptr;
}

AbstractTask *ServiceTarnModule::createTask(Element *element, OperationType type, ElementData *)
{
    if (element->elementType() == serverType) {
        return roleTask<ServiceTarnServerReadHeavyTask, ServiceTarnServerStartTask,
                        ServiceTarnServerStopTask, ServiceTarnServerRestartTask>(element, type);
    }
    if (element->elementType() == clientType) {
        return roleTask<ServiceTarnClientReadHeavyTask, ServiceTarnClientStartTask,
                        ServiceTarnClientStopTask, ServiceTarnClientRestartTask>(element, type);
    }
    return nullptr;
}
