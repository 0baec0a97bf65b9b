// The console in batch mode with every plug-in, against the real Debian services of this
// machine, started and stopped through their own init scripts inside a disposable host.
// What the console shows is compared with what the services' own tools say: dpkg-query,
// the init scripts' status, pg_lsclusters, doveconf, and the configuration files as the
// services read them.

#include "consolebatch.h"
#include "packagetable.h"
#include "systemtest.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

#include <memory>

namespace {

/// A service the console controls through its init script.
struct Service
{
    QString element;    ///< the console's element id
    QString script;     ///< below /etc/init.d
    QString daemon;     ///< command name of its processes
    bool reloadOffered; ///< the element offers reload while running
    bool rootLightRead; ///< the Services root's light read reads it
};

const QList<Service> &controlledServices()
{
    static const QList<Service> services = {
        {QStringLiteral("ServiceSamba"), QStringLiteral("smbd"), QStringLiteral("smbd"), false,
         true},
        {QStringLiteral("ServiceSlapd"), QStringLiteral("slapd"), QStringLiteral("slapd"), false,
         true},
        {QStringLiteral("ServiceMailExim"), QStringLiteral("exim4"), QStringLiteral("exim4"), true,
         true},
        {QStringLiteral("ServiceMailDovecot"), QStringLiteral("dovecot"), QStringLiteral("dovecot"),
         true, true},
        {QStringLiteral("ServiceKerberosKdc"), QStringLiteral("krb5-kdc"),
         QStringLiteral("krb5kdc"), false, true},
        // The root's light read leaves Kadmin alone; it is read when asked itself.
        {QStringLiteral("ServiceKerberosKadmin"), QStringLiteral("krb5-admin-server"),
         QStringLiteral("kadmind"), false, false},
        {QStringLiteral("ServiceCron"), QStringLiteral("cron"), QStringLiteral("cron"), false,
         true},
    };
    return services;
}

/// Services whose state the console reads here; their control has suites of its own.
const QList<Service> &watchedServices()
{
    static const QList<Service> services = {
        {QStringLiteral("ServiceCups"), QStringLiteral("cups"), QStringLiteral("cupsd"), true,
         true},
        {QStringLiteral("ServiceApache"), QStringLiteral("apache2"), QStringLiteral("apache2"),
         true, true},
    };
    return services;
}

QList<Service> allServices()
{
    return controlledServices() + watchedServices();
}

const Service *serviceOf(const QString &element)
{
    for (const Service &service : controlledServices()) {
        if (service.element == element)
            return &service;
    }
    return nullptr;
}

const QStringList requiredPackages = {
    QStringLiteral("samba"), QStringLiteral("slapd"), QStringLiteral("exim4-base"),
    QStringLiteral("exim4-daemon-light"), QStringLiteral("dovecot-core"),
    QStringLiteral("krb5-kdc"), QStringLiteral("krb5-admin-server"), QStringLiteral("cron"),
    QStringLiteral("cups"), QStringLiteral("cups-common"), QStringLiteral("apache2"),
    QStringLiteral("ssl-cert"), QStringLiteral("sudo"),
    // The release's own server: 15 on Debian 12, 17 on Debian 13.
    QStringLiteral("postgresql-") + SystemTest::pgsqlServerVersion()};

/// The light reads that give every service element its state.
const QByteArray lightReads = "perform read-light ServiceServices\n"
                              "perform read-light ServiceKerberosKadmin\n"
                              "perform read-content ServicePgsqlClusters\n";

/// The children of @p element of element type "ServicePackages".
QList<QJsonObject> packagesChildren(const QJsonObject &element)
{
    QList<QJsonObject> found;
    for (const QJsonValue &value : element.value(QStringLiteral("children")).toArray()) {
        if (value.toObject().value(QStringLiteral("type")).toString() ==
            QLatin1String("ServicePackages"))
            found.append(value.toObject());
    }
    return found;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

/// "name-version" of every cluster as pg_lsclusters lists it, and whether it is online.
QMap<QString, bool> listedClusters(QString *error)
{
    const ToolRun run =
        SystemTest::runTool(QStringLiteral("pg_lsclusters"), {QStringLiteral("-h")});
    QMap<QString, bool> clusters;
    if (!run.succeeded()) {
        *error = run.describe();
        return clusters;
    }
    for (const QString &line : run.lines()) {
        const QStringList fields = line.simplified().split(QLatin1Char(' '));
        if (fields.size() >= 4)
            clusters.insert(fields.at(1) + QLatin1Char('-') + fields.at(0),
                            fields.at(3).section(QLatin1Char(','), 0, 0) ==
                                QLatin1String("online"));
    }
    return clusters;
}

/// Every row below @p rows as "path" (first cells joined by " > ") with its second cell.
void flattenRows(const QJsonArray &rows, const QString &prefix, QStringList *sections,
                 QStringList *settings)
{
    for (const QJsonValue &value : rows) {
        const QJsonObject row = value.toObject();
        const QJsonArray cells = row.value(QStringLiteral("cells")).toArray();
        const QString name = cells.at(0).toString();
        const QString text = cells.at(1).toString();
        const QJsonArray children = row.value(QStringLiteral("children")).toArray();
        // A section shows its type and name; a setting its key and value. An empty section
        // looks like a setting: it is listed as one.
        if (!children.isEmpty()) {
            const QString path =
                prefix + name + (text.isEmpty() ? QString() : QStringLiteral(" ") + text);
            *sections << path;
            flattenRows(children, path + QStringLiteral(" > "), sections, settings);
        } else {
            *settings << prefix + name + QStringLiteral(" = ") + text;
        }
    }
}

} // namespace

class TestSystemServices : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void pluginsTreeAndPackages();
    void lightReadStates_data();
    void lightReadStates();
    void control();
    void kerberosStartThatFails();
    void configurationFiles();
    void doveconfTree();
    void sameThroughTheHelper();

private:
    /// Runs the console with every plug-in but the packages one, or @p withPackages.
    ConsoleBatchResult runConsole(const QByteArray &script, bool withPackages = false);
    void startServices(const QList<Service> &services);
    void stopServices(const QList<Service> &services);

