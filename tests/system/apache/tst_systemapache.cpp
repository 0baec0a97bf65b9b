// The Apache plug-in against the real Apache HTTP server, started through its init script in a
// disposable host: the sites, hosts and modules the console shows compared with what
// apache2ctl lists, a site and a module enabled and disabled through the console, and the
// state after each control action compared with the init script's status.

#include "consolebatch.h"
#include "systemtest.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

namespace {

const QString initScriptName = QStringLiteral("apache2");
const QString sitesAvailable = QStringLiteral("/etc/apache2/sites-available/");
const QString sitesEnabled = QStringLiteral("/etc/apache2/sites-enabled/");
const QString modsAvailable = QStringLiteral("/etc/apache2/mods-available/");
const QString modsEnabled = QStringLiteral("/etc/apache2/mods-enabled/");

/*
 * A site of our own with every shape of host apache2ctl -S prints: an address-based host on
 * 127.0.0.1, and two name-based hosts on one wildcard port, the first of them its default.
 * The ports are free in the test's private network.
 */
const char shopSite[] = "Listen 8081\n"
                        "Listen 8082\n"
                        "<VirtualHost *:8081>\n"
                        "    ServerName shop.example\n"
                        "</VirtualHost>\n"
                        "<VirtualHost *:8081>\n"
                        "    ServerName www.shop.example\n"
                        "    ServerAlias alias.shop.example\n"
                        "</VirtualHost>\n"
                        "<VirtualHost 127.0.0.1:8082>\n"
                        "    ServerName local.shop.example\n"
                        "</VirtualHost>\n";
// Available, not enabled until the console enables it.
const char blogSite[] = "<VirtualHost *:80>\n"
                        "    ServerName blog.example\n"
                        "</VirtualHost>\n";

/// The rows of the choice view of an Apache widget dump.
QJsonArray choiceRows(const QJsonObject &widget)
{
    return ConsoleBatch::widgetChild(widget, QStringLiteral("_choiceTreeView"))
        .value(QStringLiteral("rows"))
        .toArray();
}

/// A site row as the console shows it: ticked or not, its hosts as "name address file".
struct SiteRow
{
    bool checked = false;
    QStringList hosts;
};

QMap<QString, SiteRow> siteRows(const QJsonObject &widget)
{
    QMap<QString, SiteRow> sites;
    for (const QJsonValue &value : choiceRows(widget)) {
        const QJsonObject row = value.toObject();
        SiteRow site;
        site.checked = row.value(QStringLiteral("checked")).toBool();
        for (const QJsonValue &child : row.value(QStringLiteral("children")).toArray()) {
            const QJsonArray cells = child.toObject().value(QStringLiteral("cells")).toArray();
            site.hosts << QStringLiteral("%1 %2 %3")
                              .arg(cells.at(0).toString(), cells.at(1).toString(),
                                   QFileInfo(cells.at(2).toString()).fileName());
        }
        site.hosts.sort();
        sites.insert(row.value(QStringLiteral("cells")).toArray().at(0).toString(), site);
    }
    return sites;
}

/**
 * The hosts of the running configuration as apache2ctl -S lists them, grouped by the file of
 * sites-enabled that defines them, as "name address file". A port with one host is one line
 * ("ADDRESS NAME (FILE:LINE)"); a port with several is a block headed "ADDRESS is a
 * NameVirtualHost" whose default server the console lists as "def:NAME" beside its own row.
 */
QMap<QString, QStringList> apacheHosts(const QString &output)
{
    static const QRegularExpression single(
        QStringLiteral("^(\\S+:\\S+)\\s+(\\S+) \\((/etc/apache2/sites-enabled/[^:]+):\\d+\\)$"));
    static const QRegularExpression block(QStringLiteral("^(\\S+:\\S+)\\s+is a NameVirtualHost$"));
    static const QRegularExpression inBlock(
        QStringLiteral("^\\s+(default server|port \\S+ namevhost) (\\S+) "
                       "\\((/etc/apache2/sites-enabled/[^:]+):\\d+\\)$"));
    QMap<QString, QStringList> hosts;
    QString address;
    for (const QString &line : output.split(QLatin1Char('\n'))) {
        QRegularExpressionMatch match = single.match(line);
        if (match.hasMatch()) {
            const QString file = QFileInfo(match.captured(3)).fileName();
            hosts[file]
                << QStringLiteral("%1 %2 %3").arg(match.captured(2), match.captured(1), file);
            continue;
        }
        match = block.match(line);
        if (match.hasMatch()) {
            address = match.captured(1);
            continue;
        }
        match = inBlock.match(line);
        if (match.hasMatch()) {
            const QString file = QFileInfo(match.captured(3)).fileName();
            const QString name = match.captured(1) == QLatin1String("default server")
                                     ? QStringLiteral("def:") + match.captured(2)
                                     : match.captured(2);
            hosts[file] << QStringLiteral("%1 %2 %3").arg(name, address, file);
        }
    }
    for (QStringList &list : hosts)
        list.sort();
    return hosts;
}

/// File names in @p directory matching @p filter.
QStringList entries(const QString &directory, const QString &filter = QString())
{
    return QDir(directory).entryList(filter.isEmpty() ? QStringList() : QStringList{filter},
                                     QDir::Files | QDir::NoDotAndDotDot);
}

/// The rows of the modules widget as "name" -> checked (true, false) or null (static).
QMap<QString, QJsonValue> moduleRows(const QJsonObject &widget)
{
    QMap<QString, QJsonValue> modules;
    for (const QJsonValue &value : choiceRows(widget)) {
        const QJsonObject row = value.toObject();
        modules.insert(row.value(QStringLiteral("cells")).toArray().at(0).toString(),
                       row.value(QStringLiteral("checked")));
    }
    return modules;
}

/**
 * The modules apache2ctl -M lists ("NAME_module (shared|static)"): shared ones ticked, static
 * ones without a tick; then every .load file of mods-available that is not enabled, unticked.
 */
QMap<QString, QJsonValue> apacheModules(const QString &output)
{
    static const QRegularExpression loaded(QStringLiteral("^\\s(\\S+)_module \\((\\S+)\\)$"));
    QMap<QString, QJsonValue> modules;
    for (const QString &line : output.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = loaded.match(line);
        if (match.hasMatch())
            modules.insert(match.captured(1), match.captured(2) == QLatin1String("shared")
                                                  ? QJsonValue(true)
                                                  : QJsonValue(QJsonValue::Null));
    }
    const QStringList enabled = entries(modsEnabled, QStringLiteral("*.load"));
    for (const QString &file : entries(modsAvailable, QStringLiteral("*.load"))) {
        if (!enabled.contains(file))
            modules.insert(QFileInfo(file).completeBaseName(), QJsonValue(false));
    }
    return modules;
}

} // namespace

