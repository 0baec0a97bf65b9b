#include "cupstestutil.h"

#include <cupsconfreader.h>
#include <servicecupsmodule.h>
#include <servicecupstasks.h>

#include <element.h>
#include <elementdata.h>
#include <taskmessages.h>
#include <testhost.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <pwd.h>
#include <sys/fsuid.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const uid_t nobodyUid = 65534;

/// This thread checks file permissions as another user while it lives (root overrides them).
class FileSystemUser
{
public:
    explicit FileSystemUser(uid_t uid) { setfsuid(uid); }
    ~FileSystemUser() { setfsuid(0); }
};

/// A bind mount on a file: the name cannot be unlinked while it is there.
class BusyName
{
public:
    BusyName(const QString &source, const QString &target) : m_target(QFile::encodeName(target))
    {
        m_mounted = ::mount(QFile::encodeName(source).constData(), m_target.constData(), nullptr,
                            MS_BIND, nullptr) == 0;
    }
    ~BusyName()
    {
        if (m_mounted)
            ::umount2(m_target.constData(), MNT_DETACH);
    }
    bool isMounted() const { return m_mounted; }

private:
    QByteArray m_target;
    bool m_mounted = false;
};

QString fileText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

/// The names of a record's nodes, each with its children as in dumpNode().
QString dumpRecord(ServiceHeavyElementData *record)
{
    return dumpNodes(record->data());
}

const char cupsdConf[] = "# Scheduler\n"
                         "LogLevel warn\n"
                         "Listen localhost:631\n"
                         "Listen /run/cups/cups.sock\n"
                         "<Location />\n"
                         "  Order allow,deny\n"
                         "</Location>\n";
const char cupsFilesConf[] = "SystemGroup lpadmin\n"
                             "ErrorLog /var/log/cups/error_log\n";

} // namespace

/** The CUPS tasks on a disposable host: configuration and printers reads, spool, printer tool. */
class TestServiceCupsTasks : public QObject
{
    Q_OBJECT

private slots:
    void configurationRead_data();
    void configurationRead();
    void machineConfigurationFiles();
    void unreadableFilesFailTheRead();
    void statusScriptThatCrashes();
    void missingConfigurationDirectory();
    void printersRead();
    void printersMissingAndUnreadable();
    void printersWrittenByTheScheduler();
    void clearCacheKeepsWhatIsNotAFile();
    void clearCacheNamesWhatStayed();
    void clearCacheWithoutSpool();
    void clearCacheRefusesALinkedSpool();
    void controlWithoutThePackage();
    void controlStartsTheTool_data();
    void controlStartsTheTool();
    void controlRemembersThePackage();

private:
    bool prepareConfiguration(TestHost &host);
};

bool TestServiceCupsTasks::prepareConfiguration(TestHost &host)
{
    return host.removePath(QStringLiteral("/etc/cups")) &&
           host.writeFile(QStringLiteral("/etc/cups/cupsd.conf"), cupsdConf) &&
           host.writeFile(QStringLiteral("/etc/cups/cups-files.conf"), cupsFilesConf)
           // Neither matches "cups*.conf" as a file.
           && host.writeFile(QStringLiteral("/etc/cups/snmp.conf"), "Address @LOCAL\n") &&
           host.mkdir(QStringLiteral("/etc/cups/cupsdir.conf"));
}

void TestServiceCupsTasks::configurationRead_data()
{
    QTest::addColumn<int>("statusExit");
    QTest::addColumn<bool>("running");
    QTest::newRow("running") << 0 << true;
    QTest::newRow("stopped") << 3 << false;
}

