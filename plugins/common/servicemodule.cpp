#include "servicemodule.h"

#include "servicerows.h"

#include <contextoperation.h>
#include <element.h>
#include <elementdata.h>
#include <taskobserver.h>
#include <tasks.h>
#include <vieweditelementwidget.h>

#include <QCoreApplication>

ServiceModule::ServiceModule(const QString &objectName, QObject *parent,
                             const QString &parentModuleName, int level, const QString &description,
                             Options options)
    : Module(objectName, parent, options.testFlag(PluginFlag))
{
    setParentModuleName(parentModuleName);
    setLevel(level);
    setData(QStringLiteral("description"), description);
    if (options.testFlag(SetsAdministrator))
        setData(QStringLiteral("administrator"), Module::isAdministrator(this));
}

ServiceModule::ServiceModule(const ServiceRow &row, QObject *parent)
    : ServiceModule(QString::fromLatin1(row.moduleName), parent,
                    QString::fromLatin1(row.parentModule), row.moduleLevel,
                    QCoreApplication::translate(row.moduleName, row.moduleDescription),
                    row.moduleOptions)
{
}

void ServiceModule::addElementAndWidget(Element *element, ViewEditElementWidget *widget)
{
    if (element)
        appendElement(element);
    if (widget)
        insertElementWidget(widget);
}

void ServiceModule::performOperation(ContextOperation *context, OperationType type,
                                     ElementData *data, int n)
{
    AbstractTask *task = nullptr;
    if (context && context->contextType() == ContextOperation::ContextElementWidget) {
        if (ViewEditElementWidget *widget = context->elementWidgetContext())
            task = createWidgetTask(widget, type, data);
    } else if (context) {
        if (Element *element = context->elementContext()) {
            if (element->elementType() == QLatin1String("ServiceServices")) {
                if (type == OperationReadLight) {
                    if (Element *first = firstElement())
                        task = createRootLightRead(first);
                }
            } else {
                task = createTask(element, type, data);
            }
        }
    }
    // The module owns the operation's record: a task took it over, or nobody needs it.
    if (!task)
        delete data;
    Module::performOperation(context, type, nullptr, n);
    if (task)
        TaskObserver::instance(nullptr)->performTask(task);
}

AbstractTask *ServiceModule::createRootLightRead(Element *)
{
    return nullptr;
}

AbstractTask *ServiceModule::createTask(Element *, OperationType, ElementData *)
{
    return nullptr;
}

AbstractTask *ServiceModule::createWidgetTask(ViewEditElementWidget *, OperationType, ElementData *)
{
    return nullptr;
}

AbstractTask *taskFrom(std::initializer_list<OperationTask> table, Element *element,
                       OperationType type)
{
    for (const OperationTask &row : table) {
        if (row.type == type)
            return row.make(element);
    }
    return nullptr;
}
