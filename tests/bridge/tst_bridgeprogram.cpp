// The real vell-admin-bridge, driven through pipes with the protocol, in a disposable host
// whose /usr/share/vell/bridge.d holds the shipped fragments and one of the suite's own.
#include <bridgeprotocol.h>

#include <testhost.h>

#include <QDir>
#include <QFile>
#include <QTest>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Bridge;

Q_DECLARE_METATYPE(Bridge::Request)
Q_DECLARE_METATYPE(Bridge::ErrorKind)

namespace {

const QString PolicyDir = QStringLiteral("/usr/share/vell/bridge.d");
const QString Marks = QStringLiteral("/var/lib/bridge-test");
const QString UserDir = QStringLiteral("/var/tmp/bridge-user");

/// How long anything the suite waits for may take before it counts as never.
constexpr int Patience = 60000;

/// The suite's own rules, for the fake service and the counting program.
const char TestFragment[] = "run /etc/init.d/fakesvc status|env|hang\n"
                            "change /etc/init.d/fakesvc start|slowstart|hang\n"
                            "limit change-time 5\n"
                            "run /usr/bin/oxa-bridge-counter\n"
                            "tail /var/log/fakesvc.log\n"
                            "write /etc/postgresql/<version>/<name>/start.conf\n";

/// The fake init script: a state read, its environment, a hang, a quick and a slow change.
const char FakeService[] = "case \"$1\" in\n"
                           "status) echo 'fakesvc is running' ;;\n"
                           "env) echo \"PATH=$PATH FOO=${FOO-unset} umask=$(umask)\" ;;\n"
                           "hang) echo $$ > /var/lib/bridge-test/hang.pid; sleep 600 & wait ;;\n"
                           "start) echo started > /var/lib/bridge-test/started; echo Starting ;;\n"
                           "slowstart) echo $$ > /var/lib/bridge-test/slow.pid; sleep 1;"
                           " echo done > /var/lib/bridge-test/slow.done ;;\n"
                           "esac\n";

Request request(Operation operation, const std::string &path,
                const std::vector<std::string> &arguments = {}, bool change = false)
{
    Request r;
    r.operation = operation;
    r.path = path;
    r.arguments = arguments;
    r.change = change;
    return r;
}

Request run(const std::string &program, const std::vector<std::string> &arguments,
            bool change = false)
{
    return request(Operation::Run, program, arguments, change);
}

std::string requestFrame(uint32_t id, const Request &r)
{
    std::string frame;
    std::string error;
    encodeRequest(id, r, &frame, &error);
    return frame;
}

std::string helloFrame(uint32_t version = ProtocolVersion)
{
    Hello hello;
    hello.version = version;
    hello.software = "tst_bridgeprogram";
    return encodeHello(hello);
}

/** A request's answer: its Data frames as text, and how it ended. */
struct Answer
{
    std::string data; ///< Output, Content: the bytes; Entries, Unremoved: "name kind/errno\n"
    int dataFrames = 0;
    bool ended = false;
    bool isError = false;
    ErrorKind errorKind = ErrorKind::Failed;
    std::string message;
    Result result;
};

/// Whether a live (not zombie) process is in the process group @p group.
bool groupAlive(pid_t group)
{
    DIR *proc = ::opendir("/proc");
    bool alive = false;
    while (const dirent *entry = proc ? ::readdir(proc) : nullptr) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(QLatin1String(entry->d_name)));
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9' || !stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        // After the name in parentheses: state, parent, group.
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 2 && fields[2].toInt() == group && fields[0] != "Z")
            alive = true;
    }
    if (proc)
        ::closedir(proc);
    return alive;
}

/**
 * The bridge as a child of the suite, its standard input and output on pipes; a thread takes
 * its answers in as they come.
 */
class BridgeProcess
{
public:
    BridgeProcess() = default;
    ~BridgeProcess()
    {
        closeInput();
        if (m_pid > 0 && !exited(Patience)) {
            ::kill(m_pid, SIGKILL);
            exited(Patience);
        }
        if (m_reader.joinable())
            m_reader.join();
    }

