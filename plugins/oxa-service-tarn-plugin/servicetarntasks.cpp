#include "servicetarntasks.h"

#include "servicetarnheavyelementdata.h"
#include "tarnstatusparser.h"

#include <childprocess.h>
#include <element.h>
#include <hostconnection.h>
#include <taskmessages.h>
#include <treenode.h>

#include <future>

namespace {

QString tool(const char *name)
{
    return QString::fromLatin1(name);
}

/// Sets up a state read of the directory tool for one role of the host.
void setUpStateRead(ServiceTask *task, const char *roleOption, const char *description)
{
    task->setScriptPath(tool(TarnTool::client));
    task->extraArguments() << tool(roleOption);
    task->taskDescription().setDescription(QObject::tr(description));
}

} // namespace

ServiceTarnTarndReadHeavyTask::ServiceTarnTarndReadHeavyTask(Element *element)
    : ServiceHeavyReadTask(element, tarndFamily)
{
}

void ServiceTarnTarndReadHeavyTask::readConfiguration(ServiceHeavyElementData *record)
{
    const QString program = tool(TarnTool::client);
    const ProcessResult result =
        host().run(program, {ServiceTask::statusAction(), tool(TarnTool::clientOption)});
    if (!result.finished) {
        fail(TaskMessages::notFinished(program, result));
        return;
    }
    const QVector<TarnSetting> settings =
        TarnStatusParser::parseDaemonSettings(result.outputLines());
    QList<TreeNode *> &nodes = record->data();
    nodes.reserve(settings.size() + 1);
    for (const TarnSetting &setting : settings)
        nodes.append(new ConfTreeNode(setting.key, setting.value));
    nodes.append(new ConfTreeNode(QStringLiteral("TARND_LOG"), tool(TarnTool::daemonLog)));
    succeed();
}

void ServiceTarnServerStartTask::run()
{
    TarnForcedTask::run();
    if (taskDescription().isFailed()) {
        fail(
            taskDescription().message() + QLatin1Char('\n') +
            QObject::tr(
                "Note: The file /etc/hosts or /etc/tarn/tarn.conf may be incorrectly configured."));
    }
}

ServiceTarnClientReadLightTask::ServiceTarnClientReadLightTask(Element *element)
    : ReadPropertyLightServiceTask(element)
{
    setUpStateRead(this, TarnTool::clientOption,
                   QT_TRANSLATE_NOOP("QObject", "Read Tarn client service state"));
}

ServiceTarnServerReadLightTask::ServiceTarnServerReadLightTask(Element *element)
    : ReadPropertyLightServiceTask(element)
{
    setUpStateRead(this, TarnTool::serverOption,
                   QT_TRANSLATE_NOOP("QObject", "Read Tarn server service state"));
}

void ServiceTarnServerReadLightTask::run()
{
    // The domain and the state are two answers to the same read-only question: both are asked
    // at once rather than one after the other.
    auto stateRun = std::async(std::launch::async, [this] {
        return host().run(scriptPath(), composedArguments(statusAction()));
    });
    const ProcessResult result = host().run(scriptPath(), composedArguments());
    const ProcessResult state = stateRun.get();
    if (!result.finished) {
        // Without the domain the state is not taken either.
        fail(TaskMessages::notFinished(scriptPath(), result));
        return;
    }
    bool found = false;
    const QString domain = TarnStatusParser::domain(result.outputLines(), &found);
    if (found) {
        if (ServiceLightElementData *light = writableStateRecord())
            light->setName(domain);
    }
    // The state as the framework's own status read takes it.
    if (takeState(state))
        succeed();
}

ServiceTarnServerReadHeavyTask::ServiceTarnServerReadHeavyTask(Element *element)
    : ReadPropertyHeavyTask(element, new ServiceTarnHeavyElementData)
{
    taskDescription().setDescription(QObject::tr("Read Tarn server service configuration"));
}

ServiceHeavyElementData *ServiceTarnServerReadHeavyTask::record() const
{
    return dynamic_cast<ServiceHeavyElementData *>(data());
}

bool ServiceTarnServerReadHeavyTask::readState(const char *roleOption, QStringList *lines)
{
    ServiceHeavyElementData *heavy = record();
    if (!heavy) {
        fail(TaskMessages::undefinedTarget());
        return false;
    }
    const QString program = tool(TarnTool::client);
    const ProcessResult result =
        host().run(program, {ServiceTask::statusAction(), tool(roleOption)});
    if (!result.finished) {
        fail(TaskMessages::notFinished(program, result));
        return false;
    }
    // A non-zero exit is no failure: the service is stopped, and its report still counts.
    heavy->setState(result.exitCode == 0);
    *lines = result.outputLines();
    return true;
}

void ServiceTarnServerReadHeavyTask::run()
{
    QStringList lines;
    if (readState(TarnTool::serverOption, &lines)) {
        ServiceHeavyElementData *heavy = record();
        const TarnStatusParser::ServerReport report = TarnStatusParser::parseServerReport(lines);
        if (report.hasDomain)
            heavy->setName(report.domain);
        QList<TreeNode *> &nodes = heavy->data();
        nodes.reserve(report.settings.size());
        for (const TarnSetting &setting : report.settings)
            nodes.append(new ConfTreeNode(setting.key, setting.value));
        succeed();
    }
}

void ServiceTarnServerReadHeavyTask::afterRun()
{
    // State, state text and name: the caption shows the domain the read found.
    showServiceRead(this, record(), ElementCopy::Whole);
}

ServiceTarnClientReadHeavyTask::ServiceTarnClientReadHeavyTask(Element *element)
    : ServiceTarnServerReadHeavyTask(element)
{
    taskDescription().setDescription(QObject::tr("Read Tarn client service configuration"));
}

void ServiceTarnClientReadHeavyTask::run()
{
    QStringList lines;
    if (readState(TarnTool::clientOption, &lines))
        succeed();
}
