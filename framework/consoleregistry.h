#pragma once

#include "oxaglobal.h"

#include <QList>
#include <QObject>

#include <memory>

class ConsoleRegistryPrivate;
class Element;
class Module;
class Plugin;
class TreeNode;

/**
 * The console's view of its plug-ins: builds the module tree (by parent module name) and the
 * element tree (by parent id) from the valid plug-ins, attaches supplement modules, and
 * performs operations on elements. Knows nothing of the GUI.
 */
class OXA_EXPORT ConsoleRegistry : public QObject
{
    Q_OBJECT
public:
    explicit ConsoleRegistry(QObject *parent = nullptr);
    /// Detaches the supplements and releases the element tree (elements stay their modules').
    ~ConsoleRegistry() override;

    /// Adds @p plugin in load order; only valid plug-ins join the trees.
    void addPlugin(Plugin *plugin, bool valid);
    QList<Plugin *> plugins() const;
    bool isValid(const Plugin *plugin) const;

    /**
     * Builds both trees from the plug-ins added so far, sets "paranoid" when asked (and, in
     * viewer mode, every "administrator" entry to false), then performs the attach of every
     * supplement module whose parent element exists.
     */
    void build();
    /// Performs OperationDetach for every supplement; called before the plug-ins unload.
    void detachSupplements();

    /// Invisible root of the element tree; elements without a parent id are its children.
    TreeNode *elementRoot() const;
    /// Modules of valid plug-ins, in load order.
    QList<Module *> modules() const;
    /// Modules without a parent module (or whose parent module is absent).
    QList<Module *> rootModules() const;
    Module *module(const QString &objectName) const;
    /// Elements of valid plug-ins whose parent id names no element: not shown.
    QList<Element *> hiddenElements() const;

    /// Every element in the tree, depth first.
    QList<Element *> elements() const;
    /// The element with @p id (or, for an element without an id, that title), depth first.
    Element *findElement(const QString &idOrTitle, TreeNode *below = nullptr) const;
    /// Resolves a selector "A/B/C": each part names an element among the previous one's
    /// descendants (the first part anywhere in the tree).
    Element *resolve(const QString &selector) const;

    /// Performs @p type on @p element when the element offers it; false otherwise.
    bool performOperation(Element *element, OperationType type);

    void setParanoid(bool paranoid);
    bool isParanoid() const;

private:
    /// The plug-ins, the trees and what watches the element tree for supplements to attach.
    const std::unique_ptr<ConsoleRegistryPrivate> d;
};
