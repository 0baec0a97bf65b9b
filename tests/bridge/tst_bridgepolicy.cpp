#include "testowners.h"

#include <bridgepaths.h>
#include <bridgepolicy.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Bridge;

namespace {

/// The policy of the requests below; ROOT stands for the fixture's directory.
const char policyText[] = R"(# the fixture's policy
define <site> file-in ROOT/sites/ "" .conf
run ROOT/prog/tool version <version>
run ROOT/prog/tool name <name>
run ROOT/prog/tool port <port>
run ROOT/prog/tool package <package>
run ROOT/prog/tool site <site>
run ROOT/prog/tool -S -f ROOT/sites/<site>
run ROOT/prog/tool enable <site>...
run ROOT/prog/tool -p <port> <version> <name>
change ROOT/prog/tool start|stop
run ROOT/prog/open
run ROOT/prog/gone
run ROOT/prog/linked
run ROOT/prog/chained
read ROOT/allowed/
deny ROOT/allowed/denied.key
tail ROOT/logs/app.log
list ROOT/allowed/
remove-in ROOT/spool
write ROOT/conf/<version>/<name>/start.conf
test ROOT/allowed/
test ROOT/missing/
)";

bool writeFile(const QString &path, const QByteArray &content, int mode = 0644)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(content) != content.size())
        return false;
    file.close();
    return ::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0;
}

std::string std8(const QString &text)
{
    return text.toStdString();
}

} // namespace

/**
 * The policy: its syntax, the placeholder types, what it admits and refuses (links and ".."
 * leading out of an allowed directory, NUL, removals outside the spool, untrusted programs),
 * the limits, and the trust in its fragments.
 */
class TestBridgePolicy : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void syntax_data();
    void syntax();
    void placeholders_data();
    void placeholders();
    void requests_data();
    void requests();
    void openResolved_data();
    void openResolved();
    void limits();
    void fragments_data();
    void fragments();

private:
    QString path(const QString &relative) const { return m_root + QLatin1Char('/') + relative; }

    QTemporaryDir m_dir;
    QString m_root;
    Policy m_policy;
};

void TestBridgePolicy::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_root = QFileInfo(m_dir.path()).canonicalFilePath();
    QCOMPARE(::chmod(QFile::encodeName(m_root).constData(), 0755), 0);
    for (const char *file :
         {"allowed/a.conf", "allowed/sub/b.conf", "allowed/denied.key", "secret/key",
          "logs/app.log", "logs/other.log", "spool/job1", "other/x", "conf/15/main/start.conf",
          "sites/site1.conf", "sites/plain", "sites/.hidden", "sites/-f", "sites/dir/x"})
        QVERIFY(writeFile(path(QLatin1String(file)), "content\n"));
    QVERIFY(writeFile(path(QStringLiteral("prog/tool")), "#!/bin/sh\nexit 0\n", 0755));
    QVERIFY(writeFile(path(QStringLiteral("prog/open")), "#!/bin/sh\nexit 0\n", 0777));
    QVERIFY(QDir().mkpath(path(QStringLiteral("spool/subdir"))));
    QVERIFY(QDir().mkpath(path(QStringLiteral("open"))));
    QCOMPARE(::chmod(QFile::encodeName(path(QStringLiteral("open"))).constData(), 0777), 0);
    const struct
    {
        const char *link;
        const char *target;
    } links[] = {{"allowed/link-out", "../secret/key"},
                 {"allowed/link-in", "a.conf"},
                 {"allowed/link-denied", "denied.key"},
                 {"allowed/dangling", "nowhere"},
                 {"allowed/dir-out", "../secret"},
                 {"alias", "allowed"},
                 {"spool-link", "spool"},
                 {"other-spool", "other"},
                 {"prog/linked", "tool"},
                 {"prog/chained", "../open/hop"},
                 {"open/hop", "../prog/tool"}};
    for (const auto &link : links)
        QVERIFY(QFile::link(QLatin1String(link.target), path(QLatin1String(link.link))));

    std::string error;
    m_policy.setTrustedOwners(testOwners());
    QString text = QString::fromLatin1(policyText);
    text.replace(QLatin1String("ROOT"), m_root);
    QVERIFY2(m_policy.parse({{"fixture.policy", std8(text)}}, &error), error.c_str());
    QCOMPARE(m_policy.ruleCount(), size_t(22));
}

