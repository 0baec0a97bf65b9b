#include "tasks.h"
#include "tasks_p.h"

#include "childprocess.h"
#include "element.h"
#include "elementdata.h"
#include "localhostconnection.h"
#include "module.h"
#include "taskmessages.h"
#include "vieweditelementwidget.h"

#include <QElapsedTimer>

FollowUp::FollowUp(Kind kind, Element *element, OperationType operation)
    : m_kind(kind), m_element(element), m_operation(operation)
{
}

FollowUp FollowUp::perform(Element *element, OperationType operation)
{
    return FollowUp(Perform, element, operation);
}

FollowUp FollowUp::remove(Element *element)
{
    return FollowUp(Remove, element, OperationNone);
}

Element *FollowUp::element() const
{
    return m_element;
}

AbstractTaskPrivate *AbstractTaskPrivate::get(AbstractTask *task)
{
    return task->d.get();
}

AbstractTask::AbstractTask() : d(std::make_unique<AbstractTaskPrivate>())
{
    d->host = LocalHostConnection::outsideConsole();
}

AbstractTask::~AbstractTask() = default;

TaskDescription &AbstractTask::taskDescription()
{
    return d->description;
}

const TaskDescription &AbstractTask::taskDescription() const
{
    return d->description;
}

TaskDescription::TaskStatus AbstractTask::status() const
{
    return d->description.status();
}

void AbstractTask::setOutcome(TaskDescription::TaskStatus status, const QString &message)
{
    d->description.setOutcome(status, message);
}

void AbstractTask::fail(const QString &message)
{
    setOutcome(TaskDescription::TaskStatusFailed, message);
}

void AbstractTask::succeed()
{
    setOutcome(TaskDescription::TaskStatusDone);
}

void AbstractTask::succeedPartly(const QString &message)
{
    setOutcome(TaskDescription::TaskStatusWarning, message);
}

void AbstractTask::run()
{
    if (status() == TaskDescription::TaskStatusUndefined)
        setOutcome(TaskDescription::TaskStatusDone, d->description.message());
}

void AbstractTask::afterRun()
{
}

QList<FollowUp> AbstractTask::followUps() const
{
    return {};
}

Element *AbstractTask::taskElement() const
{
    return nullptr;
}

int AbstractTask::priority() const
{
    return 0;
}

bool AbstractTask::isTargetAlive() const
{
    return true;
}

bool AbstractTask::isChange() const
{
    return false;
}

void AbstractTask::stopWaiting()
{
    d->stopWaiting.store(true);
}

bool AbstractTask::isWaitStopped() const
{
    return d->stopWaiting.load();
}

void AbstractTask::setHostConnection(const QSharedPointer<HostConnection> &connection)
{
    if (connection)
        d->host = connection;
}

const HostConnection &AbstractTask::host() const
{
    return *d->host;
}

QSharedPointer<HostConnection> AbstractTask::hostConnection() const
{
    return d->host;
}

QString AbstractTask::progressMessage() const
{
    std::lock_guard<std::mutex> lock(d->progressMutex);
    return d->progressMessage;
}

void AbstractTask::reportProgress(const QString &message)
{
    {
        std::lock_guard<std::mutex> lock(d->progressMutex);
        d->progressMessage = message;
    }
    if (d->progressHook)
        d->progressHook();
}

bool AbstractTask::runChangeTool(const QString &program, const QStringList &arguments)
{
    ChildProcess::ChangeWait wait;
    wait.stop = &d->stopWaiting;
    QElapsedTimer clock;
    clock.start();
    wait.stillRunning = [this, &program, &clock] {
        reportProgress(TaskMessages::stillRunning(program, clock.elapsed()));
    };
    const ProcessResult result = host().runChange(program, arguments, wait);
    if (result.leftRunning) {
        // Through a helper, why the answer never came (the helper ended, say) goes with it.
        const QString message = TaskMessages::leftRunning(program, clock.elapsed());
        setOutcome(TaskDescription::TaskStatusUnknown,
                   result.failure.isEmpty() ? message
                                            : message + QLatin1Char('\n') + result.failure);
    } else if (!result.finished) {
        fail(TaskMessages::notFinished(program, result));
    } else if (result.exitCode != 0) {
        fail(TaskMessages::exitCode(program, result.exitCode, result.errorText()));
    }
    return result.succeeded();
}