    std::unique_ptr<SystemHost> m_host;
    std::unique_ptr<ConsoleBatch> m_console;
    std::unique_ptr<ConsoleBatch> m_fullConsole;
};

void TestSystemServices::initTestCase()
{
    m_host.reset(new SystemHost);
    OXA_REQUIRE_SYSTEM_HOST(*m_host, requiredPackages);
    m_fullConsole.reset(new ConsoleBatch(SystemTest::pluginFiles()));
    QVERIFY2(m_fullConsole->isValid(), qPrintable(m_fullConsole->errorString()));
    // The packages plug-in reads every service's package list at start-up, one dpkg-query
    // a package: only the suite of the packages elements needs it.
    QStringList files;
    for (const QString &file : SystemTest::pluginFiles()) {
        if (!file.contains(QLatin1String("oxa-service-packages-plugin")))
            files << file;
    }
    m_console.reset(new ConsoleBatch(files));
    QVERIFY2(m_console->isValid(), qPrintable(m_console->errorString()));
    QVERIFY2(m_host->prepareKerberos(), qPrintable(m_host->errorString()));
    QVERIFY2(m_host->prepareDovecot(), qPrintable(m_host->errorString()));
    QVERIFY2(m_host->installConsoleData(), qPrintable(m_host->errorString()));
    // A fresh /run: nothing runs yet.
    for (const Service &service : allServices())
        QVERIFY2(SystemTest::initStatus(service.script) != 0, qPrintable(service.script));
}

void TestSystemServices::cleanupTestCase()
{
    if (!m_host || !m_host->isAvailable())
        return;
    stopServices(allServices());
    SystemTest::initScript(QStringLiteral("postgresql"), QStringLiteral("stop"));
    // Every service stopped through its init script: nothing of them is left.
    SystemTest::waitForProcessesGone();
    const QStringList left = m_host->killLeftovers();
    m_host.reset();
    QVERIFY2(left.isEmpty(), qPrintable(left.join(QStringLiteral(", "))));
}

ConsoleBatchResult TestSystemServices::runConsole(const QByteArray &script, bool withPackages)
{
    const ConsoleBatchResult run = (withPackages ? m_fullConsole : m_console)->run(script, 240000);
    if (!run.ran || !run.reportParsed)
        qWarning("console: %s", run.errors.constData());
    return run;
}

void TestSystemServices::startServices(const QList<Service> &services)
{
    for (const Service &service : services) {
        const int code = SystemTest::initScript(service.script, QStringLiteral("start"));
        QVERIFY2(code == 0,
                 qPrintable(QStringLiteral("%1 start: %2").arg(service.script).arg(code)));
        // The krb5 scripts exit 0 even when the daemon fails: their status has the last word.
        QVERIFY2(SystemTest::waitForStatus(service.script, true) == 0,
                 qPrintable(service.script + QStringLiteral(" did not start")));
    }
}

