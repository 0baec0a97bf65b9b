#include "remotehostconnection.h"

#include <bridgehostconnection_p.h>
#include <childprocess.h>

#include <QCoreApplication>
#include <QProcess>

#include <cerrno>
#include <mutex>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("RemoteHostConnection", text);
}

/// How long "ssh -G" may take to say which user it logs in as: it reads files only.
const int LoginLookupMs = 5000;

/// ssh's lines that say something: blanks trimmed, its frames of "@" left out.
QStringList meaningfulLines(const QString &text)
{
    QStringList lines;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty() && !trimmed.startsWith(QLatin1Char('@')))
            lines.append(trimmed);
    }
    return lines;
}

/// The first of @p lines holding one of @p needles; empty when none does.
QString lineWith(const QStringList &lines, std::initializer_list<const char *> needles)
{
    for (const QString &line : lines) {
        for (const char *needle : needles) {
            if (line.contains(QLatin1String(needle)))
                return line;
        }
    }
    return QString();
}

/// The end of a reason: what follows "The helper ended: ", the helper being ssh here.
QString helperCause(const QString &reason)
{
    const QString prefix =
        QCoreApplication::translate("BridgeHostConnection", "The helper ended: %1").arg(QString());
    return reason.startsWith(prefix) ? reason.mid(prefix.size()) : reason;
}

} // namespace

class RemoteHostConnection::Private
{
public:
    std::shared_ptr<BridgeHostConnection> current() const
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return bridge;
    }
    QString host() const { return settings.target.given; }
    /// Why @p b does not serve, for the administrator (@p failure: the kind).
    QString describe(const BridgeHostConnection &b, Failure *failure = nullptr) const;
    /// @p text, a failure of @p b, with the helper's end said as this host's.
    QString hostText(const std::shared_ptr<BridgeHostConnection> &b, const QString &text) const;
    QString notConnected() const { return tr("Not connected to %1").arg(host()); }
    /// @p call on the current helper connection, its error text naming the host; without a
    /// connection, a result whose error says so.
    template <class Result, class Call> Result fileCall(const Call &call) const
    {
        const std::shared_ptr<BridgeHostConnection> b = current();
        Result result;
        if (!b) {
            result.errorText = notConnected();
            return result;
        }
        result = call(*b);
        result.errorText = hostText(b, result.errorText);
        return result;
    }
    void ended(const BridgeHostConnection *which);

    Settings settings;
    mutable std::mutex mutex;
    std::shared_ptr<BridgeHostConnection> bridge;
    std::function<void(const QString &)> lostHandler;
    mutable bool userKnown = false;
    mutable QString user;
};

QString RemoteHostConnection::Private::describe(const BridgeHostConnection &b,
                                                Failure *failure) const
{
    const QString reason = b.errorText();
    const QString errors = b.errorOutput();
    QString message;
    Failure kind;
    if (reason.contains(QLatin1String("Protocol version mismatch"))) {
        kind = Failure::Protocol;
        message = tr("The helper on %1 speaks another protocol version: %2")
                      .arg(host(), helperCause(reason));
    } else if (b.isPrivileged()) {
        // It served: whatever ssh says now, the connection was lost.
        const QStringList said = meaningfulLines(errors);
        kind = Failure::Lost;
        message = tr("Connection to %1 lost: %2")
                      .arg(host(), said.isEmpty() ? helperCause(reason) : said.last());
    } else {
        kind = classify(b.exitCode(), errors, &message, host());
        if (kind == Failure::Other && meaningfulLines(errors).isEmpty())
            message = tr("Cannot connect to %1: %2").arg(host(), reason);
    }
    if (failure)
        *failure = kind;
    return message;
}

QString RemoteHostConnection::Private::hostText(const std::shared_ptr<BridgeHostConnection> &b,
                                                const QString &text) const
{
    if (text.isEmpty() || b->isConnected())
        return text;
    const QString reason = b->errorText();
    if (reason.isEmpty() || !text.contains(reason))
        return text;
    QString out = text;
    out.replace(reason, describe(*b));
    return out;
}

void RemoteHostConnection::Private::ended(const BridgeHostConnection *which)
{
    std::function<void(const QString &)> handler;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        // One that was replaced meanwhile is no news.
        if (bridge.get() != which)
            return;
        handler = lostHandler;
    }
    if (handler)
        handler(describe(*which));
}

