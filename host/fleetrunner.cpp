#include "fleetrunner.h"

#include "batchreport.h"
#include "batchscript.h"
#include "reporttext.h"

#include <taskdescription.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>

#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("FleetRunner", text);
}

/// How long children get after SIGTERM to write what they have before SIGKILL.
const int GraceMs = 10000;
/// The stderr kept per child, and the lines of it an error quotes.
const int ErrorTailBytes = 8192;
const int ErrorTailLines = 5;

/// SIGINT and SIGTERM while a run lasts: the handler only writes the signal's number to a
/// pipe, which the event loop reads.
class SignalCatcher
{
public:
    explicit SignalCatcher(FleetRunner *runner)
    {
        if (::pipe2(s_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
            s_pipe[0] = s_pipe[1] = -1;
            return;
        }
        m_notifier = new QSocketNotifier(s_pipe[0], QSocketNotifier::Read);
        QObject::connect(m_notifier, &QSocketNotifier::activated, runner, [runner] {
            char numbers[16];
            ssize_t count;
            while ((count = ::read(s_pipe[0], numbers, sizeof numbers)) > 0) {
                for (ssize_t i = 0; i < count; ++i)
                    runner->interrupt();
            }
        });
        struct sigaction action = {};
        action.sa_handler = &SignalCatcher::handle;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &action, &m_oldInt);
        ::sigaction(SIGTERM, &action, &m_oldTerm);
    }
    ~SignalCatcher()
    {
        if (s_pipe[0] < 0)
            return;
        ::sigaction(SIGINT, &m_oldInt, nullptr);
        ::sigaction(SIGTERM, &m_oldTerm, nullptr);
        delete m_notifier;
        ::close(s_pipe[0]);
        ::close(s_pipe[1]);
        s_pipe[0] = s_pipe[1] = -1;
    }

private:
    static void handle(int signal)
    {
        const int saved = errno;
        const char byte = char(signal);
        [[maybe_unused]] const ssize_t written = ::write(s_pipe[1], &byte, 1);
        errno = saved;
    }

    static int s_pipe[2];
    QSocketNotifier *m_notifier = nullptr;
    struct sigaction m_oldInt = {};
    struct sigaction m_oldTerm = {};
};

int SignalCatcher::s_pipe[2] = {-1, -1};

QString signalText(int signal)
{
    const char *name = ::strsignal(signal);
    return name ? QStringLiteral("%1 (%2)").arg(signal).arg(QString::fromLocal8Bit(name))
                : QString::number(signal);
}

/// The last lines of what a child wrote to standard error.
QString lastLines(const QByteArray &tail)
{
    QStringList lines;
    for (const QByteArray &line : tail.split('\n')) {
        const QString text = QString::fromLocal8Bit(line).trimmed();
        if (!text.isEmpty())
            lines.append(text);
    }
    return lines.mid(std::max(0, int(lines.size()) - ErrorTailLines)).join(QLatin1Char('\n'));
}

int worse(int a, int b)
{
    return std::max(a, b);
}
} // namespace

/// A child console: its own process group, so that a terminal's Ctrl+C reaches the parent
/// alone and the parent's SIGTERM reaches whatever the child started; it ends with the parent.
class FleetRunner::Child : public QProcess
{
public:
    explicit Child(QObject *parent) : QProcess(parent), m_parentPid(::getpid()) {}

    /// @p signal to the child's whole group (and the child, should it have left the group).
    void signalGroup(int signal)
    {
        const qint64 pid = processId();
        if (state() == NotRunning || pid <= 0)
            return;
        ::kill(-pid_t(pid), signal);
        ::kill(pid_t(pid), signal);
    }

protected:
    void setupChildProcess() override
    {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        // The parent may have ended before the line above.
        if (::getppid() != m_parentPid)
            ::_exit(127);
    }

private:
    pid_t m_parentPid;
};

FleetRunner::FleetRunner(const HostOptions &options, const QString &program, QObject *parent)
    : QObject(parent), m_options(options),
      m_program(program.isEmpty() ? QCoreApplication::applicationFilePath() : program),
      m_graceTimer(new QTimer(this))
{
    for (const SshTarget &target : options.hosts) {
        HostRun host;
        host.target = target;
        m_hosts.append(host);
    }
    m_graceTimer->setSingleShot(true);
    connect(m_graceTimer, &QTimer::timeout, this, [this] { signalChildren(SIGKILL); });
}

