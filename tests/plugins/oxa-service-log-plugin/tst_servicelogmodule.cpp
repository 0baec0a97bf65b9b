#include "servicelogelement.h"
#include "servicelogelementwidget.h"
#include "servicelogheavyelementdata.h"
#include "servicelogmodule.h"
#include "servicelogplugin.h"
#include "servicelogreadheavytask.h"
#include "taskrunner.h"
#include "testhost.h"

#include <consoleregistry.h>
#include <element.h>
#include <elementdata.h>
#include <module.h>
#include <plugin.h>

#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include <memory>

#include <sys/mount.h>
#include <sys/stat.h>

namespace {

const QString argsFile = QStringLiteral("/var/tmp/journalctl.args");
const QString outputFile = QStringLiteral("/var/tmp/journalctl.out");
const QString fixedArguments = QStringLiteral(
    "-q --no-pager -o json --output-fields=PRIORITY,MESSAGE,SYSLOG_IDENTIFIER,_COMM,_PID -n 500");

bool grantAccess(const Module *)
{
    return true;
}

QList<ServiceLogElement *> logsBelow(const TreeNode *node)
{
    QList<ServiceLogElement *> found;
    for (TreeNode *child : node->childNodes()) {
        if (auto *log = qobject_cast<ServiceLogElement *>(child))
            found.append(log);
    }
    return found;
}

/// Stand-ins for the service plug-ins: their modules and service elements by their published
/// names and ids (module, its parent module, element id, parent element id), nothing more.
class ServicesPlugin : public Plugin
{
public:
    ServicesPlugin()
    {
        const char *const rows[][4] = {
            {"ServiceServicesModule", "", "ServiceServices", ""},
            {"ServiceApacheModule", "ServiceServicesModule", "ServiceApache", "ServiceServices"},
            {"ServiceCronModule", "ServiceServicesModule", "ServiceCron", "ServiceServices"},
            {"ServiceCupsModule", "ServiceServicesModule", "ServiceCups", "ServiceServices"},
            {"ServiceMailModule", "ServiceServicesModule", "ServiceMail", "ServiceServices"},
            {"ServiceMailDovecotModule", "ServiceMailModule", "ServiceMailDovecot", "ServiceMail"},
            {"ServiceMailEximModule", "ServiceMailModule", "ServiceMailExim", "ServiceMail"},
            {"ServiceKerberosModule", "ServiceServicesModule", "ServiceKerberosKdc",
             "ServiceServices"},
            {"ServiceKerberosModule", "", "ServiceKerberosKadmin", "ServiceKerberosKdc"},
            {"ServiceSambaModule", "ServiceServicesModule", "ServiceSamba", "ServiceServices"},
            {"ServiceSlapdModule", "ServiceServicesModule", "ServiceSlapd", "ServiceServices"},
            {"ServiceTarnModule", "ServiceServicesModule", "ServiceTarnClient", "ServiceServices"},
            {"ServiceTarnTarndModule", "ServiceTarnModule", "ServiceTarnTarnd",
             "ServiceTarnClient"},
            {"ServicePgsqlModule", "ServiceServicesModule", "ServicePgsqlClusters",
             "ServiceServices"},
        };
        for (const auto &row : rows) {
            Module *m = module(QLatin1String(row[0]), QLatin1String(row[1]));
            auto *e = new ServiceElement(m, grantAccess);
            e->setId(QLatin1String(row[2]));
            e->setElementType(QLatin1String(row[2]));
            e->setParentId(QLatin1String(row[3]));
            e->setTitle(QLatin1String(row[2]));
            m->appendElement(e);
            elements.insert(e->id(), e);
        }
    }

    /// A database cluster as the PostgreSQL plug-in makes one at run time: no id, a type.
    Element *addCluster(const QString &name, const QString &version)
    {
        Module *pgsql = module(QStringLiteral("ServicePgsqlModule"), QString());
        auto *cluster = new Element(pgsql, grantAccess);
        cluster->setElementType(QStringLiteral("ServicePgsqlCluster"));
        cluster->setTitle(QStringLiteral("%1-%2").arg(name, version));
        auto *record = new ElementData;
        record->setProperty(QStringLiteral("name"), name);
        record->setProperty(QStringLiteral("version"), version);
        cluster->setElementData(record);
        pgsql->appendElement(cluster);
        elements.value(QStringLiteral("ServicePgsqlClusters"))->append(cluster);
        return cluster;
    }

    QMap<QString, Element *> elements;

private:
    Module *module(const QString &name, const QString &parent)
    {
        for (Module *m : modules()) {
            if (m->objectName() == name)
                return m;
        }
        auto *m = new Module(name, this);
        m->setParentModuleName(parent);
        m->setData(QStringLiteral("administrator"), true);
        appendModule(m);
        return m;
    }
};

} // namespace

