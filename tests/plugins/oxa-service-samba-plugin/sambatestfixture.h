#pragma once

// What the Samba suites share: the plug-in as the console holds it (module, element and the
// widget showing it), its heavy read, and what the widget shows.

#include "servicesambaelementwidget.h"
#include "servicesambaplugin.h"
#include "servicesambatasks.h"
#include "taskrunner.h"

#include <element.h>
#include <module.h>

#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>

/** The Samba plug-in as the console holds it: element, and its widget showing it. */
struct Samba
{
    Samba()
    {
        module = plugin.modules().value(0);
        element = module->firstElement();
        widget = qobject_cast<ServiceSambaElementWidget *>(
            module->elementWidget(QStringLiteral("ServiceSamba")));
        widget->setElement(element, ElementWidgetRoleView);
    }

    QString stateLabel() const { return widget->stateLabel()->text(); }
    QString text() const { return widget->configPlainEdit()->toPlainText(); }
    QString title() const { return widget->configGroupBox()->title(); }

    TaskReport readHeavy()
    {
        TaskRunner runner;
        return runner.perform(new ServiceSambaReadHeavyTask(element));
    }

    ServiceSambaPlugin plugin;
    Module *module = nullptr;
    Element *element = nullptr;
    ServiceSambaElementWidget *widget = nullptr;
};