void TestServiceCupsTasks::configurationRead()
{
    QFETCH(int, statusExit);
    QFETCH(bool, running);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeStatusScript(QStringLiteral("/etc/init.d/cups"), statusExit));
    QVERIFY2(prepareConfiguration(host), qPrintable(host.errorString()));

    ServiceCupsModule module(nullptr);
    ServiceCupsReadHeavyTask task(module.elements().first());
    QCOMPARE(task.taskDescription().description(),
             QStringLiteral("Read Cups service configuration"));
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusDone);
    QVERIFY(task.taskDescription().message().isEmpty());
    ServiceHeavyElementData *record = task.record();
    QCOMPARE(record->state(), running);
    QVERIFY(record->isStateKnown());
    // Per file in listing order: its summary nodes, then the file with its entries.
    QCOMPARE(dumpRecord(record),
             QStringLiteral("SystemGroup= lpadmin;ErrorLog= /var/log/cups/error_log;"
                            "cups-files.conf={SystemGroup= lpadmin;"
                            "ErrorLog= /var/log/cups/error_log};"
                            "Listen= localhost:631;Listen= /run/cups/cups.sock;"
                            "cupsd.conf={LogLevel= warn;Listen= localhost:631;"
                            "Listen= /run/cups/cups.sock;Location= /{Order= allow,deny}}"));
    QVERIFY(record->configFile().isEmpty());
    QVERIFY(record->configData().isEmpty());
}

/*
 * The files the cups package installs, as the machine has them: every one is read, and the
 * tree holds what a plain reading of the text finds.
 */
void TestServiceCupsTasks::machineConfigurationFiles()
{
    TestHost host(TestHost::MachinePackageDatabase);
    OXA_REQUIRE_TEST_HOST(host);
    if (!QFile::exists(QStringLiteral("/etc/cups/cupsd.conf"))) {
        if (TestHost::mustRun())
            QFAIL("the cups package is not installed (scripts/install-services)");
        QSKIP("the cups package is not installed");
    }
    QVERIFY(host.writeStatusScript(QStringLiteral("/etc/init.d/cups"), 3));

    ServiceCupsModule module(nullptr);
    ServiceCupsReadHeavyTask task(module.elements().first());
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusDone);

    const QStringList files =
        QDir(QStringLiteral("/etc/cups")).entryList({QStringLiteral("cups*.conf")}, QDir::Files);
    QVERIFY(files.contains(QStringLiteral("cupsd.conf")));
    QStringList fileNodes;
    QList<TreeNode *> cupsdEntries;
    int summaryNodes = 0;
    for (TreeNode *node : task.record()->data()) {
        auto *conf = qobject_cast<ConfTreeNode *>(node);
        QVERIFY(conf);
        if (conf->childCount() > 0 || files.contains(conf->name())) {
            fileNodes << conf->name();
            if (conf->name() == QLatin1String("cupsd.conf"))
                cupsdEntries = conf->childNodes();
        } else {
            QVERIFY2(CupsConfReader::summaryKeys().contains(conf->name()),
                     qPrintable(conf->name()));
            ++summaryNodes;
        }
    }
    QCOMPARE(fileNodes, files);

    // What a reading of cupsd.conf by hand finds: its top-level entries and summary lines.
    const QStringList lines =
        fileText(QStringLiteral("/etc/cups/cupsd.conf")).split(QLatin1Char('\n'));
    QStringList topLevel;
    int depth = 0;
    int summaryLines = 0;
    for (const QString &raw : lines) {
        const QString line = raw.section(QLatin1Char('#'), 0, 0).trimmed();
        if (line.isEmpty())
            continue;
        const QString word = line.section(QLatin1Char(' '), 0, 0);
        if (line.startsWith(QLatin1String("</"))) {
            --depth;
            continue;
        }
        const QString name =
            line.startsWith(QLatin1Char('<')) ? word.mid(1).remove(QLatin1Char('>')) : word;
        if (CupsConfReader::summaryKeys().contains(name))
            ++summaryLines;
        if (depth == 0)
            topLevel << name;
        if (line.startsWith(QLatin1Char('<')))
            ++depth;
    }
    QStringList readTopLevel;
    for (TreeNode *node : cupsdEntries)
        readTopLevel << qobject_cast<ConfTreeNode *>(node)->name();
    QCOMPARE(readTopLevel, topLevel);
    QVERIFY(topLevel.contains(QStringLiteral("Listen")));
    QVERIFY(summaryNodes >= summaryLines);

    // The default policy holds its Limit sections with their own entries.
    TreeNode *policy = nullptr;
    for (TreeNode *node : cupsdEntries) {
        auto *conf = qobject_cast<ConfTreeNode *>(node);
        if (conf->name() == QLatin1String("Policy") && conf->value() == QLatin1String(" default"))
            policy = node;
    }
    QVERIFY(policy);
    int limits = 0;
    for (TreeNode *child : policy->childNodes()) {
        auto *conf = qobject_cast<ConfTreeNode *>(child);
        if (conf->name() == QLatin1String("Limit")) {
            ++limits;
            QVERIFY(conf->childCount() > 0);
        }
    }
    QVERIFY(limits > 1);
}

