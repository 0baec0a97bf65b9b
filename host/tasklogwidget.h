#pragma once

#include <taskobserver.h>

#include <QTreeWidget>

/**
 * The window's task log: one row per ended task (time, element, description, status,
 * message), failures marked, plus the host's own notices (a plug-in that was skipped).
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

    /// Adds the row of an ended task.
    void addReport(const TaskReport &report);
    /// Adds a notice of the host's own about a file (a skipped plug-in library).
    void addNotice(const QString &subject, const QString &description, const QString &message,
                   int status);
    int failedCount() const { return m_failed; }

private:
    void addRow(qint64 ms, const QString &element, const QString &description, int status,
                const QString &message);
    int m_failed = 0;
};