// --- the connection -------------------------------------------------------------------------

QString RemoteHostConnection::remoteBridgeProgram()
{
    return QStringLiteral("/usr/libexec/vell-admin-service/vell-admin-bridge");
}

RemoteHostConnection::RemoteHostConnection(const Settings &settings) : d(new Private)
{
    d->settings = settings;
}

RemoteHostConnection::~RemoteHostConnection()
{
    std::shared_ptr<BridgeHostConnection> last;
    {
        const std::lock_guard<std::mutex> lock(d->mutex);
        last = std::move(d->bridge);
    }
    if (last)
        last->setEndHandler(nullptr);
    // Destroyed here, while this object's parts still exist for a handler running now.
    last.reset();
}

QString RemoteHostConnection::loginUser() const
{
    if (!d->settings.target.user.isEmpty())
        return d->settings.target.user;
    {
        const std::lock_guard<std::mutex> lock(d->mutex);
        if (d->userKnown)
            return d->user;
    }
    // What ssh's configuration makes of the host, without a connection: "ssh -G".
    QStringList arguments{QStringLiteral("-G")};
    if (!d->settings.sshConfig.isEmpty())
        arguments << QStringLiteral("-F") << d->settings.sshConfig;
    if (d->settings.target.port > 0)
        arguments << QStringLiteral("-p") << QString::number(d->settings.target.port);
    arguments << QStringLiteral("--") << d->settings.target.host;
    QProcess ssh;
    ssh.setStandardInputFile(QProcess::nullDevice());
    ssh.setStandardErrorFile(QProcess::nullDevice());
    ssh.start(d->settings.sshProgram, arguments);
    QString user;
    if (ssh.waitForFinished(LoginLookupMs) && ssh.exitStatus() == QProcess::NormalExit &&
        ssh.exitCode() == 0) {
        const QList<QByteArray> lines = ssh.readAllStandardOutput().split('\n');
        for (const QByteArray &line : lines) {
            if (line.startsWith("user ")) {
                user = QString::fromLocal8Bit(line.mid(5).trimmed());
                break;
            }
        }
    } else {
        ssh.kill();
        ssh.waitForFinished(1000);
    }
    const std::lock_guard<std::mutex> lock(d->mutex);
    d->userKnown = true;
    d->user = user;
    return user;
}

QStringList RemoteHostConnection::sshCommand() const
{
    const Settings &s = d->settings;
    // No terminal, no agent or X11 forwarded to the host (the helper needs neither); a dead
    // link noticed within a minute rather than when TCP gives up.
    QStringList command{s.sshProgram,         QStringLiteral("-T"),
                        QStringLiteral("-a"), QStringLiteral("-x"),
                        QStringLiteral("-o"), QStringLiteral("ServerAliveInterval=15"),
                        QStringLiteral("-o"), QStringLiteral("ServerAliveCountMax=3"),
                        QStringLiteral("-o"), QStringLiteral("ConnectTimeout=20")};
    // Options on the command line win over every configuration file: a user's
    // "StrictHostKeyChecking no" never applies here. "ask" refuses a changed key as "yes" does.
    if (s.batch) {
        command << QStringLiteral("-o") << QStringLiteral("BatchMode=yes") << QStringLiteral("-o")
                << QStringLiteral("StrictHostKeyChecking=yes");
    } else {
        command << QStringLiteral("-o") << QStringLiteral("StrictHostKeyChecking=ask");
    }
    if (!s.sshConfig.isEmpty())
        command << QStringLiteral("-F") << s.sshConfig;
    if (s.target.port > 0)
        command << QStringLiteral("-p") << QString::number(s.target.port);
    if (!s.target.user.isEmpty())
        command << QStringLiteral("-l") << s.target.user;
    command << QStringLiteral("--") << s.target.host;
    if (loginUser() != QLatin1String("root"))
        command << QStringLiteral("sudo") << QStringLiteral("-n");
    command << remoteBridgeProgram();
    return command;
}

QList<QByteArray> RemoteHostConnection::sshEnvironment() const
{
    QList<QByteArray> environment;
    for (const QByteArray &entry : ChildProcess::ownEnvironment()) {
        if (!entry.startsWith("SSH_ASKPASS=") && !entry.startsWith("SSH_ASKPASS_REQUIRE="))
            environment.append(entry);
    }
    // Batch mode never asks (BatchMode, and no question program either).
    if (!d->settings.batch && !d->settings.askpassProgram.isEmpty()) {
        environment.append("SSH_ASKPASS=" + d->settings.askpassProgram.toLocal8Bit());
        environment.append("SSH_ASKPASS_REQUIRE=force");
    }
    return environment;
}

