#include "testhost.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>
#include <sys/stat.h>

namespace {

struct Run
{
    bool finished = false;
    QProcess::ExitStatus exitStatus = QProcess::NormalExit;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run run(const QString &program, const QStringList &arguments)
{
    Run result;
    QProcess process;
    process.start(program, arguments, QIODevice::ReadOnly);
    result.finished = process.waitForFinished(30000);
    if (!result.finished)
        process.kill();
    result.exitStatus = process.exitStatus();
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int modeOf(const QString &path)
{
    struct stat st;
    return lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

bool hasOwnMounts()
{
    return readFile(QStringLiteral("/proc/self/mountinfo")).contains(" oxa-testhost ");
}

const QString statusQueryFormat =
    QStringLiteral("--showformat=${db:Status-Abbrev}${binary:Package} ${Version}\n");

} // namespace

/** Checks the disposable test host: isolation from the machine, scripts, tools, packages. */
class TestTestHost : public QObject
{
    Q_OBJECT

private slots:
    void writtenFilesStayInside_data();
    void writtenFilesStayInside();
    void writtenFilesAreGoneInNextCase_data();
    void writtenFilesAreGoneInNextCase();
    void machineFilesCanBeHidden();
    void bootLayoutIsTheTests();
    void refusesPathsOutsideHost_data();
    void refusesPathsOutsideHost();
    void neverWritesThroughLinksLeadingOut();
    void followsLinksThatStayInside();
    void copyTreeKeepsModesAndLinks();

    void statusScriptReturnsExitCode_data();
    void statusScriptReturnsExitCode();
    void outputScriptPrintsExactly_data();
    void outputScriptPrintsExactly();
    void scriptGetsArguments();
    void crashingScriptCrashes();
    void hangingScriptCanBeKilled();
    void toolsTakeTheProgramsPlace_data();
    void toolsTakeTheProgramsPlace();
    void addsUsers();

    void dpkgQuerySeesPackages_data();
    void dpkgQuerySeesPackages();
    void dpkgQueryOnWorkerThread();
    void machinePackageDatabase();
    void rejectsBadPackageRequests_data();
    void rejectsBadPackageRequests();

    void onlyOneHostAtATime();
    void busyMountsAreDetached();
    void mustRunUnderCi_data();
    void mustRunUnderCi();
    void withoutNamespaceSkipsOrFails_data();
    void withoutNamespaceSkipsOrFails();
};

void TestTestHost::writtenFilesStayInside_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("newTop");
    QTest::newRow("etc") << QStringLiteral("/etc/oxa-testhost-probe/smb.conf")
                         << QStringLiteral("/etc/oxa-testhost-probe");
    QTest::newRow("var") << QStringLiteral("/var/lib/oxa-testhost-probe/state")
                         << QStringLiteral("/var/lib/oxa-testhost-probe");
    QTest::newRow("usr/share")
        << QStringLiteral("/usr/share/vell/data/oxa-service-packages-plugin/ServiceSamba")
        << QStringLiteral("/usr/share/vell/data/oxa-service-packages-plugin");
    QTest::newRow("usr/bin") << QStringLiteral("/usr/bin/oxa-testhost-probe")
                             << QStringLiteral("/usr/bin/oxa-testhost-probe");
    QTest::newRow("usr/sbin") << QStringLiteral("/usr/sbin/oxa-testhost-probe/tool")
                              << QStringLiteral("/usr/sbin/oxa-testhost-probe");
    // A merged /usr: /bin leads to /usr/bin, and what is written through it lands there.
    if (QFileInfo(QStringLiteral("/bin")).isSymLink() &&
        QFileInfo(QStringLiteral("/bin")).canonicalFilePath() == QLatin1String("/usr/bin"))
        QTest::newRow("bin, a link") << QStringLiteral("/bin/oxa-testhost-probe")
                                     << QStringLiteral("/usr/bin/oxa-testhost-probe");
}

void TestTestHost::writtenFilesStayInside()
{
    QFETCH(QString, path);
    QFETCH(QString, newTop);
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);

    QVERIFY(host.writeFile(path, "written by the test\n", 0600));
    QCOMPARE(readFile(path), QByteArray("written by the test\n"));
    QCOMPARE(modeOf(path), 0600);