void TestSystemServices::stopServices(const QList<Service> &services)
{
    for (const Service &service : services) {
        if (SystemTest::initStatus(service.script) == 0)
            SystemTest::initScript(service.script, QStringLiteral("stop"));
    }
}

void TestSystemServices::pluginsTreeAndPackages()
{
    // Every service's packages element, shown by its title below the service element.
    const QStringList packageOwners = {
        QStringLiteral("ServiceSamba"),       QStringLiteral("ServiceSlapd"),
        QStringLiteral("ServiceMailExim"),    QStringLiteral("ServiceMailDovecot"),
        QStringLiteral("ServiceKerberosKdc"), QStringLiteral("ServiceCron"),
        QStringLiteral("ServiceCups"),        QStringLiteral("ServiceApache")};
    const QHash<QString, QString> titles = {
        {QStringLiteral("ServiceSamba"), QStringLiteral("Samba")},
        {QStringLiteral("ServiceSlapd"), QStringLiteral("Slapd")},
        {QStringLiteral("ServiceMailExim"), QStringLiteral("Exim")},
        {QStringLiteral("ServiceMailDovecot"), QStringLiteral("Dovecot")},
        {QStringLiteral("ServiceKerberosKdc"), QStringLiteral("Kerberos KDC")},
        {QStringLiteral("ServiceCron"), QStringLiteral("Cron")},
        {QStringLiteral("ServiceCups"), QStringLiteral("Cups")},
        {QStringLiteral("ServiceApache"), QStringLiteral("Apache 2")}};
    QByteArray script = "perform read-content ServicePgsqlClusters\n";
    for (const QString &owner : packageOwners)
        script += QStringLiteral("show \"%1/%2\"\n").arg(owner, titles.value(owner)).toUtf8();
    QString error;
    const QMap<QString, bool> clusters = listedClusters(&error);
    QVERIFY2(!clusters.isEmpty(), qPrintable(error));
    for (const QString &cluster : clusters.keys())
        script += QStringLiteral("show \"%1/%1\"\n").arg(cluster).toUtf8();

    const ConsoleBatchResult run = runConsole(script, true);
    QVERIFY2(run.ran && run.reportParsed, run.errors.constData());
    QVERIFY2(run.exitCode == 0,
             qPrintable(SystemTest::taskFailures(run.report).join(QLatin1Char('\n'))));

    // Every plug-in valid but the directory service's, whose client package is not here.
    QStringList valid, invalid;
    for (const QJsonValue &value : run.report.value(QStringLiteral("plugins")).toArray()) {
        const QJsonObject plugin = value.toObject();
        (plugin.value(QStringLiteral("valid")).toBool() ? valid : invalid)
            << plugin.value(QStringLiteral("className")).toString();
    }
    QCOMPARE(valid.size() + invalid.size(), SystemTest::pluginFiles().size());
    QStringList expectedInvalid;
    if (SystemTest::packageVersion(QStringLiteral("tarn-client")).isEmpty())
        expectedInvalid << QStringLiteral("ServiceTarnPlugin");
    QCOMPARE(invalid, expectedInvalid);

    // The tree, complete.
    const QJsonArray tree = run.tree();
    for (const QString &owner : packageOwners)
        QCOMPARE(ConsoleBatch::elementById(tree, owner).value(QStringLiteral("title")).toString(),
                 titles.value(owner));
    QCOMPARE(ConsoleBatch::ids(tree), QStringList{QStringLiteral("ServiceServices")});
    const QJsonArray services = tree.first().toObject().value(QStringLiteral("children")).toArray();
    QCOMPARE(sorted(ConsoleBatch::ids(services)),
             sorted({QStringLiteral("ServiceSamba"), QStringLiteral("ServiceSlapd"),
                     QStringLiteral("ServiceMail"), QStringLiteral("ServiceKerberosKdc"),
                     QStringLiteral("ServiceCron"), QStringLiteral("ServiceCups"),
                     QStringLiteral("ServiceApache"), QStringLiteral("ServicePgsqlClusters")}));
    const auto childIds = [&tree](const QString &id) {
        QStringList ids;
        for (const QJsonValue &value :
             ConsoleBatch::elementById(tree, id).value(QStringLiteral("children")).toArray()) {
            const QJsonObject child = value.toObject();
            // The supplements' elements (packages, log) hang under every service alike.
            const QString type = child.value(QStringLiteral("type")).toString();
            if (type != QLatin1String("ServicePackages") && type != QLatin1String("ServiceLog"))
                ids << (child.value(QStringLiteral("id")).toString().isEmpty()
                            ? child.value(QStringLiteral("title")).toString()
                            : child.value(QStringLiteral("id")).toString());
        }
        return sorted(ids);
    };
    QCOMPARE(childIds(QStringLiteral("ServiceMail")),
             sorted({QStringLiteral("ServiceMailDovecot"), QStringLiteral("ServiceMailExim")}));
    QCOMPARE(childIds(QStringLiteral("ServiceKerberosKdc")),
             QStringList{QStringLiteral("ServiceKerberosKadmin")});
    QCOMPARE(childIds(QStringLiteral("ServiceCups")),
             QStringList{QStringLiteral("ServiceCupsPrinters")});
    QCOMPARE(childIds(QStringLiteral("ServiceApache")),
             QStringList{QStringLiteral("ServiceApacheModules")});
    // PostgreSQL with the clusters pg_lsclusters lists.
    QCOMPARE(childIds(QStringLiteral("ServicePgsqlClusters")), sorted(clusters.keys()));
    // The Apache caption carries the version dpkg reports.
    const QString apacheVersion = SystemTest::packageVersion(QStringLiteral("apache2"));
    QCOMPARE(
        ConsoleBatch::elementById(tree, QStringLiteral("ServiceApache"))
            .value(QStringLiteral("caption"))
            .toString(),
        QStringLiteral("Apache HTTP server %1").arg(apacheVersion.section(QLatin1Char('.'), 0, 1)));

    // One packages element under each service and each cluster, every version as dpkg says.
    QStringList owners = packageOwners + clusters.keys();
    const QJsonArray widgets = run.widgets();
    QCOMPARE(widgets.size(), owners.size());
    for (int i = 0; i < owners.size(); ++i) {
        const QString &owner = owners.at(i);
        const QJsonObject element = ConsoleBatch::elementById(tree, owner).isEmpty()
                                        ? ConsoleBatch::elementByTitle(tree, owner)
                                        : ConsoleBatch::elementById(tree, owner);
        QCOMPARE(packagesChildren(element).size(), 1);
        const QJsonObject widget = widgets.at(i).toObject();
        QCOMPARE(widget.value(QStringLiteral("class")).toString(),
                 QStringLiteral("ServicePackagesElementWidget"));
        const QList<QStringList> rows =
            tableCells(ConsoleBatch::widgetChild(widget, QStringLiteral("_packagesTextEdit"))
                           .value(QStringLiteral("html"))
                           .toString());
        QVERIFY2(rows.size() > 1, qPrintable(owner));
        for (const QStringList &row : rows.mid(1)) {
            QCOMPARE(row.size(), 2);
            const QString version = SystemTest::packageVersion(row.at(0));
            const QString expected = version.isEmpty() ? row.at(1) : version;
            QVERIFY2(row.at(1) == expected,
                     qPrintable(QStringLiteral("%1: %2 shows %3, dpkg-query %4")
                                    .arg(owner, row.at(0), row.at(1), version)));
            if (version.isEmpty()) // dpkg-query has no installed version: the console says so
                QVERIFY2(row.at(1) == QLatin1String("not installed") ||
                             row.at(1) == QLatin1String("unknown package"),
                         qPrintable(owner + QStringLiteral(": ") + row.join(QLatin1Char(' '))));
        }
    }
}