bool RemoteHostConnection::connectHost()
{
    auto made = std::make_shared<BridgeHostConnection>(
        sshCommand(), qMax(1, d->settings.handshakeTimeoutMs), sshEnvironment());
    std::shared_ptr<BridgeHostConnection> previous;
    {
        const std::lock_guard<std::mutex> lock(d->mutex);
        previous = std::move(d->bridge);
        d->bridge = made;
    }
    if (previous)
        previous->setEndHandler(nullptr);
    Private *p = d.get();
    const BridgeHostConnection *which = made.get();
    made->setEndHandler([p, which](const QString &) { p->ended(which); });
    return made->isConnected();
}

bool RemoteHostConnection::reconnect()
{
    return connectHost();
}

bool RemoteHostConnection::isConnected() const
{
    const std::shared_ptr<BridgeHostConnection> b = d->current();
    return b && b->isConnected();
}

QString RemoteHostConnection::errorText() const
{
    const std::shared_ptr<BridgeHostConnection> b = d->current();
    if (!b)
        return d->notConnected();
    return b->isConnected() ? QString() : d->describe(*b);
}

RemoteHostConnection::Failure RemoteHostConnection::failure() const
{
    const std::shared_ptr<BridgeHostConnection> b = d->current();
    if (!b)
        return Failure::Other;
    if (b->isConnected())
        return Failure::None;
    Failure kind = Failure::Other;
    d->describe(*b, &kind);
    return kind;
}

void RemoteHostConnection::setLostHandler(std::function<void(const QString &)> handler)
{
    const std::lock_guard<std::mutex> lock(d->mutex);
    d->lostHandler = std::move(handler);
}

RemoteHostConnection::Failure RemoteHostConnection::classify(int exitCode,
                                                             const QString &stderrText,
                                                             QString *message, const QString &host)
{
    const QStringList lines = meaningfulLines(stderrText);
    QString said;
    Failure kind = Failure::Other;
    QString text;
    if (!(said = lineWith(lines, {"REMOTE HOST IDENTIFICATION HAS CHANGED", "has changed and you"}))
             .isEmpty()) {
        kind = Failure::ChangedHostKey;
        const QString remove = lineWith(lines, {"ssh-keygen "});
        text = tr("The host key of %1 has changed: ssh refuses the connection, since someone may "
                  "be listening in. If the host's key was replaced on purpose, check the new "
                  "key's fingerprint with the host's administrator and remove the old key (%2).")
                   .arg(host, remove.isEmpty() ? QStringLiteral("ssh-keygen -R") : remove);
    } else if (!(said = lineWith(lines, {"Host key verification failed"})).isEmpty()) {
        kind = Failure::UnknownHostKey;
        text = tr("The host key of %1 is not known (%2): connect once with ssh in a terminal, "
                  "compare the key's fingerprint with the one the host's administrator gives, "
                  "accept it, then connect again.")
                   .arg(host, lineWith(lines, {"host key is known"}).isEmpty()
                                  ? said
                                  : lineWith(lines, {"host key is known"}));
    } else if (!(said = lineWith(lines, {"Permission denied ("})).isEmpty()) {
        kind = Failure::AuthRefused;
        text = tr("%1 refused the login (%2): check the user name, and that your key is loaded "
                  "(ssh-add) and in that user's authorized_keys there.")
                   .arg(host, said);
    } else if (!(said = lineWith(lines, {"sudo: a password is required",
                                         "sudo: a terminal is required", "no tty present"}))
                    .isEmpty()) {
        kind = Failure::SudoPassword;
        text = tr("sudo on %1 asks for a password, which the console cannot give it: add a "
                  "sudoers rule for the helper there as vell-admin-bridge(8) shows, or log in "
                  "as root.")
                   .arg(host);
    } else if (exitCode == 127 || exitCode == 126 ||
               (exitCode != 255 &&
                !(said = lineWith(lines,
                                  {"command not found", "No such file or directory", "not found"}))
                     .isEmpty())) {
        kind = Failure::NoBridge;
        text = tr("The helper is not installed on %1: install the package vell-admin-bridge on "
                  "%1.")
                   .arg(host);
    } else if (!(said = lineWith(lines, {"Connection refused"})).isEmpty()) {
        kind = Failure::Refused;
        text = tr("%1 refused the connection (%2): check that its ssh server runs and listens "
                  "on the port given.")
                   .arg(host, said);
    } else if (!(said = lineWith(lines, {"Could not resolve hostname", "Name or service not known",
                                         "No route to host", "Network is unreachable",
                                         "Host is unreachable", "timed out", "Timeout",
                                         "kex_exchange_identification", "Connection closed by",
                                         "banner exchange", "Connection reset"}))
                    .isEmpty()) {
        kind = Failure::Unreachable;
        text = tr("%1 cannot be reached (%2): check its name, that it is up, and the network "
                  "between.")
                   .arg(host, said);
    } else {
        said = lines.isEmpty() ? (exitCode >= 0 ? tr("ssh ended with exit code %1").arg(exitCode)
                                                : tr("ssh ended"))
                               : lines.last();
        text = tr("Cannot connect to %1: %2").arg(host, said);
    }
    if (message)
        *message = text;
    return kind;
}