    // Seen from the namespace the process started in, i.e. the real machine.
    QCOMPARE(TestHost::machinePathState(path), TestHost::MachinePathMissing);
    QCOMPARE(TestHost::machinePathState(newTop), TestHost::MachinePathMissing);
    QByteArray content;
    QCOMPARE(TestHost::machinePathState(QStringLiteral("/etc/passwd"), &content),
             TestHost::MachinePathExists);
    QVERIFY(content.startsWith("root:"));
}

void TestTestHost::writtenFilesAreGoneInNextCase_data()
{
    writtenFilesStayInside_data();
}

void TestTestHost::writtenFilesAreGoneInNextCase()
{
    QFETCH(QString, path);
    QFETCH(QString, newTop);
    // The previous case's host is gone: this is the machine's own view again.
    QVERIFY(!QFileInfo::exists(path));
    QVERIFY(!QFileInfo::exists(newTop));
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(!QFileInfo::exists(path));
    QVERIFY(!QFileInfo::exists(newTop));
}

void TestTestHost::machineFilesCanBeHidden()
{
    const QString file = QStringLiteral("/etc/debian_version");
    const QString directory = QStringLiteral("/usr/share/doc");
    if (!QFileInfo::exists(file) || !QFileInfo(directory).isDir())
        QSKIP("not a Debian machine");
    const QByteArray original = readFile(file);
    {
        TestHost host;
        OXA_REQUIRE_TEST_HOST(host);
        QVERIFY(host.removePath(file));
        QVERIFY(host.removePath(directory));
        QVERIFY(!QFileInfo::exists(file));
        QVERIFY(!QFileInfo::exists(directory));
        // Removing what is not there is no failure: the wanted state holds.
        QVERIFY(host.removePath(file));
        QVERIFY(host.removePath(QStringLiteral("/etc/oxa-testhost-none/deeper/file")));
        QVERIFY(host.writeFile(file, "changed\n"));
        QCOMPARE(readFile(file), QByteArray("changed\n"));

        QByteArray onMachine;
        QCOMPARE(TestHost::machinePathState(file, &onMachine), TestHost::MachinePathExists);
        QCOMPARE(onMachine, original);
        QCOMPARE(TestHost::machinePathState(directory), TestHost::MachinePathExists);
    }
    QCOMPARE(readFile(file), original);
    QVERIFY(QFileInfo(directory).isDir());
}

void TestTestHost::bootLayoutIsTheTests()
{
    const QString marker = QStringLiteral("/run/systemd/system");
    const TestHost::MachinePathState machine = TestHost::machinePathState(marker);
    const bool booted = QFileInfo(marker).isDir();
    {
        TestHost host;
        OXA_REQUIRE_TEST_HOST(host);
        // Whatever the machine is: not booted with systemd, and no script starts at boot.
        QVERIFY(!QFileInfo::exists(marker));
        for (int level = 2; level <= 5; ++level) {
            const QDir rc(QStringLiteral("/etc/rc%1.d").arg(level));
            QVERIFY(rc.exists());
            QCOMPARE(rc.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
                     QStringList());
        }
        for (bool wanted : {true, false, true}) {
            QVERIFY2(host.setSystemdBooted(wanted), qPrintable(host.errorString()));
            QCOMPARE(QFileInfo(marker).isDir(), wanted);
            QCOMPARE(TestHost::machinePathState(marker), machine);
        }
    }
    QCOMPARE(QFileInfo(marker).isDir(), booted);
}

void TestTestHost::refusesPathsOutsideHost_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("isDirectory");
    QTest::newRow("other directory") << QStringLiteral("/usr/lib/oxa-testhost-probe") << false;
    QTest::newRow("relative") << QStringLiteral("etc/oxa-testhost-probe") << false;
    QTest::newRow("dot-dot out") << QStringLiteral("/etc/../usr/lib/oxa-testhost-probe") << false;
    QTest::newRow("similar prefix") << QStringLiteral("/usr/sharewhat/oxa-testhost-probe") << false;
    QTest::newRow("overlay top itself") << QStringLiteral("/var") << true;
    QTest::newRow("program overlay top itself") << QStringLiteral("/usr/sbin") << true;
    QTest::newRow("above an overlay") << QStringLiteral("/usr") << true;
    if (QFileInfo(QStringLiteral("/var/run")).isSymLink() &&
        !QFileInfo(QStringLiteral("/var/run"))
             .canonicalFilePath()
             .startsWith(QLatin1String("/var/")))
        QTest::newRow("machine link leading out")
            << QStringLiteral("/var/run/oxa-testhost.pid") << false;
}

