#pragma once

#include "taskdescription.h"

#include <QList>
#include <QPointer>
#include <QSharedPointer>

#include <atomic>
#include <functional>
#include <mutex>

class Element;
class ElementData;
class HostConnection;
class Module;

/**
 * What the task observer does after a task's afterRun(), on the GUI thread: perform an
 * operation on an element, or remove an element from the tree. Tasks declare them
 * (AbstractTask::followUps()); none calls back into an element or module itself.
 */
class OXA_EXPORT FollowUp
{
public:
    enum Kind
    {
        Perform, ///< the operation on the element, if the element still offers it then
        Remove,  ///< the element leaves the tree and is deleted
    };

    static FollowUp perform(Element *element, OperationType operation);
    static FollowUp remove(Element *element);

    Kind kind() const { return m_kind; }
    /// The element, or null once it was deleted.
    Element *element() const;
    OperationType operation() const { return m_operation; }

private:
    FollowUp(Kind kind, Element *element, OperationType operation);

    Kind m_kind;
    QPointer<Element> m_element;
    OperationType m_operation;
};

/**
 * A unit of slow work. TaskObserver runs run() on a worker thread (child processes, files;
 * it touches only the task), then afterRun() on the GUI thread (copies the result into the
 * element and its widgets), then performs the task's followUps(), then deletes the task.
 */
class OXA_EXPORT AbstractTask
{
public:
    AbstractTask();
    virtual ~AbstractTask();
    AbstractTask(const AbstractTask &) = delete;
    AbstractTask &operator=(const AbstractTask &) = delete;

    TaskDescription &taskDescription() { return m_description; }
    const TaskDescription &taskDescription() const { return m_description; }
    TaskDescription::TaskStatus status() const { return m_description.status(); }

    /**
     * Sets how the task ended: the only way a task's status and message change. A task that
     * sets none is done (the observer sees to that); the last outcome set counts.
     */
    void setOutcome(TaskDescription::TaskStatus status, const QString &message = QString());
    /// setOutcome(TaskStatusFailed, message).
    void fail(const QString &message);
    /// setOutcome(TaskStatusDone).
    void succeed();
    /// setOutcome(TaskStatusWarning, message): done, but not all of it; @p message says what.
    void succeedPartly(const QString &message);

    /// The slow work, on a worker thread. The base sets the default outcome (done) when none
    /// was set; overrides need not call it.
    virtual void run();
    /// Runs on the GUI thread after run(), when the target is alive; nothing by default.
    virtual void afterRun();
    /**
     * What the observer does next, once afterRun() ended (GUI thread, target alive), in
     * order; each is performed once. None by default.
     */
    virtual QList<FollowUp> followUps() const;

    /// The element the task works on, or null; tasks on one element run one after another.
    virtual Element *taskElement() const;
    /// Ready tasks with a higher priority start first (state reads before everything else);
    /// below zero is background work, started only while no other task runs.
    virtual int priority() const;
    /// False when the task's element was deleted meanwhile; afterRun() and the follow-ups are
    /// then skipped.
    virtual bool isTargetAlive() const;

    /**
     * Whether the task changes the host (a start, a create, an update) rather than reading it:
     * its tools are never killed half-way, what it changed is read again however it ended, and
     * the window asks before it closes while one runs. False by default.
     */
    virtual bool isChange() const;

    /// Any thread: stop waiting for the change's tool, which is left running; the task ends
    /// with its outcome unknown.
    void stopWaiting() { m_stopWaiting.store(true); }
    bool isWaitStopped() const { return m_stopWaiting.load(); }

    /**
     * The host the task works on, for run() on its worker thread: the connection taken at
     * construction (an element task's module's; LocalHostConnection::outsideConsole() for
     * a task without one). Never look it up through a module from the worker thread.
     */
    const HostConnection &host() const { return *m_host; }
    QSharedPointer<HostConnection> hostConnection() const { return m_host; }