void TestSystemServices::lightReadStates_data()
{
    QTest::addColumn<QStringList>("running"); // init scripts started before the read

    QStringList all, alternate;
    for (int i = 0; i < allServices().size(); ++i) {
        all << allServices().at(i).script;
        if (i % 2 == 0)
            alternate << allServices().at(i).script;
    }
    QTest::newRow("all stopped") << QStringList();
    QTest::newRow("every other running") << alternate;
    QTest::newRow("all running") << all;
}

void TestSystemServices::lightReadStates()
{
    QFETCH(QStringList, running);

    QList<Service> toStart, toStop;
    for (const Service &service : allServices())
        (running.contains(service.script) ? toStart : toStop) << service;
    stopServices(toStop);
    startServices(toStart);
    if (QTest::currentTestFailed())
        return;
    // The cluster runs with the other services.
    const bool clusterOnline = running.size() == allServices().size();
    QCOMPARE(SystemTest::initScript(QStringLiteral("postgresql"), clusterOnline
                                                                      ? QStringLiteral("start")
                                                                      : QStringLiteral("stop")),
             0);

    const ConsoleBatchResult run = runConsole(lightReads);
    QVERIFY2(run.ran && run.reportParsed, run.errors.constData());
    QVERIFY2(run.exitCode == 0,
             qPrintable(SystemTest::taskFailures(run.report).join(QLatin1Char('\n'))));

    // Each state as the init script's own status exit code tells it.
    for (const Service &service : allServices()) {
        const int status = SystemTest::initStatus(service.script);
        const QString textState = SystemTest::elementTextState(run.report, service.element);
        QVERIFY2(textState == (status == 0 ? QLatin1String("running") : QLatin1String("stopped")),
                 qPrintable(QStringLiteral("%1: console \"%2\", %3 status exit %4")
                                .arg(service.element, textState, service.script)
                                .arg(status)));
        QCOMPARE(SystemTest::elementRunning(run.report, service.element), status == 0);
        QCOMPARE(status == 0, running.contains(service.script));
    }
    // Clusters as pg_lsclusters lists them; the init script agrees.
    QString error;
    const QMap<QString, bool> clusters = listedClusters(&error);
    QVERIFY2(!clusters.isEmpty(), qPrintable(error));
    for (auto it = clusters.cbegin(); it != clusters.cend(); ++it) {
        const QJsonObject cluster = ConsoleBatch::elementByTitle(run.tree(), it.key());
        const QJsonObject data = cluster.value(QStringLiteral("data"))
                                     .toObject()
                                     .value(QStringLiteral("properties"))
                                     .toObject();
        QCOMPARE(data.value(QStringLiteral("state")).toBool(), it.value());
        QCOMPARE(data.value(QStringLiteral("textState")).toString(),
                 it.value() ? QStringLiteral("online") : QStringLiteral("down"));
    }
    QCOMPARE(SystemTest::initStatus(QStringLiteral("postgresql")) == 0, clusterOnline);
}