void TestTestHost::refusesPathsOutsideHost()
{
    QFETCH(QString, path);
    QFETCH(bool, isDirectory);
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);

    QVERIFY(!host.writeFile(path, "x"));
    QVERIFY(!host.errorString().isEmpty());
    QVERIFY(!host.writeScript(path, QStringLiteral("exit 0")));
    QVERIFY(!host.writeSymlink(path, QStringLiteral("/etc")));
    QVERIFY(!host.removePath(path));
    // A directory that is there already may be "made"; nothing else may.
    QCOMPARE(host.mkdir(path), isDirectory);
    QCOMPARE(QFileInfo(QDir(QStringLiteral("/")).absoluteFilePath(path)).isDir(), isDirectory);
}

void TestTestHost::neverWritesThroughLinksLeadingOut()
{
    // A real directory outside the overlays, as the machine has /run behind /var/run.
    QTemporaryDir outside;
    QVERIFY(outside.isValid());
    const QString victim = outside.filePath(QStringLiteral("victim"));
    {
        QFile file(victim);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("original");
    }

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeSymlink(QStringLiteral("/etc/oxa-out-dir"), outside.path()));
    QVERIFY(host.writeSymlink(QStringLiteral("/etc/oxa-out-file"), victim));

    QVERIFY(!host.writeFile(QStringLiteral("/etc/oxa-out-dir/new"), "x"));
    QVERIFY(!host.mkdir(QStringLiteral("/etc/oxa-out-dir/sub/deeper")));
    QVERIFY(!host.removePath(QStringLiteral("/etc/oxa-out-dir/victim")));
    QVERIFY(!host.removePath(victim));
    QVERIFY(!host.writeFile(victim, "x"));
    QVERIFY(!QFileInfo::exists(outside.filePath(QStringLiteral("new"))));
    QVERIFY(!QFileInfo::exists(outside.filePath(QStringLiteral("sub"))));

    // The link itself is replaced, its target stays as it was.
    QVERIFY(host.writeFile(QStringLiteral("/etc/oxa-out-file"), "replaced"));
    QVERIFY(!QFileInfo(QStringLiteral("/etc/oxa-out-file")).isSymLink());
    QCOMPARE(readFile(QStringLiteral("/etc/oxa-out-file")), QByteArray("replaced"));
    QCOMPARE(readFile(victim), QByteArray("original"));

    QVERIFY(host.removePath(QStringLiteral("/etc/oxa-out-dir")));
    QVERIFY(!QFileInfo(QStringLiteral("/etc/oxa-out-dir")).isSymLink());
    QCOMPARE(readFile(victim), QByteArray("original"));
}

void TestTestHost::followsLinksThatStayInside()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.mkdir(QStringLiteral("/var/lib/oxa-inner-target")));
    QVERIFY(host.writeSymlink(QStringLiteral("/etc/oxa-inner"),
                              QStringLiteral("../var/lib/oxa-inner-target")));
    QVERIFY(host.writeFile(QStringLiteral("/etc/oxa-inner/conf"), "inside"));
    QCOMPARE(readFile(QStringLiteral("/var/lib/oxa-inner-target/conf")), QByteArray("inside"));
    QVERIFY(QFileInfo(QStringLiteral("/etc/oxa-inner")).isSymLink());
}