void TestBridgePolicy::syntax_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("error");
    QTest::newRow("comments, blanks and quotes")
        << "  # nothing\n\nrun /bin/x \"a b\" \"\\x41\\t\\\"\" # a comment\n"
        << QString();
    QTest::newRow("unknown rule") << "allow /etc/x"
                                  << "fixture.policy:1: unknown rule \"allow\"";
    QTest::newRow("line number") << "read /etc/x\n\nread etc/x"
                                 << "fixture.policy:3: the path must be an absolute path";
    QTest::newRow("dot dot") << "read /etc/../shadow"
                             << "\".\" or \"..\" component";
    QTest::newRow("relative program") << "run true"
                                      << "the program must be an absolute path";
    QTest::newRow("program directory") << "run /usr/bin/"
                                       << "is a directory";
    QTest::newRow("unknown placeholder") << "run /bin/x <nosuch>"
                                         << "unknown placeholder <nosuch>";
    QTest::newRow("placeholders side by side") << "run /bin/x <version><name>"
                                               << "side by side";
    QTest::newRow("lone <") << "run /bin/x a<b"
                            << "without its \">\"";
    QTest::newRow("lone >") << "run /bin/x a>b"
                            << "without its \"<\"";
    QTest::newRow("repeat before the end") << "run /bin/x <name>... -x"
                                           << "only the last word may repeat";
    QTest::newRow("empty alternative") << "run /bin/x start||stop"
                                       << "empty alternative";
    QTest::newRow("open quote") << "run /bin/x \"abc"
                                << "closing quote";
    QTest::newRow("backslash unquoted") << "run /bin/x a\\nb"
                                        << "backslash inside a word";
    QTest::newRow("NUL escape") << "run /bin/x \"a\\x00\""
                                << "NUL byte";
    QTest::newRow("carriage return") << "read /etc/x\r\n"
                                     << "control character";
    QTest::newRow("list without slash") << "list /etc/cups"
                                        << "with a final \"/\"";
    QTest::newRow("remove-in a tree") << "remove-in /var/spool/cups/"
                                      << "without a final \"/\"";
    QTest::newRow("write a directory") << "write /etc/"
                                       << "one file";
    QTest::newRow("deny with placeholder") << "deny /etc/<version>"
                                           << "must be a plain path";
    QTest::newRow("tree with placeholder") << "read /etc/<version>/"
                                           << "names one file";
    QTest::newRow("bad limit value") << "limit output lots"
                                     << "no number";
    QTest::newRow("zero limit") << "limit read-time 0"
                                << "out of range";
    QTest::newRow("unknown limit") << "limit children 5"
                                   << "unknown limit";
    QTest::newRow("define a built-in") << "define <version> file-in /x/"
                                       << "(built in)";
    QTest::newRow("define twice")
        << "define <s> file-in /x/\ndefine <s> file-in /y/"
        << "fixture.policy:2: <s> is defined already (at fixture.policy:1)";
    QTest::newRow("define without slash") << "define <s> file-in /x"
                                          << "final \"/\"";
    QTest::newRow("suffix with slash") << "define <s> file-in /x/ a/b"
                                       << "without \"/\"";
}

void TestBridgePolicy::syntax()
{
    QFETCH(QString, text);
    QFETCH(QString, error);
    Policy policy;
    std::string why;
    const bool parsed = policy.parse({{"fixture.policy", std8(text)}}, &why);
    QCOMPARE(parsed, error.isEmpty());
    if (parsed)
        return;
    QVERIFY2(why.find("refused as a whole") != std::string::npos, why.c_str());
    QVERIFY2(why.find(std8(error)) != std::string::npos, why.c_str());
    QCOMPARE(policy.ruleCount(), size_t(0));
}