void TestSystemServices::control()
{
    // One console run per action, each action on every service in turn; after each run
    // every init script's status must agree with the console.
    const QByteArray read = "perform read-light ServiceServices\n"
                            "perform read-light ServiceKerberosKadmin\n";
    const auto script = [&read](const QByteArray &action, bool reloadOnly) {
        QByteArray text = read;
        for (const Service &service : controlledServices()) {
            if (!reloadOnly || service.reloadOffered)
                text += "perform " + action + ' ' + service.element.toUtf8() + '\n';
        }
        // Read once more when every action has ended: the krb5 init scripts return before
        // their daemon is up, so the read right after their start may still find it stopped
        // (its status then says running a moment later). What the console shows at the end
        // must agree with status.
        return text + read;
    };
    const auto check = [](const ConsoleBatchResult &run, bool running, const char *step) {
        QVERIFY2(run.ran && run.reportParsed, (QByteArray(step) + ": " + run.errors).constData());
        QVERIFY2(run.exitCode == 0,
                 qPrintable(QString::fromLatin1(step) + QStringLiteral(": ") +
                            SystemTest::taskFailures(run.report).join(QLatin1Char('\n')) +
                            QString::fromLocal8Bit(run.errors)));
        for (const Service &service : controlledServices()) {
            const QByteArray where = service.script.toUtf8() + " after " + step;
            const int status = SystemTest::initStatus(service.script);
            QVERIFY2((status == 0) == running,
                     (where + ": status exit " + QByteArray::number(status)).constData());
            QVERIFY2(SystemTest::elementTextState(run.report, service.element) ==
                         (running ? QLatin1String("running") : QLatin1String("stopped")),
                     (where + ": the console says \"" +
                      SystemTest::elementTextState(run.report, service.element).toUtf8() + '"')
                         .constData());
            if (!running)
                SystemTest::waitForProcessesGone(service.daemon);
            QVERIFY2(SystemTest::namespaceProcesses(service.daemon).isEmpty() != running,
                     (where + ": processes " +
                      SystemTest::describeProcesses(SystemTest::namespaceProcesses(service.daemon))
                          .join(QStringLiteral(", "))
                          .toUtf8())
                         .constData());
        }
    };

    stopServices(controlledServices());

    ConsoleBatchResult run = runConsole(script("start", false));
    check(run, true, "start");
    if (QTest::currentTestFailed())
        return;
    QHash<QString, QList<qint64>> before;
    for (const Service &service : controlledServices())
        before.insert(service.daemon, SystemTest::namespaceProcesses(service.daemon));

    // Restart: every daemon replaced by a new one.
    run = runConsole(script("restart", false));
    check(run, true, "restart");
    if (QTest::currentTestFailed())
        return;
    QHash<QString, QList<qint64>> after;
    for (const Service &service : controlledServices()) {
        after.insert(service.daemon, SystemTest::namespaceProcesses(service.daemon));
        for (qint64 pid : before.value(service.daemon))
            QVERIFY2(!after.value(service.daemon).contains(pid),
                     qPrintable(QStringLiteral("%1 kept its process %2 through the restart")
                                    .arg(service.daemon)
                                    .arg(pid)));
    }

    // Reload, where the element offers it (Dovecot, Exim): the daemon stays. The others do
    // not offer it while running.
    for (const Service &service : controlledServices()) {
        const QJsonObject element = ConsoleBatch::elementById(run.tree(), service.element);
        const quint64 operations =
            element.value(QStringLiteral("operations")).toString().mid(2).toULongLong(nullptr, 16);
        QVERIFY2(bool(operations & 0x8000) == service.reloadOffered, qPrintable(service.element));
        QVERIFY2((operations & 0x6000) == 0x6000, qPrintable(service.element));
    }
    run = runConsole(script("reload", true));
    check(run, true, "reload");
    if (QTest::currentTestFailed())
        return;
    for (const Service &service : controlledServices()) {
        if (service.reloadOffered)
            QCOMPARE(SystemTest::namespaceProcesses(service.daemon).value(0),
                     after.value(service.daemon).value(0));
    }
    QCOMPARE(ConsoleBatch::taskDescriptions(run.report).filter(QStringLiteral("Reload ")),
             QStringList({QStringLiteral("Reload Exim service"),
                          QStringLiteral("Reload Dovecot service")}));

    run = runConsole(script("stop", false));
    check(run, false, "stop");
}

