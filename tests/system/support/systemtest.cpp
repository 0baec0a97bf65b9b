#include "systemtest.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryFile>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char mountSource[] = "oxa-systemtest";

struct NetworkState
{
    bool entered = false;
    QString error = QStringLiteral("the test did not enter a private network namespace at the "
                                   "start of main (start it with OXA_SYSTEM_TEST_MAIN)");
};

NetworkState &networkState()
{
    static NetworkState state;
    return state;
}

QString errnoText(int error = errno)
{
    return QString::fromLocal8Bit(strerror(error));
}

/// The link text of /proc/<pid>/ns/mnt ("mnt:[inode]"), empty when it cannot be read.
QByteArray mountNamespaceOf(const QByteArray &pid)
{
    char buffer[64];
    const QByteArray path = "/proc/" + pid + "/ns/mnt";
    const ssize_t length = readlink(path.constData(), buffer, sizeof buffer - 1);
    if (length <= 0)
        return QByteArray();
    return QByteArray(buffer, int(length));
}

QString commandOf(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLocal8Bit(file.readAll()).trimmed();
}

bool processAlive(qint64 pid)
{
    // A zombie (or a pid gone) has no mount namespace any more.
    return !mountNamespaceOf(QByteArray::number(pid)).isEmpty();
}

} // namespace

QString ToolRun::text() const
{
    const int nul = output.indexOf('\0');
    return QString::fromLocal8Bit(nul < 0 ? output : output.left(nul));
}

QStringList ToolRun::lines() const
{
    return text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString ToolRun::describe() const
{
    QString head = QStringLiteral("%1 %2").arg(program, arguments.join(QLatin1Char(' ')));
    if (!finished)
        head += QStringLiteral(" -> did not finish");
    else
        head += QStringLiteral(" -> exit %1").arg(exitCode);
    if (!errors.isEmpty())
        head += QStringLiteral("\n") + QString::fromLocal8Bit(errors).trimmed();
    return head;
}

ToolRun SystemTest::runTool(const QString &program, const QStringList &arguments, int timeoutMs,
                            const QByteArray &input)
{
    ToolRun run;
    run.program = program;
    run.arguments = arguments;
    // Output goes to files, not pipes: a daemon that an init script starts may keep the
    // descriptors it inherited, and must not die of a broken pipe once the script is done.
    QTemporaryFile out, err;
    if (!out.open() || !err.open()) {
        run.errors = "no temporary files for the output of " + program.toLocal8Bit();
        return run;
    }
    QProcess process;
    process.setStandardOutputFile(out.fileName());
    process.setStandardErrorFile(err.fileName());
    if (input.isEmpty())
        process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForStarted()) {
        run.errors = "could not start: " + process.errorString().toLocal8Bit();
        return run;
    }
    if (!input.isEmpty()) {
        process.write(input);
        process.closeWriteChannel();
    }
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
    } else if (process.exitStatus() == QProcess::NormalExit) {
        run.finished = true;
        run.exitCode = process.exitCode();
    }
    run.output = out.readAll();
    run.errors = err.readAll();
    if (!run.finished)
        run.errors += QByteArray("\n(did not finish within ") + QByteArray::number(timeoutMs) +
                      " ms, or crashed)";
    return run;
}

int SystemTest::initScript(const QString &script, const QString &action, int timeoutMs)
{
    const ToolRun run = runTool(QStringLiteral("/etc/init.d/") + script, {action}, timeoutMs);
    return run.finished ? run.exitCode : -1;
}

int SystemTest::initStatus(const QString &script)
{
    return initScript(script, QStringLiteral("status"), 30000);
}

int SystemTest::waitForStatus(const QString &script, bool running, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    int code = initStatus(script);
    while ((code == 0) != running && timer.elapsed() < timeoutMs) {
        QThread::msleep(200);
        code = initStatus(script);
    }
    return code;
}

QString SystemTest::pgsqlServerVersion()
{
    return TestHost::newestPgsqlServer();
}

QString SystemTest::packageVersion(const QString &package)
{
    const ToolRun run = runTool(
        QStringLiteral("dpkg-query"),
        {QStringLiteral("-W"), QStringLiteral("-f=${db:Status-Abbrev}\t${Version}"), package},
        30000);
    const QStringList fields = run.text().split(QLatin1Char('\t'));
    if (!run.succeeded() || fields.size() != 2 || !fields.first().startsWith(QLatin1String("ii")))
        return QString();
    return fields.at(1);
}

