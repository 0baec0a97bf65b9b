#include "module.h"

#include "contextoperation.h"
#include "element.h"
#include "livepointers_p.h"
#include "localhostconnection.h"
#include "vieweditelementwidget.h"

#include <atomic>

namespace {
std::atomic<bool> g_viewerMode{false};
}

Module::Module(const QString &objectName, QObject *parent, bool flag)
    : QObject(parent), m_flag(flag)
{
    setObjectName(objectName);
    m_data.insert(QStringLiteral("paranoid"), false);
    // elementWidgetChanged may be queued or spied on.
    qRegisterMetaType<ViewEditElementWidget *>();
}

Module::~Module()
{
    for (const QPointer<Module> &child : std::as_const(m_children)) {
        if (child && child->m_parentModule == this)
            child->m_parentModule = nullptr;
    }
    if (m_parentModule)
        m_parentModule->removeChildModule(this);
    // Elements first: a widget may still point at one, and an element's children may be
    // other modules' elements, which then leave it on their own deletion.
    const QList<QPointer<Element>> elements = m_elements;
    m_elements.clear();
    for (const QPointer<Element> &element : elements)
        delete element.data();
    const QList<QPointer<ViewEditElementWidget>> widgets = m_widgets;
    m_widgets.clear();
    for (const QPointer<ViewEditElementWidget> &widget : widgets)
        delete widget.data();
}

QList<Element *> Module::elements() const
{
    return livePointers(m_elements);
}

Element *Module::firstElement() const
{
    for (const QPointer<Element> &element : m_elements) {
        if (element)
            return element;
    }
    return nullptr;
}

void Module::appendElement(Element *element)
{
    // Elements made at run time come and go (a packages list under every database cluster,
    // read again and again): forget the dead ones so the list does not grow without end.
    for (int i = m_elements.size() - 1; i >= 0; --i) {
        if (m_elements.at(i).isNull())
            m_elements.removeAt(i);
    }
    if (element && !m_elements.contains(element)) {
        if (!element->module())
            element->setModule(this);
        m_elements.append(element);
    }
}

void Module::insertElementWidget(ViewEditElementWidget *widget)
{
    if (widget && !m_widgets.contains(widget)) {
        if (!widget->module())
            widget->setModule(this);
        m_widgets.append(widget);
    }
}

void Module::connectElementWidgets()
{
    // Qt::UniqueConnection does not work for lambdas: the widget remembers its module
    // instead, so that calling this again after inserting more widgets adds no second relay.
    static const char connectedProperty[] = "_oxa_connected_module";
    for (const QPointer<ViewEditElementWidget> &widget : std::as_const(m_widgets)) {
        if (!widget || widget->property(connectedProperty).value<QObject *>() == this)
            continue;
        ViewEditElementWidget *w = widget;
        w->setProperty(connectedProperty, QVariant::fromValue<QObject *>(this));
        connect(w, &ViewEditElementWidget::contentChanged, this,
                [this, w] { emit elementWidgetChanged(w); });
    }
}

QList<ViewEditElementWidget *> Module::elementWidgets() const
{
    return livePointers(m_widgets);
}

ViewEditElementWidget *Module::elementWidget(const QString &elementType) const
{
    ViewEditElementWidget *any = nullptr;
    for (const QPointer<ViewEditElementWidget> &widget : m_widgets) {
        if (!widget)
            continue;
        if (widget->elementType() == elementType)
            return widget;
        if (!any && widget->elementType() == ContextOperation::allElementType)
            any = widget;
    }
    return any;
}

QList<Module *> Module::childModules() const
{
    return livePointers(m_children);
}

void Module::addChildModule(Module *child)
{
    if (!child || child == this || m_children.contains(child))
        return;
    if (child->m_parentModule)
        child->m_parentModule->removeChildModule(child);
    child->m_parentModule = this;
    m_children.append(child);
}

void Module::removeChildModule(Module *child)
{
    for (int i = m_children.size() - 1; i >= 0; --i) {
        if (m_children.at(i) == child || !m_children.at(i))
            m_children.removeAt(i);
    }
    if (child && child->m_parentModule == this)
        child->m_parentModule = nullptr;
}

void Module::performOperation(ContextOperation *context, OperationType type, ElementData *data,
                              int n)
{
    // Children may go away while an operation runs (a detach deletes elements, not modules,
    // but stay safe): walk a copy of guarded pointers.
    const QList<QPointer<Module>> children = m_children;
    for (const QPointer<Module> &child : children) {
        if (child)
            child->performOperation(context, type, data, n);
    }
}

QSharedPointer<HostConnection> Module::hostConnection() const
{
    for (const Module *module = this; module; module = module->m_parentModule) {
        if (module->m_hostConnection)
            return module->m_hostConnection;
    }
    return LocalHostConnection::outsideConsole();
}

void Module::setHostConnection(const QSharedPointer<HostConnection> &connection)
{
    m_hostConnection = connection;
    // The rights are the connection's: a module that stated them while it was made, before it
    // had one, states them again (a console of a user through the helper has them).
    static const QString key = QStringLiteral("administrator");
    if (m_data.contains(key))
        m_data.insert(key, isAdministrator(this));
    hostConnectionChanged();
}

void Module::hostConnectionChanged()
{
}

QSharedPointer<HostConnection> Module::hostConnectionOf(const Module *module)
{
    return module ? module->hostConnection() : LocalHostConnection::outsideConsole();
}

bool Module::isAdministrator(const Module *module)
{
    if (g_viewerMode.load())
        return false;
    return hostConnectionOf(module)->isPrivileged();
}

bool Module::isAdministratorHierarchy(const Module *module)
{
    static const QString key = QStringLiteral("administrator");
    for (const Module *m = module; m; m = m->m_parentModule) {
        if (m->m_data.contains(key))
            return m->m_data.value(key).toBool();
    }
    return false;
}

void Module::setViewerMode(bool viewer)
{
    g_viewerMode.store(viewer);
}

bool Module::viewerMode()
{
    return g_viewerMode.load();
}

SupplementModule::SupplementModule(const QString &objectName, int level,
                                   const QString &parentModuleName, const QString &description,
                                   const QString &parentElementId, Module *workModule,
                                   QObject *parent)
    : Module(objectName, parent), m_parentElementId(parentElementId), m_workModule(workModule)
{
    setLevel(level);
    setParentModuleName(parentModuleName);
    setData(QStringLiteral("description"), description);
}

void SupplementModule::attach(Element *parentElement)
{
    if (!parentElement || !m_workModule)
        return;
    const QList<TreeNode *> before = parentElement->childNodes();
    m_workModule->performOperation(parentElement, OperationAttach, nullptr, 0);
    for (TreeNode *node : parentElement->childNodes()) {
        if (before.contains(node))
            continue;
        if (Element *added = qobject_cast<Element *>(node))
            m_attached.append(added);
    }
}

void SupplementModule::detach()
{
    const QList<QPointer<Element>> attached = m_attached;
    m_attached.clear();
    for (const QPointer<Element> &element : attached) {
        if (element && m_workModule)
            m_workModule->performOperation(element.data(), OperationDetach, nullptr, 0);
    }
}

QList<Element *> SupplementModule::attachedElements() const
{
    return livePointers(m_attached);
}