void TestBridgePolicy::placeholders_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("allowed");
    const auto row = [](const char *name, const QStringList &arguments, bool allowed) {
        QTest::newRow(name) << arguments << allowed;
    };
    row("version", {"version", "15"}, true);
    row("version with dots", {"version", "9.6.24"}, true);
    row("version with an empty part", {"version", "9..6"}, false);
    row("version with a letter", {"version", "15a"}, false);
    row("name", {"name", "main_2-b.x"}, true);
    row("name as an option", {"name", "-o"}, false);
    row("hidden name", {"name", ".x"}, false);
    row("name with a slash", {"name", "a/b"}, false);
    row("empty name", {"name", ""}, false);
    row("port", {"port", "5432"}, true);
    row("port 0", {"port", "0"}, false);
    row("port too high", {"port", "65536"}, false);
    row("port with a leading zero", {"port", "05432"}, false);
    row("package", {"package", "libc6:amd64"}, true);
    row("package pattern", {"package", "postgresql-[0123456789]*"}, true);
    row("package as an option", {"package", "--admindir=/tmp"}, false);
    row("package in capitals", {"package", "Samba"}, false);
    row("site file", {"site", "site1.conf"}, true);
    row("site by suffix", {"site", "site1"}, true);
    row("site without suffix", {"site", "plain"}, true);
    row("missing site", {"site", "none"}, false);
    row("hidden site", {"site", ".hidden"}, false);
    row("site as an option", {"site", "-f"}, false);
    row("site that is a directory", {"site", "dir"}, false);
    row("site with a wildcard", {"site", "site*"}, false);
    row("site out of its directory", {"site", "../secret/key"}, false);
    row("site path in a word", {"-S", "-f", "ROOT/sites/plain"}, true);
    row("user's file in a word", {"-S", "-f", "ROOT/secret/key"}, false);
    row("several sites", {"enable", "site1", "plain"}, true);
    row("several sites, one missing", {"enable", "site1", "none"}, false);
    row("repeated word needs one", {"enable"}, false);
    row("cluster creation", {"-p", "5433", "15", "main"}, true);
    // pg_createcluster's -o hands an option to the server: it is no version.
    row("cluster creation with -o", {"-o", "x=y", "15", "main"}, false);
    row("one argument more", {"version", "15", "16"}, false);
    row("alternative", {"start"}, false); // a change, asked for as a read
}

void TestBridgePolicy::placeholders()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, allowed);
    Request request;
    request.path = std8(path(QStringLiteral("prog/tool")));
    for (QString argument : arguments)
        request.arguments.push_back(std8(argument.replace(QLatin1String("ROOT"), m_root)));
    const Decision decision = m_policy.check(request);
    QVERIFY2(decision.allowed() == allowed, decision.message.c_str());
    if (!allowed)
        QVERIFY2(decision.message.find("Refused: " + describe(request) + ": ") == 0,
                 decision.message.c_str());
}

