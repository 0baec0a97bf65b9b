#pragma once

#include <module.h>

#include <initializer_list>

class AbstractTask;
class Element;
struct ServiceRow;
class ViewEditElementWidget;

/**
 * A service module's dispatch: the Services root's light read becomes a light read of the
 * module's first element; an operation on an element becomes that element's task; a widget's
 * operation becomes the widget's task. The framework's base forwarding runs in every case,
 * then the task (if any) goes to the task observer.
 */
class ServiceModule : public Module
{
    Q_OBJECT
public:
    /// What the constructor sets besides the names and the level.
    enum Option
    {
        NoOptions = 0,
        /// The "administrator" data entry; a module below a group of services goes without
        /// and takes the group's (Module::isAdministratorHierarchy).
        SetsAdministrator = 0x1,
        /// Module::flag(), the plug-in specific flag (only the Exim module's is set).
        PluginFlag = 0x2
    };
    Q_DECLARE_FLAGS(Options, Option)

    /// Sets parent module name, level, "description" and what @p options say.
    ServiceModule(const QString &objectName, QObject *parent, const QString &parentModuleName,
                  int level, const QString &description, Options options = SetsAdministrator);
    /// The module of @p row: its names, place and options, the description translated.
    ServiceModule(const ServiceRow &row, QObject *parent);

    void performOperation(ContextOperation *context, OperationType type, ElementData *data,
                          int n) override;

    /// Appends @p element and inserts @p widget (either may be null).
    void addElementAndWidget(Element *element, ViewEditElementWidget *widget);

protected:
    /// The light read the Services root asks of @p first (the module's first element).
    virtual AbstractTask *createRootLightRead(Element *first);
    /// The task for @p type on @p element (any element context but the Services root);
    /// null when the module has none. @p data is the operation's record: the task takes it
    /// over when one is made, otherwise the module deletes it.
    virtual AbstractTask *createTask(Element *element, OperationType type, ElementData *data);
    /// The task for @p type asked by @p widget (creation forms); null by default.
    virtual AbstractTask *createWidgetTask(ViewEditElementWidget *widget, OperationType type,
                                           ElementData *data);
};

Q_DECLARE_OPERATORS_FOR_FLAGS(ServiceModule::Options)

/// An operation and the task class it becomes, for ServiceModule::taskFrom().
struct OperationTask
{
    OperationType type;
    AbstractTask *(*make)(Element *element);
};

/// A new @p Task on @p element: the maker of an OperationTask.
template <class Task> AbstractTask *newTask(Element *element)
{
    return new Task(element);
}

/// The task the first row of @p table for @p type makes on @p element; null without one.
AbstractTask *taskFrom(std::initializer_list<OperationTask> table, Element *element,
                       OperationType type);