QStringList SystemTest::missingPackages(const QStringList &packages)
{
    QStringList missing;
    for (const QString &package : packages) {
        if (packageVersion(package).isEmpty())
            missing << package;
    }
    return missing;
}

QList<qint64> SystemTest::namespaceProcesses(const QString &command)
{
    QList<qint64> pids;
    const QByteArray own = mountNamespaceOf("self");
    if (own.isEmpty())
        return pids;
    const qint64 self = getpid();
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number || pid == self)
            continue;
        if (mountNamespaceOf(entry.toLatin1()) != own)
            continue;
        if (!command.isEmpty() && commandOf(pid) != command)
            continue;
        pids << pid;
    }
    return pids;
}

bool SystemTest::waitForProcessesGone(const QString &command, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!namespaceProcesses(command).isEmpty()) {
        if (timer.elapsed() >= timeoutMs)
            return false;
        QThread::msleep(100);
    }
    return true;
}

QStringList SystemTest::describeProcesses(const QList<qint64> &pids)
{
    QStringList lines;
    for (qint64 pid : pids)
        lines << QStringLiteral("%1 %2").arg(pid).arg(commandOf(pid));
    return lines;
}

QStringList SystemTest::killNamespaceProcesses(int graceMs)
{
    QList<qint64> pids = namespaceProcesses();
    const QStringList found = describeProcesses(pids);
    for (qint64 pid : pids)
        kill(pid_t(pid), SIGTERM);
    QElapsedTimer timer;
    timer.start();
    for (int round = 0; !pids.isEmpty(); ++round) {
        QList<qint64> alive;
        for (qint64 pid : pids) {
            if (processAlive(pid))
                alive << pid;
        }
        pids = alive;
        if (pids.isEmpty())
            break;
        if (timer.elapsed() >= graceMs) {
            for (qint64 pid : pids)
                kill(pid_t(pid), SIGKILL);
            if (timer.elapsed() >= graceMs + 5000)
                break; // uninterruptible: nothing more to do
        }
        QThread::msleep(50);
    }
    // Newcomers forked while the others died (a supervisor restarting its children).
    const QList<qint64> late = namespaceProcesses();
    if (!late.isEmpty())
        return found + killNamespaceProcesses(0);
    return found;
}

namespace {

/// Brings up the loopback interface of the network namespace this thread is in; the error
/// text, empty when it worked.
QString bringUpLoopback()
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return QStringLiteral("no socket to bring up the loopback interface: ") + errnoText();
    ifreq request;
    memset(&request, 0, sizeof request);
    strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    if (up) {
        request.ifr_flags |= IFF_UP | IFF_RUNNING;
        up = ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    }
    const int error = errno;
    close(fd);
    if (!up)
        return QStringLiteral("cannot bring up the loopback interface: ") + errnoText(error);
    return QString();
}

} // namespace

bool SystemTest::enterPrivateNetwork()
{
    NetworkState &state = networkState();
    if (state.entered)
        return true;
    if (geteuid() != 0) {
        state.error = QStringLiteral("not running as root: no private network namespace");
        return false;
    }
    if (unshare(CLONE_NEWNET) != 0) {
        state.error = QStringLiteral("no private network namespace: ") + errnoText();
        return false;
    }
    // The new namespace has a loopback interface, down.
    state.error = bringUpLoopback();
    state.entered = state.error.isEmpty();
    return state.entered;
}

bool SystemTest::enterNamedNetwork(const QString &name)
{
    NetworkState &state = networkState();
    if (state.entered)
        return true;
    if (geteuid() != 0) {
        state.error = QStringLiteral("not running as root: no network namespace");
        return false;
    }
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.startsWith(QLatin1Char('.'))) {
        state.error = QStringLiteral("\"%1\" is not a network namespace name").arg(name);
        return false;
    }
    const QByteArray path = QFile::encodeName(QStringLiteral("/run/netns/") + name);
    const int fd = open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        state.error = QStringLiteral("no network namespace %1: %2").arg(name, errnoText());
        return false;
    }
    const bool entered = setns(fd, CLONE_NEWNET) == 0;
    const int error = errno;
    close(fd);
    if (!entered) {
        state.error =
            QStringLiteral("cannot enter the network namespace %1: %2").arg(name, errnoText(error));
        return false;
    }
    state.error = bringUpLoopback();
    state.entered = state.error.isEmpty();
    return state.entered;
}

