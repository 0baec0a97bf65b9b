// oxa-remote-testhost: one disposable remote host of the test fleet (remotetesthost.h starts
// it; one process per host, since a process has one TestHost). It joins the network namespace
// the fleet made for the host, takes a private mount namespace with the system suites'
// disposable overlays (the machine's package database, so the real service packages look
// installed, and a private /run), lays what a served Debian host has there (the privileged
// helper at its package's path, its policy, login keys, a sudoers rule) and runs sshd on
// 127.0.0.1:22 of that namespace. Then it answers one command a line on standard input (see
// RemoteTestHost) until "quit", end of input or SIGTERM, and tears everything down: the
// safety net kills what runs in the host, and the overlays go with the namespace.
//
// Users: root (direct login), "oxaadmin" (login, then sudo -n for the helper without a
// password) and "oxapass" (login, but sudo asks a password for the helper). The key given by
// --authorized-keys is authorised for all three.

#include "systemtest.h"
#include "testhost.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

/// Where the helper's package installs it on a Debian host.
const char helperPath[] = "/usr/libexec/vell-admin-service/vell-admin-bridge";
const char configDir[] = "/etc/oxa-remote";
const char mountSource[] = "oxa-remotehost";

struct Options
{
    QString name;
    QString netns;
    QString hostKey;
    QString authorizedKeys;
    QString log;
    QString bridge;
    QString policy;
    bool server = true;
    bool services = false;
};

void say(const QByteArray &line)
{
    const QByteArray text = line + '\n';
    size_t done = 0;
    while (done < size_t(text.size())) {
        const ssize_t n = write(STDOUT_FILENO, text.constData() + done, size_t(text.size()) - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += size_t(n);
    }
}

QString errnoText(int error = errno)
{
    return QString::fromLocal8Bit(strerror(error));
}

bool parseArguments(int argc, char *argv[], Options *options, QString *error)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument = argv[i];
        const auto value = [&](QString *target) {
            if (i + 1 >= argc)
                return false;
            *target = QFile::decodeName(argv[++i]);
            return true;
        };
        bool ok = true;
        if (argument == "--name")
            ok = value(&options->name);
        else if (argument == "--netns")
            ok = value(&options->netns);
        else if (argument == "--host-key")
            ok = value(&options->hostKey);
        else if (argument == "--authorized-keys")
            ok = value(&options->authorizedKeys);
        else if (argument == "--log")
            ok = value(&options->log);
        else if (argument == "--bridge")
            ok = value(&options->bridge);
        else if (argument == "--policy")
            ok = value(&options->policy);
        else if (argument == "--no-server")
            options->server = false;
        else if (argument == "--services")
            options->services = true;
        else
            ok = false;
        if (!ok) {
            *error = QStringLiteral("bad argument %1").arg(QString::fromLocal8Bit(argument));
            return false;
        }
    }
    if (options->name.isEmpty() || options->netns.isEmpty() || options->hostKey.isEmpty() ||
        options->authorizedKeys.isEmpty() || options->log.isEmpty()) {
        *error = QStringLiteral("--name, --netns, --host-key, --authorized-keys and --log are "
                                "needed");
        return false;
    }
    return true;
}

QByteArray readAll(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return QByteArray();
    }
    return file.readAll();
}

/**
 * The program directory of the helper is no overlaid tree: a copy-on-write overlay of
 * /usr/libexec of its own, its upper layer in the private /run.
 */
bool overlayLibexec(QString *error)
{
    const QByteArray base = "/run/oxa-libexec";
    const QByteArray upper = base + "/upper";
    const QByteArray work = base + "/work";
    if (::mkdir(base.constData(), 0700) != 0 ||
        mount(mountSource, base.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "mode=0700") != 0 ||
        ::mkdir(upper.constData(), 0755) != 0 || ::mkdir(work.constData(), 0700) != 0) {
        *error = QStringLiteral("cannot prepare the overlay of /usr/libexec: ") + errnoText();
        return false;
    }
    // The merged directory takes the upper directory's mode and owner: keep the real ones.
    struct stat st;
    if (stat("/usr/libexec", &st) != 0) {
        *error = QStringLiteral("/usr/libexec: ") + errnoText();
        return false;
    }
    const QByteArray options = "lowerdir=/usr/libexec,upperdir=" + upper + ",workdir=" + work;
    chmod(upper.constData(), st.st_mode & 07777);
    if (chown(upper.constData(), st.st_uid, st.st_gid) != 0 ||
        mount(mountSource, "/usr/libexec", "overlay", 0, options.constData()) != 0) {
        *error = QStringLiteral("cannot mount an overlay on /usr/libexec: ") + errnoText();
        return false;
    }
    return true;
}