/**
 * The log plug-in at work: the log element under every service element and cluster, its read
 * through the host (a fake journalctl, log files in the test host, with and without systemd),
 * and the widget with its filter. The text handling itself is in tst_servicelog.
 */
class TestServiceLogModule : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void attachUnderEveryServiceElement();
    void read_data();
    void read();
    void widgetFiltersAndRefreshes();

private:
    /// systemd's mark on the host, in a /run of the test's own.
    bool setSystemd(bool running);

    std::unique_ptr<TestHost> m_host;
    bool m_runMounted = false;
};

void TestServiceLogModule::initTestCase()
{
    qputenv("TZ", "UTC");
}

void TestServiceLogModule::init()
{
    m_host = std::make_unique<TestHost>();
    // The process has a mount namespace of its own: this /run hides the machine's from it only.
    m_runMounted = m_host->isAvailable() &&
                   ::mount("tmpfs", "/run", "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755") == 0;
}

void TestServiceLogModule::cleanup()
{
    TaskObserver::instance()->waitForIdle(60000);
    if (m_runMounted)
        ::umount2("/run", MNT_DETACH);
    m_runMounted = false;
    m_host.reset();
}

bool TestServiceLogModule::setSystemd(bool running)
{
    if (!m_runMounted)
        return false;
    const QByteArray marker = QFile::encodeName(ServiceLogSources::systemdMarker());
    if (!running)
        return true;
    return ::mkdir("/run/systemd", 0755) == 0 && ::mkdir(marker.constData(), 0755) == 0;
}

void TestServiceLogModule::attachUnderEveryServiceElement()
{
    OXA_REQUIRE_TEST_HOST(*m_host);
    TaskRunner runner;
    auto *services = new ServicesPlugin;
    auto *log = new ServiceLogPlugin;
    Element *cluster = services->addCluster(QStringLiteral("main"), QStringLiteral("15"));
    {
        ConsoleRegistry registry;
        registry.addPlugin(services, true);
        registry.addPlugin(log, true);
        registry.build();

        const QStringList withLog{"ServiceApache",         "ServiceCron",     "ServiceCups",
                                  "ServiceMailDovecot",    "ServiceMailExim", "ServiceKerberosKdc",
                                  "ServiceKerberosKadmin", "ServiceSamba",    "ServiceSlapd",
                                  "ServiceTarnTarnd"};
        QList<Element *> hosts;
        for (const QString &id : withLog)
            hosts << services->elements.value(id);
        hosts << cluster;
        for (Element *service : std::as_const(hosts)) {
            const QList<ServiceLogElement *> below = logsBelow(service);
            QCOMPARE(below.size(), 1);
            QCOMPARE(below.first()->title(), QStringLiteral("Log"));
            QCOMPARE(below.first()->caption(),
                     QStringLiteral("Log of service: %1").arg(service->caption()));
            QCOMPARE(below.first()->availableOperations(), OperationTypes(OperationReadHeavy));
            QCOMPARE(below.first()->level(), service->level() + 1);
        }
        for (const QString &id : services->elements.keys()) {
            if (!withLog.contains(id))
                QVERIFY2(logsBelow(services->elements.value(id)).isEmpty(), qPrintable(id));
        }
        QCOMPARE(registry.resolve(QStringLiteral("ServiceSamba/Log")),
                 logsBelow(services->elements.value(QStringLiteral("ServiceSamba"))).first());
        QCOMPARE(registry.resolve(QStringLiteral("main-15/Log")), logsBelow(cluster).first());

        // A cluster made later gets its log too, once the tree has told of it.
        Element *later = services->addCluster(QStringLiteral("other"), QStringLiteral("16"));
        QTRY_COMPARE(logsBelow(later).size(), 1);

        // Nothing is read until a log is shown: the state reads never wait for a log.
        QVERIFY(runner.waitForIdle());
        QVERIFY(runner.reports().isEmpty());

        registry.detachSupplements();
        for (Element *service : std::as_const(hosts))
            QVERIFY(logsBelow(service).isEmpty());
        QVERIFY(log->modules().first()->elements().isEmpty());
    }
    delete log;
    delete services;
}