void TestBridgePolicy::requests_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("change");
    QTest::addColumn<int>("verdict");
    QTest::addColumn<QString>("message"); // allowed: the path acted on; else part of the message
    const int run = int(Operation::Run);
    const int read = int(Operation::ReadFile);
    const int tail = int(Operation::Tail);
    const int list = int(Operation::List);
    const int remove = int(Operation::RemoveIn);
    const int write = int(Operation::Write);
    const int test = int(Operation::Test);
    const int ok = Decision::Allowed;
    const int no = Decision::Refused;
    const int failed = Decision::Failed;
    const auto row = [](const char *name, int op, const QString &path, const QStringList &args,
                        bool change, int verdict, const QString &message) {
        QTest::newRow(name) << op << path << args << change << verdict << message;
    };
    row("read a file", read, "allowed/a.conf", {}, false, ok, "allowed/a.conf");
    row("read deeper", read, "allowed/sub/b.conf", {}, false, ok, "allowed/sub/b.conf");
    row("read through a link in", read, "allowed/link-in", {}, false, ok, "allowed/a.conf");
    row("read through a directory link", read, "alias/sub/b.conf", {}, false, ok,
        "allowed/sub/b.conf");
    row("read with ..", read, "allowed/../secret/key", {}, false, no, "\"..\" component");
    row("read a link leading out", read, "allowed/link-out", {}, false, no,
        "no rule of the policy admits it (the path resolves to ROOT/secret/key)");
    row("read through a directory link leading out", read, "allowed/dir-out/key", {}, false, no,
        "resolves to ROOT/secret/key");
    row("read a denied file", read, "allowed/denied.key", {}, false, no,
        "denied by fixture.policy:17");
    row("read a link to a denied file", read, "allowed/link-denied", {}, false, no, "denied by");
    row("read with NUL", read, QStringLiteral("allowed/a.conf") + QChar(0) + "x", {}, false, no,
        "a path with a NUL byte");
    row("read a relative path", read, "=allowed/a.conf", {}, false, no, "a relative path");
    row("read an empty path", read, "=", {}, false, no, "an empty path");
    row("read outside", read, "other/x", {}, false, no, "no rule of the policy admits it");
    row("read a dangling link", read, "allowed/dangling", {}, false, failed,
        "No such file or directory");
    row("read below a missing directory", read, "allowed/none/x", {}, false, failed,
        "No such file or directory");
    row("read below a missing directory outside", read, "none/x", {}, false, no, "no rule");
    row("tail a log", tail, "logs/app.log", {}, false, ok, "logs/app.log");
    row("tail a readable file", tail, "allowed/a.conf", {}, false, ok, "allowed/a.conf");
    row("read a log only to be tailed", read, "logs/app.log", {}, false, no, "no rule");
    row("tail another log", tail, "logs/other.log", {}, false, no, "no rule");
    row("list", list, "allowed", {}, false, ok, "allowed");
    row("list deeper", list, "allowed/sub/", {}, false, ok, "allowed/sub");
    row("list a link leading out", list, "allowed/dir-out", {}, false, no, "resolves to");
    row("remove in the spool", remove, "spool", {"job1", "subdir"}, false, ok, "spool");
    row("remove through a link to the spool", remove, "spool-link", {"job1"}, false, ok, "spool");
    row("remove in a link to elsewhere", remove, "other-spool", {"x"}, false, no,
        "resolves to ROOT/other");
    row("remove outside the spool", remove, "other", {"x"}, false, no, "no rule");
    row("remove below the spool", remove, "spool/subdir", {"x"}, false, no, "no rule");
    row("remove with ..", remove, "spool", {"job1", ".."}, false, no, "the name \"..\"");
    row("remove a path", remove, "spool", {"../other/x"}, false, no, "a name with a \"/\"");
    row("remove nothing", remove, "spool", {}, false, no, "no names");
    row("write start.conf", write, "conf/15/main/start.conf", {}, false, ok,
        "conf/15/main/start.conf");
    row("write another file", write, "conf/15/main/postgresql.conf", {}, false, no, "no rule");
    row("write for an option", write, "conf/15/-o/start.conf", {}, false, no, "no rule");
    row("test below a prefix", test, "allowed/nothing", {}, false, ok, "allowed/nothing");
    row("test a missing directory", test, "missing/x", {}, false, failed, "No such file");
    row("test elsewhere", test, "other/x", {}, false, no, "no rule");
    row("run a change", run, "prog/tool", {"stop"}, true, ok, "prog/tool");
    row("run a read as a change", run, "prog/tool", {"version", "15"}, true, no,
        "the policy admits it only as a read-only run");
    row("run a user's file", run, "prog/tool", {"-S", "-f", "/home/user/evil.conf"}, false, no,
        "Refused: run ROOT/prog/tool -S -f /home/user/evil.conf: no rule of the policy admits it");
    row("run a program others may change", run, "prog/open", {}, false, no,
        "ROOT/prog/open is writable by group or others (mode 0777)");
    row("run through a link", run, "prog/linked", {}, false, ok, "prog/linked");
    // Whoever may write where a link on the way lies could point it at any program.
    row("run through a link in an open directory", run, "prog/chained", {}, false, no,
        "ROOT/open is writable by group or others (mode 0777)");
    row("run a missing program", run, "prog/gone", {}, false, failed, "No such file");
    row("run an unknown program", run, "=/usr/bin/systemctl", {"link", "/home/user/x.service"},
        false, no, "Refused: run /usr/bin/systemctl link /home/user/x.service: no rule");
    row("run with NUL", run, "prog/tool", {QStringLiteral("version") + QChar(0)}, false, no,
        "an argument with a NUL byte");
}