    /// Starts the program with an environment of the caller's own making, @p extraFd open as
    /// descriptor 7, and @p argument.
    bool start(int extraFd = -1, const char *argument = nullptr)
    {
        int in[2];
        int out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        if (extraFd >= 0)
            posix_spawn_file_actions_adddup2(&actions, extraFd, 7);
        // What a caller may hand it: its own search path, variables, umask.
        std::vector<std::string> environment{"PATH=" + UserDir.toStdString() + ":/usr/bin",
                                             "FOO=bar", "SUDO_USER=tester",
                                             "LD_LIBRARY_PATH=" + UserDir.toStdString()};
        std::vector<char *> envp;
        for (std::string &entry : environment)
            envp.push_back(&entry[0]);
        envp.push_back(nullptr);
        const std::string program = OXA_BRIDGE_PROGRAM;
        char *argv[] = {const_cast<char *>(program.c_str()), const_cast<char *>(argument), nullptr};
        const mode_t umask = ::umask(077);
        const int spawned =
            ::posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv, envp.data());
        ::umask(umask);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        m_input = in[1];
        m_output = out[0];
        if (spawned != 0)
            return false;
        m_reader = std::thread([this] { readLoop(); });
        return true;
    }

    pid_t pid() const { return m_pid; }

    bool send(const std::string &bytes)
    {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_input, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += size_t(n);
        }
        return true;
    }

    /// Sends the Hello and waits for the bridge's.
    bool greet()
    {
        if (!send(helloFrame()))
            return false;
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(Patience), [this] {
            return m_hello || m_closed;
        }) && m_hello;
    }

    /// The answer of @p id once it ended (or what came of it until Patience ran out).
    Answer answer(uint32_t id)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::milliseconds(Patience),
                           [&] { return m_answers[id].ended || m_closed; });
        return m_answers[id];
    }

    /// Waits for @p count requests to end; how many did.
    size_t waitForEnds(size_t count)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::milliseconds(Patience * 5),
                           [&] { return m_ends >= count || m_closed; });
        return m_ends;
    }

    std::map<uint32_t, Answer> answers()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_answers;
    }

    /// The connection's own Error (id 0), once the bridge's output ended.
    Answer connectionError()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::milliseconds(Patience), [this] { return m_closed; });
        return m_answers[0];
    }

    bool receivedHello()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_hello;
    }

    void closeInput()
    {
        if (m_input >= 0)
            ::close(m_input);
        m_input = -1;
    }

    /// Whether the bridge ended within @p ms; its exit status in exitStatus().
    bool exited(int ms)
    {
        for (int waited = 0; m_pid > 0; waited += 20) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                m_pid = -1;
                break;
            }
            if (waited >= ms)
                return false;
            ::usleep(20000);
        }
        return true;
    }
    int exitStatus() const { return m_status; }

private:
    void readLoop()
    {
        FrameDecoder decoder;
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::read(m_output, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            size_t at = 0;
            while (at < size_t(got) && decoder.status() != FrameDecoder::Failed) {
                at += decoder.feed(buffer + at, size_t(got) - at);
                if (decoder.status() == FrameDecoder::FrameReady)
                    take(decoder.takeFrame());
            }
        }
        ::close(m_output);
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
        m_changed.notify_all();
    }

    void take(const Frame &frame)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        Answer &answer = m_answers[frame.id];
        std::string error;
        Stream stream;
        std::string bytes;
        std::vector<Entry> entries;
        switch (frame.type) {
        case FrameType::Hello:
            m_hello = true;
            break;
        case FrameType::Data:
            ++answer.dataFrames;
            if (decodeData(frame, &stream, &bytes, &error) &&
                (stream == Stream::Entries || stream == Stream::Unremoved) &&
                decodeEntries(bytes, &entries, &error)) {
                for (const Entry &entry : entries)
                    answer.data +=
                        entry.name + ' ' +
                        std::to_string(stream == Stream::Entries ? int(entry.kind) : entry.error) +
                        '\n';
            } else {
                answer.data += bytes;
            }
            break;
        case FrameType::End:
            answer.ended = decodeResult(frame, &answer.result, &error);
            ++m_ends;
            break;
        case FrameType::Error:
            answer.ended = answer.isError =
                decodeError(frame, &answer.errorKind, &answer.message, &error);
            ++m_ends;
            break;
        default:
            break;
        }
        m_changed.notify_all();
    }

    pid_t m_pid = -1;
    int m_status = -1;
    int m_input = -1;
    int m_output = -1;
    std::thread m_reader;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<uint32_t, Answer> m_answers;
    size_t m_ends = 0;
    bool m_hello = false;
    bool m_closed = false;
};

/**
 * The system log as the bridge reaches it: /dev/log, in this suite's own mount namespace, on a
 * /dev of its own (the machine's devices bound into it).
 */