void TestServiceCupsTasks::unreadableFilesFailTheRead()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeStatusScript(QStringLiteral("/etc/init.d/cups"), 0));
    QVERIFY(prepareConfiguration(host));
    QVERIFY(host.writeFile(QStringLiteral("/etc/cups/cupsd.conf"), cupsdConf, 0600));
    QVERIFY(host.writeFile(QStringLiteral("/etc/cups/cups-pdf.conf"), "Out /tmp\n", 0600));

    ServiceCupsModule module(nullptr);
    ServiceCupsReadHeavyTask task(module.elements().first());
    {
        FileSystemUser nobody(nobodyUid);
        task.run();
    }
    QCOMPARE(task.status(), TaskDescription::TaskStatusFailed);
    // One error text per file, in listing order; the readable file is still read.
    QCOMPARE(task.taskDescription().message(),
             QStringLiteral("\"/etc/cups/cups-pdf.conf\" error 5\nPermission denied\n"
                            "\"/etc/cups/cupsd.conf\" error 5\nPermission denied"));
    QCOMPARE(dumpRecord(task.record()),
             QStringLiteral("SystemGroup= lpadmin;ErrorLog= /var/log/cups/error_log;"
                            "cups-files.conf={SystemGroup= lpadmin;"
                            "ErrorLog= /var/log/cups/error_log}"));
}

void TestServiceCupsTasks::statusScriptThatCrashes()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeCrashingScript(QStringLiteral("/etc/init.d/cups")));
    QVERIFY(prepareConfiguration(host));

    ServiceCupsModule module(nullptr);
    ServiceCupsReadHeavyTask task(module.elements().first());
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusFailed);
    QCOMPARE(task.taskDescription().message(),
             TaskMessages::notFinished(QStringLiteral("/etc/init.d/cups"), 1));
    QVERIFY(task.record()->data().isEmpty());
}

void TestServiceCupsTasks::missingConfigurationDirectory()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeStatusScript(QStringLiteral("/etc/init.d/cups"), 0));
    QVERIFY(host.removePath(QStringLiteral("/etc/cups")));

    ServiceCupsModule module(nullptr);
    ServiceCupsReadHeavyTask task(module.elements().first());
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusDone);
    QVERIFY(task.record()->data().isEmpty());
    QVERIFY(task.record()->state());
}

void TestServiceCupsTasks::printersRead()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    // No status script: the printers read starts no program.
    QVERIFY(host.removePath(QStringLiteral("/etc/init.d/cups")));
    QVERIFY(host.removePath(QStringLiteral("/etc/cups")));
    QVERIFY(host.writeFile(QStringLiteral("/etc/cups/printers.conf"),
                           "# Written by cupsd\nNextPrinterId 3\n"
                           "<DefaultPrinter Office>\nInfo Office \\#1\nOpPolicy default\n"
                           "MacLabelMin s0\nMacLabelMax s3\n</DefaultPrinter>\n"
                           "<Printer Lab>\nOpPolicy authenticated\n</Printer>\n"));
    QVERIFY(host.writeFile(QStringLiteral("/etc/cups/classes.conf"),
                           "<Class All>\nPrinter Office\nPrinter Lab\n</Class>\n"));

    ServiceCupsModule module(nullptr);
    ServiceCupsPrintersReadHeavyTask task(module.elements().at(1));
    QCOMPARE(task.taskDescription().description(),
             QStringLiteral("Read Cups printers information"));
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusDone);
    QCOMPARE(dumpRecord(task.record()),
             QStringLiteral("NextPrinterId= 3;"
                            "DefaultPrinter= Office[ default| s0| s3]{Info= Office #1;"
                            "OpPolicy= default;MacLabelMin= s0;MacLabelMax= s3};"
                            "Printer= Lab[ authenticated||]{OpPolicy= authenticated};"
                            "Class= All{Printer= Office;Printer= Lab}"));
    QVERIFY(!task.record()->isStateKnown());
}

