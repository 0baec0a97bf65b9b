#pragma once

#include <taskobserver.h>

#include <QHash>
#include <QTreeWidget>

/**
 * The window's task log: one row per ended task (time, element, description, status,
 * message), failures marked, plus the host's own notices (a plug-in that was skipped). A
 * running task that says how it goes (a change past the read limit) has a "running" row
 * until it ends, when its end row takes that row's place.
 */
class TaskLogWidget : public QTreeWidget
{
    Q_OBJECT
public:
    enum Column
    {
        ColumnTime,
        ColumnElement,
        ColumnDescription,
        ColumnStatus,
        ColumnMessage
    };

    explicit TaskLogWidget(QWidget *parent = nullptr);

    /// Adds the row of an ended task (in place of its running row, if it had one).
    void addReport(const TaskReport &report);
    /// Adds or updates the "running" row of a running task; it becomes the current row
    /// unless another running row is.
    void setRunning(const TaskReport &report);
    /// The running task the current row shows, else the one whose row came last; 0: none.
    quint64 runningTarget() const;
    int runningCount() const { return m_running.size(); }
    /// Adds a notice of the host's own about a file (a skipped plug-in library).
    void addNotice(const QString &subject, const QString &description, const QString &message,
                   int status);
    int failedCount() const { return m_failed; }

private:
    QTreeWidgetItem *addRow(qint64 ms, const QString &element, const QString &description,
                            int status, const QString &message);
    static void setMessage(QTreeWidgetItem *item, const QString &message);
    int m_failed = 0;
    QHash<quint64, QTreeWidgetItem *> m_running;
};
