#pragma once

// What the Dovecot suites share: the plug-in as the console holds it (module, element and
// the widget showing it), its heavy read, and a readable form of the nodes a read builds.

#include "doveconfparser.h"
#include "servicemaildovecotelementwidget.h"
#include "servicemaildovecotplugin.h"
#include "servicemaildovecottasks.h"
#include "taskrunner.h"

#include <element.h>
#include <module.h>
#include <treenode.h>

#include <QStringList>

/// A configuration node as "name=value"; empty for any other node.
inline QString dovecotNodeText(const TreeNode *node)
{
    const auto *conf = qobject_cast<const ConfTreeNode *>(node);
    return conf ? conf->name() + QLatin1Char('=') + conf->value() : QString();
}

/** The Dovecot plug-in as the console holds it: element, and its widget showing it. */
struct Dovecot
{
    Dovecot()
    {
        module = plugin.modules().value(0);
        element = module->firstElement();
        widget = qobject_cast<ServiceMailDovecotElementWidget *>(
            module->elementWidget(QStringLiteral("ServiceMailDovecot")));
        widget->setElement(element, ElementWidgetRoleView);
    }

    TaskReport readHeavy()
    {
        TaskRunner runner;
        return runner.perform(new ServiceMailDovecotReadHeavyTask(element));
    }
    /// The tree's top-level rows as "name=value", in the order the parse gave them.
    QStringList rows() const
    {
        QStringList names;
        for (const TreeNode *node : widget->treeRoot()->childNodes())
            names << dovecotNodeText(node);
        return names;
    }

    ServiceMailDovecotPlugin plugin;
    Module *module = nullptr;
    Element *element = nullptr;
    ServiceMailDovecotElementWidget *widget = nullptr;
};
