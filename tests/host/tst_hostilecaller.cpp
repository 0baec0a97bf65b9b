#include "consolehost.h"
#include "hostapplication.h"
#include "hosttestenvironment.h"

#include <testhost.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

/**
 * The console as root under a caller who wants their own code run by it: through plug-in
 * directories, the environment Qt reads, or arguments slipped to the menu entry's script.
 * Each attempt would leave a mark; none may.
 */
class TestHostileCaller : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void pathTrust_data();
    void pathTrust();
    void pluginDirectories_data();
    void pluginDirectories();
    void dataDirectory_data();
    void dataDirectory();
    void codePathsDropped();
    void qtLooksOnlyWhereRootPutsCode_data();
    void qtLooksOnlyWhereRootPutsCode();
    void noQtOptionsInValues_data();
    void noQtOptionsInValues();
    void pkexecAsTheUser_data();
    void pkexecAsTheUser();
    void programsNotFromCallersPath();

private:
    struct Run
    {
        int exitCode = -1;
        QByteArray output;
        QByteArray errors;
    };
    /// The console in batch mode on an empty script; @p runAs prefixes the command.
    static Run runConsole(const QStringList &arguments, const QProcessEnvironment &environment,
                          const QStringList &runAs = {},
                          const QString &workingDirectory = QString());
    static QProcessEnvironment baseEnvironment(const QString &mark);
    static bool setOwnerAndMode(const QString &path, uid_t uid, int mode, bool link = false);
};

void TestHostileCaller::init()
{
    if (::geteuid() == 0)
        return;
    if (TestHost::mustRun())
        QFAIL("the console's root mode is tested as root");
    QSKIP("the console's root mode is tested as root");
}

TestHostileCaller::Run TestHostileCaller::runConsole(const QStringList &arguments,
                                                     const QProcessEnvironment &environment,
                                                     const QStringList &runAs,
                                                     const QString &workingDirectory)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(workingDirectory);
    QStringList command = runAs;
    command << HostTestEnvironment::programPath() << QStringLiteral("--batch")
            << QStringLiteral("-") << arguments;
    process.start(command.takeFirst(), command);
    Run run;
    if (!process.waitForStarted(30000))
        return run;
    process.closeWriteChannel();
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.output = process.readAllStandardOutput();
    run.errors = process.readAllStandardError();
    return run;
}

QProcessEnvironment TestHostileCaller::baseEnvironment(const QString &mark)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("VELL_ADMIN_PLUGIN_PATH"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("OXA_HOST_TEST_MARK"), mark);
    return environment;
}

bool TestHostileCaller::setOwnerAndMode(const QString &path, uid_t uid, int mode, bool link)
{
    const QByteArray name = QFile::encodeName(path);
    if (link)
        return ::lchown(name.constData(), uid, 0) == 0;
    return ::chown(name.constData(), uid, 0) == 0 && ::chmod(name.constData(), mode_t(mode)) == 0;
}

void TestHostileCaller::pathTrust_data()
{
    // A directory d holding lib.so; the path judged is lib.so itself, or a link to it that
    // stands in a directory of its own (mode linkDirMode) and belongs to linkUid.
    QTest::addColumn<int>("dirMode");
    QTest::addColumn<int>("dirUid");
    QTest::addColumn<int>("fileMode");
    QTest::addColumn<int>("fileUid");
    QTest::addColumn<int>("linkDirMode"); // 0: no link
    QTest::addColumn<int>("linkUid");
    QTest::addColumn<QString>("why"); // empty: trusted; else a part of the reason

    QTest::newRow("root's file in root's directory") << 0755 << 0 << 0644 << 0 << 0 << 0 << "";
    QTest::newRow("file writable by others")
        << 0755 << 0 << 0666 << 0 << 0 << 0
        << "d/lib.so is writable by group or others (mode 0666)";
    QTest::newRow("file writable by the group")
        << 0755 << 0 << 0664 << 0 << 0 << 0 << "d/lib.so is writable by group or others";
    QTest::newRow("file of another user")
        << 0755 << 0 << 0644 << 4321 << 0 << 0 << "d/lib.so is owned by uid 4321, not by root";
    QTest::newRow("directory writable by others")
        << 0777 << 0 << 0644 << 0 << 0 << 0 << "/d is writable by group or others (mode 0777)";
    QTest::newRow("directory writable by the group")
        << 0775 << 0 << 0644 << 0 << 0 << 0 << "/d is writable by group or others (mode 0775)";
    QTest::newRow("directory of another user")
        << 0755 << 4321 << 0644 << 0 << 0 << 0 << "/d is owned by uid 4321";
    QTest::newRow("root's sticky directory, like /tmp") << 01777 << 0 << 0644 << 0 << 0 << 0 << "";
    QTest::newRow("another user's sticky directory")
        << 01777 << 4321 << 0644 << 0 << 0 << 0 << "/d is owned by uid 4321";
    QTest::newRow("root's link in root's directory") << 0755 << 0 << 0644 << 0 << 0755 << 0 << "";
    QTest::newRow("another user's link")
        << 0755 << 0 << 0644 << 0 << 0755 << 4321 << "is a link owned by uid 4321";
    QTest::newRow("root's link standing where others write")
        << 0755 << 0 << 0644 << 0 << 0777 << 0 << "/l is writable by group or others";
    QTest::newRow("root's link into a directory others write")
        << 0777 << 0 << 0644 << 0 << 0755 << 0 << "/d is writable by group or others";
}