void TestTestHost::copyTreeKeepsModesAndLinks()
{
    QTemporaryDir source;
    QVERIFY(source.isValid());
    const QDir root(source.path());
    const auto put = [&](const QString &relative, const QByteArray &content, int mode) {
        QVERIFY(root.mkpath(QFileInfo(relative).path()));
        QFile file(root.filePath(relative));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        QVERIFY(chmod(QFile::encodeName(file.fileName()).constData(), mode_t(mode)) == 0);
    };
    put(QStringLiteral("etc/oxa-tree/tree.conf"), "[global]\n", 0644);
    put(QStringLiteral("etc/init.d/oxa-tree"), "#!/bin/sh\nexit 3\n", 0755);
    put(QStringLiteral("usr/share/vell/oxa-tree/secret"), "s", 0600);
    QVERIFY(root.mkpath(QStringLiteral("var/lib/oxa-tree/empty")));
    QVERIFY(QFile::link(QStringLiteral("tree.conf"),
                        root.filePath(QStringLiteral("etc/oxa-tree/current.conf"))));

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.copyTree(source.path(), QStringLiteral("/")));
    QCOMPARE(readFile(QStringLiteral("/etc/oxa-tree/tree.conf")), QByteArray("[global]\n"));
    QCOMPARE(modeOf(QStringLiteral("/etc/init.d/oxa-tree")), 0755);
    QCOMPARE(modeOf(QStringLiteral("/usr/share/vell/oxa-tree/secret")), 0600);
    QVERIFY(QFileInfo(QStringLiteral("/var/lib/oxa-tree/empty")).isDir());
    QCOMPARE(QFile::symLinkTarget(QStringLiteral("/etc/oxa-tree/current.conf")),
             QStringLiteral("/etc/oxa-tree/tree.conf"));
    QCOMPARE(run(QStringLiteral("/etc/init.d/oxa-tree"), {QStringLiteral("status")}).exitCode, 3);

    // A tree that reaches outside the overlays is refused where it does.
    put(QStringLiteral("usr/lib/oxa-tree-escape"), "x", 0644);
    QVERIFY(!host.copyTree(source.path(), QStringLiteral("/")));
    QVERIFY(!QFileInfo::exists(QStringLiteral("/usr/lib/oxa-tree-escape")));
    QVERIFY(!host.copyTree(source.filePath(QStringLiteral("missing")), QStringLiteral("/etc")));
}

void TestTestHost::statusScriptReturnsExitCode_data()
{
    QTest::addColumn<int>("exitCode");
    QTest::newRow("running") << 0;
    QTest::newRow("failed") << 1;
    QTest::newRow("not running") << 3;
    QTest::newRow("255") << 255;
}

void TestTestHost::statusScriptReturnsExitCode()
{
    QFETCH(int, exitCode);
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeStatusScript(QStringLiteral("/etc/init.d/smbd"), exitCode));
    const Run result = run(QStringLiteral("/etc/init.d/smbd"), {QStringLiteral("status")});
    QVERIFY(result.finished);
    QCOMPARE(result.exitStatus, QProcess::NormalExit);
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(result.out, QByteArray());
}

void TestTestHost::outputScriptPrintsExactly_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("nothing") << QByteArray() << 0;
    QTest::newRow("one line") << QByteArray("smbd is running.\n") << 0;
    QTest::newRow("no final newline") << QByteArray("a\nb") << 0;
    QTest::newRow("shell and printf specials")
        << QByteArray("'$HOME' `id` $(id) \\n %s %% %d \"q\" \\\\ \\0\n") << 2;
    QTest::newRow("binary") << QByteArray("\x00\x01\t\r\x7f\x80\xff|\x00", 9) << 0;
    QByteArray many;
    for (int i = 0; i < 3000; ++i)
        many += "Virtual host " + QByteArray::number(i) + " 'x' %\\\n";
    QTest::newRow("long, across chunks") << many << 1;
}

void TestTestHost::outputScriptPrintsExactly()
{
    QFETCH(QByteArray, output);
    QFETCH(int, exitCode);
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeOutputScript(QStringLiteral("/usr/share/vell/oxa-print"), output, exitCode));
    const Run result = run(QStringLiteral("/usr/share/vell/oxa-print"), {});
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(result.out, output);
    QCOMPARE(result.err, QByteArray());
}

void TestTestHost::scriptGetsArguments()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(
        host.writeScript(QStringLiteral("/etc/init.d/oxa-args"),
                         QStringLiteral("echo \"$1|$2\"\n[ \"$1\" = status ] && exit 0\nexit 5")));
    QCOMPARE(modeOf(QStringLiteral("/etc/init.d/oxa-args")), 0755);
    Run result = run(QStringLiteral("/etc/init.d/oxa-args"), {QStringLiteral("status")});
    QCOMPARE(result.out, QByteArray("status|\n"));
    QCOMPARE(result.exitCode, 0);
    result = run(QStringLiteral("/etc/init.d/oxa-args"),
                 {QStringLiteral("start"), QStringLiteral("a b")});
    QCOMPARE(result.out, QByteArray("start|a b\n"));
    QCOMPARE(result.exitCode, 5);
}

void TestTestHost::crashingScriptCrashes()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeCrashingScript(QStringLiteral("/etc/init.d/smbd")));
    const Run result = run(QStringLiteral("/etc/init.d/smbd"), {QStringLiteral("status")});
    QVERIFY(result.finished);
    QCOMPARE(result.exitStatus, QProcess::CrashExit);
}

