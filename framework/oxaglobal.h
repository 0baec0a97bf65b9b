#pragma once

/** @file
 * Shared definitions of the console framework: export macro, operation flags, widget roles,
 * special tree-node flags and the access predicate every element and widget is built with.
 */

#include <QString>
#include <QtGlobal>

#if defined(OXA_COMMON_LIBRARY)
#define OXA_EXPORT Q_DECL_EXPORT
#else
#define OXA_EXPORT Q_DECL_IMPORT
#endif

/** One operation the host can perform on an element; a set of them is an OperationTypes. */
enum OperationType : quint64 {
    OperationNone = 0,
    OperationAttach = 0x1,
    OperationDetach = 0x2,
    OperationCreate = 0x4,
    OperationReadContent = 0x8,
    OperationReadLight = 0x10,
    OperationReadHeavy = 0x20,
    OperationUpdate = 0x40,
    OperationDelete = 0x80,
    OperationStart = 0x1000,
    OperationStop = 0x2000,
    OperationRestart = 0x4000,
    OperationReload = 0x8000,
    OperationControl = 0x10000,
    OperationEnableAtBoot = 0x20000,
    OperationDisableAtBoot = 0x40000,
    OperationClearCache = quint64(1) << 63,
};

/** A set of OperationType flags (64 bits wide: QFlags would cut bit 63). */
using OperationTypes = quint64;

/** The operations that only read. */
constexpr OperationTypes OperationReadMask =
    OperationReadContent | OperationReadLight | OperationReadHeavy;

/** Why an element widget is shown: to view an element or to create one in a container. */
enum ElementWidgetRole {
    ElementWidgetRoleNone = 0,
    ElementWidgetRoleView = 1,
    ElementWidgetRoleCreate = 2,
};

/** Bits of TreeNode::treeNodeSpecialFlags(), read by the host's tree. */
enum TreeNodeSpecialFlag {
    /// the node has no content to open: no expander while it has no children
    TreeNodeFlagLeaf = 0x1,
    /// the node is expanded when the tree is first shown
    TreeNodeFlagExpanded = 0x2,
};

class Module;

/** Access test handed to elements and widgets; `Module::isAdministratorHierarchy` in practice. */
using AccessPredicate = bool (*)(const Module *);

/** The host's and the batch language's name of an operation ("read-light", "clear-cache", ...). */
OXA_EXPORT QString operationName(OperationType type);
/** The operation named @p name, or OperationNone. */
OXA_EXPORT OperationType operationFromName(const QString &name);
/** Every operation flag, in ascending bit order. */
OXA_EXPORT QList<OperationType> allOperations();