void TestHostileCaller::pathTrust()
{
    QFETCH(int, dirMode);
    QFETCH(int, dirUid);
    QFETCH(int, fileMode);
    QFETCH(int, fileUid);
    QFETCH(int, linkDirMode);
    QFETCH(int, linkUid);
    QFETCH(QString, why);

    QTemporaryDir base; // root's, mode 0700, in root's sticky /tmp
    QVERIFY(base.isValid());
    const QString dir = base.filePath(QStringLiteral("d"));
    const QString file = dir + QStringLiteral("/lib.so");
    QVERIFY(QDir().mkpath(dir));
    QFile lib(file);
    QVERIFY(lib.open(QIODevice::WriteOnly));
    lib.close();
    QVERIFY(setOwnerAndMode(file, uid_t(fileUid), fileMode));
    QVERIFY(setOwnerAndMode(dir, uid_t(dirUid), dirMode));
    QString judged = file;
    if (linkDirMode != 0) {
        const QString linkDir = base.filePath(QStringLiteral("l"));
        QVERIFY(QDir().mkpath(linkDir));
        judged = linkDir + QStringLiteral("/lib.so");
        QVERIFY(QFile::link(file, judged));
        QVERIFY(setOwnerAndMode(judged, uid_t(linkUid), 0, true));
        QVERIFY(setOwnerAndMode(linkDir, 0, linkDirMode));
    }

    const QString reason = ConsoleHost::untrustedReason(judged);
    if (why.isEmpty())
        QVERIFY2(reason.isEmpty(), qPrintable(reason));
    else
        QVERIFY2(reason.contains(why), qPrintable(reason));

    QVERIFY(ConsoleHost::untrustedReason(base.filePath(QStringLiteral("missing")))
                .contains(QLatin1String("No such file")));
}

void TestHostileCaller::pluginDirectories_data()
{
    QTest::addColumn<bool>("byOption"); // --plugin-dir, else VELL_ADMIN_PLUGIN_PATH
    QTest::addColumn<int>("dirMode");
    QTest::addColumn<int>("fileMode");
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<QString>("said"); // on standard error; %1 the directory

    QTest::newRow("option: root's directory (the library would run)")
        << true << 0755 << 0644 << true << "";
    QTest::newRow("option: directory writable by others")
        << true << 0777 << 0644 << false
        << "skipped %1: not loaded by a console running as root: %1 is writable by group or "
           "others (mode 0777)";
    QTest::newRow("option: library writable by others")
        << true << 0755 << 0666 << false
        << "not loaded by a console running as root: %1/libmarker.so is writable by group or "
           "others (mode 0666)";
    QTest::newRow("environment: directory writable by others")
        << false << 0777 << 0644 << false << "";
    QTest::newRow("environment: root's directory, ignored as root")
        << false << 0755 << 0644 << false << "";
}

void TestHostileCaller::pluginDirectories()
{
    QFETCH(bool, byOption);
    QFETCH(int, dirMode);
    QFETCH(int, fileMode);
    QFETCH(bool, loaded);
    QFETCH(QString, said);

    QTemporaryDir base;
    QVERIFY(base.isValid());
    const QString dir = base.filePath(QStringLiteral("plugins"));
    QVERIFY(QDir().mkpath(dir));
    const QString library = dir + QStringLiteral("/libmarker.so");
    QVERIFY(QFile::copy(HostTestEnvironment::markerPluginPath(), library));
    QVERIFY(setOwnerAndMode(library, 0, fileMode));
    QVERIFY(setOwnerAndMode(dir, 0, dirMode));
    const QString mark = base.filePath(QStringLiteral("mark"));

    QProcessEnvironment environment = baseEnvironment(mark);
    QStringList arguments;
    if (byOption)
        arguments << QStringLiteral("--plugin-dir") << dir;
    else
        environment.insert(QStringLiteral("VELL_ADMIN_PLUGIN_PATH"), dir);
    const Run run = runConsole(arguments, environment);
    QVERIFY2(run.exitCode == 0, run.errors.constData());
    QCOMPARE(QFile::exists(mark), loaded);
    if (!said.isEmpty())
        QVERIFY2(QString::fromLocal8Bit(run.errors).contains(said.arg(dir)),
                 run.errors.constData());
}