class LogSink
{
public:
    bool open(QString *why)
    {
        const int oldDev = ::open("/dev", O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (oldDev < 0 || ::mount("tmpfs", "/dev", "tmpfs", MS_NOSUID, "mode=0755") != 0) {
            *why = QStringLiteral("no /dev of the suite's own: %1").arg(qt_error_string(errno));
            return false;
        }
        for (const char *device : {"null", "zero", "full", "random", "urandom"}) {
            const QByteArray target = QByteArray("/dev/") + device;
            const QByteArray source = "/proc/self/fd/" + QByteArray::number(oldDev) + '/' + device;
            const int fd = ::open(target.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0666);
            ::close(fd);
            if (::mount(source.constData(), target.constData(), nullptr, MS_BIND, nullptr) != 0) {
                *why = QStringLiteral("cannot bind %1: %2")
                           .arg(QLatin1String(device), qt_error_string(errno));
                return false;
            }
        }
        ::symlink("/proc/self/fd", "/dev/fd");
        ::close(oldDev);
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, "/dev/log");
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
            *why = QStringLiteral("no /dev/log: %1").arg(qt_error_string(errno));
            return false;
        }
        return true;
    }

    /// Everything logged since the last call, one message a line.
    QByteArray take()
    {
        char buffer[8192];
        for (;;) {
            const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            m_text.append(buffer, int(got)).append('\n');
        }
        return m_text;
    }

    void clear()
    {
        take();
        m_text.clear();
    }

private:
    int m_fd = -1;
    QByteArray m_text;
};

} // namespace

class TestBridgeProgram : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void threatModel_data();
    void threatModel();
    void allowed_data();
    void allowed();
    void consoleGone_data();
    void consoleGone();
    void changeKilledAtThePolicysLimit();
    void manyInFlight();
    void handshake_data();
    void handshake();
    void untrustedPolicy_data();
    void untrustedPolicy();
    void callerNotTrusted();

private:
    std::unique_ptr<TestHost> m_host;
    LogSink m_log;
    QString m_logMissing;
};

void TestBridgeProgram::initTestCase()
{
    m_host.reset(new TestHost);
    OXA_REQUIRE_TEST_HOST(*m_host);
    if (::geteuid() != 0) {
        // In a user namespace the machine's files belong to "nobody": the bridge rightly
        // trusts no policy there.
        if (TestHost::mustRun())
            QFAIL("the bridge suite needs root");
        QSKIP("the bridge suite needs root");
    }
    // A bridge that ended by itself (a refused policy, a broken handshake) makes a write to it
    // fail, not the suite die.
    ::signal(SIGPIPE, SIG_IGN);
    if (!m_log.open(&m_logMissing))
        qWarning("%s: the log is not checked", qPrintable(m_logMissing));

    TestHost &host = *m_host;
    QVERIFY(host.mkdir(PolicyDir));
    for (const QString &name :
         QDir(QStringLiteral(OXA_BRIDGE_POLICY_DIR)).entryList({QStringLiteral("*.policy")})) {
        QFile fragment(QStringLiteral(OXA_BRIDGE_POLICY_DIR "/") + name);
        QVERIFY(fragment.open(QIODevice::ReadOnly));
        QVERIFY(host.writeFile(PolicyDir + '/' + name, fragment.readAll()));
    }
    QVERIFY(host.writeFile(PolicyDir + QStringLiteral("/zz-test.policy"), TestFragment));
    QVERIFY(host.writeScript(QStringLiteral("/etc/init.d/fakesvc"), QLatin1String(FakeService)));
    QFile counter(QStringLiteral(OXA_BRIDGE_COUNTER));
    QVERIFY(counter.open(QIODevice::ReadOnly));
    QVERIFY(host.writeFile(QStringLiteral("/usr/bin/oxa-bridge-counter"), counter.readAll(), 0755));

    // What the threat model's requests aim at, and the tools they would run: each tool leaves
    // a mark when it runs.
    QVERIFY(host.mkdir(Marks));
    for (const char *tool : {"apache2ctl", "systemctl", "pg_createcluster"})
        QVERIFY(host.writeTool(QLatin1String(tool),
                               QStringLiteral("touch %1/ran-%2").arg(Marks, QLatin1String(tool))));
    QVERIFY(host.writeFile(UserDir + QStringLiteral("/evil.conf"), "Include /etc/shadow\n", 0666));
    QVERIFY(host.writeFile(UserDir + QStringLiteral("/evil.service"), "[Service]\n", 0666));
    QVERIFY(::chown(qPrintable(UserDir), 1000, 1000) == 0);
    QVERIFY(host.writeFile(QStringLiteral("/etc/krb5kdc/stash"), "master key", 0600));
    QVERIFY(host.writeFile(QStringLiteral("/etc/ldap/slapd.d/cn=config/olcDatabase={1}mdb.ldif"),
                           "olcRootPW: {SSHA}hash\n", 0600));
    QVERIFY(host.writeFile(QStringLiteral("/etc/cups/cupsd.conf"), "Listen localhost:631\n"));
    QVERIFY(host.writeFile(QStringLiteral("/etc/cups/big.conf"),
                           QByteArray(3 * 1024 * 1024 + 17, 'x')));
    QVERIFY(host.writeSymlink(QStringLiteral("/etc/cups/escape"), UserDir + "/evil.conf"));
    QVERIFY(host.writeSymlink(QStringLiteral("/etc/cups/escape-dir"), QStringLiteral("/etc/ssl")));
    QVERIFY(host.writeFile(QStringLiteral("/etc/ssl/private/host.key"), "KEY", 0600));
    QVERIFY(host.writeFile(QStringLiteral("/var/log/fakesvc.log"), "one\ntwo\nthree\n"));
    QVERIFY(host.mkdir(QStringLiteral("/etc/postgresql/15/main")));
}