FleetRunner::~FleetRunner()
{
    for (HostRun &host : m_hosts) {
        if (host.process && host.process->state() != QProcess::NotRunning) {
            host.process->signalGroup(SIGKILL);
            host.process->waitForFinished(-1);
        }
    }
}

QStringList FleetRunner::childArguments(const SshTarget &target) const
{
    // Every value as --name=value: none can be taken for an option of its own.
    QStringList arguments{QStringLiteral("--batch=-"), QStringLiteral("--json"),
                          QStringLiteral("--host=") + target.given};
    if (!m_options.sshConfig.isEmpty())
        arguments << QStringLiteral("--ssh-config=") + m_options.sshConfig;
    for (const QString &dir : m_options.pluginDirectories)
        arguments << QStringLiteral("--plugin-dir=") + dir;
    if (!m_options.dataDirectory.isEmpty())
        arguments << QStringLiteral("--data-dir=") + m_options.dataDirectory;
    if (m_options.viewer)
        arguments << QStringLiteral("--viewer");
    if (m_options.paranoid)
        arguments << QStringLiteral("--paranoid");
    arguments << QStringLiteral("--change-timeout=") + QString::number(m_options.changeTimeout);
    if (!m_options.title.isEmpty())
        arguments << QStringLiteral("--title=") + m_options.title;
    return arguments;
}

bool FleetRunner::readScript()
{
    QFile file;
    bool opened;
    if (m_options.batchFile == QLatin1String("-")) {
        opened = file.open(stdin, QIODevice::ReadOnly);
    } else {
        file.setFileName(m_options.batchFile);
        opened = file.open(QIODevice::ReadOnly);
    }
    if (!opened) {
        m_error = tr("cannot read the script %1: %2").arg(m_options.batchFile, file.errorString());
        return false;
    }
    m_script = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        m_error = tr("cannot read the script %1: %2").arg(m_options.batchFile, file.errorString());
        return false;
    }
    // A script every host would refuse connects to none of them.
    BatchScript parsed;
    if (!parsed.parse(QString::fromLocal8Bit(m_script))) {
        m_error = tr("line %1: %2").arg(parsed.errorLine()).arg(parsed.errorString());
        return false;
    }
    return true;
}

int FleetRunner::run()
{
    if (!readScript())
        return exitCode();
    SignalCatcher catcher(this);
    QEventLoop loop;
    m_loop = &loop;
    startNext();
    if (!allFinished())
        loop.exec();
    m_loop = nullptr;
    m_graceTimer->stop();
    return exitCode();
}

void FleetRunner::startNext()
{
    while (m_running < m_options.maxHosts && m_next < m_hosts.size() && m_interrupts == 0) {
        const int index = m_next++;
        HostRun &host = m_hosts[index];
        host.started = true;
        host.process = new Child(this);
        Child *process = host.process;
        connect(process, &QProcess::readyReadStandardOutput, this,
                [this, index] { onReadOutput(index); });
        connect(process, &QProcess::readyReadStandardError, this,
                [this, index] { onReadError(index); });
        connect(process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
                [this, index] { onFinished(index); });
        connect(process, &QProcess::errorOccurred, this, [this, index](QProcess::ProcessError e) {
            if (e != QProcess::FailedToStart)
                return;
            m_hosts[index].startError = m_hosts[index].process->errorString();
            onFinished(index);
        });
        ++m_running;
        process->start(m_program, childArguments(host.target));
        if (!host.finished) {
            process->write(m_script);
            process->closeWriteChannel();
        }
    }
}

void FleetRunner::onReadOutput(int index)
{
    HostRun &host = m_hosts[index];
    const QByteArray chunk = host.process->readAllStandardOutput();
    if (host.overflow)
        return;
    if (host.out.size() + chunk.size() > m_outputLimit) {
        host.overflow = true;
        host.out.clear();
        host.out.squeeze();
        host.process->signalGroup(SIGKILL);
        return;
    }
    host.out += chunk;
}

void FleetRunner::onReadError(int index)
{
    HostRun &host = m_hosts[index];
    host.errTail += host.process->readAllStandardError();
    if (host.errTail.size() > ErrorTailBytes)
        host.errTail = host.errTail.right(ErrorTailBytes);
}