void TestHostileCaller::dataDirectory_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("root's") << 0755 << 0;
    // Package names and translations from there would reach root's console.
    QTest::newRow("writable by others") << 0777 << 2;
}

void TestHostileCaller::dataDirectory()
{
    QFETCH(int, mode);
    QFETCH(int, exitCode);
    QTemporaryDir base;
    QVERIFY(base.isValid());
    const QString data = base.filePath(QStringLiteral("data"));
    QVERIFY(QDir().mkpath(data));
    QVERIFY(setOwnerAndMode(data, 0, mode));
    const Run run = runConsole({QStringLiteral("--data-dir"), data},
                               baseEnvironment(base.filePath(QStringLiteral("mark"))));
    QCOMPARE(run.exitCode, exitCode);
    if (exitCode != 0)
        QVERIFY2(run.errors.contains("the data directory is refused as root: " +
                                     QFile::encodeName(data) + " is writable by group or others"),
                 run.errors.constData());
}

void TestHostileCaller::codePathsDropped()
{
    const QList<QByteArray> dropped{"QT_PLUGIN_PATH",       "QT_QPA_PLATFORM_PLUGIN_PATH",
                                    "QT_QPA_PLATFORMTHEME", "GTK_MODULES",
                                    "GTK3_MODULES",         "GTK_PATH",
                                    "GIO_EXTRA_MODULES",    "GCONV_PATH",
                                    "LD_PRELOAD",           "LD_LIBRARY_PATH"};
    const QList<QByteArray> kept{"QT_QPA_PLATFORM", "DISPLAY",         "XAUTHORITY", "HOME",
                                 "QT_SCALE_FACTOR", "OXA_HOSTILE_KEPT"};
    QHash<QByteArray, QByteArray> saved;
    for (const QByteArray &name : dropped + kept)
        saved.insert(name, qgetenv(name.constData()));
    for (const QByteArray &name : dropped + kept) {
        if (!qEnvironmentVariableIsSet(name.constData()))
            qputenv(name.constData(), name == "LD_PRELOAD" ? QByteArray() : "/tmp/evil");
    }
    const bool wasTrusted = ConsoleHost::trustedFilesOnly();
    ConsoleHost::setTrustedFilesOnly(true);
    const QStringList names = HostApplication::dropCallersCodePaths();
    ConsoleHost::setTrustedFilesOnly(wasTrusted);

    for (const QByteArray &name : dropped) {
        QVERIFY2(!qEnvironmentVariableIsSet(name.constData()), name.constData());
        QVERIFY(names.contains(QString::fromLatin1(name)));
    }
    for (const QByteArray &name : kept)
        QVERIFY2(qEnvironmentVariableIsSet(name.constData()), name.constData());
    for (auto it = saved.cbegin(); it != saved.cend(); ++it) {
        if (it.value().isNull())
            qunsetenv(it.key().constData());
        else
            qputenv(it.key().constData(), it.value());
    }
}

void TestHostileCaller::qtLooksOnlyWhereRootPutsCode_data()
{
    QTest::addColumn<bool>("asRoot");
    QTest::newRow("as root") << true;
    // The same call as an ordinary user, whose console may take the user's own plug-ins:
    // there Qt does look, which shows that the probe sees it.
    QTest::newRow("as another user") << false;
}

void TestHostileCaller::qtLooksOnlyWhereRootPutsCode()
{
    QFETCH(bool, asRoot);
    QTemporaryDir base;
    QVERIFY(base.isValid());
    QVERIFY(setOwnerAndMode(base.path(), 0, 0755));
    const QString evil = base.filePath(QStringLiteral("evil"));
    QVERIFY(QDir().mkpath(evil + QStringLiteral("/platforms")));

    QProcessEnvironment environment = baseEnvironment(base.filePath(QStringLiteral("mark")));
    environment.insert(QStringLiteral("QT_PLUGIN_PATH"), evil);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM_PLUGIN_PATH"), evil);
    environment.insert(QStringLiteral("QT_DEBUG_PLUGINS"), QStringLiteral("1"));
    const QStringList runAs =
        asRoot ? QStringList()
               : QStringList{QStringLiteral("/usr/sbin/runuser"), QStringLiteral("-u"),
                             QStringLiteral("nobody"), QStringLiteral("--")};
    const Run run = runConsole({}, environment, runAs);
    QVERIFY2(run.exitCode == 0, run.errors.constData());
    QCOMPARE(run.errors.contains(evil.toLocal8Bit()), !asRoot);
}

