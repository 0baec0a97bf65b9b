#include "servicetasks.h"

#include "childprocess.h"
#include "element.h"
#include "taskmessages.h"

#include <QProcess>

#include <unistd.h>

ServiceTask::ServiceTask(Element *element, const QString &program, const QString &action,
                         const QStringList &arguments, bool actionFirst)
    : ElementTask(element), m_scriptPath(program), m_action(action), m_arguments(arguments),
      m_actionFirst(actionFirst)
{
    // The state read is copied into the element's record whole (name included): start from
    // the element's name so that a read does not blank it.
    if (const ServiceLightElementData *light = element ? element->serviceData() : nullptr)
        m_ownState.setName(light->name());
}

QStringList ServiceTask::composedArguments(const QString &action) const
{
    const QString word = action.isEmpty() ? m_action : action;
    QStringList arguments;
    if (m_actionFirst && !word.isEmpty())
        arguments << word;
    arguments << m_arguments;
    if (!m_actionFirst && !word.isEmpty())
        arguments << word;
    return arguments;
}

bool ServiceTask::isStatusAction() const
{
    return m_action == statusAction();
}

const ServiceLightElementData &ServiceTask::stateRecord() const
{
    if (const auto *light = dynamic_cast<const ServiceLightElementData *>(data()))
        return *light;
    return m_ownState;
}

ServiceLightElementData *ServiceTask::writableStateRecord()
{
    if (auto *light = dynamic_cast<ServiceLightElementData *>(data()))
        return light;
    return &m_ownState;
}

bool ServiceTask::isChange() const
{
    return !isStatusAction();
}

bool ServiceTask::readState(const QString &action)
{
    return takeState(
        ChildProcess::run(m_scriptPath, composedArguments(action), ChildProcess::readLimitMs()));
}

bool ServiceTask::takeState(const ProcessResult &result)
{
    if (!result.finished) {
        taskDescription().setStatus(TaskDescription::TaskStatusFailed);
        taskDescription().setMessage(TaskMessages::notFinished(m_scriptPath, result.error));
        return false;
    }
    writableStateRecord()->setState(result.exitCode == 0);
    m_stateRead = true;
    return true;
}

void ServiceTask::run()
{
    if (isStatusAction()) {
        if (readState(m_action))
            taskDescription().setStatus(TaskDescription::TaskStatusDone);
        AbstractTask::run();
        return;
    }
    if (runChangeTool(m_scriptPath, composedArguments()))
        taskDescription().setStatus(TaskDescription::TaskStatusDone);
    // Whatever the action did (a failed or unfinished one may have done part of it), what
    // state it left is a second, plain question. Its answer, or none, leaves the action's
    // outcome as it is.
    const TaskDescription before = taskDescription();
    if (!readState(statusAction()))
        taskDescription() = before;
    AbstractTask::run();
}

void ServiceTask::refreshElementAfterControl()
{
    Element *e = element();
    if (!e)
        return;
    copyStateToElement();
    // A full read refreshes what the widget shows (and the state, where the element keeps no
    // service record of its own, as a database cluster).
    if (e->isOperationAvailable(OperationReadHeavy))
        e->performOperation(OperationReadHeavy, nullptr, 0);
}

ReadPropertyLightServiceTask::ReadPropertyLightServiceTask(Element *element)
    : ServiceTask(element, QString(), statusAction())
{
    auto *record = new ServiceLightElementData;
    record->setName(stateRecord().name());
    setData(record);
}

void ServiceTask::afterRun()
{
    if (isStatusAction())
        copyStateToElement();
    else
        refreshElementAfterControl();
}

void ServiceTask::copyStateToElement()
{
    Element *e = element();
    if (!e || !isStateRead())
        return;
    if (ServiceLightElementData *light = e->serviceData()) {
        *light = stateRecord();
        e->emitNodeDataChanged();
    }
}

void ReadPropertyLightServiceTask::afterRun()
{
    copyStateToElement();
}

int ReadPropertyLightServiceTask::priority() const
{
    return 10;
}

StartStopServiceTask::StartStopServiceTask(Element *element, const QString &action)
    : ServiceTask(element, QString(), action)
{
}

void StartStopServiceTask::afterRun()
{
    refreshElementAfterControl();
}

StartServiceTask::StartServiceTask(Element *element)
    : StartStopServiceTask(element, QStringLiteral("start"))
{
}

StopServiceTask::StopServiceTask(Element *element)
    : StartStopServiceTask(element, QStringLiteral("stop"))
{
}

RServiceTask::RServiceTask(Element *element, const QString &action)
    : ServiceTask(element, QString(), action)
{
}

void RServiceTask::afterRun()
{
    refreshElementAfterControl();
}

RestartServiceTask::RestartServiceTask(Element *element)
    : RServiceTask(element, QStringLiteral("restart"))
{
}

ReloadServiceTask::ReloadServiceTask(Element *element)
    : RServiceTask(element, QStringLiteral("reload"))
{
}

ControlServiceTask::ControlServiceTask(Element *element) : ElementTask(element)
{
}

QStringList ControlServiceTask::commandLine() const
{
    if (::geteuid() == 0 && !m_userName.isEmpty())
        return {QStringLiteral("runuser"), QStringLiteral("-u"), m_userName, QStringLiteral("--"),
                m_programName};
    return {m_programName};
}

void ControlServiceTask::run()
{
    QStringList command = commandLine();
    // The tool lives on its own: it must not write into the console's output (a batch report
    // goes there) nor wait for input from it.
    QProcess process;
    process.setProgram(command.takeFirst());
    process.setArguments(command);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (m_programName.isEmpty() || !process.startDetached()) {
        taskDescription().setStatus(TaskDescription::TaskStatusFailed);
        taskDescription().setMessage(
            TaskMessages::notFinished(m_programName, QProcess::FailedToStart));
    } else {
        taskDescription().setStatus(TaskDescription::TaskStatusDone);
    }
    AbstractTask::run();
}

bool ControlServiceTask::existPackage(const QString &package)
{
    if (package.isEmpty())
        return false;
    const ProcessResult result =
        ChildProcess::run(QStringLiteral("dpkg-query"),
                          {QStringLiteral("--showformat=${db:Status-Abbrev}${binary:Package}\n"),
                           QStringLiteral("--show"), package});
    if (!result.succeeded())
        return false;
    for (const QString &line : result.outputLines()) {
        // "ii " then the name, possibly with an architecture qualifier.
        if (!line.startsWith(QLatin1String("ii ")))
            continue;
        const QString name = line.mid(3).trimmed().section(QLatin1Char(':'), 0, 0);
        if (name == package)
            return true;
    }
    return false;
}