void TestServiceCupsTasks::printersMissingAndUnreadable()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.removePath(QStringLiteral("/etc/cups")));
    ServiceCupsModule module(nullptr);
    {
        ServiceCupsPrintersReadHeavyTask task(module.elements().at(1));
        task.run();
        QCOMPARE(task.status(), TaskDescription::TaskStatusDone);
        QVERIFY(task.record()->data().isEmpty());
        QVERIFY(task.taskDescription().message().isEmpty());
    }
    QVERIFY(host.writeFile(QStringLiteral("/etc/cups/classes.conf"), "<Class C>\n</Class>\n"));
    {
        ServiceCupsPrintersReadHeavyTask task(module.elements().at(1));
        task.run();
        QCOMPARE(task.status(), TaskDescription::TaskStatusDone);
        QCOMPARE(dumpRecord(task.record()), QStringLiteral("Class= C"));
    }
    QVERIFY(host.writeFile(QStringLiteral("/etc/cups/printers.conf"), "<Printer P>\n", 0600));
    {
        ServiceCupsPrintersReadHeavyTask task(module.elements().at(1));
        {
            FileSystemUser nobody(nobodyUid);
            task.run();
        }
        QCOMPARE(task.status(), TaskDescription::TaskStatusFailed);
        QCOMPARE(task.taskDescription().message(),
                 QStringLiteral("\"/etc/cups/printers.conf\" error 5\nPermission denied"));
        QCOMPARE(dumpRecord(task.record()), QStringLiteral("Class= C"));
    }
    // Neither a pipe nor a device is read: the task would wait or read for ever.
    QVERIFY(host.removePath(QStringLiteral("/etc/cups/printers.conf")));
    QCOMPARE(::mkfifo("/etc/cups/printers.conf", 0644), 0);
    QVERIFY(
        host.writeSymlink(QStringLiteral("/etc/cups/classes.conf"), QStringLiteral("/dev/zero")));
    {
        ServiceCupsPrintersReadHeavyTask task(module.elements().at(1));
        task.run();
        QCOMPARE(task.status(), TaskDescription::TaskStatusFailed);
        QCOMPARE(task.taskDescription().message(),
                 QStringLiteral("\"/etc/cups/printers.conf\" error 5\nNot a regular file\n"
                                "\"/etc/cups/classes.conf\" error 5\nNot a regular file"));
        QVERIFY(task.record()->data().isEmpty());
    }
}

/*
 * The real scheduler in the disposable host: a printer and a class added with lpadmin, and
 * the printers.conf and classes.conf it writes read back.
 */
