#include "remotetesthost.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <unistd.h>

namespace {

/// How long a host may take to set itself up (its overlays, the services' set-up) and start.
const int StartTimeoutMs = 120000;
const int CommandTimeoutMs = 60000;

/// Runs a program of the machine without a shell; whether it exited 0, else its words in
/// @p error.
bool runProgram(const QString &program, const QStringList &arguments, QString *error,
                int timeoutMs = 30000)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForStarted(timeoutMs)) {
        *error = QStringLiteral("%1: %2").arg(program, process.errorString());
        return false;
    }
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        *error = QStringLiteral("%1 %2: no end after %3 ms")
                     .arg(program, arguments.join(QLatin1Char(' ')))
                     .arg(timeoutMs);
        return false;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        *error = QStringLiteral("%1 %2: exit %3: %4")
                     .arg(program, arguments.join(QLatin1Char(' ')))
                     .arg(process.exitCode())
                     .arg(QString::fromLocal8Bit(process.readAll().trimmed()));
        return false;
    }
    return true;
}

/// Reads one line the host process answers; empty with @p error when none came.
QByteArray readLine(QProcess *process, int timeoutMs, QString *error)
{
    QElapsedTimer timer;
    timer.start();
    while (!process->canReadLine()) {
        const int left = timeoutMs - int(timer.elapsed());
        if (process->state() == QProcess::NotRunning && !process->canReadLine()) {
            *error =
                process->error() == QProcess::FailedToStart
                    ? process->errorString()
                    : QStringLiteral("the host process ended (exit %1)").arg(process->exitCode());
            return QByteArray();
        }
        if (left <= 0) {
            *error = QStringLiteral("the host process did not answer in %1 ms").arg(timeoutMs);
            return QByteArray();
        }
        process->waitForReadyRead(qMin(left, 1000));
    }
    return process->readLine().trimmed();
}

const char ipProgram[] = "/usr/sbin/ip";

} // namespace

// --- RemoteTestHost -------------------------------------------------------------------------

RemoteTestHost::~RemoteTestHost()
{
    finish();
}

qint64 RemoteTestHost::pid() const
{
    return m_process ? m_process->processId() : 0;
}

QStringList RemoteTestHost::enterCommand() const
{
    // --root and --wd: entering a mount namespace leaves a process at that namespace's root and
    // without a working directory, not in the host's own root when the suite runs in a root of
    // another release (chroot).
    return {QStringLiteral("/usr/bin/nsenter"),
            QStringLiteral("--target"),
            QString::number(pid()),
            QStringLiteral("--mount"),
            QStringLiteral("--net"),
            QStringLiteral("--root"),
            QStringLiteral("--wd"),
            QStringLiteral("--")};
}

bool RemoteTestHost::command(const QByteArray &line)
{
    if (!m_process || m_process->state() != QProcess::Running) {
        m_error = QStringLiteral("the host %1 is not running").arg(m_name);
        return false;
    }
    m_process->write(line + '\n');
    m_process->waitForBytesWritten(CommandTimeoutMs);
    QString error;
    const QByteArray answer = readLine(m_process.get(), CommandTimeoutMs, &error);
    if (answer == "ok")
        return true;
    m_error = QStringLiteral("%1: %2").arg(
        m_name, answer.isEmpty() ? error : QString::fromUtf8(answer.mid(6)));
    return false;
}

bool RemoteTestHost::writeFile(const QString &path, const QByteArray &content, int mode)
{
    return command("write " + path.toUtf8().toHex() + ' ' + QByteArray::number(mode, 8) + ' ' +
                   content.toHex());
}

bool RemoteTestHost::writeScript(const QString &path, const QString &shellBody)
{
    QByteArray script = "#!/bin/sh\n" + shellBody.toUtf8();
    if (!script.endsWith('\n'))
        script += '\n';
    return writeFile(path, script, 0755);
}

bool RemoteTestHost::removePath(const QString &path)
{
    return command("remove " + path.toUtf8().toHex());
}

bool RemoteTestHost::installPackage(const QString &name, const QString &version)
{
    static const QRegularExpression word(QStringLiteral("^[^\\s]+$"));
    if (!word.match(name).hasMatch() || !word.match(version).hasMatch()) {
        m_error = QStringLiteral("bad package %1 %2").arg(name, version);
        return false;
    }
    return command("install " + name.toUtf8() + ' ' + version.toUtf8());
}

