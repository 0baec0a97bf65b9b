#include "testservicemodule.h"

#include "testpluginsupport.h"
#include "testserviceelement.h"
#include "testservicewidget.h"

#include <childprocess.h>
#include <taskmessages.h>
#include <taskobserver.h>

TestServiceModule::TestServiceModule(const QString &objectName, const QString &parentModuleName,
                                     int level, const QString &rootType, QObject *parent)
    : Module(objectName, parent), m_rootType(rootType)
{
    setParentModuleName(parentModuleName);
    setLevel(level);
    setData(QStringLiteral("description"), QStringLiteral("Test module %1").arg(objectName));
    setData(QStringLiteral("administrator"), Module::isAdministrator(this));
}

void TestServiceModule::addService(TestServiceElement *element)
{
    appendElement(element);
    insertElementWidget(new TestServiceWidget(element->id(), element->title(), this));
    connectElementWidgets();
}

void TestServiceModule::performOperation(ContextOperation *context, OperationType type,
                                         ElementData *data, int n)
{
    if (context->contextType() != ContextOperation::ContextElement) {
        delete data;
        Module::performOperation(context, type, nullptr, n);
        return;
    }
    Element *element = context->elementContext();
    AbstractTask *task = nullptr;
    auto scriptOf = [](Element *e) {
        auto *service = qobject_cast<TestServiceElement *>(e);
        return TestPluginSupport::scriptPath(service ? service->script() : QString());
    };
    auto withScript = [&](ServiceTask *serviceTask, Element *e) {
        serviceTask->setScriptPath(scriptOf(e));
        return serviceTask;
    };
    if (element && element->elementType() == m_rootType && type == OperationReadLight) {
        if (Element *first = firstElement())
            task = withScript(new ReadPropertyLightServiceTask(first), first);
    } else if (element && elements().contains(element)) {
        switch (type) {
        case OperationReadLight:
            task = withScript(new ReadPropertyLightServiceTask(element), element);
            break;
        case OperationReadHeavy:
            task = new TestReadHeavyTask(element, scriptOf(element));
            break;
        case OperationStart:
            task = withScript(new StartServiceTask(element), element);
            break;
        case OperationStop:
            task = withScript(new StopServiceTask(element), element);
            break;
        case OperationRestart:
            task = withScript(new RestartServiceTask(element), element);
            break;
        case OperationReload:
            task = withScript(new ReloadServiceTask(element), element);
            break;
        case OperationClearCache:
            task = new ServiceTask(element, scriptOf(element), QStringLiteral("clear"));
            break;
        case OperationUpdate:
            task = new TestUpdateTask(element, data, scriptOf(element));
            data = nullptr;
            break;
        default:
            break;
        }
    }
    delete data;
    Module::performOperation(context, type, nullptr, n);
    if (task) {
        if (task->taskDescription().description().isEmpty()) {
            Element *target = task->taskElement();
            task->taskDescription().setDescription(QStringLiteral("%1 %2").arg(
                operationName(type), target ? target->title() : QString()));
        }
        TaskObserver::instance()->performTask(task);
    }
}

TestReadHeavyTask::TestReadHeavyTask(Element *element, const QString &script)
    : ReadPropertyHeavyTask(element, new ServiceHeavyElementData), m_script(script)
{
    taskDescription().setDescription(
        QStringLiteral("Read %1").arg(element ? element->title() : QString()));
}

void TestReadHeavyTask::run()
{
    auto *record = static_cast<ServiceHeavyElementData *>(data());
    const ProcessResult status = ChildProcess::run(m_script, {QStringLiteral("status")});
    if (!status.finished) {
        fail(TaskMessages::notFinished(m_script, status.error));
        return;
    }
    record->setState(status.exitCode == 0);
    const ProcessResult show = ChildProcess::run(m_script, {QStringLiteral("show")});
    if (!show.succeeded()) {
        fail(TaskMessages::exitCode(m_script, show.exitCode, show.errorText()));
    } else {
        record->setConfigData(show.outputText());
        succeed();
    }
}

void TestReadHeavyTask::afterRun()
{
    if (status() == TaskDescription::TaskStatusFailed)
        return;
    Element *e = element();
    if (!e)
        return;
    if (ServiceLightElementData *light = e->serviceData()) {
        *light = *static_cast<ServiceLightElementData *>(data());
        e->emitNodeDataChanged();
    }
    ReadPropertyHeavyTask::afterRun();
}

TestUpdateTask::TestUpdateTask(Element *element, ElementData *data, const QString &script)
    : UpdateTask(element, data), m_script(script)
{
    taskDescription().setDescription(
        QStringLiteral("Update %1").arg(element ? element->title() : QString()));
}

void TestUpdateTask::run()
{
    QStringList arguments{QStringLiteral("update")};
    if (data()) {
        for (const char *key : {"name", "mode", "choices"}) {
            const QString k = QString::fromLatin1(key);
            arguments.append(k + QLatin1Char('=') + data()->property(k).toString());
        }
        arguments.append(QStringLiteral("reload=") +
                         (data()->property(QStringLiteral("reload")).toBool()
                              ? QStringLiteral("yes")
                              : QStringLiteral("no")));
    }
    const ProcessResult result = ChildProcess::run(m_script, arguments);
    if (!result.succeeded()) {
        fail(result.finished ? TaskMessages::exitCode(m_script, result.exitCode, result.errorText())
                             : TaskMessages::notFinished(m_script, result.error));
    } else {
        succeed();
    }
}