QString RemoteHostConnection::remoteHost() const
{
    return d->settings.target.given;
}

bool RemoteHostConnection::isPrivileged() const
{
    const std::shared_ptr<BridgeHostConnection> b = d->current();
    return b && b->isPrivileged();
}

QString RemoteHostConnection::findProgram(const QString &program) const
{
    const std::shared_ptr<BridgeHostConnection> b = d->current();
    return b ? b->findProgram(program) : QString();
}

ProcessResult RemoteHostConnection::run(const QString &program, const QStringList &arguments,
                                        int timeoutMs) const
{
    const std::shared_ptr<BridgeHostConnection> b = d->current();
    ProcessResult result;
    if (!b) {
        result.error = ProcessResult::FailedToStart;
        result.failure = d->notConnected();
        return result;
    }
    result = b->run(program, arguments, timeoutMs);
    result.failure = d->hostText(b, result.failure);
    return result;
}

ProcessResult RemoteHostConnection::runChange(const QString &program, const QStringList &arguments,
                                              const ChildProcess::ChangeWait &wait) const
{
    const std::shared_ptr<BridgeHostConnection> b = d->current();
    ProcessResult result;
    if (!b) {
        result.error = ProcessResult::FailedToStart;
        result.failure = d->notConnected();
        return result;
    }
    result = b->runChange(program, arguments, wait);
    result.failure = d->hostText(b, result.failure);
    return result;
}

DetachedStart RemoteHostConnection::startDetached(const QString &, const QStringList &,
                                                  const QList<QByteArray> &, int) const
{
    DetachedStart start;
    start.state = DetachedStart::NotStarted;
    start.code = EPERM;
    return start;
}

HostFileContent RemoteHostConnection::readFile(const QString &path, qint64 maxBytes) const
{
    return d->fileCall<HostFileContent>(
        [&](const BridgeHostConnection &b) { return b.readFile(path, maxBytes); });
}

HostFileContent RemoteHostConnection::readTail(const QString &path, int lines,
                                               qint64 maxBytes) const
{
    return d->fileCall<HostFileContent>(
        [&](const BridgeHostConnection &b) { return b.readTail(path, lines, maxBytes); });
}

HostDirectoryListing RemoteHostConnection::listDirectory(const QString &path, int maxEntries) const
{
    return d->fileCall<HostDirectoryListing>(
        [&](const BridgeHostConnection &b) { return b.listDirectory(path, maxEntries); });
}

HostRemoval RemoteHostConnection::removePlainEntries(const QString &directory) const
{
    return d->fileCall<HostRemoval>(
        [&](const BridgeHostConnection &b) { return b.removePlainEntries(directory); });
}

HostFileStatus RemoteHostConnection::writeFile(const QString &path, const QByteArray &contents,
                                               int newFileMode) const
{
    return d->fileCall<HostFileStatus>(
        [&](const BridgeHostConnection &b) { return b.writeFile(path, contents, newFileMode); });
}

HostPathInfo RemoteHostConnection::pathInfo(const QString &path) const
{
    const std::shared_ptr<BridgeHostConnection> b = d->current();
    if (!b) {
        HostPathInfo info;
        info.type = HostFileType::Unknown;
        return info;
    }
    return b->pathInfo(path);
}