class TestSystemApache : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void sitesAndHostsAsApacheListsThem();
    void modulesAsApacheListsThem();
    void siteAndModuleEnabledAndDisabled();
    void stateAfterEachControlAction_data();
    void stateAfterEachControlAction();

private:
    /// Runs the console on @p script; fails the test when it did not run or a task failed.
    bool runConsole(const QByteArray &script, ConsoleBatchResult *result);
    ToolRun apache2ctl(const QString &option);

    std::unique_ptr<SystemHost> m_host;
    std::unique_ptr<ConsoleBatch> m_console;
};

void TestSystemApache::initTestCase()
{
    m_host = std::make_unique<SystemHost>();
    OXA_REQUIRE_SYSTEM_HOST(*m_host, QStringList{QStringLiteral("apache2")});
    // The Services root and Apache: the branch under test, with nothing else reading alongside.
    const QStringList plugins =
        SystemTest::pluginFiles({QStringLiteral("services"), QStringLiteral("apache")});
    QCOMPARE(plugins.size(), 2);
    m_console = std::make_unique<ConsoleBatch>(plugins);
    QVERIFY2(m_console->isValid(), qPrintable(m_console->errorString()));

    TestHost &host = m_host->testHost();
    QVERIFY(host.writeFile(sitesAvailable + QStringLiteral("shop.conf"), shopSite));
    QVERIFY(host.writeFile(sitesAvailable + QStringLiteral("blog.conf"), blogSite));
    const ToolRun enable =
        SystemTest::runTool(QStringLiteral("a2ensite"), {QStringLiteral("shop")});
    QVERIFY2(enable.succeeded(), qPrintable(enable.describe()));

    QCOMPARE(SystemTest::initStatus(initScriptName), 3);
    QCOMPARE(SystemTest::initScript(initScriptName, QStringLiteral("start")), 0);
    QCOMPARE(SystemTest::waitForStatus(initScriptName, true), 0);
}

void TestSystemApache::cleanupTestCase()
{
    if (m_host && m_host->isAvailable())
        SystemTest::initScript(initScriptName, QStringLiteral("stop"));
    m_console.reset();
    m_host.reset();
}

bool TestSystemApache::runConsole(const QByteArray &script, ConsoleBatchResult *result)
{
    return SystemTest::runConsole(*m_console, script, result);
}