bool installHelper(const QString &bridge, QString *error)
{
    if (!overlayLibexec(error))
        return false;
    const QByteArray content = readAll(bridge, error);
    if (content.isEmpty()) {
        if (error->isEmpty())
            *error = QStringLiteral("%1 is empty").arg(bridge);
        return false;
    }
    QDir().mkpath(QFileInfo(QString::fromLatin1(helperPath)).path());
    QFile file(QString::fromLatin1(helperPath));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(content) != content.size()) {
        *error = QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString());
        return false;
    }
    file.close();
    return file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                               QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                               QFileDevice::ExeGroup | QFileDevice::ReadOther |
                               QFileDevice::ExeOther);
}

/// A key login needs an account that is not locked ("!" in /etc/shadow) when sshd does
/// without PAM: root's is opened (for keys only) and the test users get entries of their own.
bool prepareShadow(TestHost &host, const QStringList &users, QString *error)
{
    QFile file(QStringLiteral("/etc/shadow"));
    QByteArray text;
    if (file.open(QIODevice::ReadOnly))
        text = file.readAll();
    QByteArray out;
    for (const QByteArray &line : text.split('\n')) {
        if (line.isEmpty())
            continue;
        QList<QByteArray> fields = line.split(':');
        if (fields.size() > 1 && fields.at(0) == "root" && fields.at(1).startsWith('!'))
            fields[1] = "*";
        out += fields.join(':') + '\n';
    }
    for (const QString &user : users)
        out += user.toLatin1() + ":*:19000:0:99999:7:::\n";
    if (!host.writeFile(QStringLiteral("/etc/shadow"), out, 0640)) {
        *error = host.errorString();
        return false;
    }
    return true;
}