void TestServiceLogModule::read_data()
{
    QTest::addColumn<QString>("service"); // a row's element type, or "cluster"
    QTest::addColumn<bool>("systemd");
    QTest::addColumn<QByteArray>("journal"); // what the fake journalctl prints
    QTest::addColumn<int>("journalExit");
    QTest::addColumn<QString>("file");       // the log file written; empty: none
    QTest::addColumn<QByteArray>("content"); // null: a directory in its place
    QTest::addColumn<QString>("units");      // journalctl's unit arguments; empty: not run
    QTest::addColumn<int>("status");         // 2 done, 3 warning
    QTest::addColumn<QString>("text");

    const QByteArray twoRecords =
        "{\"__REALTIME_TIMESTAMP\":\"1765242001000000\",\"PRIORITY\":\"4\","
        "\"SYSLOG_IDENTIFIER\":\"smbd\",\"_PID\":\"7\",\"MESSAGE\":\"slow\"}\n"
        "{\"__REALTIME_TIMESTAMP\":\"1765242000000000\",\"PRIORITY\":\"3\","
        "\"SYSLOG_IDENTIFIER\":\"smbd\",\"_PID\":\"7\",\"MESSAGE\":[98,97,100,255]}\n";
    const QString sambaFile = QStringLiteral("/var/log/samba/log.smbd");
    const QByteArray sambaLines = "[2025/12/09 01:00:00,  0] started\n\x1b[1mbold\n";
    const QString journalPart = "==> journal: smbd.service\n"
                                "ERROR   2025-12-09T01:00:00Z smbd[7]: bad\\xff\n"
                                "WARNING 2025-12-09T01:00:01Z smbd[7]: slow\n";
    const QString filePart = "==> file: /var/log/samba/log.smbd\n"
                             "        [2025/12/09 01:00:00,  0] started\n"
                             "        \\x1b[1mbold\n";

    QTest::newRow("journal and file")
        << "ServiceSamba" << true << twoRecords << 0 << sambaFile << sambaLines
        << "--unit=smbd.service" << 2 << journalPart + filePart;
    QTest::newRow("without systemd")
        << "ServiceSamba" << false << twoRecords << 0 << sambaFile << sambaLines << "" << 2
        << "==> journal: smbd.service\nNOTE    The host does not run systemd: its journal is "
           "not read.\n" +
               filePart;
    QTest::newRow("missing file")
        << "ServiceSamba" << true << twoRecords << 0 << "" << QByteArray() << "--unit=smbd.service"
        << 2
        << journalPart + "==> file: /var/log/samba/log.smbd\nNOTE    The file does not exist.\n";
    QTest::newRow("directory for a file")
        << "ServiceSamba" << true << QByteArray() << 0 << sambaFile << QByteArray()
        << "--unit=smbd.service" << 3
        << "==> journal: smbd.service\nNOTE    The journal holds no lines of this service.\n"
           "==> file: /var/log/samba/log.smbd\nNOTE    /var/log/samba/log.smbd is not a regular "
           "file.\n";
    QTest::newRow("journalctl fails")
        << "ServiceCron" << true << QByteArray("No journal files were found.") << 1 << ""
        << QByteArray() << "--unit=cron.service" << 3
        << "==> journal: cron.service\nNOTE    \"journalctl ...\" Exit code: 1 \"failed\"\n";
    QTest::newRow("journal garbage")
        << "ServiceCron" << true << QByteArray("garbage\n\x01\x02\n") + twoRecords.left(60) << 0
        << "" << QByteArray() << "--unit=cron.service" << 3
        << "==> journal: cron.service\nNOTE    3 line(s) of the journal's output could not be "
           "read.\nNOTE    The journal holds no lines of this service.\n";
    QTest::newRow("cluster")
        << "cluster" << true << QByteArray() << 0 << "/var/log/postgresql/postgresql-15-main.log"
        << QByteArray("LOG:  ready\n") << "--unit=postgresql@15-main.service" << 2
        << "==> journal: postgresql@15-main.service\nNOTE    The journal holds no lines of this "
           "service.\n==> file: /var/log/postgresql/postgresql-15-main.log\n        LOG:  ready\n";
}

