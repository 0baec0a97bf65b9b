#include "tasks.h"

#include "childprocess.h"
#include "element.h"
#include "elementdata.h"
#include "module.h"
#include "taskmessages.h"
#include "vieweditelementwidget.h"

#include <QElapsedTimer>

AbstractTask::AbstractTask() = default;

AbstractTask::~AbstractTask() = default;

void AbstractTask::run()
{
    if (m_description.status() == TaskDescription::TaskStatusUndefined)
        m_description.setStatus(TaskDescription::TaskStatusDone);
}

void AbstractTask::afterRun()
{
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

QString AbstractTask::progressMessage() const
{
    std::lock_guard<std::mutex> lock(m_progressMutex);
    return m_progressMessage;
}

void AbstractTask::reportProgress(const QString &message)
{
    {
        std::lock_guard<std::mutex> lock(m_progressMutex);
        m_progressMessage = message;
    }
    if (m_progressHook)
        m_progressHook();
}

bool AbstractTask::runChangeTool(const QString &program, const QStringList &arguments)
{
    ChildProcess::ChangeWait wait;
    wait.stop = &m_stopWaiting;
    QElapsedTimer clock;
    clock.start();
    wait.stillRunning = [this, &program, &clock] {
        reportProgress(TaskMessages::stillRunning(program, clock.elapsed()));
    };
    const ProcessResult result = ChildProcess::runChange(program, arguments, wait);
    if (result.leftRunning) {
        m_description.setStatus(TaskDescription::TaskStatusUnknown);
        m_description.setMessage(TaskMessages::leftRunning(program, clock.elapsed()));
    } else if (!result.finished) {
        m_description.setStatus(TaskDescription::TaskStatusFailed);
        m_description.setMessage(TaskMessages::notFinished(program, result.error));
    } else if (result.exitCode != 0) {
        m_description.setStatus(TaskDescription::TaskStatusFailed);
        m_description.setMessage(
            TaskMessages::exitCode(program, result.exitCode, result.errorText()));
    }
    return result.succeeded();
}

ElementTask::ElementTask(Element *element, ElementData *data)
    : m_element(element), m_module(element ? element->module() : nullptr),
      m_hadElement(element != nullptr), m_data(data)
{
    if (m_module)
        m_paranoid = m_module->isParanoid();
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

ReadPropertyHeavyTask::ReadPropertyHeavyTask(Element *element, ElementData *data)
    : ElementTask(element, data)
{
}

void ReadPropertyHeavyTask::afterRun()
{
    // Nothing of a failed read reaches the widgets.
    Element *e = element();
    if (!e || !e->module() || taskDescription().isFailed())
        return;
    for (ViewEditElementWidget *widget : e->module()->elementWidgets())
        widget->afterSuccessfulRead(e, data());
}

ReadContentTask::ReadContentTask(Element *element, ElementData *data) : ElementTask(element, data)
{
}

void ReadContentTask::afterRun()
{
    Element *e = element();
    if (!e || taskDescription().isFailed())
        return;
    const QList<TreeNode *> children = e->childNodes();
    for (TreeNode *node : children) {
        if (Element *child = qobject_cast<Element *>(node))
            child->performOperation(OperationReadHeavy, nullptr, 0);
    }
}

CreateTask::CreateTask(Element *element, ElementData *data) : ElementTask(element, data)
{
}

bool CreateTask::isChange() const
{
    return true;
}

void CreateTask::afterRun()
{
    Element *e = element();
    if (!e || (taskDescription().isSucceeded() && !isParanoid()))
        return;
    e->performOperation(OperationReadContent, nullptr, 0);
}

DeleteTask::DeleteTask(Element *element, ElementData *data) : ElementTask(element, data)
{
}

bool DeleteTask::isChange() const
{
    return true;
}

void DeleteTask::afterRun()
{
    Element *e = element();
    if (!e)
        return;
    if (!taskDescription().isSucceeded()) {
        // Part of it may be gone: what is left is read, never assumed.
        Element *parent = qobject_cast<Element *>(e->parentNode());
        if (parent && parent->isOperationAvailable(OperationReadContent))
            parent->performOperation(OperationReadContent, nullptr, 0);
        else if (e->isOperationAvailable(OperationReadHeavy))
            e->performOperation(OperationReadHeavy, nullptr, 0);
        return;
    }
    if (isParanoid()) {
        // Only a parent that can read its content again can drop the element itself; under
        // any other parent the element would stay on screen for something that is gone.
        Element *parent = qobject_cast<Element *>(e->parentNode());
        if (parent && parent->isOperationAvailable(OperationReadContent)) {
            parent->performOperation(OperationReadContent, nullptr, 0);
            return;
        }
    }
    delete e; // leaves its parent first
}

UpdateTask::UpdateTask(Element *element, ElementData *data) : ElementTask(element, data)
{
}

bool UpdateTask::isChange() const
{
    return true;
}

void UpdateTask::afterRun()
{
    Element *e = element();
    if (!e)
        return;
    e->performOperation(OperationReadHeavy, nullptr, 0);
}