void TestTestHost::hangingScriptCanBeKilled()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeHangingScript(QStringLiteral("/etc/init.d/smbd")));
    QProcess process;
    process.start(QStringLiteral("/etc/init.d/smbd"), {QStringLiteral("status")},
                  QIODevice::ReadOnly);
    QVERIFY(process.waitForStarted());
    const QString cmdline = QStringLiteral("/proc/%1/cmdline").arg(process.processId());
    // The script execs sleep: the process QProcess kills is the one that hangs.
    QTRY_VERIFY_WITH_TIMEOUT(readFile(cmdline).contains("sleep"), 10000);
    QVERIFY(!process.waitForFinished(200));
    QCOMPARE(process.state(), QProcess::Running);
    process.kill();
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::CrashExit);
}

void TestTestHost::toolsTakeTheProgramsPlace_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("path");
    // Programs every Debian host has (dpkg, util-linux), and one no host has.
    QTest::newRow("in /usr/bin") << QStringLiteral("dpkg-query")
                                 << QStringLiteral("/usr/bin/dpkg-query");
    QTest::newRow("in /usr/sbin") << QStringLiteral("runuser")
                                  << QStringLiteral("/usr/sbin/runuser");
    QTest::newRow("nowhere yet") << QStringLiteral("tarn-client")
                                 << QStringLiteral("/usr/bin/tarn-client");
}

void TestTestHost::toolsTakeTheProgramsPlace()
{
    QFETCH(QString, name);
    QFETCH(QString, path);
    // Where the console's children look: the fixed search path, not the caller's PATH.
    const QStringList byName{
        QStringLiteral("-c"),
        QStringLiteral("PATH=/usr/sbin:/usr/bin:/sbin:/bin; %1 -W x").arg(name)};
    const QByteArray before = run(QStringLiteral("/bin/sh"), byName).out;
    {
        TestHost host;
        OXA_REQUIRE_TEST_HOST(host);
        QCOMPARE(host.toolPath(name), path);
        QVERIFY(host.writeTool(name, QStringLiteral("echo shadowed \"$@\"\nexit 7")));
        const Run result = run(QStringLiteral("/bin/sh"), byName);
        QCOMPARE(result.out, QByteArray("shadowed -W x\n"));
        QCOMPARE(result.exitCode, 7);
        QCOMPARE(run(path, {}).out, QByteArray("shadowed\n"));
        QByteArray onMachine;
        TestHost::machinePathState(path, &onMachine);
        QVERIFY(!onMachine.contains("shadowed"));

        QVERIFY(!host.writeTool(QStringLiteral("../escape"), QStringLiteral("exit 0")));
        QVERIFY(!host.writeTool(QString(), QStringLiteral("exit 0")));
        QVERIFY(host.toolPath(QStringLiteral("..")).isEmpty());
    }
    // The machine's own again, or nothing.
    QVERIFY(!run(QStringLiteral("/bin/sh"), byName).out.contains("shadowed"));
    QCOMPARE(run(QStringLiteral("/bin/sh"), byName).out, before);
}

void TestTestHost::addsUsers()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    uint uid = 0;
    QVERIFY2(host.addUser(QStringLiteral("oxa-desk"), &uid), qPrintable(host.errorString()));
    QVERIFY(uid >= 60100);
    // The system's own lookups see it: id, as runuser and the console look users up.
    QCOMPARE(
        run(QStringLiteral("/usr/bin/id"), {QStringLiteral("-u"), QStringLiteral("oxa-desk")}).out,
        QByteArray::number(uid) + '\n');
    QCOMPARE(
        run(QStringLiteral("/usr/bin/id"), {QStringLiteral("-g"), QStringLiteral("oxa-desk")}).out,
        QByteArray::number(uid) + '\n');
    QVERIFY(readFile(QStringLiteral("/etc/passwd"))
                .contains("\noxa-desk:x:" + QByteArray::number(uid) + ':' +
                          QByteArray::number(uid) + "::/home/oxa-desk:/bin/sh\n"));
    uint second = 0;
    QVERIFY(host.addUser(QStringLiteral("oxa-desk2"), &second));
    QVERIFY(second != uid);
    // Taken names and names no user can have are refused, and change nothing.
    const QByteArray passwd = readFile(QStringLiteral("/etc/passwd"));
    for (const QString &name : {QStringLiteral("oxa-desk"), QStringLiteral("root"),
                                QStringLiteral("two words"), QStringLiteral("a:b"), QString()})
        QVERIFY2(!host.addUser(name), qPrintable(name));
    QCOMPARE(readFile(QStringLiteral("/etc/passwd")), passwd);
    QByteArray machine;
    QCOMPARE(TestHost::machinePathState(QStringLiteral("/etc/passwd"), &machine),
             TestHost::MachinePathExists);
    QVERIFY(!machine.contains("oxa-desk"));
}

