#pragma once

// What the Exim suites share: the plug-in as the console holds it (module, element and the
// widget showing it), its heavy read, and a readable form of the nodes a read builds.

#include "servicemaileximelementwidget.h"
#include "servicemaileximplugin.h"
#include "servicemaileximtasks.h"
#include "taskrunner.h"

#include <element.h>
#include <module.h>
#include <treenode.h>

#include <QStringList>

/// @p nodes as "name=value" (an empty text for a node that holds no setting), in order.
inline QStringList eximNodeTexts(const QList<TreeNode *> &nodes)
{
    QStringList result;
    for (const TreeNode *node : nodes) {
        const auto *conf = qobject_cast<const ConfTreeNode *>(node);
        result << (conf ? conf->name() + QLatin1Char('=') + conf->value() : QString());
    }
    return result;
}

/** The Exim plug-in as the console holds it: element, and its widget showing it. */
struct Exim
{
    Exim()
    {
        module = plugin.modules().value(0);
        element = module->firstElement();
        widget = qobject_cast<ServiceMailEximElementWidget *>(
            module->elementWidget(QStringLiteral("ServiceMailExim")));
        widget->setElement(element, ElementWidgetRoleView);
    }

    TaskReport readHeavy()
    {
        TaskRunner runner;
        return runner.perform(new ServiceMailEximReadHeavyTask(element));
    }
    /// The tree's rows as "name=value" in the order they were loaded.
    QStringList rows() const { return eximNodeTexts(widget->treeRoot()->childNodes()); }

    ServiceMailEximPlugin plugin;
    Module *module = nullptr;
    Element *element = nullptr;
    ServiceMailEximElementWidget *widget = nullptr;
};
