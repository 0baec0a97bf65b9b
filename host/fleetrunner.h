#pragma once

#include "hostoptions.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

class QEventLoop;
class QTimer;

/**
 * A batch run on several hosts: one child console per host (the same program in batch mode
 * with --host), at most --max-hosts at once, the script read once and handed to each on its
 * standard input, their JSON reports merged in the order the hosts were given.
 */
class FleetRunner : public QObject
{
    Q_OBJECT
public:
    /// The most a child's report may take; more is an error for that host.
    static const qint64 DefaultOutputLimit = qint64(64) << 20;

    /**
     * Runs @p options' hosts with @p program as the child console; empty: this program.
     * Another program serves tests only.
     */
    explicit FleetRunner(const HostOptions &options, const QString &program = QString(),
                         QObject *parent = nullptr);
    /// Kills what still runs (the whole process group of each child) and waits for it.
    ~FleetRunner() override;

    void setOutputLimit(qint64 bytes) { m_outputLimit = bytes; }

    /// The arguments of the child console serving @p target.
    QStringList childArguments(const SshTarget &target) const;

    /**
     * Reads and checks the script, runs every host's console and waits for all of them;
     * SIGINT and SIGTERM meanwhile interrupt the run. Returns the exit code: the worst of
     * all hosts, 2 for a script that cannot be read or does not parse (no host is asked).
     */
    int run();
    /// Passes SIGTERM to the running children (SIGKILL when asked twice or when they do not
    /// end within a grace period); hosts not finished report "interrupted".
    void interrupt();

    int exitCode() const;
    /// Why the run did not start; empty when it did.
    QString errorString() const { return m_error; }
    /// {"hosts": [...], "exitCode": N}, each host's entry its own report with host,
    /// connected and error.
    QJsonObject report() const;
    QString textReport() const { return toText(report()); }
    /// The merged report in readable text: a block per host, then a summary.
    static QString toText(const QJsonObject &report);

private:
    class Child;
    struct HostRun
    {
        SshTarget target;
        Child *process = nullptr;
        QByteArray out;
        QByteArray errTail;
        bool started = false;
        bool finished = false;
        bool overflow = false;
        bool interrupted = false;
        bool crashed = false;
        int processExit = 0;
        QString startError;
        /// The host's entry of the merged report, once finished.
        QJsonObject report;
    };

    bool readScript();
    void startNext();
    void onReadOutput(int index);
    void onReadError(int index);
    void onFinished(int index);
    void signalChildren(int signal);
    QJsonObject hostReport(const HostRun &host) const;
    bool allFinished() const;
    void quitWhenDone();

    HostOptions m_options;
    QString m_program;
    qint64 m_outputLimit = DefaultOutputLimit;
    QByteArray m_script;
    QList<HostRun> m_hosts;
    int m_next = 0;
    int m_running = 0;
    int m_interrupts = 0;
    QString m_error;
    QTimer *m_graceTimer;
    QEventLoop *m_loop = nullptr;
};
