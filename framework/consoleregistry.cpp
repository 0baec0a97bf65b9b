#include "consoleregistry.h"

#include "element.h"
#include "livepointers_p.h"
#include "module.h"
#include "plugin.h"

#include <QHash>
#include <QPointer>
#include <QSet>
#include <QTimer>

namespace {
const char attachedProperty[] = "_oxa_supplements_attached";

QString selectorName(const Element *element)
{
    return element->id().isEmpty() ? element->title() : element->id();
}
} // namespace

/**
 * The registry's plug-ins and trees. It also watches the element tree for elements that
 * appear after the build (database clusters, say) so that supplements reach them too.
 * Attaching changes the tree, which must not happen while the models are still being told of
 * the change that brought the element: it is deferred.
 */
class ConsoleRegistryPrivate : public TreeNodeObserver
{
public:
    explicit ConsoleRegistryPrivate(ConsoleRegistry *registry)
        : q(registry), root(new TreeNode(0, QString(), registry))
    {
    }

    /// Attaches every matching supplement to @p node's elements (itself and below), once per
    /// element. A supplement matches an element by id or, for elements made at run time
    /// without an id (database clusters), by element type.
    void attachSupplementsBelow(TreeNode *node);

    void nodesAboutToBeInserted(TreeNode *, int, int) override {}
    void nodesInserted(TreeNode *parent, int first, int last) override
    {
        QList<QPointer<Element>> added;
        for (int row = first; row <= last; ++row) {
            if (Element *element = qobject_cast<Element *>(parent->child(row)))
                added.append(element);
        }
        if (added.isEmpty())
            return;
        // The registry owns this object: while it lives, so does this.
        QPointer<ConsoleRegistry> registry(q);
        QTimer::singleShot(0, q, [registry, self = this, added] {
            if (!registry)
                return;
            for (const QPointer<Element> &element : added) {
                if (element)
                    self->attachSupplementsBelow(element);
            }
        });
    }
    void nodesAboutToBeRemoved(TreeNode *, int, int) override {}
    void nodesRemoved(TreeNode *, int, int) override {}
    void nodeDataChanged(TreeNode *) override {}
    void observedNodeDestroyed(TreeNode *) override {}

    struct PluginEntry
    {
        QPointer<Plugin> plugin;
        bool valid;
    };

    ConsoleRegistry *const q;
    QList<PluginEntry> plugins;
    TreeNode *const root;
    QList<QPointer<Module>> modules;
    QList<QPointer<Element>> hidden;
    QList<QPointer<SupplementModule>> supplements;
    bool paranoid = false;
    bool built = false;
};

ConsoleRegistry::ConsoleRegistry(QObject *parent)
    : QObject(parent), d(std::make_unique<ConsoleRegistryPrivate>(this))
{
}

ConsoleRegistry::~ConsoleRegistry()
{
    d->root->removeObserver(d.get());
    detachSupplements();
    // The elements belong to their modules: hand them back before the root goes.
    while (d->root->childCount() > 0)
        d->root->take(d->root->child(d->root->childCount() - 1));
}

TreeNode *ConsoleRegistry::elementRoot() const
{
    return d->root;
}

void ConsoleRegistry::setParanoid(bool paranoid)
{
    d->paranoid = paranoid;
}

bool ConsoleRegistry::isParanoid() const
{
    return d->paranoid;
}

void ConsoleRegistry::addPlugin(Plugin *plugin, bool valid)
{
    if (plugin)
        d->plugins.append({plugin, valid});
}

QList<Plugin *> ConsoleRegistry::plugins() const
{
    QList<Plugin *> alive;
    for (const ConsoleRegistryPrivate::PluginEntry &entry : d->plugins) {
        if (entry.plugin)
            alive.append(entry.plugin);
    }
    return alive;
}

bool ConsoleRegistry::isValid(const Plugin *plugin) const
{
    for (const ConsoleRegistryPrivate::PluginEntry &entry : d->plugins) {
        if (entry.plugin == plugin)
            return entry.valid;
    }
    return false;
}