bool prepareHost(SystemHost &system, const Options &options, QString *error)
{
    TestHost &host = system.testHost();
    const QStringList users = {QStringLiteral("oxaadmin"), QStringLiteral("oxapass")};
    for (const QString &user : users) {
        uint uid = 0;
        if (!host.addUser(user, &uid)) {
            *error = host.errorString();
            return false;
        }
        // A home in the overlays (a session starts there, and /home is the machine's).
        const QString home = QStringLiteral("/var/lib/oxa-remote/") + user;
        if (!host.mkdir(home, 0700) || chown(QFile::encodeName(home).constData(), uid, uid) != 0) {
            *error = QStringLiteral("cannot make %1: %2").arg(home, host.errorString());
            return false;
        }
    }
    QFile passwd(QStringLiteral("/etc/passwd"));
    if (!passwd.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read /etc/passwd");
        return false;
    }
    QByteArray accounts = passwd.readAll();
    for (const QString &user : users)
        accounts.replace(":/home/" + user.toLatin1() + ':',
                         ":/var/lib/oxa-remote/" + user.toLatin1() + ':');
    if (!host.writeFile(QStringLiteral("/etc/passwd"), accounts)) {
        *error = host.errorString();
        return false;
    }
    if (!prepareShadow(host, users, error))
        return false;

    const QString dir = QString::fromLatin1(configDir);
    const QByteArray hostKey = readAll(options.hostKey, error);
    const QByteArray hostPublicKey = readAll(options.hostKey + QStringLiteral(".pub"), error);
    const QByteArray authorized = readAll(options.authorizedKeys, error);
    if (hostKey.isEmpty() || hostPublicKey.isEmpty() || authorized.isEmpty()) {
        if (error->isEmpty())
            *error = QStringLiteral("a key file is empty");
        return false;
    }
    const QString sshdConfig =
        QStringLiteral(
            "# The sshd of a remote test host: on this network namespace's loopback only.\n"
            "ListenAddress 127.0.0.1:22\n"
            "HostKey %1/ssh_host_ed25519_key\n"
            "PidFile none\n"
            "AuthorizedKeysFile %1/authorized_keys/%u\n"
            "AuthenticationMethods publickey\n"
            "PubkeyAuthentication yes\n"
            "PasswordAuthentication no\n"
            "KbdInteractiveAuthentication no\n"
            "PermitRootLogin prohibit-password\n"
            "AllowUsers root oxaadmin oxapass\n"
            "UsePAM no\n"
            "StrictModes yes\n"
            "UseDNS no\n"
            "PrintMotd no\n"
            "PrintLastLog no\n"
            "X11Forwarding no\n"
            "AllowTcpForwarding no\n"
            "AllowAgentForwarding no\n"
            "PermitTunnel no\n"
            "MaxStartups 100:30:200\n"
            "LogLevel VERBOSE\n")
            .arg(dir);
    const bool written =
        host.writeFile(dir + QStringLiteral("/sshd_config"), sshdConfig.toUtf8()) &&
        host.writeFile(dir + QStringLiteral("/ssh_host_ed25519_key"), hostKey, 0600) &&
        host.writeFile(dir + QStringLiteral("/ssh_host_ed25519_key.pub"), hostPublicKey) &&
        host.writeFile(dir + QStringLiteral("/authorized_keys/root"), authorized) &&
        host.writeFile(dir + QStringLiteral("/authorized_keys/oxaadmin"), authorized) &&
        host.writeFile(dir + QStringLiteral("/authorized_keys/oxapass"), authorized) &&
        // The helper without arguments, and nothing else; for oxapass only with a password.
        host.writeFile(QStringLiteral("/etc/sudoers.d/vell-admin-bridge-test"),
                       QStringLiteral("oxaadmin ALL=(root) NOPASSWD: %1 \"\"\n"
                                      "oxapass ALL=(root) %1 \"\"\n")
                           .arg(QString::fromLatin1(helperPath))
                           .toUtf8(),
                       0440);
    if (!written) {
        *error = host.errorString();
        return false;
    }
    // sshd's privilege separation directory, in the private /run.
    if (::mkdir("/run/sshd", 0755) != 0 && errno != EEXIST) {
        *error = QStringLiteral("cannot make /run/sshd: ") + errnoText();
        return false;
    }
    if (!options.policy.isEmpty() &&
        !host.copyTree(options.policy, QStringLiteral("/usr/share/vell/bridge.d"))) {
        *error = host.errorString();
        return false;
    }
    if (!options.bridge.isEmpty() && !installHelper(options.bridge, error))
        return false;
    if (options.services &&
        (!system.prepareKerberos() || !system.prepareDovecot() || !system.installConsoleData())) {
        *error = system.errorString();
        return false;
    }
    return true;
}

/// Whether something accepts connections on 127.0.0.1:22 of this namespace.
bool serverListening()
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(22);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

/// Starts sshd in the foreground, its log appended to @p log; its pid, or -1.
pid_t startServer(const QString &log, QString *error)
{
    const QByteArray logName = QFile::encodeName(log);
    const int logFd = open(logName.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (logFd < 0) {
        *error = QStringLiteral("cannot open %1: %2").arg(log, errnoText());
        return -1;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDONLY);
        dup2(null, STDIN_FILENO);
        dup2(logFd, STDOUT_FILENO);
        dup2(logFd, STDERR_FILENO);
        // The server outlives no host: it dies with this process.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execl("/usr/sbin/sshd", "/usr/sbin/sshd", "-D", "-e", "-f", "/etc/oxa-remote/sshd_config",
              static_cast<char *>(nullptr));
        _exit(127);
    }
    close(logFd);
    if (pid < 0) {
        *error = QStringLiteral("cannot fork: ") + errnoText();
        return -1;
    }
    QElapsedTimer timer;
    timer.start();
    while (!serverListening()) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            *error = QStringLiteral("sshd ended at once (see %1)").arg(log);
            return -1;
        }
        if (timer.elapsed() > 20000) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            *error = QStringLiteral("sshd does not listen after 20 s (see %1)").arg(log);
            return -1;
        }
        QThread::msleep(10);
    }
    return pid;
}

