#include "tasklogwidget.h"

#include <taskdescription.h>

#include <QFileInfo>
#include <QHeaderView>
#include <QIcon>

TaskLogWidget::TaskLogWidget(QWidget *parent) : QTreeWidget(parent)
{
    setObjectName(QStringLiteral("_taskLogView"));
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAlternatingRowColors(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setHeaderLabels({tr("Time"), tr("Element"), tr("Description"), tr("Status"), tr("Message")});
    header()->setSectionResizeMode(ColumnTime, QHeaderView::ResizeToContents);
    header()->setSectionResizeMode(ColumnStatus, QHeaderView::ResizeToContents);
    header()->resizeSection(ColumnElement, 160);
    header()->resizeSection(ColumnDescription, 280);
    header()->setStretchLastSection(true);
}

void TaskLogWidget::addReport(const TaskReport &report)
{
    addRow(report.endedMs, report.elementId, report.description, report.status, report.message);
}

void TaskLogWidget::addNotice(const QString &subject, const QString &description,
                              const QString &message, int status)
{
    // A file: its name in the column, the whole path in the tool tip.
    addRow(-1, QFileInfo(subject).fileName(), description, status, message);
    topLevelItem(topLevelItemCount() - 1)->setToolTip(ColumnElement, subject);
}

void TaskLogWidget::addRow(qint64 ms, const QString &element, const QString &description,
                           int status, const QString &message)
{
    auto *item = new QTreeWidgetItem;
    item->setText(ColumnTime, ms < 0 ? QString()
                                     : QStringLiteral("%1.%2 s").arg(ms / 1000).arg(
                                           ms % 1000, 3, 10, QLatin1Char('0')));
    item->setText(ColumnElement, element);
    item->setText(ColumnDescription, description);
    item->setText(ColumnStatus, TaskDescription::statusName(status));
    // Multi-line messages (exit code and standard error) stay whole in the tool tip.
    QString firstLine = message.section(QLatin1Char('\n'), 0, 0);
    if (firstLine != message)
        firstLine += QStringLiteral(" ...");
    item->setText(ColumnMessage, firstLine);
    item->setToolTip(ColumnMessage, message);
    item->setToolTip(ColumnDescription, description);
    if (status == TaskDescription::TaskStatusFailed) {
        ++m_failed;
        item->setIcon(ColumnStatus, QIcon::fromTheme(QStringLiteral("dialog-error")));
    } else if (status == TaskDescription::TaskStatusWarning) {
        item->setIcon(ColumnStatus, QIcon::fromTheme(QStringLiteral("dialog-warning")));
    }
    addTopLevelItem(item);
    scrollToItem(item);
}