void TestSystemServices::kerberosStartThatFails()
{
    // The krb5 init scripts exit 0 even when their daemon fails to start (here: the realm
    // database is gone). The start task then counts as done, since its script says so, but
    // the console reads the state again afterwards and shows the KDC stopped, as its status
    // does.
    const Service &kdc = *serviceOf(QStringLiteral("ServiceKerberosKdc"));
    stopServices({kdc});
    const QString database = QStringLiteral("/var/lib/krb5kdc/principal");
    QVERIFY(QFile::rename(database, database + QStringLiteral(".away")));
    const ConsoleBatchResult run =
        runConsole("perform read-light ServiceServices\nperform start ServiceKerberosKdc\n");
    QVERIFY(QFile::rename(database + QStringLiteral(".away"), database));
    QVERIFY2(run.ran && run.reportParsed, run.errors.constData());
    const QJsonObject start =
        ConsoleBatch::taskByDescription(run.report, QStringLiteral("Start Kerberos KDC service"));
    QVERIFY(!start.isEmpty());
    qInfo("start task status %d, message \"%s\"", start.value(QStringLiteral("status")).toInt(),
          qPrintable(start.value(QStringLiteral("message")).toString()));
    QVERIFY(SystemTest::initStatus(kdc.script) != 0);
    QCOMPARE(SystemTest::elementTextState(run.report, kdc.element), QStringLiteral("stopped"));
    QVERIFY(SystemTest::namespaceProcesses(kdc.daemon).isEmpty());
}