void TestServiceCupsTasks::printersWrittenByTheScheduler()
{
    const QString cupsd = QStringLiteral("/usr/sbin/cupsd");
    const QString lpadmin = QStringLiteral("/usr/sbin/lpadmin");
    if (!QFile::exists(cupsd) || !QFile::exists(lpadmin)) {
        if (TestHost::mustRun())
            QFAIL("cupsd or lpadmin is missing (scripts/install-services installs cups)");
        QSKIP("cupsd or lpadmin is missing");
    }
    TestHost host(TestHost::MachinePackageDatabase);
    OXA_REQUIRE_TEST_HOST(host);
    // Everything the scheduler writes stays in the overlays: no network, no /run.
    const QString state = QStringLiteral("/var/lib/oxa-cups-test");
    const QString socket = state + QStringLiteral("/cups.sock");
    QVERIFY(host.mkdir(state + QStringLiteral("/state")));
    QVERIFY(host.removePath(QStringLiteral("/etc/cups/printers.conf")));
    QVERIFY(host.removePath(QStringLiteral("/etc/cups/classes.conf")));
    QVERIFY(host.writeFile(QStringLiteral("/etc/cups/cups-files.conf"),
                           "SystemGroup root\nStateDir /var/lib/oxa-cups-test/state\n"
                           "Printcap /var/lib/oxa-cups-test/printcap\n"
                           "ErrorLog /var/lib/oxa-cups-test/error_log\n"
                           "AccessLog /var/lib/oxa-cups-test/access_log\n"
                           "PageLog /var/lib/oxa-cups-test/page_log\n"));
    QVERIFY(host.writeFile(QStringLiteral("/etc/cups/cupsd.conf"),
                           QByteArray("LogLevel warn\nListen ") + socket.toLocal8Bit() +
                               "\nBrowsing No\nWebInterface No\nDirtyCleanInterval 0\n"
                               "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                               "<Policy default>\n  <Limit All>\n    Order deny,allow\n"
                               "  </Limit>\n</Policy>\n"));

    QProcess scheduler;
    scheduler.setProcessChannelMode(QProcess::MergedChannels);
    scheduler.start(cupsd, {QStringLiteral("-f")});
    QVERIFY2(scheduler.waitForStarted(), qPrintable(scheduler.errorString()));
    QElapsedTimer clock;
    clock.start();
    while (!QFile::exists(socket) && scheduler.state() == QProcess::Running &&
           clock.elapsed() < 20000)
        QTest::qWait(50);
    QVERIFY2(QFile::exists(socket), scheduler.readAll().constData());

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("CUPS_SERVER"), socket);
    auto admin = [&](const QStringList &arguments) {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(lpadmin, arguments);
        const bool done = process.waitForFinished(30000) && process.exitCode() == 0;
        if (!done)
            qWarning() << arguments << process.readAll();
        return done;
    };
    QVERIFY(admin({QStringLiteral("-p"), QStringLiteral("Office"), QStringLiteral("-E"),
                   QStringLiteral("-v"), QStringLiteral("socket://127.0.0.1:9100"),
                   QStringLiteral("-m"), QStringLiteral("drv:///sample.drv/generic.ppd"),
                   QStringLiteral("-D"), QStringLiteral("Room #3 <lab>"), QStringLiteral("-o"),
                   QStringLiteral("printer-op-policy=default")}));
    QVERIFY(admin({QStringLiteral("-p"), QStringLiteral("Office"), QStringLiteral("-c"),
                   QStringLiteral("Team")}));
    clock.restart();
    while (!QFile::exists(QStringLiteral("/etc/cups/classes.conf")) && clock.elapsed() < 20000)
        QTest::qWait(50);
    scheduler.terminate();
    QVERIFY(scheduler.waitForFinished(20000));

    ServiceCupsModule module(nullptr);
    ServiceCupsPrintersReadHeavyTask task(module.elements().at(1));
    task.run();
    QVERIFY2(task.status() == TaskDescription::TaskStatusDone,
             qPrintable(task.taskDescription().message()));
    const QList<TreeNode *> &nodes = task.record()->data();
    QCOMPARE(nodes.size(), 3);
    QCOMPARE(dumpNode(nodes.at(0)).section(QLatin1Char('='), 0, 0),
             QStringLiteral("NextPrinterId"));
    auto *printer = qobject_cast<PrintersTreeNode *>(nodes.at(1));
    auto *team = qobject_cast<PrintersTreeNode *>(nodes.at(2));
    QVERIFY(printer && team);
    QCOMPARE(printer->name(), QStringLiteral("Printer"));
    QCOMPARE(printer->value(), QStringLiteral(" Office"));
    QCOMPARE(printer->policy(), QStringLiteral(" default"));
    QCOMPARE(team->name(), QStringLiteral("Class"));
    QCOMPARE(team->value(), QStringLiteral(" Team"));
    QCOMPARE(team->policy(), QStringLiteral(" default"));
    const QString printerEntries = dumpNodes(printer->childNodes());
    QVERIFY2(printerEntries.contains(QLatin1String("Info= Room #3 <lab>;")),
             qPrintable(printerEntries));
    QVERIFY(printerEntries.contains(QLatin1String("DeviceURI= socket://127.0.0.1:9100")));
    QVERIFY(dumpNodes(team->childNodes()).contains(QLatin1String("Printer= Office")));
}