QByteArray RemoteTestHost::readFile(const QString &path) const
{
    // The host process's root shows its mount namespace: the host's overlays.
    QFile file(QStringLiteral("/proc/%1/root%2").arg(pid()).arg(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool RemoteTestHost::exists(const QString &path) const
{
    return QFileInfo::exists(QStringLiteral("/proc/%1/root%2").arg(pid()).arg(path));
}

bool RemoteTestHost::stopServer()
{
    return command("stop-server");
}

bool RemoteTestHost::startServer()
{
    return command("start-server");
}

bool RemoteTestHost::setLoopbackUp(bool up)
{
    return runProgram(QString::fromLatin1(ipProgram),
                      {QStringLiteral("-n"), m_netns, QStringLiteral("link"), QStringLiteral("set"),
                       QStringLiteral("lo"), up ? QStringLiteral("up") : QStringLiteral("down")},
                      &m_error);
}

void RemoteTestHost::finish()
{
    if (m_process) {
        if (m_process->state() == QProcess::Running) {
            m_process->write("quit\n");
            m_process->closeWriteChannel();
            if (!m_process->waitForFinished(30000)) {
                m_process->kill();
                m_process->waitForFinished(5000);
            }
        }
        m_process.reset();
    }
    if (!m_netns.isEmpty()) {
        QString error;
        if (!runProgram(QString::fromLatin1(ipProgram),
                        {QStringLiteral("netns"), QStringLiteral("delete"), m_netns}, &error))
            qWarning("%s", qPrintable(error));
        m_netns.clear();
    }
}

// --- RemoteTestFleet ------------------------------------------------------------------------

RemoteTestFleet::RemoteTestFleet() : m_dir(QDir::tempPath() + QStringLiteral("/oxa-fleet-XXXXXX"))
{
    if (geteuid() != 0) {
        m_unavailableReason = QStringLiteral("not running as root (network namespaces)");
        return;
    }
    const QStringList programs = {QString::fromLatin1(ipProgram),
                                  QStringLiteral("/usr/sbin/sshd"),
                                  QStringLiteral("/usr/bin/ssh"),
                                  QStringLiteral("/usr/bin/ssh-keygen"),
                                  QStringLiteral("/usr/bin/nc"),
                                  QStringLiteral("/usr/bin/nsenter"),
                                  hostProgram(),
                                  relayProgram(),
                                  bridgeProgram()};
    QStringList missing;
    for (const QString &program : programs) {
        if (program.isEmpty() || !QFileInfo(program).isExecutable())
            missing << (program.isEmpty() ? QStringLiteral("(a program of the build)") : program);
    }
    if (!missing.isEmpty()) {
        m_unavailableReason = QStringLiteral("missing %1 (scripts/install-services installs the "
                                             "ssh server, nc and ip)")
                                  .arg(missing.join(QStringLiteral(", ")));
        return;
    }
    if (!m_dir.isValid()) {
        m_unavailableReason = QStringLiteral("no run directory: ") + m_dir.errorString();
        return;
    }
    if (!keygen(clientKey()) || !keygen(strangerKey()) ||
        !keygen(m_dir.filePath(QStringLiteral("impostor_host_key")))) {
        m_unavailableReason = m_error;
        return;
    }
    QFile::remove(m_dir.filePath(QStringLiteral("authorized_keys")));
    if (!QFile::copy(clientKey() + QStringLiteral(".pub"),
                     m_dir.filePath(QStringLiteral("authorized_keys")))) {
        m_unavailableReason = QStringLiteral("cannot copy the client key");
        return;
    }
}

RemoteTestFleet::~RemoteTestFleet()
{
    // Newest first: nothing depends on another host, but logs read better in that order.
    for (int i = m_order.size() - 1; i >= 0; --i)
        delete m_order.at(i);
    m_order.clear();
    m_hosts.clear();
}

bool RemoteTestFleet::fail(const QString &message)
{
    m_error = message;
    return false;
}

QString RemoteTestFleet::clientKey() const
{
    return m_dir.filePath(QStringLiteral("client_key"));
}

QString RemoteTestFleet::strangerKey() const
{
    return m_dir.filePath(QStringLiteral("stranger_key"));
}

QString RemoteTestFleet::sshConfig() const
{
    return m_dir.filePath(QStringLiteral("ssh_config"));
}

QString RemoteTestFleet::knownHostsFile(const QString &alias) const
{
    return m_dir.filePath(QStringLiteral("known_hosts-") + alias);
}

bool RemoteTestFleet::keygen(const QString &file)
{
    QFile::remove(file);
    QFile::remove(file + QStringLiteral(".pub"));
    QString error;
    if (!runProgram(QStringLiteral("/usr/bin/ssh-keygen"),
                    {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ed25519"),
                     QStringLiteral("-N"), QString(), QStringLiteral("-C"),
                     QFileInfo(file).fileName(), QStringLiteral("-f"), file},
                    &error))
        return fail(QStringLiteral("ssh-keygen: ") + error);
    return true;
}

RemoteTestHost *RemoteTestFleet::host(const QString &name) const
{
    return m_hosts.value(name);
}

QStringList RemoteTestFleet::hostNames() const
{
    QStringList names;
    for (const RemoteTestHost *host : m_order)
        names << host->name();
    return names;
}

RemoteTestHost *RemoteTestFleet::addHost(const QString &name, const RemoteHostOptions &options)
{
    static const QRegularExpression valid(QStringLiteral("^[a-z0-9][a-z0-9-]{0,30}$"));
    if (!isAvailable()) {
        fail(m_unavailableReason);
        return nullptr;
    }
    if (!valid.match(name).hasMatch() || m_hosts.contains(name)) {
        fail(QStringLiteral("\"%1\" is no new host name").arg(name));
        return nullptr;
    }
    const QString hostDir = m_dir.filePath(name);
    if (!QDir().mkpath(hostDir) || !keygen(hostDir + QStringLiteral("/ssh_host_ed25519_key")))
        return nullptr;

    auto *host = new RemoteTestHost;
    host->m_name = name;
    host->m_log = hostDir + QStringLiteral("/sshd.log");
    // Made here and handed over only once it exists: a failed start still removes it.
    const QString netns = QStringLiteral("oxa-r%1-%2").arg(m_next++).arg(getpid());
    QString error;
    if (!runProgram(QString::fromLatin1(ipProgram),
                    {QStringLiteral("netns"), QStringLiteral("add"), netns}, &error)) {
        delete host;
        fail(error);
        return nullptr;
    }
    host->m_netns = netns;

    QStringList arguments = {QStringLiteral("--name"),
                             name,
                             QStringLiteral("--netns"),
                             netns,
                             QStringLiteral("--host-key"),
                             hostDir + QStringLiteral("/ssh_host_ed25519_key"),
                             QStringLiteral("--authorized-keys"),
                             m_dir.filePath(QStringLiteral("authorized_keys")),
                             QStringLiteral("--log"),
                             host->m_log};
    if (options.helper)
        arguments << QStringLiteral("--bridge") << bridgeProgram() << QStringLiteral("--policy")
                  << policyDirectory();
    if (!options.server)
        arguments << QStringLiteral("--no-server");
    if (options.services)
        arguments << QStringLiteral("--services");
    host->m_process.reset(new QProcess);
    host->m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    host->m_process->start(hostProgram(), arguments);
    const QByteArray ready = readLine(host->m_process.get(), StartTimeoutMs, &error);
    if (ready != "ready") {
        fail(QStringLiteral("host %1 did not start: %2")
                 .arg(name, ready.isEmpty() ? error : QString::fromUtf8(ready)));
        delete host;
        return nullptr;
    }
    if (!options.loopbackUp && !host->setLoopbackUp(false)) {
        fail(host->errorString());
        delete host;
        return nullptr;
    }
    m_hosts.insert(name, host);
    m_order.append(host);
    RemoteAlias alias;
    alias.alias = name;
    alias.host = name;
    if (!addAlias(alias))
        return nullptr;
    return host;
}

bool RemoteTestFleet::writeKnownHosts(const RemoteAlias &alias)
{
    QByteArray line;
    if (alias.hostKey != KnownHostKey::Unknown) {
        const QString keyFile =
            alias.hostKey == KnownHostKey::Known
                ? m_dir.filePath(alias.host + QStringLiteral("/ssh_host_ed25519_key.pub"))
                : m_dir.filePath(QStringLiteral("impostor_host_key.pub"));
        QFile key(keyFile);
        if (!key.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("cannot read %1").arg(keyFile));
        // "type base64 comment" becomes "alias type base64".
        const QList<QByteArray> fields = key.readAll().simplified().split(' ');
        if (fields.size() < 2)
            return fail(QStringLiteral("%1 holds no key").arg(keyFile));
        line = alias.alias.toUtf8() + ' ' + fields.at(0) + ' ' + fields.at(1) + '\n';
    }
    QFile file(knownHostsFile(alias.alias));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(line) != line.size())
        return fail(QStringLiteral("cannot write %1").arg(file.fileName()));
    return true;
}

bool RemoteTestFleet::addAlias(const RemoteAlias &alias)
{
    static const QRegularExpression valid(QStringLiteral("^[a-z0-9][a-z0-9-]{0,40}$"));
    static const QRegularExpression validUser(QStringLiteral("^[a-z_][a-z0-9_-]{0,30}$"));
    if (!valid.match(alias.alias).hasMatch() || !validUser.match(alias.user).hasMatch())
        return fail(QStringLiteral("bad alias %1 (user %2)").arg(alias.alias, alias.user));
    if (!m_hosts.contains(alias.host))
        return fail(QStringLiteral("no host %1").arg(alias.host));
    if (alias.delayMs < 0 || alias.delayMs > 60000)
        return fail(QStringLiteral("bad delay %1").arg(alias.delayMs));
    if (!writeKnownHosts(alias))
        return false;
    for (int i = 0; i < m_aliases.size(); ++i) {
        if (m_aliases.at(i).alias == alias.alias) {
            m_aliases[i] = alias;
            return writeConfig();
        }
    }
    m_aliases.append(alias);
    return writeConfig();
}

bool RemoteTestFleet::writeConfig()
{
    QByteArray text = "# The test fleet: every host is a network namespace of this machine, "
                      "reached through a\n# ProxyCommand into it; nothing leaves 127.0.0.1.\n";
    for (const RemoteAlias &alias : qAsConst(m_aliases)) {
        const QString netns = m_hosts.value(alias.host)->netns();
        const QString proxy = alias.delayMs > 0
                                  ? QStringLiteral("%1 netns exec %2 %3 %4 22")
                                        .arg(QString::fromLatin1(ipProgram), netns, relayProgram())
                                        .arg(alias.delayMs)
                                  : QStringLiteral("%1 netns exec %2 /usr/bin/nc -v 127.0.0.1 22")
                                        .arg(QString::fromLatin1(ipProgram), netns);
        const QString entry = QStringLiteral("\nHost %1\n"
                                             "    HostName 127.0.0.1\n"
                                             "    Port 22\n"
                                             "    User %2\n"
                                             "    HostKeyAlias %1\n"
                                             "    ProxyCommand %3\n"
                                             "    IdentityFile %4\n"
                                             "    IdentitiesOnly yes\n"
                                             "    IdentityAgent none\n"
                                             "    UserKnownHostsFile %5\n"
                                             "    GlobalKnownHostsFile /dev/null\n"
                                             "    CheckHostIP no\n"
                                             "    UpdateHostKeys no\n"
                                             "    ControlMaster no\n"
                                             "    ControlPath none\n"
                                             "    ConnectTimeout 30\n")
                                  .arg(alias.alias, alias.user, proxy,
                                       alias.authorizedKey ? clientKey() : strangerKey(),
                                       knownHostsFile(alias.alias));
        text += entry.toUtf8();
    }
    QFile file(sshConfig());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
        return fail(QStringLiteral("cannot write %1").arg(file.fileName()));
    return true;
}

QStringList RemoteTestFleet::sshCommand(const QString &alias, const QStringList &command) const
{
    return QStringList{QStringLiteral("/usr/bin/ssh"),
                       QStringLiteral("-F"),
                       sshConfig(),
                       QStringLiteral("-T"),
                       QStringLiteral("-o"),
                       QStringLiteral("BatchMode=yes"),
                       alias} +
           command;
}

QString RemoteTestFleet::hostProgram()
{
#ifdef OXA_REMOTE_TESTHOST_PROGRAM
    return QStringLiteral(OXA_REMOTE_TESTHOST_PROGRAM);
#else
    return QString();
#endif
}

QString RemoteTestFleet::relayProgram()
{
#ifdef OXA_DELAY_RELAY_PROGRAM
    return QStringLiteral(OXA_DELAY_RELAY_PROGRAM);
#else
    return QString();
#endif
}

QString RemoteTestFleet::bridgeProgram()
{
#ifdef OXA_BRIDGE_FILE
    return QStringLiteral(OXA_BRIDGE_FILE);
#else
    return QString();
#endif
}

QString RemoteTestFleet::policyDirectory()
{
#ifdef OXA_BRIDGE_POLICY_DIR
    return QStringLiteral(OXA_BRIDGE_POLICY_DIR);
#else
    return QString();
#endif
}