bool SystemTest::inPrivateNetwork()
{
    return networkState().entered;
}

QString SystemTest::privateNetworkError()
{
    return networkState().error;
}

QStringList SystemTest::taskFailures(const QJsonObject &report)
{
    QStringList failures;
    for (const QJsonValue &value : report.value(QStringLiteral("tasks")).toArray()) {
        const QJsonObject task = value.toObject();
        // Failed, or left running with its outcome unknown.
        const int status = task.value(QStringLiteral("status")).toInt();
        if (status == 1 || status == 4)
            failures << task.value(QStringLiteral("description")).toString() +
                            QStringLiteral(": ") + task.value(QStringLiteral("message")).toString();
    }
    return failures;
}

bool SystemTest::runConsole(const ConsoleBatch &console, const QByteArray &script,
                            ConsoleBatchResult *result, int timeoutMs)
{
    *result = console.run(script, timeoutMs);
    if (!result->ran || !result->reportParsed) {
        qWarning("console: %s", result->errors.constData());
        return false;
    }
    const QStringList failures = taskFailures(result->report);
    if (!failures.isEmpty() || result->exitCode != 0) {
        qWarning("console exit %d, failed tasks: %s\n%s", result->exitCode,
                 qPrintable(failures.join(QStringLiteral("; "))), result->errors.constData());
        return false;
    }
    return true;
}

namespace {

QJsonObject findById(const QJsonArray &elements, const QString &id)
{
    for (const QJsonValue &value : elements) {
        const QJsonObject element = value.toObject();
        if (element.value(QStringLiteral("id")).toString() == id)
            return element;
        const QJsonObject below = findById(element.value(QStringLiteral("children")).toArray(), id);
        if (!below.isEmpty())
            return below;
    }
    return QJsonObject();
}

} // namespace

QString SystemTest::elementTextState(const QJsonObject &report, const QString &id)
{
    return findById(report.value(QStringLiteral("tree")).toArray(), id)
        .value(QStringLiteral("data"))
        .toObject()
        .value(QStringLiteral("textState"))
        .toString();
}

bool SystemTest::elementRunning(const QJsonObject &report, const QString &id)
{
    return findById(report.value(QStringLiteral("tree")).toArray(), id)
        .value(QStringLiteral("data"))
        .toObject()
        .value(QStringLiteral("state"))
        .toBool();
}

SystemHost::SystemHost()
{
    if (!SystemTest::inPrivateNetwork()) {
        m_unavailableReason = SystemTest::privateNetworkError();
        return;
    }
    m_host.reset(new TestHost(TestHost::MachinePackageDatabase));
    if (!m_host->isAvailable()) {
        m_unavailableReason = m_host->unavailableReason();
        return;
    }
    if (!mountPrivateRun()) {
        m_unavailableReason = m_errorString;
        unmountPrivate();
        return;
    }
    m_available = true;
}

SystemHost::~SystemHost()
{
    if (m_host && m_host->isAvailable()) {
        const QStringList left = killLeftovers();
        if (!left.isEmpty())
            qWarning("the safety net killed what the test left running: %s",
                     qPrintable(left.join(QStringLiteral(", "))));
    }
    unmountPrivate();
    m_host.reset();
}

bool SystemHost::fail(const QString &message)
{
    m_errorString = message;
    return false;
}