void TestBridgePolicy::requests()
{
    QFETCH(int, operation);
    QFETCH(QString, path);
    QFETCH(QStringList, arguments);
    QFETCH(bool, change);
    QFETCH(int, verdict);
    QFETCH(QString, message);
    Request request;
    request.operation = Operation(operation);
    // "=" marks a path taken as it is; any other is below the fixture's directory.
    request.path = std8(path.startsWith(QLatin1Char('=')) ? path.mid(1) : this->path(path));
    for (const QString &argument : arguments)
        request.arguments.push_back(std8(argument));
    request.change = change;
    request.content = "auto\n";
    const Decision decision = m_policy.check(request);
    QVERIFY2(decision.verdict == verdict, decision.message.c_str());
    message.replace(QLatin1String("ROOT"), m_root);
    if (verdict == Decision::Allowed) {
        QCOMPARE(QString::fromStdString(decision.path), this->path(message));
        const bool changes =
            operation == int(Operation::RemoveIn) || operation == int(Operation::Write) || change;
        QCOMPARE(decision.change, changes);
        QVERIFY(decision.rule.find("fixture.policy:") == 0);
        return;
    }
    QVERIFY2(decision.message.find(std8(message)) != std::string::npos, decision.message.c_str());
    if (verdict == Decision::Refused)
        QVERIFY2(decision.message.find("Refused: " + describe(request) + ": ") == 0,
                 decision.message.c_str());
}

void TestBridgePolicy::openResolved_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("error");
    QTest::newRow("file") << "allowed/a.conf" << 0;
    QTest::newRow("directory") << "allowed/sub" << 0;
    QTest::newRow("link as the file") << "allowed/link-in" << ELOOP;
    QTest::newRow("link on the way") << "alias/a.conf" << ENOTDIR;
    QTest::newRow("missing") << "allowed/none" << ENOENT;
}

void TestBridgePolicy::openResolved()
{
    // What the policy resolved is opened as it was checked: a link found there now (swapped in
    // since by whoever may write the directory) leads nowhere.
    QFETCH(QString, path);
    QFETCH(int, error);
    int why = -1;
    const int fd = Paths::openResolved(std8(this->path(path)), O_RDONLY, &why);
    QCOMPARE(why, error);
    QCOMPARE(fd >= 0, error == 0);
    if (fd >= 0)
        ::close(fd);
}