void TestBridgeProgram::cleanupTestCase()
{
    m_host.reset();
}

void TestBridgeProgram::init()
{
    // Every case starts with no marks and a fresh spool.
    const QString spool = QStringLiteral("/var/spool/cups");
    QVERIFY(m_host->removePath(Marks) && m_host->mkdir(Marks));
    QVERIFY(m_host->removePath(spool));
    for (const char *name : {"c001-1", "d001", "tmp/keep"})
        QVERIFY(m_host->writeFile(spool + '/' + QLatin1String(name), "job"));
    QVERIFY(
        m_host->writeSymlink(spool + QStringLiteral("/escape-dir"), QStringLiteral("/etc/cups")));
    m_log.clear();
}

void TestBridgeProgram::threatModel_data()
{
    QTest::addColumn<Request>("request");
    QTest::addColumn<QString>("untouched"); ///< a file that must still be there (or still absent)
    QTest::addColumn<bool>("present");

    const std::string user = UserDir.toStdString();
    const QString ran = Marks + QStringLiteral("/ran-");
    QTest::newRow("apache2ctl -f on a user's file")
        << run("/usr/sbin/apache2ctl", {"-S", "-f", user + "/evil.conf"}) << ran + "apache2ctl"
        << false;
    QTest::newRow("systemctl link of a user's unit")
        << run("/usr/bin/systemctl", {"link", user + "/evil.service"}, true) << ran + "systemctl"
        << false;
    QTest::newRow("pg_createcluster -o with a user's option")
        << run("/usr/bin/pg_createcluster",
               {"15", "main", "-o", "shared_preload_libraries=" + user + "/evil.so"}, true)
        << ran + "pg_createcluster" << false;
    QTest::newRow("a placeholder that is an option")
        << run("/usr/bin/pg_createcluster", {"15", "-omain"}, true) << ran + "pg_createcluster"
        << false;
    QTest::newRow("a change asked for as a read")
        << run("/etc/init.d/fakesvc", {"start"}) << Marks + "/started" << false;
    QTest::newRow("the KDC stash")
        << request(Operation::ReadFile, "/etc/krb5kdc/stash") << QString() << false;
    QTest::newRow("a password hash in slapd.d")
        << request(Operation::ReadFile, "/etc/ldap/slapd.d/cn=config/olcDatabase={1}mdb.ldif")
        << QString() << false;
    QTest::newRow("..") << request(Operation::ReadFile, "/etc/cups/../krb5kdc/stash") << QString()
                        << false;
    QTest::newRow("a link out of an allowed directory")
        << request(Operation::ReadFile, "/etc/cups/escape") << QString() << false;
    QTest::newRow("a directory link out of an allowed directory")
        << request(Operation::ReadFile, "/etc/cups/escape-dir/private/host.key") << QString()
        << false;
    QTest::newRow("NUL in a path")
        << request(Operation::ReadFile, std::string("/etc/cups/cupsd.conf\0/../../shadow", 34))
        << QString() << false;
    QTest::newRow("removal outside the spool")
        << request(Operation::RemoveIn, "/etc/cups", {"cupsd.conf"})
        << QStringLiteral("/etc/cups/cupsd.conf") << true;
    QTest::newRow("removal through a name with a slash")
        << request(Operation::RemoveIn, "/var/spool/cups", {"../../../etc/cups/cupsd.conf"})
        << QStringLiteral("/etc/cups/cupsd.conf") << true;
    QTest::newRow("removal deeper in the spool")
        << request(Operation::RemoveIn, "/var/spool/cups/tmp", {"keep"})
        << QStringLiteral("/var/spool/cups/tmp/keep") << true;
    QTest::newRow("removal through a link in the spool")
        << request(Operation::RemoveIn, "/var/spool/cups/escape-dir", {"cupsd.conf"})
        << QStringLiteral("/etc/cups/cupsd.conf") << true;
    Request passwd = request(Operation::Write, "/etc/passwd");
    passwd.content = "root::0:0::/root:/bin/sh\n";
    QTest::newRow("a write outside the policy's files")
        << passwd << QStringLiteral("/etc/passwd") << true;
}