void TestServiceLogModule::read()
{
    QFETCH(QString, service);
    QFETCH(bool, systemd);
    QFETCH(QByteArray, journal);
    QFETCH(int, journalExit);
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, units);
    QFETCH(int, status);
    QFETCH(QString, text);
    OXA_REQUIRE_TEST_HOST(*m_host);
    QVERIFY(setSystemd(systemd));
    // Whatever this machine's own logs hold is no row's: each row starts without them.
    for (const char *log :
         {"/var/log/samba/log.smbd", "/var/log/postgresql/postgresql-15-main.log"})
        QVERIFY2(m_host->removePath(QLatin1String(log)), qPrintable(m_host->errorString()));
    QVERIFY(m_host->writeFile(outputFile, journal));
    QVERIFY(m_host->writeTool(
        QStringLiteral("journalctl"),
        QStringLiteral("echo \"$*\" > %1; cat %2; [ %3 = 0 ] || echo failed >&2; exit %3")
            .arg(argsFile, outputFile)
            .arg(journalExit)));
    if (!file.isEmpty()) {
        QVERIFY(content.isNull() ? m_host->mkdir(file) : m_host->writeFile(file, content, 0640));
    }

    Module services(QStringLiteral("ServiceTestModule"));
    ServiceLogModule logs(nullptr);
    auto *element = new ServiceElement(&services, grantAccess);
    if (service == QLatin1String("cluster")) {
        element->setElementType(QStringLiteral("ServicePgsqlCluster"));
        auto *record = new ElementData;
        record->setProperty(QStringLiteral("name"), QStringLiteral("main"));
        record->setProperty(QStringLiteral("version"), QStringLiteral("15"));
        element->setElementData(record);
    } else {
        element->setId(service);
        element->setElementType(service);
    }
    services.appendElement(element);
    logs.performOperation(element, OperationAttach, nullptr, 0);
    QCOMPARE(logsBelow(element).size(), 1);

    // The widget shows the element as the window does; the read's lines reach it.
    auto *widget = qobject_cast<ServiceLogElementWidget *>(logs.elementWidgets().first());
    QVERIFY(widget);
    ServiceLogElement *log = logsBelow(element).first();
    widget->setElement(log, ElementWidgetRoleView);
    TaskRunner runner;
    const TaskReport report = runner.perform(new ServiceLogReadHeavyTask(log));
    QCOMPARE(report.status, status);
    QCOMPARE(widget->logTextEdit()->toPlainText(), text.chopped(1));
    QFile args(argsFile);
    if (units.isEmpty()) {
        QVERIFY(!args.exists());
    } else {
        QVERIFY(args.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(args.readAll()).trimmed(), fixedArguments + ' ' + units);
    }
}

void TestServiceLogModule::widgetFiltersAndRefreshes()
{
    OXA_REQUIRE_TEST_HOST(*m_host);
    QVERIFY(setSystemd(true));
    const auto journalSays = [this](const QByteArray &message, const char *priority) {
        return m_host->writeFile(outputFile,
                                 "{\"__REALTIME_TIMESTAMP\":\"1765242000000000\",\"PRIORITY\":\"" +
                                     QByteArray(priority) +
                                     "\",\"_COMM\":\"slapd\",\"MESSAGE\":\"" + message + "\"}\n");
    };
    QVERIFY(journalSays("Disk full", "2"));
    QVERIFY(
        m_host->writeTool(QStringLiteral("journalctl"), QStringLiteral("cat %1").arg(outputFile)));

    Module services(QStringLiteral("ServiceTestModule"));
    ServiceLogModule logs(nullptr);
    auto *slapd = new ServiceElement(&services, grantAccess);
    slapd->setId(QStringLiteral("ServiceSlapd"));
    slapd->setElementType(QStringLiteral("ServiceSlapd"));
    services.appendElement(slapd);
    logs.performOperation(slapd, OperationAttach, nullptr, 0);
    ServiceLogElement *log = logsBelow(slapd).first();
    auto *widget = qobject_cast<ServiceLogElementWidget *>(logs.elementWidgets().first());
    widget->setElement(log, ElementWidgetRoleView);
    QPlainTextEdit *view = widget->logTextEdit();
    QVERIFY(view->isReadOnly());
    // The filter's clear button fades in and out with an animation Qt gives no parent: one
    // still running when the suite ends is reported as a leak of Qt's. Filtering is the same
    // without the button.
    widget->filterLineEdit()->setClearButtonEnabled(false);

    // Shown, as the window's selection and its F5 read it: through the element.
    TaskRunner runner;
    log->performOperation(OperationReadHeavy, nullptr, 0);
    QVERIFY(runner.waitForIdle());
    const QString error = QStringLiteral("ERROR   2025-12-09T01:00:00Z slapd: Disk full");
    QCOMPARE(view->toPlainText(), "==> journal: slapd.service\n" + error);
    QCOMPARE(view->extraSelections().size(), 1); // the error stands out

    // The filter narrows at once, whatever the case; the heading stays.
    widget->filterLineEdit()->setText(QStringLiteral("DISK"));
    QCOMPARE(view->toPlainText(), "==> journal: slapd.service\n" + error);
    widget->filterLineEdit()->setText(QStringLiteral("nothing like it"));
    QCOMPARE(view->toPlainText(), QStringLiteral("==> journal: slapd.service"));
    QCOMPARE(view->extraSelections().size(), 0);

    // Read again (F5): the new lines, under the filter still typed.
    QVERIFY(journalSays("nothing like it, a warning", "4"));
    log->performOperation(OperationReadHeavy, nullptr, 0);
    QVERIFY(runner.waitForIdle());
    QCOMPARE(view->toPlainText(),
             QStringLiteral("==> journal: slapd.service\nWARNING 2025-12-09T01:00:00Z slapd: "
                            "nothing like it, a warning"));
    widget->filterLineEdit()->clear();
    QCOMPARE(view->toPlainText().count(QLatin1Char('\n')), 1);
    QCOMPARE(runner.reports().size(), 2);
}

OXA_TEST_MAIN(TestServiceLogModule)
#include "tst_servicelogmodule.moc"