    /// How a running task goes, as it last said (empty: nothing said). Any thread.
    QString progressMessage() const;
    /// Called on the worker thread whenever the running task says how it goes (the observer
    /// passes it on to the window). Set before run().
    void setProgressHook(std::function<void()> hook) { m_progressHook = std::move(hook); }

protected:
    /// GUI thread, before the task is handed to the observer: the host run() works on.
    void setHostConnection(const QSharedPointer<HostConnection> &connection);
    /// Worker thread: says how the running task goes (see progressMessage()).
    void reportProgress(const QString &message);
    /**
     * Runs a tool that changes something on host() (HostConnection::runChange): says that it still
     * runs once the read limit passed, and gives up waiting when stopWaiting() is called or at the
     * change limit. True when it exited with 0 (the outcome is the caller's to set); otherwise
     * the task failed ("not finished", or "Exit code" with its standard error) or, with the
     * tool left running, its outcome is unknown; status and message say so.
     */
    bool runChangeTool(const QString &program, const QStringList &arguments);

private:
    TaskDescription m_description;
    QSharedPointer<HostConnection> m_host;
    std::atomic<bool> m_stopWaiting{false};
    mutable std::mutex m_progressMutex;
    QString m_progressMessage;
    std::function<void()> m_progressHook;
};

/** A task on one element, holding a record (owned) as its data. */
class OXA_EXPORT ElementTask : public AbstractTask
{
public:
    explicit ElementTask(Element *element, ElementData *data = nullptr);
    ~ElementTask() override;

    /// The element, or null once it was deleted. GUI thread only.
    Element *element() const;
    Element *taskElement() const override;
    /// Work on a supplement element (what one plug-in adds under another's elements, such as
    /// a package list) is background work; otherwise the default.
    int priority() const override;
    bool isTargetAlive() const override;
    /// The element's module, kept from construction.
    Module *module() const;
    /// The module's "paranoid" entry, as it was at construction.
    bool isParanoid() const { return m_paranoid; }

    ElementData *data() const { return m_data; }
    /// Takes ownership of @p data; the former record is deleted.
    void setData(ElementData *data);
    /// Gives up ownership of the record.
    ElementData *takeData();

protected:
    /// GUI thread: hands @p record to the widgets that show the element now, and to no other.
    void showInWidgets(ElementData *record) const;

private:
    QPointer<Element> m_element;
    QPointer<Module> m_module;
    bool m_hadElement;
    bool m_paranoid = false;
    bool m_background = false;
    ElementData *m_data;
};

/**
 * Reads an element's full record; after a good run, afterRun() hands it to the widgets that
 * show the element.
 */
class OXA_EXPORT ReadPropertyHeavyTask : public ElementTask
{
public:
    explicit ReadPropertyHeavyTask(Element *element, ElementData *data = nullptr);
    /// Calls afterSuccessfulRead(element, data) on the widgets showing the element.
    void afterRun() override;
};

/** Reads a container's children; after a good run, reads each child (OperationReadHeavy). */
class OXA_EXPORT ReadContentTask : public ElementTask
{
public:
    explicit ReadContentTask(Element *element, ElementData *data = nullptr);
    QList<FollowUp> followUps() const override;
};

/**
 * Creates a child of a container; with "paranoid", or when the creation failed or its outcome
 * is unknown (it may have made part of the child), reads the container's content again.
 */
class OXA_EXPORT CreateTask : public ElementTask
{
public:
    CreateTask(Element *element, ElementData *data);
    bool isChange() const override;
    QList<FollowUp> followUps() const override;
};

/**
 * Deletes what an element stands for; after a good run, removes and deletes the element (with
 * "paranoid", reads the parent's content again instead, when the parent offers that). After a
 * failed run, or one whose outcome is unknown, the parent's content is read again (or else
 * the element itself): part of it may be gone.
 */
class OXA_EXPORT DeleteTask : public ElementTask
{
public:
    DeleteTask(Element *element, ElementData *data);
    bool isChange() const override;
    QList<FollowUp> followUps() const override;
};

/**
 * Changes an element; afterwards, however it ended, reads it again (OperationReadHeavy): a
 * failed change may have been applied in part.
 */
class OXA_EXPORT UpdateTask : public ElementTask
{
public:
    UpdateTask(Element *element, ElementData *data);
    bool isChange() const override;
    QList<FollowUp> followUps() const override;
};