void TestBridgeProgram::threatModel()
{
    QFETCH(Request, request);
    QFETCH(QString, untouched);
    QFETCH(bool, present);
    const QByteArray passwd = [] {
        QFile file(QStringLiteral("/etc/passwd"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();

    BridgeProcess bridge;
    QVERIFY(bridge.start());
    QVERIFY(bridge.greet());
    QVERIFY(bridge.send(requestFrame(7, request)));
    const Answer answer = bridge.answer(7);
    QVERIFY2(answer.isError, answer.data.c_str());
    QCOMPARE(int(answer.errorKind), int(ErrorKind::Refused));
    QVERIFY2(answer.message.find(describe(request)) != std::string::npos, answer.message.c_str());
    QCOMPARE(answer.dataFrames, 0);
    if (!untouched.isEmpty())
        QCOMPARE(QFile::exists(untouched), present);
    QFile file(QStringLiteral("/etc/passwd"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), passwd);
    if (m_logMissing.isEmpty())
        QVERIFY(m_log.take().contains(QByteArray::fromStdString(answer.message)));
}

void TestBridgeProgram::allowed_data()
{
    QTest::addColumn<Request>("request");
    QTest::addColumn<QByteArray>("data"); ///< the answer's Data, as Answer holds it
    QTest::addColumn<int>("exitCode");    ///< a program's, or a file operation's errno
    QTest::addColumn<int>("pathKind");    ///< Test, and what a file operation found
    QTest::addColumn<QString>("effect");  ///< a file the request makes (with its content)
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("logged"); ///< what the system log says of it

    const int file = int(PathKind::File);
    const int missing = int(PathKind::Missing);
    QTest::newRow("read") << request(Operation::ReadFile, "/etc/cups/cupsd.conf")
                          << QByteArray("Listen localhost:631\n") << 0 << file << QString()
                          << QByteArray() << QByteArray();
    QTest::newRow("read, missing")
        << request(Operation::ReadFile, "/etc/cups/missing.conf") << QByteArray() << ENOENT
        << missing << QString() << QByteArray() << QByteArray();
    Request tail = request(Operation::Tail, "/var/log/fakesvc.log");
    tail.lines = 2;
    QTest::newRow("tail") << tail << QByteArray("two\nthree\n") << 0 << file << QString()
                          << QByteArray() << QByteArray();
    QTest::newRow("listing") << request(Operation::List, "/var/spool/cups/")
                             << QByteArray("c001-1 1\nd001 1\nescape-dir 2\ntmp 2\n") << 0
                             << int(PathKind::Directory) << QString() << QByteArray()
                             << QByteArray();
    QTest::newRow("test") << request(Operation::Test, "/usr/bin/oxa-bridge-counter") << QByteArray()
                          << 0 << file << QString() << QByteArray() << QByteArray();
    QTest::newRow("state read of a fake init script")
        << run("/etc/init.d/fakesvc", {"status"}) << QByteArray("fakesvc is running\n") << 0
        << missing << QString() << QByteArray() << QByteArray();
    QTest::newRow("its environment and umask, not the caller's")
        << run("/etc/init.d/fakesvc", {"env"})
        << QByteArray("PATH=/usr/sbin:/usr/bin:/sbin:/bin FOO=unset umask=0022\n") << 0 << missing
        << QString() << QByteArray() << QByteArray();
    QTest::newRow("a change")
        << run("/etc/init.d/fakesvc", {"start"}, true) << QByteArray("Starting\n") << 0 << missing
        << Marks + "/started" << QByteArray("started\n")
        << QByteArray("for uid 0, SUDO_USER tester: change /etc/init.d/fakesvc start: exited "
                      "with 0");
    Request write = request(Operation::Write, "/etc/postgresql/15/main/start.conf");
    write.content = "manual\n";
    QTest::newRow("a write") << write << QByteArray() << 0 << file
                             << QStringLiteral("/etc/postgresql/15/main/start.conf")
                             << QByteArray("manual\n")
                             << QByteArray("write /etc/postgresql/15/main/start.conf (7 bytes): "
                                           "done");
    QTest::newRow("a removal in the spool")
        << request(Operation::RemoveIn, "/var/spool/cups", {"c001-1", "d001", "tmp", "gone"})
        << QByteArray("tmp " + QByteArray::number(EISDIR) + "\ngone " + QByteArray::number(ENOENT) +
                      '\n')
        << 0 << int(PathKind::Directory) << QStringLiteral("/var/spool/cups/tmp/keep")
        << QByteArray("job")
        << QByteArray("remove-in /var/spool/cups c001-1 d001 tmp gone: 2 removed, 2 left");
}

void TestBridgeProgram::allowed()
{
    QFETCH(Request, request);
    QFETCH(QByteArray, data);
    QFETCH(int, exitCode);
    QFETCH(int, pathKind);
    QFETCH(QString, effect);
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, logged);

    BridgeProcess bridge;
    QVERIFY(bridge.start());
    QVERIFY(bridge.greet());
    QVERIFY(bridge.send(requestFrame(3, request)));
    const Answer answer = bridge.answer(3);
    QVERIFY2(answer.ended && !answer.isError, answer.message.c_str());
    QCOMPARE(QByteArray::fromStdString(answer.data), data);
    QCOMPARE(answer.result.exitCode, exitCode);
    QCOMPARE(int(answer.result.pathKind), pathKind);
    if (!effect.isEmpty()) {
        QFile file(effect);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), content);
    }
    if (!logged.isEmpty() && m_logMissing.isEmpty())
        QVERIFY2(m_log.take().contains(logged), m_log.take().constData());
    if (request.operation == Operation::RemoveIn) {
        QVERIFY(!QFile::exists(QStringLiteral("/var/spool/cups/c001-1")));
        QVERIFY(!QFile::exists(QStringLiteral("/var/spool/cups/d001")));
    }
}