void TestServiceCupsTasks::clearCacheKeepsWhatIsNotAFile()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    const QString spool = QStringLiteral("/var/spool/cups");
    const QString outside = QStringLiteral("/var/lib/oxa-cups-test");
    QVERIFY(host.removePath(spool));
    QVERIFY(host.writeFile(spool + QStringLiteral("/c00001"), "control"));
    QVERIFY(host.writeFile(spool + QStringLiteral("/D00001-001"), "document"));
    QVERIFY(host.writeFile(spool + QStringLiteral("/tmp/cups-x"), "kept"));
    QVERIFY(host.writeFile(spool + QStringLiteral("/.hidden"), "kept"));
    QVERIFY(host.writeFile(outside + QStringLiteral("/target"), "must stay"));
    QVERIFY(host.mkdir(outside + QStringLiteral("/directory")));
    QVERIFY(host.writeFile(outside + QStringLiteral("/directory/inner"), "must stay"));
    QVERIFY(host.writeSymlink(spool + QStringLiteral("/link-to-file"),
                              outside + QStringLiteral("/target")));
    QVERIFY(host.writeSymlink(spool + QStringLiteral("/link-to-directory"),
                              outside + QStringLiteral("/directory")));
    QVERIFY(
        host.writeSymlink(spool + QStringLiteral("/dangling"), outside + QStringLiteral("/none")));

    ServiceCupsModule module(nullptr);
    ClearCacheTask task(module.elements().first());
    QCOMPARE(task.taskDescription().description(), QStringLiteral("Clear CUPS cache"));
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusDone);
    QVERIFY(task.taskDescription().message().isEmpty());
    QDir dir(spool);
    QCOMPARE(dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                           QDir::Name),
             (QStringList{QStringLiteral(".hidden"), QStringLiteral("dangling"),
                          QStringLiteral("link-to-directory"), QStringLiteral("tmp")}));
    QCOMPARE(fileText(spool + QStringLiteral("/tmp/cups-x")), QStringLiteral("kept"));
    // A link loses only itself.
    QCOMPARE(fileText(outside + QStringLiteral("/target")), QStringLiteral("must stay"));
    QCOMPARE(fileText(outside + QStringLiteral("/directory/inner")), QStringLiteral("must stay"));
    task.afterRun();
}

void TestServiceCupsTasks::clearCacheNamesWhatStayed()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    const QString spool = QStringLiteral("/var/spool/cups");
    QVERIFY(host.removePath(spool));
    QVERIFY(host.writeFile(QStringLiteral("/var/lib/oxa-cups-test/source"), "mounted"));
    for (const char *name : {"a-job", "B-busy", "c-job", "d-busy"})
        QVERIFY(host.writeFile(spool + QLatin1Char('/') + QLatin1String(name), "x"));

    ServiceCupsModule module(nullptr);
    {
        BusyName first(QStringLiteral("/var/lib/oxa-cups-test/source"),
                       spool + QStringLiteral("/d-busy"));
        BusyName second(QStringLiteral("/var/lib/oxa-cups-test/source"),
                        spool + QStringLiteral("/B-busy"));
        QVERIFY(first.isMounted() && second.isMounted());
        ClearCacheTask task(module.elements().first());
        task.run();
        QCOMPARE(task.status(), TaskDescription::TaskStatusFailed);
        // In name order ignoring case, joined by a comma without a blank.
        QCOMPARE(task.taskDescription().message(),
                 QStringLiteral("Files in directory \"/var/spool/cups\" not removed:\n"
                                "B-busy,d-busy"));
    }
    QCOMPARE(QDir(spool).entryList(QDir::Files),
             (QStringList{QStringLiteral("B-busy"), QStringLiteral("d-busy")}));
}

void TestServiceCupsTasks::clearCacheWithoutSpool()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.removePath(QStringLiteral("/var/spool/cups")));
    ServiceCupsModule module(nullptr);
    ClearCacheTask task(module.elements().first());
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusDone);
    QVERIFY(task.taskDescription().message().isEmpty());
}

void TestServiceCupsTasks::clearCacheRefusesALinkedSpool()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    const QString elsewhere = QStringLiteral("/var/lib/oxa-cups-test/elsewhere");
    QVERIFY(host.removePath(QStringLiteral("/var/spool/cups")));
    QVERIFY(host.writeFile(elsewhere + QStringLiteral("/precious"), "must stay"));
    QVERIFY(host.writeSymlink(QStringLiteral("/var/spool/cups"), elsewhere));

    ServiceCupsModule module(nullptr);
    ClearCacheTask task(module.elements().first());
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusFailed);
    QCOMPARE(task.taskDescription().message(),
             QStringLiteral("Directory \"/var/spool/cups\" is a symbolic link: nothing removed"));
    QCOMPARE(fileText(elsewhere + QStringLiteral("/precious")), QStringLiteral("must stay"));
}