void ConsoleRegistry::build()
{
    if (d->built)
        return;
    d->built = true;

    QHash<QString, Module *> byName;
    for (const ConsoleRegistryPrivate::PluginEntry &entry : std::as_const(d->plugins)) {
        if (!entry.plugin || !entry.valid)
            continue;
        for (Module *module : entry.plugin->modules()) {
            d->modules.append(module);
            if (!byName.contains(module->objectName()))
                byName.insert(module->objectName(), module);
            if (auto *supplement = qobject_cast<SupplementModule *>(module))
                d->supplements.append(supplement);
        }
    }
    const QString administrator = QStringLiteral("administrator");
    for (const QPointer<Module> &module : std::as_const(d->modules)) {
        if (d->paranoid)
            module->setData(QStringLiteral("paranoid"), true);
        // A viewer never gets administrator rights, even from a module made before the host
        // switched viewer mode on.
        if (Module::viewerMode() && module->moduleData().contains(administrator))
            module->setData(administrator, false);
        Module *parent = byName.value(module->parentModuleName());
        if (parent && parent != module)
            parent->addChildModule(module);
    }

    // Elements whose parent id names no shown element are not shown (a client host's daemon).
    QList<Element *> all;
    for (const QPointer<Module> &module : std::as_const(d->modules)) {
        for (Element *element : module->elements())
            all.append(element);
    }
    QSet<QString> shownIds;
    QList<Element *> shown;
    QList<Element *> pending = all;
    bool progress = true;
    while (progress) {
        progress = false;
        QList<Element *> still;
        for (Element *element : std::as_const(pending)) {
            if (element->parentId().isEmpty() || shownIds.contains(element->parentId())) {
                shown.append(element);
                if (!element->id().isEmpty())
                    shownIds.insert(element->id());
                progress = true;
            } else {
                still.append(element);
            }
        }
        pending = still;
    }
    for (Element *element : std::as_const(pending))
        d->hidden.append(element);
    // Keep load order among siblings.
    QList<TreeNode *> ordered;
    for (Element *element : std::as_const(all)) {
        if (!pending.contains(element))
            ordered.append(element);
    }
    d->root->loadTreeFromList(ordered);
    d->root->addObserver(d.get());

    d->attachSupplementsBelow(d->root);
}

void ConsoleRegistryPrivate::attachSupplementsBelow(TreeNode *node)
{
    if (!node)
        return;
    Element *element = qobject_cast<Element *>(node);
    // Once per element: the mark goes with the element, so a new element that happens to
    // get a deleted one's address is still attached.
    if (element && !element->property(attachedProperty).toBool()) {
        for (const QPointer<SupplementModule> &supplement : std::as_const(supplements)) {
            if (!supplement)
                continue;
            const QString wanted = supplement->parentElementId();
            if (wanted.isEmpty() || (element->id() != wanted && element->elementType() != wanted))
                continue;
            supplement->attach(element);
        }
        element->setProperty(attachedProperty, true);
    }
    const QList<TreeNode *> children = node->childNodes();
    for (TreeNode *child : children)
        attachSupplementsBelow(child);
}

void ConsoleRegistry::detachSupplements()
{
    for (const QPointer<SupplementModule> &supplement : std::as_const(d->supplements)) {
        if (supplement)
            supplement->detach();
    }
}

QList<Module *> ConsoleRegistry::modules() const
{
    return livePointers(d->modules);
}

QList<Module *> ConsoleRegistry::rootModules() const
{
    QList<Module *> roots;
    for (Module *module : modules()) {
        if (!module->parentModule())
            roots.append(module);
    }
    return roots;
}

Module *ConsoleRegistry::module(const QString &objectName) const
{
    for (Module *module : modules()) {
        if (module->objectName() == objectName)
            return module;
    }
    return nullptr;
}

QList<Element *> ConsoleRegistry::hiddenElements() const
{
    return livePointers(d->hidden);
}

namespace {
void collect(TreeNode *node, QList<Element *> &out)
{
    for (TreeNode *child : node->childNodes()) {
        if (Element *element = qobject_cast<Element *>(child))
            out.append(element);
        collect(child, out);
    }
}

Element *findBelow(TreeNode *node, const QString &name)
{
    for (TreeNode *child : node->childNodes()) {
        Element *element = qobject_cast<Element *>(child);
        if (element && selectorName(element) == name)
            return element;
        if (Element *found = findBelow(child, name))
            return found;
    }
    return nullptr;
}

/// A child of @p node named @p name before any deeper element of that name: in "A/B", B is
/// one of A's children when A has one (the Kerberos KDC's Log, not its Kadmin child's Log).
Element *findChildOrBelow(TreeNode *node, const QString &name)
{
    for (TreeNode *child : node->childNodes()) {
        Element *element = qobject_cast<Element *>(child);
        if (element && selectorName(element) == name)
            return element;
    }
    return findBelow(node, name);
}
} // namespace

QList<Element *> ConsoleRegistry::elements() const
{
    QList<Element *> out;
    collect(d->root, out);
    return out;
}

Element *ConsoleRegistry::findElement(const QString &idOrTitle, TreeNode *below) const
{
    return findBelow(below ? below : d->root, idOrTitle);
}

Element *ConsoleRegistry::resolve(const QString &selector) const
{
    const QStringList parts = selector.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return nullptr;
    TreeNode *node = d->root;
    Element *element = nullptr;
    for (const QString &part : parts) {
        element = node == d->root ? findBelow(node, part) : findChildOrBelow(node, part);
        if (!element)
            return nullptr;
        node = element;
    }
    return element;
}

bool ConsoleRegistry::performOperation(Element *element, OperationType type)
{
    if (!element || !element->isOperationAvailable(type))
        return false;
    element->performOperation(type, nullptr, 0);
    return true;
}