void FleetRunner::onFinished(int index)
{
    HostRun &host = m_hosts[index];
    if (host.finished)
        return;
    if (host.startError.isEmpty()) {
        onReadOutput(index);
        onReadError(index);
        host.crashed = host.process->exitStatus() == QProcess::CrashExit;
        host.processExit = host.process->exitCode();
    }
    host.finished = true;
    host.interrupted = m_interrupts > 0;
    host.report = hostReport(host);
    host.out = QByteArray();
    host.process->deleteLater();
    host.process = nullptr;
    --m_running;
    startNext();
    quitWhenDone();
}

void FleetRunner::quitWhenDone()
{
    if (m_loop && allFinished())
        m_loop->quit();
}

void FleetRunner::interrupt()
{
    ++m_interrupts;
    for (HostRun &host : m_hosts) {
        if (!host.started) {
            host.started = host.finished = host.interrupted = true;
            host.report = hostReport(host);
        }
    }
    signalChildren(m_interrupts > 1 ? SIGKILL : SIGTERM);
    if (!m_graceTimer->isActive())
        m_graceTimer->start(GraceMs);
    quitWhenDone();
}

void FleetRunner::signalChildren(int signal)
{
    for (HostRun &host : m_hosts) {
        if (host.process && !host.finished)
            host.process->signalGroup(signal);
    }
}

bool FleetRunner::allFinished() const
{
    return std::all_of(m_hosts.cbegin(), m_hosts.cend(),
                       [](const HostRun &host) { return host.finished; });
}

QJsonObject FleetRunner::hostReport(const HostRun &host) const
{
    QJsonObject entry;
    bool parsed = false;
    if (!host.overflow && !host.out.isEmpty()) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(host.out, &error);
        if (error.error == QJsonParseError::NoError && document.isObject()) {
            entry = document.object();
            parsed = true;
        }
    }
    const QJsonValue connected = entry.value(QStringLiteral("connected"));
    // A report without the key came from a console that served the host.
    const bool isConnected = connected.isBool() ? connected.toBool() : parsed;
    QStringList errors;
    const QString own = entry.value(QStringLiteral("error")).toString();
    if (!own.isEmpty())
        errors.append(own);
    int code = 0;
    if (!host.process && host.startError.isEmpty()) {
        // Interrupted before it was started.
        code = 1;
    } else if (!host.startError.isEmpty()) {
        errors.append(
            tr("the console for this host could not be started: %1").arg(host.startError));
        code = 1;
    } else {
        if (host.overflow) {
            const qint64 mib = qint64(1) << 20;
            errors.append((m_outputLimit % mib == 0
                               ? tr("its report was larger than %1 MiB").arg(m_outputLimit / mib)
                               : tr("its report was larger than %1 bytes").arg(m_outputLimit)) +
                          tr(": the console was ended"));
        } else if (!parsed || host.crashed) {
            QString what =
                host.crashed
                    ? tr("the console for this host ended by signal %1")
                          .arg(signalText(host.processExit))
                    : tr("the console for this host ended with exit code %1").arg(host.processExit);
            if (!parsed)
                what += tr(" without a report");
            const QString messages = lastLines(host.errTail);
            if (!messages.isEmpty())
                what += tr("; its last messages:\n%1").arg(messages);
            errors.append(what);
        }
        code = host.crashed || host.processExit < 0 || host.processExit > 2 ? 1 : host.processExit;
        if (parsed) {
            const int reported = entry.value(QStringLiteral("exitCode")).toInt();
            if (reported >= 0 && reported <= 2)
                code = worse(code, reported);
        }
        // No report or no host behind it counts as a failed task at least.
        if (!parsed || host.overflow || !isConnected)
            code = worse(code, 1);
    }
    if (host.interrupted) {
        errors.prepend(tr("interrupted"));
        code = worse(code, 1);
    }
    entry.insert(QStringLiteral("host"), host.target.given);
    entry.insert(QStringLiteral("connected"), isConnected && !host.overflow);
    entry.insert(QStringLiteral("error"), errors.join(QLatin1Char('\n')));
    entry.insert(QStringLiteral("exitCode"), code);
    return entry;
}

int FleetRunner::exitCode() const
{
    if (!m_error.isEmpty())
        return 2;
    return report().value(QStringLiteral("exitCode")).toInt();
}

QJsonObject FleetRunner::report() const
{
    QJsonArray hosts;
    int code = m_error.isEmpty() ? 0 : 2;
    for (const HostRun &host : m_hosts) {
        if (!m_error.isEmpty())
            break;
        const QJsonObject &entry = host.report;
        code = worse(code, entry.value(QStringLiteral("exitCode")).toInt());
        hosts.append(entry);
    }
    QJsonObject report;
    report.insert(QStringLiteral("hosts"), hosts);
    if (!m_error.isEmpty())
        report.insert(QStringLiteral("error"), m_error);
    else if (m_interrupts > 0)
        report.insert(QStringLiteral("error"), tr("interrupted"));
    report.insert(QStringLiteral("exitCode"), code);
    return report;
}