void TestServiceCupsTasks::controlWithoutThePackage()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    ServiceCupsModule module(nullptr);
    ServiceCupsControlTask task(module.elements().first());
    QCOMPARE(task.taskDescription().description(), QStringLiteral("Control Cups service"));
    QCOMPARE(task.programName(), QStringLiteral("vell-admin-printer"));
    QCOMPARE(task.packageName(), QStringLiteral("vell-admin-printer"));
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusFailed);
    QCOMPARE(task.taskDescription().message(),
             QStringLiteral("Package \"vell-admin-printer\" is not installed in system.\n"
                            "To install it, run \"apt-get install vell-admin-printer\"."));
    QVERIFY(!ServiceCupsControlTask::packageFound());
}

void TestServiceCupsTasks::controlStartsTheTool_data()
{
    // "@uid" stands for the id of the host's desktop user oxa-desk; a null value is unset.
    QTest::addColumn<QByteArray>("sudoUser");
    QTest::addColumn<QByteArray>("pkexecUid");
    QTest::addColumn<int>("toolExit");
    QTest::addColumn<QString>("runsAs");  ///< empty: the task fails
    QTest::addColumn<QString>("message"); ///< part of the failure's message

    QTest::newRow("SUDO_USER") << QByteArray("oxa-desk") << QByteArray() << 0 << "oxa-desk"
                               << QString();
    QTest::newRow("SUDO_USER before PKEXEC_UID")
        << QByteArray("oxa-desk") << QByteArray("0") << 0 << "oxa-desk" << QString();
    QTest::newRow("SUDO_USER nobody")
        << QByteArray("nobody") << QByteArray() << 0 << "nobody" << QString();
    QTest::newRow("PKEXEC_UID") << QByteArray() << QByteArray("@uid") << 0 << "oxa-desk"
                                << QString();
    QTest::newRow("empty SUDO_USER, PKEXEC_UID")
        << QByteArray("") << QByteArray("@uid") << 0 << "oxa-desk" << QString();
    QTest::newRow("neither") << QByteArray() << QByteArray() << 0 << QString()
                             << "desktop user to start it for is not known";
    QTest::newRow("unknown SUDO_USER") << QByteArray("oxa-nobody-here") << QByteArray("@uid") << 0
                                       << QString() << "there is no user \"oxa-nobody-here\"";
    QTest::newRow("SUDO_USER root")
        << QByteArray("root") << QByteArray() << 0 << QString() << "as root";
    QTest::newRow("PKEXEC_UID 0") << QByteArray() << QByteArray("0") << 0 << QString() << "as root";
    QTest::newRow("PKEXEC_UID not a number")
        << QByteArray() << QByteArray("60100;id") << 0 << QString() << "is no user id";
    QTest::newRow("PKEXEC_UID of no user")
        << QByteArray() << QByteArray("4000000000") << 0 << QString() << "no user with the id";
    QTest::newRow("tool fails at once")
        << QByteArray("oxa-desk") << QByteArray() << 3 << QString() << "exit code 3";
}