ToolRun TestSystemApache::apache2ctl(const QString &option)
{
    return SystemTest::runTool(QStringLiteral("apache2ctl"), {option});
}

void TestSystemApache::sitesAndHostsAsApacheListsThem()
{
    ConsoleBatchResult run;
    QVERIFY(runConsole("perform read-light ServiceServices\nshow ServiceApache\n", &run));
    const ToolRun listed = apache2ctl(QStringLiteral("-S"));
    QVERIFY2(listed.succeeded(), qPrintable(listed.describe()));

    // The state is the init script's: running.
    QCOMPARE(SystemTest::elementTextState(run.report, QStringLiteral("ServiceApache")),
             QStringLiteral("running"));
    const QJsonObject widget = ConsoleBatch::widgetOf(run.report, QStringLiteral("ServiceApache"));
    QCOMPARE(ConsoleBatch::widgetChild(widget, QStringLiteral("_stateLabel"))
                 .value(QStringLiteral("text"))
                 .toString(),
             QStringLiteral("<b>running</b>"));

    const QMap<QString, SiteRow> shown = siteRows(widget);
    const QMap<QString, QStringList> hosts = apacheHosts(listed.text());
    // Every enabled site ticked, with exactly the hosts apache2ctl -S finds in its file.
    const QStringList enabled = entries(sitesEnabled);
    QCOMPARE(enabled,
             (QStringList{QStringLiteral("000-default.conf"), QStringLiteral("shop.conf")}));
    for (const QString &site : enabled) {
        QVERIFY2(shown.contains(site), qPrintable(site));
        QVERIFY2(shown.value(site).checked, qPrintable(site));
        QCOMPARE(shown.value(site).hosts, hosts.value(site));
    }
    // Our own site, as we wrote it: apache2ctl and the console agree on every shape.
    QCOMPARE(shown.value(QStringLiteral("shop.conf")).hosts,
             (QStringList{QStringLiteral("def:shop.example *:8081 shop.conf"),
                          QStringLiteral("local.shop.example 127.0.0.1:8082 shop.conf"),
                          QStringLiteral("shop.example *:8081 shop.conf"),
                          QStringLiteral("www.shop.example *:8081 shop.conf")}));
    // Every available site that is not enabled, unticked. apache2ctl -S -f on a single site
    // file always fails ("No MPM loaded": the file loads no modules), so each gets the one
    // "undefined" host row, by design.
    const ToolRun single = SystemTest::runTool(
        QStringLiteral("apache2ctl"),
        {QStringLiteral("-S"), QStringLiteral("-f"), sitesAvailable + QStringLiteral("blog.conf")});
    QVERIFY2(single.finished && single.exitCode != 0, qPrintable(single.describe()));
    QVERIFY2(single.errors.contains("No MPM loaded"), single.errors.constData());
    int notEnabled = 0;
    for (const QString &site : entries(sitesAvailable)) {
        if (enabled.contains(site))
            continue;
        ++notEnabled;
        QVERIFY2(shown.contains(site), qPrintable(site));
        QVERIFY2(!shown.value(site).checked, qPrintable(site));
        QCOMPARE(shown.value(site).hosts,
                 QStringList{QStringLiteral("undefined undefined %1").arg(site)});
    }
    QCOMPARE(notEnabled, 2); // blog.conf, default-ssl.conf
    QCOMPARE(shown.size(), enabled.size() + notEnabled);
}

void TestSystemApache::modulesAsApacheListsThem()
{
    ConsoleBatchResult run;
    QVERIFY(runConsole("show ServiceApacheModules\n", &run));
    const ToolRun listed = apache2ctl(QStringLiteral("-M"));
    QVERIFY2(listed.succeeded(), qPrintable(listed.describe()));

    const QMap<QString, QJsonValue> expected = apacheModules(listed.text());
    const QMap<QString, QJsonValue> shown =
        moduleRows(ConsoleBatch::widgetOf(run.report, QStringLiteral("ServiceApacheModules")));
    // Enough of each kind that the comparison means something.
    QVERIFY(expected.value(QStringLiteral("core")).isNull());
    QCOMPARE(expected.value(QStringLiteral("mpm_event")), QJsonValue(true));
    // At least one available module that is not loaded (rewrite on a fresh install; the
    // machine's administrator may have enabled that one).
    QVERIFY(expected.values().contains(QJsonValue(false)));
    QCOMPARE(shown.keys(), expected.keys());
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QVERIFY2(shown.value(it.key()) == it.value(), qPrintable(it.key()));
}