void TestBridgePolicy::limits()
{
    std::string error;
    Policy policy;
    policy.setTrustedOwners(testOwners());
    // The first fragment that names a limit sets it; later ones only lower it.
    const std::string rules = "run " + std8(path(QStringLiteral("prog/tool"))) + "\nchange " +
                              std8(path(QStringLiteral("prog/tool"))) + " x\n" + "tail " +
                              std8(path(QStringLiteral("logs/app.log"))) + "\n" + "write " +
                              std8(path(QStringLiteral("conf/15/main/start.conf")));
    QVERIFY2(policy.parse({{"a.policy", rules + "\nlimit read-time 10\nlimit output 2M\n"},
                           {"b.policy", "limit output 1M\nlimit tail-lines 50\nlimit write 4"},
                           {"c.policy", "limit output 8M\nlimit read-time 20"}},
                          &error),
             error.c_str());
    QCOMPARE(policy.limits().readTimeMs, 10000u);
    QCOMPARE(policy.limits().outputBytes, uint64_t(1024 * 1024));
    QCOMPARE(policy.limits().changeTimeMs, Limits().changeTimeMs);

    Request run;
    run.path = std8(path(QStringLiteral("prog/tool")));
    const struct
    {
        bool change;
        uint32_t time;
        uint64_t bytes;
        uint32_t clampedTime;
        uint64_t clampedBytes;
        uint64_t clampedErrorBytes;
    } rows[] = {
        {false, 0, 0, 10000, 1024 * 1024, 64 * 1024},                     // the policy's
        {false, 500, 100, 500, 100, 100},                                 // lower: kept
        {false, 99999, uint64_t(1) << 40, 10000, 1024 * 1024, 64 * 1024}, // clamped
        {true, 0, 0, 600000, 1024 * 1024, 64 * 1024}, // a change's own time limit
    };
    for (const auto &row : rows) {
        run.change = row.change;
        run.arguments = row.change ? std::vector<std::string>{"x"} : std::vector<std::string>{};
        run.timeLimitMs = row.time;
        run.byteLimit = row.bytes;
        const Decision decision = policy.check(run);
        QVERIFY2(decision.allowed(), decision.message.c_str());
        QCOMPARE(decision.timeLimitMs, row.clampedTime);
        QCOMPARE(decision.byteLimit, row.clampedBytes);
        QCOMPARE(decision.errorByteLimit, row.clampedErrorBytes);
    }
    Request tail;
    tail.operation = Operation::Tail;
    tail.path = std8(path(QStringLiteral("logs/app.log")));
    tail.lines = 1000;
    const Decision tailed = policy.check(tail);
    QVERIFY2(tailed.allowed(), tailed.message.c_str());
    QCOMPARE(tailed.lines, 50u);
    QCOMPARE(tailed.byteLimit, Limits().tailBytes);
    Request write;
    write.operation = Operation::Write;
    write.path = std8(path(QStringLiteral("conf/15/main/start.conf")));
    write.content = "auto";
    QVERIFY(policy.check(write).allowed());
    write.content = "manual";
    const Decision tooLong = policy.check(write);
    QVERIFY(!tooLong.allowed());
    QVERIFY2(tooLong.message.find("6 bytes, more than the policy's limit of 4") !=
                 std::string::npos,
             tooLong.message.c_str());
}

void TestBridgePolicy::fragments_data()
{
    QTest::addColumn<QString>("kind");
    // Empty: it loads. FRAGMENTS stands for the directory, PARENT for the one above it.
    QTest::addColumn<QString>("error");
    QTest::newRow("good") << "good" << QString();
    QTest::newRow("other files ignored") << "ignored" << QString();
    QTest::newRow("fragment writable by others")
        << "fragment 0666"
        << "FRAGMENTS/b.policy is writable by group or others (mode 0666)";
    QTest::newRow("fragment writable by group")
        << "fragment 0664"
        << "FRAGMENTS/b.policy is writable by group or others (mode 0664)";
    QTest::newRow("directory writable by others")
        << "directory 0777"
        << "FRAGMENTS is writable by group or others (mode 0777)";
    QTest::newRow("directory sticky and writable")
        << "directory 1777"
        << "FRAGMENTS is writable by group or others (mode 1777)";
    QTest::newRow("parent writable by group")
        << "parent 0775"
        << "PARENT is writable by group or others (mode 0775)";
    QTest::newRow("parent sticky") << "parent 1777" << QString();
    QTest::newRow("fragment a link") << "link"
                                     << "FRAGMENTS/b.policy is a symbolic link";
    QTest::newRow("fragment a directory") << "directory fragment"
                                          << "FRAGMENTS/b.policy is not a regular file";
    QTest::newRow("fragment of another user") << "foreign fragment"
                                              << "FRAGMENTS/b.policy is owned by user 65534";
    QTest::newRow("directory of another user") << "foreign directory"
                                               << "FRAGMENTS is owned by user 65534";
    QTest::newRow("no fragments") << "empty"
                                  << "no fragment (*.policy) in FRAGMENTS";
    QTest::newRow("syntax error in one") << "syntax"
                                         << "FRAGMENTS/b.policy:2: unknown rule";
    QTest::newRow("missing directory") << "missing"
                                       << "FRAGMENTS: No such file or directory";
}