ElementTask::ElementTask(Element *element, ElementData *data)
    : m_element(element), m_module(element ? element->module() : nullptr),
      m_hadElement(element != nullptr), m_data(data)
{
    if (m_module) {
        m_paranoid = m_module->isParanoid();
        // Taken here, on the GUI thread: run() must not walk the module from its worker.
        setHostConnection(m_module->hostConnection());
    }
    m_background = qobject_cast<SupplementElement *>(element) != nullptr;
}

ElementTask::~ElementTask()
{
    delete m_data;
}

Element *ElementTask::element() const
{
    return m_element;
}

Element *ElementTask::taskElement() const
{
    return m_element;
}

int ElementTask::priority() const
{
    return m_background ? -1 : AbstractTask::priority();
}

Module *ElementTask::module() const
{
    return m_module;
}

bool ElementTask::isTargetAlive() const
{
    return !m_hadElement || !m_element.isNull();
}

void ElementTask::setData(ElementData *data)
{
    if (data == m_data)
        return;
    delete m_data;
    m_data = data;
}

ElementData *ElementTask::takeData()
{
    ElementData *data = m_data;
    m_data = nullptr;
    return data;
}

void ElementTask::showInWidgets(ElementData *record) const
{
    Element *e = element();
    if (!e)
        return;
    for (ViewEditElementWidget *widget : e->viewingWidgets())
        widget->afterSuccessfulRead(e, record);
}

ReadPropertyHeavyTask::ReadPropertyHeavyTask(Element *element, ElementData *data)
    : ElementTask(element, data)
{
}

void ReadPropertyHeavyTask::afterRun()
{
    // Nothing of a failed read reaches the widgets.
    if (!taskDescription().isFailed())
        showInWidgets(data());
}

ReadContentTask::ReadContentTask(Element *element, ElementData *data) : ElementTask(element, data)
{
}

QList<FollowUp> ReadContentTask::followUps() const
{
    Element *e = element();
    if (!e || taskDescription().isFailed())
        return {};
    QList<FollowUp> reads;
    const QList<TreeNode *> children = e->childNodes();
    for (TreeNode *node : children) {
        if (Element *child = qobject_cast<Element *>(node))
            reads.append(FollowUp::perform(child, OperationReadHeavy));
    }
    return reads;
}

CreateTask::CreateTask(Element *element, ElementData *data) : ElementTask(element, data)
{
}

bool CreateTask::isChange() const
{
    return true;
}

QList<FollowUp> CreateTask::followUps() const
{
    Element *e = element();
    if (!e || (taskDescription().isSucceeded() && !isParanoid()))
        return {};
    return {FollowUp::perform(e, OperationReadContent)};
}

DeleteTask::DeleteTask(Element *element, ElementData *data) : ElementTask(element, data)
{
}

bool DeleteTask::isChange() const
{
    return true;
}

QList<FollowUp> DeleteTask::followUps() const
{
    Element *e = element();
    if (!e)
        return {};
    Element *parent = qobject_cast<Element *>(e->parentNode());
    const bool parentReads = parent && parent->isOperationAvailable(OperationReadContent);
    if (!taskDescription().isSucceeded()) {
        // Part of it may be gone: what is left is read, never assumed.
        if (parentReads)
            return {FollowUp::perform(parent, OperationReadContent)};
        return {FollowUp::perform(e, OperationReadHeavy)};
    }
    // Only a parent that can read its content again can drop the element itself; under any
    // other parent the element would stay on screen for something that is gone.
    if (isParanoid() && parentReads)
        return {FollowUp::perform(parent, OperationReadContent)};
    return {FollowUp::remove(e)};
}

UpdateTask::UpdateTask(Element *element, ElementData *data) : ElementTask(element, data)
{
}

bool UpdateTask::isChange() const
{
    return true;
}

QList<FollowUp> UpdateTask::followUps() const
{
    Element *e = element();
    if (!e)
        return {};
    return {FollowUp::perform(e, OperationReadHeavy)};
}