void TestSystemApache::siteAndModuleEnabledAndDisabled()
{
    // "yes": the sites update reloads the running server, the modules update restarts it.
    ConsoleBatchResult run;
    QVERIFY(runConsole("show ServiceApache\n"
                       "set ServiceApache blog.conf=on 000-default.conf=off\n"
                       "apply ServiceApache yes\n"
                       "show ServiceApacheModules\n"
                       "set ServiceApacheModules rewrite=on status=off\n"
                       "apply ServiceApacheModules yes\n"
                       "show ServiceApache\n"
                       "show ServiceApacheModules\n",
                       &run));
    const QStringList tasks = ConsoleBatch::taskDescriptions(run.report);
    QVERIFY2(tasks.contains(QStringLiteral("Reload Apache service configuration")),
             qPrintable(tasks.join(QStringLiteral(", "))));
    QVERIFY2(tasks.contains(QStringLiteral("Restart Apache service")),
             qPrintable(tasks.join(QStringLiteral(", "))));

    // The real a2ensite, a2dissite, a2enmod and a2dismod did it.
    QVERIFY(QFileInfo(sitesEnabled + QStringLiteral("blog.conf")).isSymLink());
    QVERIFY(!QFileInfo::exists(sitesEnabled + QStringLiteral("000-default.conf")));
    QVERIFY(QFileInfo(modsEnabled + QStringLiteral("rewrite.load")).isSymLink());
    QVERIFY(!QFileInfo::exists(modsEnabled + QStringLiteral("status.load")));
    QVERIFY(!QFileInfo::exists(modsEnabled + QStringLiteral("status.conf")));
    // The server took it up and still runs.
    QCOMPARE(SystemTest::waitForStatus(initScriptName, true), 0);
    const ToolRun sites = apache2ctl(QStringLiteral("-S"));
    QVERIFY2(sites.succeeded(), qPrintable(sites.describe()));
    const QMap<QString, QStringList> hosts = apacheHosts(sites.text());
    QCOMPARE(hosts.value(QStringLiteral("blog.conf")),
             QStringList{QStringLiteral("blog.example *:80 blog.conf")});
    QVERIFY(!hosts.contains(QStringLiteral("000-default.conf")));
    const ToolRun modules = apache2ctl(QStringLiteral("-M"));
    QVERIFY2(modules.succeeded(), qPrintable(modules.describe()));
    QVERIFY(modules.text().contains(QLatin1String(" rewrite_module (shared)")));
    QVERIFY(!modules.text().contains(QLatin1String(" status_module ")));

    // The console's second look agrees with the tools.
    const QJsonArray widgets = run.report.value(QStringLiteral("widgets")).toArray();
    QCOMPARE(widgets.size(), 4);
    const QMap<QString, SiteRow> shown = siteRows(widgets.at(2).toObject());
    QVERIFY(shown.value(QStringLiteral("blog.conf")).checked);
    QCOMPARE(shown.value(QStringLiteral("blog.conf")).hosts,
             hosts.value(QStringLiteral("blog.conf")));
    QVERIFY(!shown.value(QStringLiteral("000-default.conf")).checked);
    QCOMPARE(moduleRows(widgets.at(3).toObject()), apacheModules(modules.text()));
}

void TestSystemApache::stateAfterEachControlAction_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<bool>("running");
    // In this order: each row starts from the state the previous one left.
    QTest::newRow("stop") << QStringLiteral("stop") << false;
    QTest::newRow("start") << QStringLiteral("start") << true;
    QTest::newRow("restart") << QStringLiteral("restart") << true;
    QTest::newRow("reload") << QStringLiteral("reload") << true;
}

void TestSystemApache::stateAfterEachControlAction()
{
    QFETCH(QString, operation);
    QFETCH(bool, running);

    ConsoleBatchResult run;
    QVERIFY(runConsole(QStringLiteral("perform read-light ServiceServices\n"
                                      "perform %1 ServiceApache\n")
                           .arg(operation)
                           .toUtf8(),
                       &run));
    QVERIFY(ConsoleBatch::taskDescriptions(run.report).size() >= 2);
    const int status = SystemTest::waitForStatus(initScriptName, running);
    QCOMPARE(status == 0, running);
    QCOMPARE(SystemTest::elementRunning(run.report, QStringLiteral("ServiceApache")), running);
    QCOMPARE(SystemTest::elementTextState(run.report, QStringLiteral("ServiceApache")),
             running ? QStringLiteral("running") : QStringLiteral("stopped"));
    // Nothing of the server is left once the init script says it stopped.
    if (!running)
        QVERIFY(SystemTest::waitForProcessesGone(QStringLiteral("apache2")));
}

OXA_SYSTEM_TEST_MAIN(TestSystemApache)
#include "tst_systemapache.moc"
