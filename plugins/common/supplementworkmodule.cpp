#include "supplementworkmodule.h"

#include <contextoperation.h>
#include <element.h>
#include <taskobserver.h>

SupplementWorkModule::SupplementWorkModule(const QString &objectName, const QString &elementType,
                                           ReadMoment moment, QObject *parent)
    : Module(objectName, parent), m_elementType(elementType), m_moment(moment)
{
    setParentModuleName(QStringLiteral("ServiceServicesModule"));
    setLevel(2);
    // Nothing here changes the tree through a task, so "paranoid" means nothing to it.
    moduleData().remove(QStringLiteral("paranoid"));
    setData(QStringLiteral("administrator"), Module::isAdministrator(this));
}

SupplementWorkModule::~SupplementWorkModule() = default;

void SupplementWorkModule::performOperation(ContextOperation *context, OperationType type,
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
    if (element->elementType() == m_elementType) {
        if (type == OperationDetach) {
            // Passed on first, so that nobody below is handed an element already gone.
            Module::performOperation(context, type, nullptr, n);
            delete element; // leaves its service element first
            return;
        }
        if (type == OperationReadHeavy) {
            AbstractTask *task = createReadTask(element);
            Module::performOperation(context, type, nullptr, n);
            if (task)
                TaskObserver::instance(nullptr)->performTask(task);
            return;
        }
    } else if (type == OperationAttach &&
               element->elementType() != QLatin1String("ServiceServices")) {
        attachTo(element);
    }
    Module::performOperation(context, type, nullptr, n);
}

void SupplementWorkModule::attachTo(Element *service)
{
    // One element per service element, however often the attach is routed to it.
    for (TreeNode *child : service->childNodes()) {
        auto *existing = qobject_cast<Element *>(child);
        if (existing && existing->module() == this && existing->elementType() == m_elementType)
            return;
    }
    SupplementElement *supplement = createSupplement(service);
    supplement->setLevel(service->level() + 1);
    appendElement(supplement);
    service->append(supplement);
    if (m_moment == ReadOnAttach)
        supplement->performOperation(OperationReadHeavy, nullptr, 0);
}