void TestServiceCupsTasks::controlStartsTheTool()
{
    QFETCH(QByteArray, sudoUser);
    QFETCH(QByteArray, pkexecUid);
    QFETCH(int, toolExit);
    QFETCH(QString, runsAs);
    QFETCH(QString, message);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    if (::geteuid() != 0)
        QSKIP("the console starts the tool as the desktop user only as root");
    if (!fileText(QStringLiteral("/proc/self/uid_map"))
             .simplified()
             .startsWith(QLatin1String("0 0 ")))
        QSKIP("other users than root do not exist in this user namespace");
    uint uid = 0;
    QVERIFY(host.addUser(QStringLiteral("oxa-desk"), &uid));
    QVERIFY(host.installPackage(QStringLiteral("vell-admin-printer"), QStringLiteral("1.0")));
    // Who it runs as, its arguments, and exactly the environment it was started with.
    const QString log = QStringLiteral("/var/tmp/oxa-printer-tool");
    QVERIFY(host.writeTool(QStringLiteral("vell-admin-printer"),
                           QStringLiteral("{ echo \"$(id -un) $#\"; tr '\\000' '\\n' "
                                          "< /proc/$$/environ | sort; } > %1.part && "
                                          "mv %1.part %1\nexit %2")
                               .arg(log)
                               .arg(toolExit)));

    const ScopedEnvironment sudo("SUDO_USER", sudoUser);
    const ScopedEnvironment pkexec("PKEXEC_UID",
                                   pkexecUid == "@uid" ? QByteArray::number(uid) : pkexecUid);
    const ScopedEnvironment display("DISPLAY", ":7");
    const ScopedEnvironment wayland("WAYLAND_DISPLAY", "wayland-7");
    const ScopedEnvironment xauthority("XAUTHORITY", QByteArray());
    const ScopedEnvironment foreign("FOO", "bar");
    const ScopedEnvironment preload("LD_PRELOAD", "");
    ServiceCupsModule module(nullptr);
    ServiceCupsControlTask task(module.elements().first());
    QCOMPARE(task.userName(), QString::fromLocal8Bit(sudoUser));
    task.run();
    QVERIFY(ServiceCupsControlTask::packageFound());
    if (runsAs.isEmpty()) {
        QCOMPARE(task.status(), TaskDescription::TaskStatusFailed);
        QVERIFY2(task.taskDescription().message().contains(message),
                 qPrintable(task.taskDescription().message()));
        return;
    }
    QVERIFY2(task.status() == TaskDescription::TaskStatusDone,
             qPrintable(task.taskDescription().message()));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(log), 20000);
    const passwd *user = ::getpwnam(runsAs.toLocal8Bit().constData());
    QVERIFY(user);
    QStringList expected{QStringLiteral("DISPLAY=:7"),
                         QStringLiteral("HOME=%1").arg(QString::fromLocal8Bit(user->pw_dir)),
                         QStringLiteral("LANG=C.UTF-8"),
                         QStringLiteral("LC_ALL=C.UTF-8"),
                         QStringLiteral("LOGNAME=%1").arg(runsAs),
                         QStringLiteral("PATH=/usr/sbin:/usr/bin:/sbin:/bin"),
                         QStringLiteral("SHELL=%1").arg(QString::fromLocal8Bit(user->pw_shell)),
                         QStringLiteral("USER=%1").arg(runsAs),
                         QStringLiteral("WAYLAND_DISPLAY=wayland-7"),
                         QStringLiteral("XDG_RUNTIME_DIR=/run/user/%1").arg(user->pw_uid)};
    expected.sort();
    QCOMPARE(fileText(log).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             QStringList{runsAs + QStringLiteral(" 0")} + expected);
}

void TestServiceCupsTasks::controlRemembersThePackage()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.mkdir(QStringLiteral("/var/lib/oxa-cups-test/log"), 0777));
    QVERIFY(host.writeTool(QStringLiteral("vell-admin-printer"),
                           QStringLiteral("touch /var/lib/oxa-cups-test/log/again")));
    QVERIFY(host.installPackage(QStringLiteral("vell-admin-printer"), QStringLiteral("1.0")));
    // Started as an ordinary user that every Debian host has.
    const ScopedEnvironment sudo("SUDO_USER", "nobody");
    ServiceCupsModule module(nullptr);
    {
        ServiceCupsControlTask task(module.elements().first());
        task.run();
        QVERIFY2(task.status() == TaskDescription::TaskStatusDone,
                 qPrintable(task.taskDescription().message()));
    }
    QVERIFY(ServiceCupsControlTask::packageFound());
    // The package is gone now, but a control task found it before: no new check.
    QVERIFY(host.forgetPackage(QStringLiteral("vell-admin-printer")));
    // The first start has left its mark before the second one is awaited.
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QStringLiteral("/var/lib/oxa-cups-test/log/again")),
                             20000);
    QVERIFY(QFile::remove(QStringLiteral("/var/lib/oxa-cups-test/log/again")));
    ServiceCupsControlTask task(module.elements().first());
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusDone);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QStringLiteral("/var/lib/oxa-cups-test/log/again")),
                             20000);
}

OXA_TEST_MAIN(TestServiceCupsTasks)
#include "tst_servicecupstasks.moc"
