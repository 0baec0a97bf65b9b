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
    // Rows stay in the order tasks ended: the running row goes, the end row comes last.
    QTreeWidgetItem *running = m_running.take(report.id);
    const bool wasCurrent = running && currentItem() == running;
    delete running;
    QTreeWidgetItem *item =
        addRow(report.endedMs, report.elementId, report.description, report.status, report.message);
    if (wasCurrent)
        setCurrentItem(item);
}

void TaskLogWidget::setRunning(const TaskReport &report)
{
    QTreeWidgetItem *item = m_running.value(report.id);
    if (!item) {
        item = addRow(report.endedMs, report.elementId, report.description,
                      TaskDescription::TaskStatusUndefined, report.message);
        item->setText(ColumnStatus, tr("running"));
        item->setIcon(ColumnStatus, QIcon::fromTheme(QStringLiteral("media-playback-start")));
        m_running.insert(report.id, item);
    } else {
        setMessage(item, report.message);
    }
    // What "Stop waiting" acts on: the running task the administrator picked, else this one.
    const QList<QTreeWidgetItem *> running = m_running.values();
    if (!running.contains(currentItem()))
        setCurrentItem(item);
}

quint64 TaskLogWidget::runningTarget() const
{
    quint64 latest = 0;
    int latestRow = -1;
    for (auto it = m_running.cbegin(); it != m_running.cend(); ++it) {
        if (it.value() == currentItem())
            return it.key();
        const int row = indexOfTopLevelItem(it.value());
        if (row > latestRow) {
            latestRow = row;
            latest = it.key();
        }
    }
    return latest;
}

void TaskLogWidget::addNotice(const QString &subject, const QString &description,
                              const QString &message, int status)
{
    // A file: its name in the column, the whole path in the tool tip.
    addRow(-1, QFileInfo(subject).fileName(), description, status, message);
    topLevelItem(topLevelItemCount() - 1)->setToolTip(ColumnElement, subject);
}

void TaskLogWidget::setMessage(QTreeWidgetItem *item, const QString &message)
{
    // Multi-line messages (exit code and standard error) stay whole in the tool tip.
    QString firstLine = message.section(QLatin1Char('\n'), 0, 0);
    if (firstLine != message)
        firstLine += QStringLiteral(" ...");
    item->setText(ColumnMessage, firstLine);
    item->setToolTip(ColumnMessage, message);
}

QTreeWidgetItem *TaskLogWidget::addRow(qint64 ms, const QString &element,
                                       const QString &description, int status,
                                       const QString &message)
{
    auto *item = new QTreeWidgetItem;
    item->setText(ColumnTime, ms < 0 ? QString()
                                     : QStringLiteral("%1.%2 s").arg(ms / 1000).arg(
                                           ms % 1000, 3, 10, QLatin1Char('0')));
    item->setText(ColumnElement, element);
    item->setText(ColumnDescription, description);
    item->setText(ColumnStatus, TaskDescription::statusName(status));
    setMessage(item, message);
    item->setToolTip(ColumnDescription, description);
    if (status == TaskDescription::TaskStatusFailed) {
        ++m_failed;
        item->setIcon(ColumnStatus, QIcon::fromTheme(QStringLiteral("dialog-error")));
    } else if (status == TaskDescription::TaskStatusWarning) {
        item->setIcon(ColumnStatus, QIcon::fromTheme(QStringLiteral("dialog-warning")));
    } else if (status == TaskDescription::TaskStatusUnknown) {
        item->setIcon(ColumnStatus, QIcon::fromTheme(QStringLiteral("dialog-question")));
    }
    addTopLevelItem(item);
    scrollToItem(item);
    return item;
}