void TestTestHost::dpkgQuerySeesPackages_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("line");

    const QString install = QStringLiteral("install samba 2:4.17.12+dfsg-0+deb12u1");
    QTest::newRow("installed") << QStringList{install} << 0
                               << QByteArray("ii samba 2:4.17.12+dfsg-0+deb12u1\n");
    QTest::newRow("removed") << QStringList{install, QStringLiteral("remove samba")} << 0
                             << QByteArray("rc samba 2:4.17.12+dfsg-0+deb12u1\n");
    QTest::newRow("held") << QStringList{install, QStringLiteral("status samba hold ok installed")}
                          << 0 << QByteArray("hi samba 2:4.17.12+dfsg-0+deb12u1\n");
    QTest::newRow("half-configured")
        << QStringList{install, QStringLiteral("status samba install ok half-configured")} << 0
        << QByteArray("iF samba 2:4.17.12+dfsg-0+deb12u1\n");
    QTest::newRow("upgraded") << QStringList{install, QStringLiteral("install samba 2:4.18.0-1")}
                              << 0 << QByteArray("ii samba 2:4.18.0-1\n");
    QTest::newRow("reinstalled after removal")
        << QStringList{install, QStringLiteral("remove samba"), install} << 0
        << QByteArray("ii samba 2:4.17.12+dfsg-0+deb12u1\n");
    QTest::newRow("forgotten") << QStringList{install, QStringLiteral("forget samba")} << 1
                               << QByteArray();
    QTest::newRow("never installed") << QStringList{} << 1 << QByteArray();
    QTest::newRow("only a similar name")
        << QStringList{QStringLiteral("install samba-common 2:4.17.12+dfsg-0+deb12u1")} << 1
        << QByteArray();
}

void TestTestHost::dpkgQuerySeesPackages()
{
    QFETCH(QStringList, steps);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, line);
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    for (const QString &step : steps) {
        const QStringList words = step.split(QLatin1Char(' '));
        const QString verb = words.at(0);
        if (verb == QLatin1String("install"))
            QVERIFY(host.installPackage(words.at(1), words.at(2)));
        else if (verb == QLatin1String("remove"))
            QVERIFY(host.removePackage(words.at(1)));
        else if (verb == QLatin1String("forget"))
            QVERIFY(host.forgetPackage(words.at(1)));
        else
            QVERIFY(host.setPackageStatus(words.at(1), words.mid(2).join(QLatin1Char(' '))));
    }
    const Run result = run(QStringLiteral("dpkg-query"),
                           {statusQueryFormat, QStringLiteral("--show"), QStringLiteral("samba")});
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(result.out, line);
    if (exitCode == 0)
        QCOMPARE(result.err, QByteArray()); // the database is complete: no warnings
    else
        QVERIFY2(result.err.contains("no packages found matching samba"), result.err.constData());
}

void TestTestHost::dpkgQueryOnWorkerThread()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.installPackage(QStringLiteral("cups"), QStringLiteral("2.4.2-3+deb12u5")));
    QVERIFY(host.removePackage(QStringLiteral("cups")));

    // Framework tasks start their processes from pool threads: those must see the overlay.
    Run result;
    std::unique_ptr<QThread> worker(QThread::create([&result] {
        result = run(QStringLiteral("dpkg-query"),
                     {statusQueryFormat, QStringLiteral("--show"), QStringLiteral("cups")});
    }));
    worker->start();
    QVERIFY(worker->wait(60000));
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out, QByteArray("rc cups 2.4.2-3+deb12u5\n"));
}