/// Stops the server and everything that runs in the host (sessions, the helper, services).
void stopEverything(pid_t *server)
{
    SystemTest::killNamespaceProcesses(3000);
    if (*server > 0) {
        waitpid(*server, nullptr, 0);
        *server = -1;
    }
    // Whatever else ended meanwhile.
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
}

/// One command of the test; the answer line.
QByteArray answer(const QList<QByteArray> &words, SystemHost &system, const Options &options,
                  pid_t *server, bool *quit)
{
    TestHost &host = system.testHost();
    const QByteArray command = words.value(0);
    if (command == "quit") {
        *quit = true;
        return "ok";
    }
    if (command == "write" && words.size() == 4) {
        bool ok = false;
        const int mode = words.at(2).toInt(&ok, 8);
        if (!ok)
            return "error bad mode";
        return host.writeFile(QString::fromUtf8(QByteArray::fromHex(words.at(1))),
                              QByteArray::fromHex(words.at(3)), mode)
                   ? QByteArray("ok")
                   : "error " + host.errorString().toUtf8();
    }
    if (command == "remove" && words.size() == 2)
        return host.removePath(QString::fromUtf8(QByteArray::fromHex(words.at(1))))
                   ? QByteArray("ok")
                   : "error " + host.errorString().toUtf8();
    if (command == "install" && words.size() == 3)
        return host.installPackage(QString::fromUtf8(words.at(1)), QString::fromUtf8(words.at(2)))
                   ? QByteArray("ok")
                   : "error " + host.errorString().toUtf8();
    if (command == "stop-server") {
        stopEverything(server);
        return "ok";
    }
    if (command == "start-server") {
        if (*server > 0)
            return "ok";
        QString error;
        *server = startServer(options.log, &error);
        return *server > 0 ? QByteArray("ok") : "error " + error.toUtf8();
    }
    return "error unknown command: " + command;
}

} // namespace

int main(int argc, char *argv[])
{
    // Whatever happens to the test, its hosts go with it.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    Options options;
    QString error;
    if (!parseArguments(argc, argv, &options, &error)) {
        say("error " + error.toUtf8());
        return 2;
    }
    // The network namespace first, then the mount namespace: both before any thread exists.
    if (!SystemTest::enterNamedNetwork(options.netns)) {
        say("error " + SystemTest::privateNetworkError().toUtf8());
        return 1;
    }
    if (!TestHost::enterPrivateNamespace()) {
        say("error no private mount namespace");
        return 1;
    }
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGHUP);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    const int signalFd = signalfd(-1, &stopSignals, SFD_CLOEXEC);
    std::signal(SIGPIPE, SIG_IGN);

    QCoreApplication application(argc, argv);
    pid_t server = -1;
    {
        SystemHost system;
        if (!system.isAvailable()) {
            say("error " + system.unavailableReason().toUtf8());
            return 1;
        }
        if (!prepareHost(system, options, &error)) {
            say("error " + error.toUtf8());
            return 1;
        }
        if (options.server) {
            server = startServer(options.log, &error);
            if (server < 0) {
                say("error " + error.toUtf8());
                return 1;
            }
        }
        say("ready");

        QByteArray pending;
        bool quit = false;
        while (!quit) {
            pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {signalFd, POLLIN, 0}};
            if (poll(fds, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                break;
            }
            if (fds[1].revents)
                break;
            if (!fds[0].revents)
                continue;
            char buffer[65536];
            const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break; // the test went away
            pending.append(buffer, int(n));
            int newline;
            while (!quit && (newline = pending.indexOf('\n')) >= 0) {
                const QByteArray line = pending.left(newline);
                pending.remove(0, newline + 1);
                say(answer(line.split(' '), system, options, &server, &quit));
            }
        }
        stopEverything(&server);
    }
    return 0;
}
