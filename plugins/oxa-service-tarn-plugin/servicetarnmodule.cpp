#include "servicetarnmodule.h"

#include "servicetarnelement.h"
#include "servicetarnelementwidget.h"
#include "servicetarntasks.h"

namespace {
const QString serverType = QStringLiteral("ServiceTarnServer");
const QString clientType = QStringLiteral("ServiceTarnClient");
} // namespace

ServiceTarnModule::ServiceTarnModule(QObject *parent)
    : ServiceModule(QStringLiteral("ServiceTarnModule"), parent,
                    QStringLiteral("ServiceServicesModule"), 2, tr("Service Tarn module"))
{
    auto *element = new ServiceTarnElement(this);
    addElementAndWidget(element, new ServiceTarnElementWidget(this, element->elementType()));
    connectElementWidgets();
}

AbstractTask *ServiceTarnModule::createRootLightRead(Element *first)
{
    if (first->elementType() == serverType)
        return new ServiceTarnServerReadLightTask(first);
    if (first->elementType() == clientType)
        return new ServiceTarnClientReadLightTask(first);
    return nullptr;
}

AbstractTask *ServiceTarnModule::createTask(Element *element, OperationType type, ElementData *)
{
    if (element->elementType() == serverType) {
        switch (type) {
        case OperationReadHeavy:
            return new ServiceTarnServerReadHeavyTask(element);
        case OperationStart:
            return new ServiceTarnServerStartTask(element);
        case OperationStop:
            return new ServiceTarnServerStopTask(element);
        case OperationRestart:
            return new ServiceTarnServerRestartTask(element);
        default:
            return nullptr;
        }
    }
    if (element->elementType() == clientType) {
        switch (type) {
        case OperationReadHeavy:
            return new ServiceTarnClientReadHeavyTask(element);
        case OperationStart:
            return new ServiceTarnClientStartTask(element);
        case OperationStop:
            return new ServiceTarnClientStopTask(element);
        case OperationRestart:
            return new ServiceTarnClientRestartTask(element);
        default:
            return nullptr;
        }
    }
    return nullptr;
}