void TestTestHost::machinePackageDatabase()
{
    const auto query = [](const QString &package) {
        return run(QStringLiteral("dpkg-query"),
                   {QStringLiteral("--showformat=${db:Status-Abbrev}\n"), QStringLiteral("--show"),
                    package});
    };
    if (query(QStringLiteral("dpkg")).out != "ii \n")
        QSKIP("dpkg itself is not installed here");
    QByteArray machineStatus;
    QCOMPARE(TestHost::machinePathState(QStringLiteral("/var/lib/dpkg/status"), &machineStatus),
             TestHost::MachinePathExists);
    {
        // The default is hermetic: only what the test installs.
        TestHost host;
        OXA_REQUIRE_TEST_HOST(host);
        QCOMPARE(query(QStringLiteral("dpkg")).exitCode, 1);
    }
    {
        TestHost host(TestHost::MachinePackageDatabase);
        OXA_REQUIRE_TEST_HOST(host);
        QCOMPARE(query(QStringLiteral("dpkg")).out, QByteArray("ii \n"));
        QVERIFY(host.installPackage(QStringLiteral("oxa-testhost-probe"), QStringLiteral("1.0")));
        QVERIFY(host.removePackage(QStringLiteral("dpkg")));
        const Run probe = query(QStringLiteral("oxa-testhost-probe"));
        QCOMPARE(probe.out, QByteArray("ii \n"));
        QCOMPARE(probe.err, QByteArray());
        QCOMPARE(query(QStringLiteral("dpkg")).out, QByteArray("rc \n"));
        // Every other machine package is still there, unchanged.
        const Run all =
            run(QStringLiteral("dpkg-query"),
                {QStringLiteral("--showformat=${db:Status-Abbrev}\n"), QStringLiteral("--show")});
        QCOMPARE(all.err, QByteArray());
        QVERIFY(all.out.count("ii ") > 10);
    }
    QCOMPARE(query(QStringLiteral("dpkg")).out, QByteArray("ii \n"));
    QCOMPARE(query(QStringLiteral("oxa-testhost-probe")).exitCode, 1);
    QByteArray after;
    QCOMPARE(TestHost::machinePathState(QStringLiteral("/var/lib/dpkg/status"), &after),
             TestHost::MachinePathExists);
    QCOMPARE(after, machineStatus);
}

void TestTestHost::rejectsBadPackageRequests_data()
{
    QTest::addColumn<QString>("request");
    QTest::newRow("empty name") << QStringLiteral("install||1.0");
    QTest::newRow("name with blank") << QStringLiteral("install|two words|1.0");
    QTest::newRow("name with newline") << QStringLiteral("install|a\nStatus: x|1.0");
    QTest::newRow("empty version") << QStringLiteral("install|samba|");
    QTest::newRow("version with newline") << QStringLiteral("install|samba|1\nX: y");
    QTest::newRow("status of one word") << QStringLiteral("status|samba|installed");
    QTest::newRow("remove unknown") << QStringLiteral("remove|cups|");
    QTest::newRow("status of unknown") << QStringLiteral("status|cups|hold ok installed");
    QTest::newRow("forget unknown") << QStringLiteral("forget|cups|");
}

void TestTestHost::rejectsBadPackageRequests()
{
    QFETCH(QString, request);
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.installPackage(QStringLiteral("samba"), QStringLiteral("2:4.17.12")));
    const QByteArray before = readFile(QStringLiteral("/var/lib/dpkg/status"));

    const QStringList parts = request.split(QLatin1Char('|'));
    const QString verb = parts.at(0);
    bool ok = true;
    if (verb == QLatin1String("install"))
        ok = host.installPackage(parts.at(1), parts.at(2));
    else if (verb == QLatin1String("remove"))
        ok = host.removePackage(parts.at(1));
    else if (verb == QLatin1String("forget"))
        ok = host.forgetPackage(parts.at(1));
    else
        ok = host.setPackageStatus(parts.at(1), parts.at(2));
    QVERIFY(!ok);
    QVERIFY(!host.errorString().isEmpty());
    QCOMPARE(readFile(QStringLiteral("/var/lib/dpkg/status")), before);
}

void TestTestHost::onlyOneHostAtATime()
{
    auto first = std::make_unique<TestHost>();
    OXA_REQUIRE_TEST_HOST(*first);
    {
        TestHost second;
        QVERIFY(!second.isAvailable());
        QVERIFY(second.unavailableReason().contains(QLatin1String("another TestHost")));
        QVERIFY(!second.writeFile(QStringLiteral("/etc/oxa-second"), "x"));
    }
    // The refused one must not have taken the first one's mounts with it.
    QVERIFY(first->writeFile(QStringLiteral("/etc/oxa-first"), "x"));
    QVERIFY(first->writeTool(QStringLiteral("oxa-first"), QStringLiteral("exit 0")));
    first.reset();
    QVERIFY(!QFileInfo::exists(QStringLiteral("/etc/oxa-first")));
    QVERIFY(!QFileInfo::exists(QStringLiteral("/usr/bin/oxa-first")));
    TestHost third;
    QVERIFY(third.isAvailable());
}