namespace {
QString line(int indent, const QString &text)
{
    return QString(indent, QLatin1Char(' ')) + ReportText::escaped(text) + QLatin1Char('\n');
}

/// What failed on one host: its bad steps and its failed tasks, a line each.
QStringList failures(const QJsonObject &host)
{
    QStringList out;
    for (const QJsonValue &value : host.value(QStringLiteral("steps")).toArray()) {
        const QJsonObject step = value.toObject();
        if (step.value(QStringLiteral("result")).toString() != QLatin1String("error"))
            continue;
        out.append(tr("line %1 \"%2\" failed: %3")
                       .arg(step.value(QStringLiteral("line")).toInt())
                       .arg(step.value(QStringLiteral("step")).toString(),
                            step.value(QStringLiteral("error")).toString()));
    }
    for (const QJsonValue &value : host.value(QStringLiteral("tasks")).toArray()) {
        const QJsonObject task = value.toObject();
        const int status = task.value(QStringLiteral("status")).toInt();
        if (status != TaskDescription::TaskStatusFailed &&
            status != TaskDescription::TaskStatusUnknown)
            continue;
        QString message = task.value(QStringLiteral("message")).toString();
        message.replace(QLatin1Char('\n'), QStringLiteral(" / "));
        out.append(tr("task \"%1\" on %2 %3%4")
                       .arg(task.value(QStringLiteral("description")).toString(),
                            task.value(QStringLiteral("element")).toString(),
                            TaskDescription::statusName(status),
                            message.isEmpty() ? QString() : QStringLiteral(": ") + message));
    }
    return out;
}
} // namespace

QString FleetRunner::toText(const QJsonObject &report)
{
    QString out;
    const QJsonArray hosts = report.value(QStringLiteral("hosts")).toArray();
    int clean = 0;
    int failed = 0;
    int unreached = 0;
    QString summary;
    for (const QJsonValue &value : hosts) {
        const QJsonObject host = value.toObject();
        const QString name = host.value(QStringLiteral("host")).toString();
        const bool connected = host.value(QStringLiteral("connected")).toBool();
        const int code = host.value(QStringLiteral("exitCode")).toInt();
        const QString error = host.value(QStringLiteral("error")).toString();
        out += line(0, tr("Host %1: %2, exit code %3")
                           .arg(name, connected ? tr("connected") : tr("not connected"))
                           .arg(code));
        if (host.contains(QStringLiteral("plugins")) || host.contains(QStringLiteral("tree"))) {
            // The child's own report, indented under its host.
            const QStringList lines = BatchReport::toText(host).split(QLatin1Char('\n'));
            for (const QString &text : lines) {
                if (!text.isEmpty())
                    out += QStringLiteral("  ") + text + QLatin1Char('\n');
            }
        } else if (!error.isEmpty()) {
            out += line(2, tr("Error:"));
            for (const QString &text : error.split(QLatin1Char('\n')))
                out += line(4, text);
        }
        if (!connected) {
            ++unreached;
            summary += line(2, tr("%1: not reached: %2")
                                   .arg(name, QString(error).replace(QLatin1Char('\n'),
                                                                     QStringLiteral(" / "))));
            continue;
        }
        if (code == 0) {
            ++clean;
            continue;
        }
        ++failed;
        QStringList what = failures(host);
        if (what.isEmpty())
            what.append(error.isEmpty() ? tr("exit code %1").arg(code) : error);
        for (const QString &text : std::as_const(what))
            summary += line(2, name + QStringLiteral(": ") +
                                   QString(text).replace(QLatin1Char('\n'), QStringLiteral(" / ")));
    }
    out += tr("Summary:\n");
    out += summary;
    out += line(2, tr("%1 hosts: %2 without failures, %3 with failures, %4 not reached")
                       .arg(hosts.size())
                       .arg(clean)
                       .arg(failed)
                       .arg(unreached));
    const QString error = report.value(QStringLiteral("error")).toString();
    if (!error.isEmpty())
        out += line(0, tr("Error: ") + error);
    out += tr("Exit code: %1\n").arg(report.value(QStringLiteral("exitCode")).toInt());
    return out;
}