void TestBridgeProgram::consoleGone_data()
{
    QTest::addColumn<Request>("request");
    QTest::addColumn<QString>("started");  ///< the pid file the child writes once it runs
    QTest::addColumn<bool>("cancel");      ///< a Cancel rather than the console going away
    QTest::addColumn<QString>("finished"); ///< what a change leaves when it finished

    QTest::newRow("read-only, console gone")
        << run("/etc/init.d/fakesvc", {"hang"}) << Marks + "/hang.pid" << false << QString();
    QTest::newRow("read-only, cancelled")
        << run("/etc/init.d/fakesvc", {"hang"}) << Marks + "/hang.pid" << true << QString();
    QTest::newRow("change, console gone") << run("/etc/init.d/fakesvc", {"slowstart"}, true)
                                          << Marks + "/slow.pid" << false << Marks + "/slow.done";
}

void TestBridgeProgram::consoleGone()
{
    QFETCH(Request, request);
    QFETCH(QString, started);
    QFETCH(bool, cancel);
    QFETCH(QString, finished);

    BridgeProcess bridge;
    QVERIFY(bridge.start());
    QVERIFY(bridge.greet());
    QVERIFY(bridge.send(requestFrame(5, request)));
    QTRY_VERIFY_WITH_TIMEOUT(QFile(started).size() > 0, Patience);
    QFile pidFile(started);
    QVERIFY(pidFile.open(QIODevice::ReadOnly));
    const pid_t group = pid_t(pidFile.readAll().trimmed().toInt());
    QVERIFY(group > 0);
    QVERIFY(groupAlive(group));
    if (cancel) {
        QVERIFY(bridge.send(encodeCancel(5)));
        const Answer answer = bridge.answer(5);
        QVERIFY(answer.isError);
        QCOMPARE(int(answer.errorKind), int(ErrorKind::Cancelled));
    } else {
        bridge.closeInput();
    }
    if (!cancel || finished.isEmpty())
        QTRY_VERIFY_WITH_TIMEOUT(!groupAlive(group), Patience);
    if (!finished.isEmpty()) {
        // The bridge waits for the change before it ends, and logs how it went.
        QVERIFY(bridge.exited(Patience));
        QVERIFY(QFile::exists(finished));
        if (m_logMissing.isEmpty())
            QVERIFY(m_log.take().contains("change /etc/init.d/fakesvc slowstart: exited with 0"));
    }
    bridge.closeInput();
    QVERIFY(bridge.exited(Patience));
    QCOMPARE(bridge.exitStatus(), 0);
}

