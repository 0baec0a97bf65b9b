#pragma once

#include <module.h>

class AbstractTask;
class Element;
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
    /// Sets parent module name, level, "description" and, when @p setsAdministrator,
    /// "administrator".
    ServiceModule(const QString &objectName, QObject *parent, const QString &parentModuleName,
                  int level, const QString &description, bool setsAdministrator = true,
                  bool flag = false);

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