bool SystemHost::mountPrivateRun()
{
    // The machine's top-level directories of /run, as a booted host has them (tmpfiles);
    // /run/systemd stays out, so that no init script hands its work over to systemctl.
    struct Entry
    {
        QString name;
        bool directory;
        QString target;
        uint mode;
        uint uid;
        uint gid;
    };
    QList<Entry> entries;
    const QFileInfoList infos =
        QDir(QStringLiteral("/run"))
            .entryInfoList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QFileInfo &info : infos) {
        if (info.fileName() == QLatin1String("systemd"))
            continue;
        struct stat st;
        if (lstat(QFile::encodeName(info.filePath()).constData(), &st) != 0)
            continue;
        if (S_ISLNK(st.st_mode)) {
            char target[4096];
            const ssize_t length =
                readlink(QFile::encodeName(info.filePath()).constData(), target, sizeof target - 1);
            if (length > 0)
                entries.append({info.fileName(), false,
                                QFile::decodeName(QByteArray(target, int(length))), 0, 0, 0});
        } else if (S_ISDIR(st.st_mode)) {
            entries.append({info.fileName(), true, QString(), uint(st.st_mode & 07777),
                            uint(st.st_uid), uint(st.st_gid)});
        }
    }

    if (mount(mountSource, "/run", "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755") != 0)
        return fail(QStringLiteral("cannot mount a private /run: ") + errnoText());
    m_runMounted = true;
    for (const Entry &entry : entries) {
        const QByteArray path = QFile::encodeName(QStringLiteral("/run/") + entry.name);
        if (!entry.directory) {
            // Links such as /run/shm: their target as the machine has it.
            const QByteArray target = QFile::encodeName(entry.target);
            if (symlink(target.constData(), path.constData()) != 0)
                return fail(QStringLiteral("cannot link %1: %2")
                                .arg(QString::fromLocal8Bit(path), errnoText()));
            continue;
        }
        if (::mkdir(path.constData(), entry.mode) != 0 ||
            chown(path.constData(), entry.uid, entry.gid) != 0 ||
            chmod(path.constData(), entry.mode) != 0)
            return fail(QStringLiteral("cannot make %1: %2")
                            .arg(QString::fromLocal8Bit(path), errnoText()));
    }
    if (mount(mountSource, "/dev/shm", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777") != 0)
        return fail(QStringLiteral("cannot mount a private /dev/shm: ") + errnoText());
    m_shmMounted = true;
    return true;
}

void SystemHost::unmountPrivate()
{
    if (m_shmMounted && umount2("/dev/shm", MNT_DETACH) == 0)
        m_shmMounted = false;
    if (m_runMounted && umount2("/run", MNT_DETACH) == 0)
        m_runMounted = false;
}

QStringList SystemHost::killLeftovers(int graceMs)
{
    return SystemTest::killNamespaceProcesses(graceMs);
}

bool SystemHost::prepareKerberos(const QString &realm)
{
    if (!m_available)
        return fail(m_unavailableReason);
    // The realm the machine has is used as it is; without one, a realm database of our own in
    // the overlay, with its stash file.
    if (!QFile::exists(QStringLiteral("/var/lib/krb5kdc/principal"))) {
        const ToolRun create = SystemTest::runTool(
            QStringLiteral("kdb5_util"),
            {QStringLiteral("create"), QStringLiteral("-s"), QStringLiteral("-r"), realm,
             QStringLiteral("-P"), QStringLiteral("oxa-system-test-master")},
            120000);
        if (!create.succeeded())
            return fail(QStringLiteral("no realm database: ") + create.describe());
    }
    if (!QFile::exists(QStringLiteral("/etc/krb5kdc/kadm5.acl")) &&
        !m_host->writeFile(QStringLiteral("/etc/krb5kdc/kadm5.acl"),
                           QStringLiteral("*/admin@%1 *\n").arg(realm).toLocal8Bit()))
        return fail(m_host->errorString());
    return true;
}

bool SystemHost::prepareDovecot()
{
    if (!m_available)
        return fail(m_unavailableReason);
    const ToolRun cert = SystemTest::runTool(QStringLiteral("make-ssl-cert"),
                                             {QStringLiteral("generate-default-snakeoil")}, 120000);
    if (!cert.succeeded())
        return fail(QStringLiteral("no snakeoil certificate: ") + cert.describe());
    if (!m_host->writeSymlink(QStringLiteral("/etc/dovecot/private/dovecot.pem"),
                              QStringLiteral("/etc/ssl/certs/ssl-cert-snakeoil.pem")) ||
        !m_host->writeSymlink(QStringLiteral("/etc/dovecot/private/dovecot.key"),
                              QStringLiteral("/etc/ssl/private/ssl-cert-snakeoil.key")))
        return fail(m_host->errorString());
    return true;
}

bool SystemHost::installConsoleData()
{
    if (!m_available)
        return fail(m_unavailableReason);
    if (!m_host->copyTree(QStringLiteral(OXA_PACKAGE_LISTS_SOURCE),
                          QStringLiteral("/usr/share/vell/data/oxa-service-packages-plugin")))
        return fail(m_host->errorString());
    return true;
}