void TestBridgeProgram::changeKilledAtThePolicysLimit()
{
    // The suite's fragment gives changes 5 seconds: a change that hangs is killed then, with
    // whatever it started, rather than left behind by the bridge.
    BridgeProcess bridge;
    QVERIFY(bridge.start());
    QVERIFY(bridge.greet());
    QVERIFY(bridge.send(requestFrame(9, run("/etc/init.d/fakesvc", {"hang"}, true))));
    const QString started = Marks + QStringLiteral("/hang.pid");
    QTRY_VERIFY_WITH_TIMEOUT(QFile(started).size() > 0, Patience);
    QFile pidFile(started);
    QVERIFY(pidFile.open(QIODevice::ReadOnly));
    const pid_t group = pid_t(pidFile.readAll().trimmed().toInt());
    const Answer answer = bridge.answer(9);
    QVERIFY2(answer.ended && !answer.isError, answer.message.c_str());
    QCOMPARE(int(answer.result.ending), int(Result::Ending::TimedOut));
    QTRY_VERIFY_WITH_TIMEOUT(!groupAlive(group), Patience);
    if (m_logMissing.isEmpty())
        QVERIFY(m_log.take().contains("change /etc/init.d/fakesvc hang: killed at the time limit"));
}

void TestBridgeProgram::manyInFlight()
{
    // All sent at once, without waiting for an answer; the children count themselves.
    const uint32_t count = 10000;
    BridgeProcess bridge;
    QVERIFY(bridge.start());
    QVERIFY(bridge.greet());
    std::string frames;
    for (uint32_t id = 1; id <= count; ++id)
        frames += requestFrame(id, run("/usr/bin/oxa-bridge-counter", {}));
    QVERIFY(bridge.send(frames));
    QCOMPARE(bridge.waitForEnds(count), size_t(count));
    const std::map<uint32_t, Answer> answers = bridge.answers();
    for (uint32_t id = 1; id <= count; ++id) {
        const auto found = answers.find(id);
        QVERIFY(found != answers.end());
        QVERIFY2(!found->second.isError, found->second.message.c_str());
        QCOMPARE(found->second.result.exitCode, 0);
    }
    QFile state(QStringLiteral("/var/lib/oxa-bridge-counter"));
    QVERIFY(state.open(QIODevice::ReadOnly));
    const QList<QByteArray> numbers = state.readAll().trimmed().split(' ');
    QCOMPARE(numbers.size(), 3);
    QCOMPARE(numbers[0].toInt(), 0);
    QVERIFY2(numbers[1].toInt() <= 32, numbers[1].constData());
    QVERIFY2(numbers[1].toInt() > 1, "the requests did not run side by side");
    QCOMPARE(numbers[2].toUInt(), count);
}

void TestBridgeProgram::handshake_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("greetFirst");
    QTest::addColumn<ErrorKind>("kind");
    QTest::addColumn<QByteArray>("message");

    QTest::newRow("version mismatch")
        << QByteArray::fromStdString(helloFrame(ProtocolVersion + 1)) << false << ErrorKind::Version
        << QByteArray("the console speaks version " + QByteArray::number(ProtocolVersion + 1) +
                      ", the bridge version " + QByteArray::number(ProtocolVersion));
    QTest::newRow("no protocol at all")
        << QByteArray("Welcome to the shell\n") << false << ErrorKind::Protocol
        << QByteArray("does not speak the bridge protocol");
    QTest::newRow("a request before the Hello")
        << QByteArray::fromStdString(requestFrame(1, run("/etc/init.d/fakesvc", {"status"})))
        << false << ErrorKind::Protocol << QByteArray("must begin with a Hello");
    QTest::newRow("an oversized frame")
        << QByteArray::fromHex("00200000") + QByteArray(64, '\x02') << true << ErrorKind::Protocol
        << QByteArray("exceeds the limit of 1048576 bytes");
}

