#pragma once

#include "batchscript.h"

#include <taskobserver.h>

#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QPointer>

class ConsoleHost;
class Element;
class MainWindow;
class QuestionAnswerer;
class QWidget;

/**
 * Runs a batch script against the console: each step works through the registry or the
 * (hidden) window as the GUI would, then waits until every task it caused has ended. Records
 * every ended task, the widget dumps of `show` and each step's outcome for the report.
 */
class BatchRunner : public QObject
{
    Q_OBJECT
public:
    enum ExitCode
    {
        ExitSuccess = 0,
        ExitTaskFailed = 1,
        ExitBadScript = 2
    };

    /// Starts recording ended tasks at once: create it before the registry is built.
    BatchRunner(ConsoleHost *host, MainWindow *window, QObject *parent = nullptr);
    ~BatchRunner() override;

    /// Lets queued events run, then waits until no task is pending; false on time-out.
    bool waitForTasks();
    /// How long a step's reads may take, on top of the longest wait for a change.
    void setStepTimeout(int milliseconds) { m_stepTimeoutMs = milliseconds; }
    /// How long a step waits for its tasks: the step time-out plus the change limit.
    qint64 stepTimeoutMs() const;

    /// Parses and runs @p script; returns the exit code. A script that does not parse runs
    /// no step.
    int run(const QString &script);
    /// Reads the script from @p fileName ("-": standard input), then runs it.
    int runFile(const QString &fileName);
    /// Stops the run before the first step with @p message (exit code 2).
    void fail(const QString &message);

    /// The remote host the console serves (empty: this machine): the report names it.
    void setHost(const QString &host) { m_hostName = host; }
    /// Why the console only reads (the helper could not serve): the report's error says so.
    void setConnectionNotice(const QString &notice) { m_connectionNotice = notice; }

    int exitCode() const;
    QString errorString() const { return m_error; }
    QJsonObject report() const;
    QString textReport() const;

    /**
     * Fills the field @p name of the form below @p form: a line edit, combo box, check box,
     * spin box or text edit with that object name, or else a row of a choice list with that
     * name (value on or off). False with @p error when there is no such field or it refuses.
     */
    static bool fillField(QWidget *form, const QString &name, const QString &value, QString *error);

private:
    bool runStep(const BatchStep &step, QJsonObject *record, QString *error);
    bool stepPerform(const BatchStep &step, QString *error);
    bool stepCreate(const BatchStep &step, QString *error);
    bool stepSet(const BatchStep &step, QString *error);
    bool stepApply(const BatchStep &step, QString *error);
    bool stepShow(const BatchStep &step, QString *error);
    bool stepScreenshot(const BatchStep &step, QJsonObject *record, QString *error);
    Element *resolve(const QString &selector, QString *error) const;
    bool showInWindow(Element *element, QString *error);
    void onTaskFinished(const TaskReport &report);

    ConsoleHost *m_host;
    QPointer<MainWindow> m_window;
    QuestionAnswerer *m_answerer;
    QList<TaskReport> m_tasks;
    QJsonArray m_widgets;
    QJsonArray m_steps;
    QString m_error;
    QString m_connectionNotice;
    QString m_hostName;
    bool m_badScript = false;
    int m_stepTimeoutMs = 600000;
};