void TestHostileCaller::noQtOptionsInValues_data()
{
    // Each is a valid command line of ours; Qt reading the same arguments would take the
    // value "--title=/evil" as its plug-in path, below the caller's working directory.
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("one dash") << QStringList{"--title", "-platformpluginpath", "--title=/evil"};
    QTest::newRow("two dashes") << QStringList{"--title", "--platformpluginpath", "--title=/evil"};
}

void TestHostileCaller::noQtOptionsInValues()
{
    QFETCH(QStringList, arguments);
    QTemporaryDir base;
    QVERIFY(base.isValid());
    const QString evil = base.filePath(QStringLiteral("--title=/evil"));
    QVERIFY(QDir().mkpath(evil + QStringLiteral("/platforms")));
    QProcessEnvironment environment = baseEnvironment(base.filePath(QStringLiteral("mark")));
    environment.insert(QStringLiteral("QT_DEBUG_PLUGINS"), QStringLiteral("1"));
    const Run run = runConsole(arguments, environment, {}, base.path());
    QVERIFY2(run.exitCode == 0, run.errors.constData());
    // Qt does report the directories it looks in.
    QVERIFY2(run.errors.contains("QFactoryLoader"), run.errors.constData());
    QVERIFY2(!run.errors.contains(QFile::encodeName(evil)), run.errors.constData());
}

void TestHostileCaller::pkexecAsTheUser_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("asked");
    QTest::newRow("default") << QStringList{"--json"} << true;
    QTest::newRow("viewer") << QStringList{"--json", "--viewer"} << false;
}

void TestHostileCaller::pkexecAsTheUser()
{
    // Started by the desktop user, the console asks pkexec for exactly the helper, nothing
    // the user added; when authorisation is refused it still opens, only reading, and says
    // why. Asked to only read, it asks for nothing.
    QFETCH(QStringList, arguments);
    QFETCH(bool, asked);
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    const QString record = QStringLiteral("/var/tmp/pkexec-asked");
    QVERIFY(host.writeFile(QStringLiteral("/usr/bin/pkexec"),
                           QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" > %1\n"
                                          "echo 'Error executing command as another user: Not "
                                          "authorized' >&2\nexit 126\n")
                               .arg(record)
                               .toUtf8(),
                           0755));
    const Run run = runConsole(arguments, baseEnvironment(QStringLiteral("/nonexistent")),
                               {QStringLiteral("/usr/sbin/runuser"), QStringLiteral("-u"),
                                QStringLiteral("nobody"), QStringLiteral("--")});
    QVERIFY2(run.exitCode == 0, run.errors.constData());
    QFile file(record);
    QCOMPARE(file.exists(), asked);
    const QString error = QJsonDocument::fromJson(run.output).object().value("error").toString();
    if (!asked) {
        QCOMPARE(error, QString());
        return;
    }
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QFile::encodeName(HostApplication::bridgeProgram()) + '\n');
    for (const char *part : {"Only reading", "The helper ended", "exit code 126", "Not authorized"})
        QVERIFY2(error.contains(part), qPrintable(error));
}

void TestHostileCaller::programsNotFromCallersPath()
{
    // A dpkg-query of the caller's first on PATH, as ~/.local/bin is under Debian's stock
    // profile: the package check at start-up must run the real one.
    QTemporaryDir base;
    QVERIFY(base.isValid());
    QVERIFY(setOwnerAndMode(base.path(), 0, 0755));
    const QString evil = base.filePath(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(evil));
    QVERIFY(setOwnerAndMode(evil, 0, 0777));
    const QString mark = base.filePath(QStringLiteral("mark"));
    QFile tool(evil + QStringLiteral("/dpkg-query"));
    QVERIFY(tool.open(QIODevice::WriteOnly));
    tool.write(QStringLiteral("#!/bin/sh\necho ran >> %1\nexit 1\n").arg(mark).toLocal8Bit());
    tool.close();
    QVERIFY(setOwnerAndMode(tool.fileName(), 0, 0755));
    const QString plugins = base.filePath(QStringLiteral("plugins"));
    QVERIFY(QDir().mkpath(plugins));
    QVERIFY(QFile::link(QStringLiteral(OXA_HOST_CRON_PLUGIN),
                        plugins + QStringLiteral("/liboxa-service-cron-plugin.so")));

    QProcessEnvironment environment = baseEnvironment(mark);
    environment.insert(QStringLiteral("PATH"),
                       evil + QLatin1Char(':') + environment.value(QStringLiteral("PATH")));
    const Run run = runConsole({QStringLiteral("--plugin-dir"), plugins}, environment);
    QVERIFY2(run.exitCode == 0, run.errors.constData());
    QVERIFY2(run.output.contains("ServiceCronPlugin"), run.output.constData());
    QVERIFY(!QFile::exists(mark));
}

OXA_TEST_MAIN(TestHostileCaller)
#include "tst_hostilecaller.moc"