void TestSystemServices::configurationFiles()
{
    startServices({*serviceOf(QStringLiteral("ServiceSamba")),
                   *serviceOf(QStringLiteral("ServiceKerberosKdc"))});
    if (QTest::currentTestFailed())
        return;
    const ConsoleBatchResult run =
        runConsole("show ServiceSamba\nshow ServiceKerberosKdc\nshow ServiceKerberosKadmin\n"
                   "show ServiceMailExim\n");
    QVERIFY2(run.ran && run.reportParsed, run.errors.constData());
    QVERIFY2(run.exitCode == 0,
             qPrintable(SystemTest::taskFailures(run.report).join(QLatin1Char('\n'))));
    const QJsonArray widgets = run.widgets();
    QCOMPARE(widgets.size(), 4);

    // The plain files, as the files hold them.
    const QList<QPair<QString, QString>> plain = {
        {QStringLiteral("/etc/samba/smb.conf"), QStringLiteral("running")},
        {QStringLiteral("/etc/krb5kdc/kdc.conf"), QStringLiteral("running")},
        {QStringLiteral("/etc/krb5kdc/kadm5.acl"), QStringLiteral("stopped")}};
    for (int i = 0; i < plain.size(); ++i) {
        const QJsonObject widget = widgets.at(i).toObject();
        QFile file(plain.at(i).first);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        const QByteArray content = file.readAll();
        QVERIFY(!content.isEmpty());
        QCOMPARE(ConsoleBatch::widgetChild(widget, QStringLiteral("_configPlainEdit"))
                     .value(QStringLiteral("text"))
                     .toString(),
                 QString::fromLocal8Bit(content));
        QCOMPARE(ConsoleBatch::widgetChild(widget, QStringLiteral("_confGroupBox"))
                     .value(QStringLiteral("title"))
                     .toString(),
                 QStringLiteral("Configuration: %1").arg(file.fileName()));
        QCOMPARE(ConsoleBatch::widgetChild(widget, QStringLiteral("_stateLabel"))
                     .value(QStringLiteral("text"))
                     .toString(),
                 QStringLiteral("<b>%1</b>").arg(plain.at(i).second));
    }

    // Exim's settings as update-exim4.conf, which sources the file with the shell, sees them.
    const QString eximConf = QStringLiteral("/etc/exim4/update-exim4.conf.conf");
    QFile file(eximConf);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QStringList names;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("^\\s*(\\w+)=")).match(QString::fromLocal8Bit(line));
        if (match.hasMatch())
            names << match.captured(1);
    }
    QVERIFY(names.contains(QStringLiteral("dc_eximconfig_configtype")));
    QString printer = QStringLiteral(". %1").arg(eximConf);
    for (const QString &name : names)
        printer += QStringLiteral("; printf '%s = %s\\n' %1 \"$%1\"").arg(name);
    const ToolRun shell =
        SystemTest::runTool(QStringLiteral("sh"), {QStringLiteral("-c"), printer});
    QVERIFY2(shell.succeeded(), qPrintable(shell.describe()));
    QStringList shown;
    const QJsonObject exim = widgets.at(3).toObject();
    for (const QJsonValue &value : ConsoleBatch::widgetChild(exim, QStringLiteral("_confTreeView"))
                                       .value(QStringLiteral("rows"))
                                       .toArray()) {
        const QJsonArray cells = value.toObject().value(QStringLiteral("cells")).toArray();
        shown << cells.at(0).toString() + QStringLiteral(" = ") + cells.at(1).toString();
    }
    QCOMPARE(sorted(shown), sorted(shell.lines()));
    stopServices({*serviceOf(QStringLiteral("ServiceSamba")),
                  *serviceOf(QStringLiteral("ServiceKerberosKdc"))});
}

void TestSystemServices::doveconfTree()
{
    startServices({*serviceOf(QStringLiteral("ServiceMailDovecot"))});
    if (QTest::currentTestFailed())
        return;
    const ConsoleBatchResult run = runConsole("show ServiceMailDovecot\n");
    QVERIFY2(run.ran && run.reportParsed, run.errors.constData());
    QVERIFY2(run.exitCode == 0,
             qPrintable(SystemTest::taskFailures(run.report).join(QLatin1Char('\n'))));
    // Every setting, as the console asks for them (Dovecot 2.4 prints them only with -a).
    const ToolRun doveconf = SystemTest::runTool(QStringLiteral("doveconf"), {"-a"});
    QVERIFY2(doveconf.succeeded(), qPrintable(doveconf.describe()));

    // doveconf's sections as paths ("service auth > unix_listener auth-client"), and its
    // settings below them.
    // An empty section ("plugin {" then "}") shows as a row like a setting's.
    QStringList sections, settings, path;
    QString open; // the section opened on the line before, as a setting would show it
    // "#" starts a comment in doveconf's syntax; it hides secrets behind one ("ssl_dh = #
    // hidden, use -P to show it"), which the console shows as an empty value.
    for (const QString &raw : doveconf.lines()) {
        const QString line = raw.section(QLatin1Char('#'), 0, 0).trimmed();
        if (line.isEmpty())
            continue;
        if (line == QLatin1String("}")) {
            if (!open.isEmpty()) {
                sections.removeLast();
                settings << open;
            }
            open.clear();
            path.removeLast();
        } else if (line.endsWith(QLatin1Char('{')) && !line.contains(QLatin1Char('='))) {
            const QString section = line.chopped(1).trimmed();
            const QString prefix = path.isEmpty()
                                       ? QString()
                                       : path.join(QStringLiteral(" > ")) + QStringLiteral(" > ");
            open = prefix + section.section(QLatin1Char(' '), 0, 0) + QStringLiteral(" = ") +
                   section.section(QLatin1Char(' '), 1);
            path << section;
            sections << path.join(QStringLiteral(" > "));
        } else {
            open.clear();
            const int equals = line.indexOf(QLatin1Char('='));
            QVERIFY2(equals > 0, qPrintable(line));
            QString key = path.join(QStringLiteral(" > "));
            if (!key.isEmpty())
                key += QStringLiteral(" > ");
            settings << key + line.left(equals).trimmed() + QStringLiteral(" = ") +
                            line.mid(equals + 1).trimmed();
        }
    }
    QVERIFY(sections.contains(QStringLiteral("service auth")));

    const QJsonObject widget = run.widgets().first().toObject();
    QCOMPARE(ConsoleBatch::widgetChild(widget, QStringLiteral("_stateLabel"))
                 .value(QStringLiteral("text"))
                 .toString(),
             QStringLiteral("<b>running</b>"));
    const QJsonArray top = ConsoleBatch::widgetChild(widget, QStringLiteral("_confTreeView"))
                               .value(QStringLiteral("rows"))
                               .toArray();
    QJsonArray full;
    for (const QJsonValue &value : top) {
        if (value.toObject().value(QStringLiteral("cells")).toArray().at(0).toString() ==
            QLatin1String("DOVECOT"))
            full = value.toObject().value(QStringLiteral("children")).toArray();
    }
    QVERIFY(!full.isEmpty());
    QStringList shownSections, shownSettings;
    flattenRows(full, QString(), &shownSections, &shownSettings);
    QStringList missing;
    for (const QString &section : sections) {
        if (!shownSections.contains(section))
            missing << section;
    }
    QVERIFY2(missing.isEmpty(),
             qPrintable(QStringLiteral("sections missing: ") + missing.join(QStringLiteral("; "))));
    QCOMPARE(sorted(shownSections), sorted(sections));
    QCOMPARE(sorted(shownSettings), sorted(settings));
    stopServices({*serviceOf(QStringLiteral("ServiceMailDovecot"))});
}

