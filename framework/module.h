#pragma once

#include "oxaglobal.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSharedPointer>
#include <QVariantMap>

class ContextOperation;
class Element;
class ElementData;
class HostConnection;
class ViewEditElementWidget;

/**
 * A plug-in's unit of work: it owns elements and their widgets, hangs under a parent module
 * named by object name, and turns operations on its elements into tasks.
 */
class OXA_EXPORT Module : public QObject
{
    Q_OBJECT
public:
    Module(const QString &objectName, QObject *parent = nullptr, bool flag = false);
    ~Module() override;

    QString parentModuleName() const { return m_parentModuleName; }
    void setParentModuleName(const QString &name) { m_parentModuleName = name; }
    int level() const { return m_level; }
    void setLevel(int level) { m_level = level; }
    /// The plug-in specific flag given to the constructor.
    bool flag() const { return m_flag; }

    /// "description", "administrator", "paranoid", "version", ...
    QVariantMap &moduleData() { return m_data; }
    const QVariantMap &moduleData() const { return m_data; }
    QVariant getData(const QString &key) const { return m_data.value(key); }
    void setData(const QString &key, const QVariant &value) { m_data.insert(key, value); }
    /// The "paranoid" entry: tasks that change the tree read it again instead of patching it.
    bool isParanoid() const { return getData(QStringLiteral("paranoid")).toBool(); }

    /// The module's elements still alive, in creation order; the first is the service element.
    QList<Element *> elements() const;
    Element *firstElement() const;
    /// Takes ownership of @p element.
    void appendElement(Element *element);

    /// Takes ownership of @p widget.
    void insertElementWidget(ViewEditElementWidget *widget);
    /// Makes the widgets inserted so far known by element type; called once after inserting.
    void connectElementWidgets();
    QList<ViewEditElementWidget *> elementWidgets() const;
    /// The widget registered for @p elementType (or for every type), or null.
    ViewEditElementWidget *elementWidget(const QString &elementType) const;

    /**
     * The connection to the host the console administers, through which the module's tasks
     * reach it: the one the console gave this module, else its parent module's; where nobody
     * gave one (a module made outside a console) LocalHostConnection::outsideConsole(), since a
     * module outside a console works on the local host. Never null. Tasks take it at
     * construction, on the GUI thread (see AbstractTask::host()).
     */
    QSharedPointer<HostConnection> hostConnection() const;
    /// Set by the console when it loads the module's plug-in, before anything runs.
    void setHostConnection(const QSharedPointer<HostConnection> &connection);
    /// @p module's hostConnection(); for no module, the one of modules outside a console.
    static QSharedPointer<HostConnection> hostConnectionOf(const Module *module);

    Module *parentModule() const { return m_parentModule; }
    QList<Module *> childModules() const;
    /// Links @p child below this module (the console's registry does this).
    void addChildModule(Module *child);
    void removeChildModule(Module *child);

    /**
     * Performs @p type in @p context. The base forwards the same call to every child module,
     * in load order, and creates no task; overrides build their task, call the base with null
     * data, then hand the task to TaskObserver.
     */
    virtual void performOperation(ContextOperation *context, OperationType type, ElementData *data,
                                  int n);

    /// True when the console runs with administrator rights on its host (a privileged
    /// connection, else effective uid 0) and not as a viewer.
    static bool isAdministrator(const Module *module);
    /// The "administrator" entry of the nearest module, from @p module up, that has one.
    static bool isAdministratorHierarchy(const Module *module);
    /// Set by the host before loading plug-ins: no administrator rights whatever the uid.
    static void setViewerMode(bool viewer);
    static bool viewerMode();

signals:
    /// An element widget of this module marked its content changed.
    void elementWidgetChanged(ViewEditElementWidget *widget);

protected:
    /**
     * Called by setHostConnection() once the module knows its host: where a module must ask
     * the host something before the console builds its tree (which elements it has), it asks
     * here, never while it is made. Does nothing by default.
     */
    virtual void hostConnectionChanged();

private:
    QString m_parentModuleName;
    int m_level = 0;
    bool m_flag;
    QVariantMap m_data;
    QSharedPointer<HostConnection> m_hostConnection;
    QList<QPointer<Element>> m_elements;
    QList<QPointer<ViewEditElementWidget>> m_widgets;
    QPointer<Module> m_parentModule;
    QList<QPointer<Module>> m_children;
};

/**
 * A module through which one plug-in reaches into another's branch: when the console has
 * built its tree, OperationAttach on the element named by parentElementId() is handed to the
 * work module; before unloading, OperationDetach on what that attach added.
 */
class OXA_EXPORT SupplementModule : public Module
{
    Q_OBJECT
public:
    SupplementModule(const QString &objectName, int level, const QString &parentModuleName,
                     const QString &description, const QString &parentElementId, Module *workModule,
                     QObject *parent = nullptr);

    QString parentElementId() const { return m_parentElementId; }
    Module *workModule() const { return m_workModule; }

    /// Routes OperationAttach on @p parentElement to the work module; remembers the children
    /// it added. Does nothing without an element or work module.
    void attach(Element *parentElement);
    /// Routes OperationDetach on every element the attach added that is still alive.
    void detach();
    QList<Element *> attachedElements() const;

private:
    QString m_parentElementId;
    QPointer<Module> m_workModule;
    QList<QPointer<Element>> m_attached;
};