void TestBridgePolicy::fragments()
{
    QFETCH(QString, kind);
    QFETCH(QString, error);
    if (kind.startsWith(QLatin1String("foreign")) && ::geteuid() != 0)
        QSKIP("giving a file to another user needs root");
    QTemporaryDir parent;
    QVERIFY(parent.isValid());
    QCOMPARE(::chmod(QFile::encodeName(parent.path()).constData(), 0755), 0);
    const QString directory = QFileInfo(parent.path()).canonicalFilePath() + "/bridge.d";
    const QByteArray dir = QFile::encodeName(directory);
    const std::string readRule = "read " + std8(path(QStringLiteral("allowed/a.conf"))) + "\n";
    if (kind != QLatin1String("missing"))
        QCOMPARE(::mkdir(dir.constData(), 0755), 0);
    if (kind != QLatin1String("empty") && kind != QLatin1String("missing")) {
        QVERIFY(writeFile(directory + "/a.policy", QByteArray::fromStdString(readRule)));
        QVERIFY(writeFile(directory + "/b.policy", kind == QLatin1String("syntax")
                                                       ? "# fine\nallow everything\n"
                                                       : "limit read 1K\n"));
    }
    if (kind == QLatin1String("ignored")) {
        QVERIFY(writeFile(directory + "/README", "not a fragment", 0666));
        QVERIFY(writeFile(directory + "/.hidden.policy", "garbage", 0666));
        QVERIFY(writeFile(directory + "/c.policy.dpkg-old", "garbage", 0666));
    } else if (kind.startsWith(QLatin1String("fragment 0"))) {
        QCOMPARE(::chmod(QFile::encodeName(directory + "/b.policy").constData(),
                         mode_t(kind.mid(9).toInt(nullptr, 8))),
                 0);
    } else if (kind.startsWith(QLatin1String("directory ")) && kind != "directory fragment") {
        QCOMPARE(::chmod(dir.constData(), mode_t(kind.mid(10).toInt(nullptr, 8))), 0);
    } else if (kind.startsWith(QLatin1String("parent "))) {
        QCOMPARE(::chmod(QFile::encodeName(parent.path()).constData(),
                         mode_t(kind.mid(7).toInt(nullptr, 8))),
                 0);
    } else if (kind == QLatin1String("link")) {
        QVERIFY(QFile::rename(directory + "/b.policy", directory + "/real"));
        QVERIFY(QFile::link(QStringLiteral("real"), directory + "/b.policy"));
    } else if (kind == QLatin1String("directory fragment")) {
        QVERIFY(QFile::remove(directory + "/b.policy"));
        QCOMPARE(::mkdir(QFile::encodeName(directory + "/b.policy").constData(), 0755), 0);
    } else if (kind == QLatin1String("foreign fragment")) {
        QCOMPARE(::chown(QFile::encodeName(directory + "/b.policy").constData(), 65534, 65534), 0);
    } else if (kind == QLatin1String("foreign directory")) {
        QCOMPARE(::chown(dir.constData(), 65534, 65534), 0);
    }

    Policy policy;
    // Root only: the temporary files of a test run as root are root's.
    policy.setTrustedOwners({0, ::geteuid()});
    std::string why;
    const bool loaded = policy.load(std8(directory), &why);
    Request read;
    read.operation = Operation::ReadFile;
    read.path = std8(path(QStringLiteral("allowed/a.conf")));
    // All or nothing: a refused policy admits not even the good fragment's rules.
    QCOMPARE(policy.check(read).allowed(), loaded);
    QCOMPARE(loaded, error.isEmpty());
    if (loaded) {
        QCOMPARE(policy.limits().readBytes, uint64_t(1024));
        return;
    }
    error.replace(QLatin1String("FRAGMENTS"), directory);
    error.replace(QLatin1String("PARENT"), QFileInfo(directory).path());
    QVERIFY2(why.find("The bridge's policy is refused as a whole: " + std8(error)) == 0,
             why.c_str());
}

QTEST_MAIN(TestBridgePolicy)
#include "tst_bridgepolicy.moc"