namespace {

/// What a run showed, less when it ended: each task's description, status and message, sorted
/// (tasks on different elements end in any order).
QStringList taskOutcomes(const ConsoleBatchResult &run)
{
    QStringList outcomes;
    for (const QJsonValue &value : run.tasks()) {
        const QJsonObject task = value.toObject();
        outcomes << QStringLiteral("%1 | %2 | %3")
                        .arg(task.value(QStringLiteral("description")).toString(),
                             QString::number(task.value(QStringLiteral("status")).toInt()),
                             task.value(QStringLiteral("message")).toString());
    }
    outcomes.sort();
    return outcomes;
}

} // namespace

/*
 * The console as an unprivileged user, its host work done by the privileged helper that sudo
 * starts, shows the real services as the console running as root does: the same tree, states,
 * configuration views and task outcomes. A read the helper's policy refuses would show here.
 */
void TestSystemServices::sameThroughTheHelper()
{
#ifndef OXA_BRIDGE_FILE
    QSKIP("the helper is not built");
#else
    TestHost &host = m_host->testHost();
    QVERIFY2(host.copyTree(QStringLiteral(OXA_BRIDGE_POLICY_DIR),
                           QStringLiteral("/usr/share/vell/bridge.d")),
             qPrintable(host.errorString()));
    QVERIFY(host.writeFile(QStringLiteral("/etc/sudoers.d/vell-admin-bridge-test"),
                           "nobody ALL=(root) NOPASSWD: " OXA_BRIDGE_FILE " \"\"\n", 0440));
    startServices(allServices());
    QByteArray script = lightReads;
    for (const Service &service : allServices())
        script += "perform read-heavy " + service.element.toUtf8() + '\n';

    const ConsoleBatchResult asRoot = runConsole(script);
    // The same plug-ins as runConsole(): all but the packages one.
    QStringList files;
    for (const QString &file : SystemTest::pluginFiles()) {
        if (!file.contains(QLatin1String("oxa-service-packages-plugin")))
            files << file;
    }
    ConsoleBatch helped(files);
    helped.setRunAs({QStringLiteral("/usr/sbin/runuser"), QStringLiteral("-u"),
                     QStringLiteral("nobody"), QStringLiteral("--")});
    helped.setArguments(
        {QStringLiteral("--bridge"), QStringLiteral("/usr/bin/sudo -n " OXA_BRIDGE_FILE)});
    const ConsoleBatchResult asUser = helped.run(script, 240000);
    stopServices(allServices());

    QVERIFY2(asRoot.reportParsed && asUser.reportParsed, asUser.errors.constData());
    QCOMPARE(asUser.report.value(QStringLiteral("error")).toString(), QString());
    // Every service's heavy read besides the light reads.
    QVERIFY(asRoot.tasks().size() > allServices().size());
    QCOMPARE(taskOutcomes(asUser), taskOutcomes(asRoot));
    QCOMPARE(asUser.tree(), asRoot.tree());
    QCOMPARE(asUser.widgets(), asRoot.widgets());
    QCOMPARE(asUser.exitCode, asRoot.exitCode);
#endif
}

OXA_SYSTEM_TEST_MAIN(TestSystemServices)
#include "tst_systemservices.moc"
