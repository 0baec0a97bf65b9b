#pragma once

#include "taskdescription.h"

#include <QPointer>

class Element;
class ElementData;
class Module;

/**
 * A unit of slow work. TaskObserver runs run() on a worker thread (child processes, files;
 * it touches only the task), then afterRun() on the GUI thread (copies the result into the
 * element and its widgets), then deletes the task.
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
    int status() const { return m_description.status(); }

    /// Every override ends by calling this: a task that set no status is done.
    virtual void run();
    /// Runs on the GUI thread after run(); nothing by default.
    virtual void afterRun();

    /// The element the task works on, or null; tasks on one element run one after another.
    virtual Element *taskElement() const;
    /// Ready tasks with a higher priority start first (state reads before everything else);
    /// below zero is background work, started only while no other task runs.
    virtual int priority() const;
    /// False when the task's element was deleted meanwhile; afterRun() is then skipped.
    virtual bool isTargetAlive() const;

private:
    TaskDescription m_description;
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

private:
    QPointer<Element> m_element;
    QPointer<Module> m_module;
    bool m_hadElement;
    bool m_paranoid = false;
    bool m_background = false;
    ElementData *m_data;
};

/**
 * Reads an element's full record; after a good run, afterRun() hands it to every widget of the
 * element's module.
 */
class OXA_EXPORT ReadPropertyHeavyTask : public ElementTask
{
public:
    explicit ReadPropertyHeavyTask(Element *element, ElementData *data = nullptr);
    /// Calls afterSuccessfulRead(element, data) on every element widget of the module.
    void afterRun() override;
};

/** Reads a container's children; after a good run, reads each child (OperationReadHeavy). */
class OXA_EXPORT ReadContentTask : public ElementTask
{
public:
    explicit ReadContentTask(Element *element, ElementData *data = nullptr);
    void afterRun() override;
};

/** Creates a child of a container; with "paranoid", reads the container's content again. */
class OXA_EXPORT CreateTask : public ElementTask
{
public:
    CreateTask(Element *element, ElementData *data);
    void afterRun() override;
};

/**
 * Deletes what an element stands for; after a good run, removes and deletes the element (with
 * "paranoid", reads the parent's content again instead, when the parent offers that).
 */
class OXA_EXPORT DeleteTask : public ElementTask
{
public:
    DeleteTask(Element *element, ElementData *data);
    void afterRun() override;
};

/** Changes an element; after a good run, reads it again (OperationReadHeavy). */
class OXA_EXPORT UpdateTask : public ElementTask
{
public:
    UpdateTask(Element *element, ElementData *data);
    void afterRun() override;
};