void TestTestHost::busyMountsAreDetached()
{
    auto host = std::make_unique<TestHost>();
    OXA_REQUIRE_TEST_HOST(*host);
    QVERIFY(host->writeHangingScript(QStringLiteral("/var/lib/oxa-busy/hang")));
    QProcess busy;
    busy.setWorkingDirectory(QStringLiteral("/var/lib/oxa-busy")); // keeps the overlay busy
    busy.start(QStringLiteral("/var/lib/oxa-busy/hang"), {}, QIODevice::ReadOnly);
    QVERIFY(busy.waitForStarted());
    QVERIFY(hasOwnMounts());

    host.reset();
    QVERIFY(!hasOwnMounts());
    QVERIFY(!QFileInfo::exists(QStringLiteral("/var/lib/oxa-busy")));
    QCOMPARE(busy.state(), QProcess::Running);
    busy.kill();
    QVERIFY(busy.waitForFinished(10000));
}

void TestTestHost::mustRunUnderCi_data()
{
    QTest::addColumn<QByteArray>("ci");
    QTest::addColumn<bool>("mustRun");
    QTest::newRow("unset") << QByteArray() << false;
    QTest::newRow("true") << QByteArray("true") << true;
    QTest::newRow("TRUE") << QByteArray("TRUE") << true;
    QTest::newRow("1") << QByteArray("1") << true;
    QTest::newRow("false") << QByteArray("false") << false;
    QTest::newRow("empty") << QByteArray("") << false;
}

void TestTestHost::mustRunUnderCi()
{
    QFETCH(QByteArray, ci);
    QFETCH(bool, mustRun);
    const bool wasSet = qEnvironmentVariableIsSet("CI");
    const QByteArray saved = qgetenv("CI");
    if (ci.isNull())
        qunsetenv("CI");
    else
        qputenv("CI", ci);
    const bool result = TestHost::mustRun();
    if (wasSet)
        qputenv("CI", saved);
    else
        qunsetenv("CI");
    QCOMPARE(result, mustRun);
}

void TestTestHost::withoutNamespaceSkipsOrFails_data()
{
    QTest::addColumn<QByteArray>("ci");
    QTest::addColumn<bool>("late");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("verdict");
    QTest::addColumn<QByteArray>("reason");
    QTest::newRow("no namespace") << QByteArray() << false << 0 << QByteArray("SKIP   : ")
                                  << QByteArray("start the test with OXA_TEST_MAIN");
    QTest::newRow("no namespace under CI")
        << QByteArray("true") << false << 1 << QByteArray("FAIL!  : ")
        << QByteArray("start the test with OXA_TEST_MAIN");
    QTest::newRow("entered too late") << QByteArray() << true << 0 << QByteArray("SKIP   : ")
                                      << QByteArray("2 threads were running");
}

void TestTestHost::withoutNamespaceSkipsOrFails()
{
    QFETCH(QByteArray, ci);
    QFETCH(bool, late);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, verdict);
    QFETCH(QByteArray, reason);
    QProcess probe;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("CI"));
    if (!ci.isNull())
        environment.insert(QStringLiteral("CI"), QString::fromLatin1(ci));
    if (late)
        environment.insert(QStringLiteral("OXA_PROBE_LATE"), QStringLiteral("1"));
    probe.setProcessEnvironment(environment);
    probe.start(QStringLiteral(OXA_TESTHOST_PROBE), {}, QIODevice::ReadOnly);
    QVERIFY(probe.waitForFinished(60000));
    const QByteArray out = probe.readAllStandardOutput();
    QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
    QVERIFY2(probe.exitCode() == exitCode, out.constData());
    QVERIFY2(out.contains(verdict + "TestHostProbe::needsHost() no disposable test host: "),
             out.constData());
    QVERIFY2(out.contains(reason), out.constData());
}

OXA_TEST_MAIN(TestTestHost)
#include "tst_testhost.moc"
