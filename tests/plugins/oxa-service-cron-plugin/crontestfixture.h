#pragma once

// What the cron suites share: the plug-in as the console holds it (module with the
// administrator's right, element and the widget showing it), its heavy read, and what the
// widget's tree view shows.

#include <servicecronelementwidget.h>
#include <servicecronplugin.h>
#include <servicecrontasks.h>

#include <element.h>
#include <module.h>
#include <taskrunner.h>

#include <QAbstractItemModel>
#include <QStringList>
#include <QTreeView>

/** The Cron plug-in as the console holds it: element, and its widget showing it. */
struct Cron
{
    Cron()
    {
        module = plugin.modules().value(0);
        module->setData(QStringLiteral("administrator"), true);
        element = module->firstElement();
        widget = qobject_cast<ServiceCronElementWidget *>(
            module->elementWidget(QStringLiteral("ServiceCron")));
        widget->setElement(element, ElementWidgetRoleView);
    }

    TaskReport readHeavy()
    {
        TaskRunner runner;
        return runner.perform(new ServiceCronReadHeavyTask(element));
    }

    /// What the tree view shows: "text" per row, children indented by two blanks.
    QStringList shown() const
    {
        QStringList rows;
        collect(widget->configTreeView()->model(), QModelIndex(), QString(), &rows);
        return rows;
    }

    static void collect(const QAbstractItemModel *model, const QModelIndex &parent,
                        const QString &indent, QStringList *rows)
    {
        for (int row = 0; row < model->rowCount(parent); ++row) {
            const QModelIndex index = model->index(row, 0, parent);
            rows->append(indent + index.data().toString());
            collect(model, index, indent + QStringLiteral("  "), rows);
        }
    }

    /// The rows below the top-level row @p row of the tree view, as it shows them.
    QStringList children(int row) const
    {
        const QAbstractItemModel *model = widget->configTreeView()->model();
        QStringList rows;
        const QModelIndex parent = model->index(row, 0);
        for (int child = 0; child < model->rowCount(parent); ++child)
            rows << model->index(child, 0, parent).data().toString();
        return rows;
    }

    /// The row of the top-level node @p text.
    int topRow(const QString &text) const
    {
        const QAbstractItemModel *model = widget->configTreeView()->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            if (model->index(row, 0).data().toString() == text)
                return row;
        }
        return -1;
    }

    ServiceCronPlugin plugin;
    Module *module = nullptr;
    Element *element = nullptr;
    ServiceCronElementWidget *widget = nullptr;
};