void TestBridgeProgram::handshake()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, greetFirst);
    QFETCH(ErrorKind, kind);
    QFETCH(QByteArray, message);

    BridgeProcess bridge;
    QVERIFY(bridge.start());
    if (greetFirst)
        QVERIFY(bridge.greet());
    QVERIFY(bridge.send(bytes.toStdString()));
    // The bridge ends the connection by itself, its input still open.
    QVERIFY(bridge.exited(Patience));
    QVERIFY(bridge.exitStatus() != 0);
    QVERIFY(bridge.receivedHello());
    const Answer error = bridge.connectionError();
    QVERIFY(error.isError);
    QCOMPARE(int(error.errorKind), int(kind));
    QVERIFY2(QByteArray::fromStdString(error.message).contains(message), error.message.c_str());
}

void TestBridgeProgram::untrustedPolicy_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QByteArray>("message");

    QTest::newRow("writable by others") << QStringLiteral("chmod 0646") << QByteArray("writable");
    QTest::newRow("writable by its group")
        << QStringLiteral("chmod 0664") << QByteArray("writable");
    QTest::newRow("owned by a user") << QStringLiteral("chown 1000") << QByteArray("user 1000");
}

void TestBridgeProgram::untrustedPolicy()
{
    QFETCH(QString, how);
    QFETCH(QByteArray, message);

    const QByteArray fragment = (PolicyDir + QStringLiteral("/cups.policy")).toLocal8Bit();
    const bool chmodding = how.startsWith(QLatin1String("chmod"));
    const int value = how.section(QLatin1Char(' '), 1).toInt(nullptr, chmodding ? 8 : 10);
    QVERIFY(chmodding ? ::chmod(fragment.constData(), mode_t(value)) == 0
                      : ::chown(fragment.constData(), uid_t(value), gid_t(-1)) == 0);
    BridgeProcess bridge;
    const bool started = bridge.start();
    const bool greeted = started && bridge.greet();
    // The request sent with the Hello is never answered: the whole policy is refused.
    const bool sent =
        greeted && bridge.send(requestFrame(1, run("/etc/init.d/fakesvc", {"status"})));
    const bool exited = bridge.exited(Patience);
    QVERIFY(::chmod(fragment.constData(), 0644) == 0 && ::chown(fragment.constData(), 0, 0) == 0);
    QVERIFY(started && greeted && exited);
    Q_UNUSED(sent);
    QCOMPARE(bridge.exitStatus(), 1);
    const Answer error = bridge.connectionError();
    QCOMPARE(int(error.errorKind), int(ErrorKind::Refused));
    QVERIFY2(error.message.find(fragment.toStdString()) != std::string::npos,
             error.message.c_str());
    QVERIFY2(QByteArray::fromStdString(error.message).contains(message), error.message.c_str());
    QVERIFY(!bridge.answers().count(1) || !bridge.answers()[1].ended);
}

void TestBridgeProgram::callerNotTrusted()
{
    // A descriptor the caller left open, a umask of its own: neither stays with the bridge.
    const int inherited = ::open("/etc/cups/cupsd.conf", O_RDONLY);
    QVERIFY(inherited >= 0);
    BridgeProcess bridge;
    QVERIFY(bridge.start(inherited));
    ::close(inherited);
    QVERIFY(bridge.greet());
    QFile status(QStringLiteral("/proc/%1/status").arg(bridge.pid()));
    QVERIFY(status.open(QIODevice::ReadOnly));
    QVERIFY(status.readAll().contains("Umask:\t0022"));
    const QString fds = QStringLiteral("/proc/%1/fd").arg(bridge.pid());
    for (const QString &fd : QDir(fds).entryList(QDir::System | QDir::NoDotAndDotDot))
        QVERIFY(QFile::symLinkTarget(fds + '/' + fd) != QStringLiteral("/etc/cups/cupsd.conf"));
    bridge.closeInput();
    QVERIFY(bridge.exited(Patience));
    QCOMPARE(bridge.exitStatus(), 0);

    // No arguments either: a sudoers rule that lets some through opens nothing more.
    BridgeProcess withArgument;
    QVERIFY(withArgument.start(-1, "--policy-dir=/var/tmp/bridge-user"));
    QVERIFY(withArgument.exited(Patience));
    QCOMPARE(withArgument.exitStatus(), 2);
}

OXA_TEST_MAIN(TestBridgeProgram)
#include "tst_bridgeprogram.moc"
