// Every plug-in library as the console loads it, held to the same rows: its entry points and
// identity, its package check, the operations its elements offer by state and right, and the
// tasks (with the programs they run) its operations become.

#include "servicetaskcheck.h"
#include "tarnsimulation.h"
#include "taskrunner.h"
#include "testhost.h"
#include "testicontheme.h"

#include <consoledata.h>
#include <consoleregistry.h>
#include <element.h>
#include <elementdata.h>
#include <module.h>
#include <plugin.h>
#include <taskdescription.h>
#include <vieweditelementwidget.h>

#include <QIcon>
#include <QJsonObject>
#include <QMap>
#include <QPluginLoader>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <map>
#include <memory>

namespace {

const QString callsFile = QStringLiteral("/var/tmp/conformance.calls");
const QString servicesRoot = QStringLiteral("ServiceServices");

/// The plug-in libraries, by the name the rows give them.
const QMap<QString, QString> &libraries()
{
    static const QMap<QString, QString> files{
        {QStringLiteral("apache"), QStringLiteral(OXA_APACHE_PLUGIN_FILE)},
        {QStringLiteral("cron"), QStringLiteral(OXA_CRON_PLUGIN_FILE)},
        {QStringLiteral("cups"), QStringLiteral(OXA_CUPS_PLUGIN_FILE)},
        {QStringLiteral("dovecot"), QStringLiteral(OXA_DOVECOT_PLUGIN_FILE)},
        {QStringLiteral("exim"), QStringLiteral(OXA_EXIM_PLUGIN_FILE)},
        {QStringLiteral("kerberos"), QStringLiteral(OXA_KERBEROS_PLUGIN_FILE)},
        {QStringLiteral("log"), QStringLiteral(OXA_LOG_PLUGIN_FILE)},
        {QStringLiteral("mail"), QStringLiteral(OXA_MAIL_PLUGIN_FILE)},
        {QStringLiteral("packages"), QStringLiteral(OXA_PACKAGES_PLUGIN_FILE)},
        {QStringLiteral("pgsql"), QStringLiteral(OXA_PGSQL_PLUGIN_FILE)},
        {QStringLiteral("samba"), QStringLiteral(OXA_SAMBA_PLUGIN_FILE)},
        {QStringLiteral("services"), QStringLiteral(OXA_SERVICES_PLUGIN_FILE)},
        {QStringLiteral("slapd"), QStringLiteral(OXA_SLAPD_PLUGIN_FILE)},
        {QStringLiteral("tarn"), QStringLiteral(OXA_TARN_PLUGIN_FILE)},
    };
    return files;
}

/// The loader of each library, kept for the whole run: a library stays loaded once loaded.
QPluginLoader &loader(const QString &library)
{
    static std::map<QString, std::unique_ptr<QPluginLoader>> loaders;
    std::unique_ptr<QPluginLoader> &entry = loaders[library];
    if (!entry)
        entry = std::make_unique<QPluginLoader>(libraries().value(library));
    return *entry;
}

/// Where the libraries look for their catalogues when they are loaded.
QString catalogues()
{
    return ConsoleData::path(QStringLiteral("translations/vell-admin-service"));
}

/// Records "@p program arguments..." in the calls file, then runs @p body.
QString recording(const QString &program, const QString &body)
{
    return QStringLiteral("printf '%s\\n' \"%1 $*\" >> %2\n%3").arg(program, callsFile, body);
}

/**
 * The shared fixture: a disposable host laid out for one subject (recording stand-ins for the
 * init scripts and tools its tasks run, the files its reads need), the Services root and the
 * subject's plug-in made from their libraries as the console makes them, and the console's
 * trees built from them.
 */
class Console
{
public:
    Console() = default;
    ~Console()
    {
        TaskObserver::instance()->waitForIdle(60000);
        m_registry.reset();
        // The next instance() makes a fresh plug-in object.
        delete m_plugin;
        delete m_services;
    }
    Console(const Console &) = delete;
    Console &operator=(const Console &) = delete;

    TestHost host;

    /**
     * Lays out the host for @p subject (@p withPackages: with the packages its tasks need) and
     * loads it; false with errorString() when that failed.
     */
    bool load(const QString &subject, bool withPackages = true)
    {
        m_subject = subject;
        m_withPackages = withPackages;
        m_library = subject.section(QLatin1Char(' '), 0, 0);
        if (!layOut())
            return false;
        if (m_library != QLatin1String("services") && !(m_services = instance("services")))
            return false;
        if (!(m_plugin = instance(m_library)))
            return false;
        m_registry = std::make_unique<ConsoleRegistry>();
        if (m_services)
            m_registry->addPlugin(m_services, true);
        m_registry->addPlugin(m_plugin, true);
        m_registry->build();
        m_made = calls();
        return clearCalls();
    }
    QString errorString() const { return m_error; }
    /// What the stand-ins ran while the console made the plug-in.
    QStringList madeCalls() const { return m_made; }

    Plugin *plugin() const { return m_plugin; }
    /// The subject's elements, module by module.
    QList<Element *> elements() const
    {
        QList<Element *> all;
        for (Module *module : m_plugin->modules())
            all << module->elements();
        return all;
    }
    Element *element(const QString &id) const
    {
        for (Element *element : elements()) {
            if (element->id() == id)
                return element;
        }
        return nullptr;
    }
    /// The subject's modules below no other module of it.
    QList<Module *> topModules() const
    {
        QList<Module *> top;
        for (Module *module : m_plugin->modules()) {
            if (!module->parentModule() || !m_plugin->modules().contains(module->parentModule()))
                top << module;
        }
        return top;
    }
    /// The right the top modules give (the others follow theirs).
    void setAdministrator(bool administrator)
    {
        for (Module *module : topModules())
            module->setData(QStringLiteral("administrator"), administrator);
    }
    /// Performs @p type on the element @p id or, for the Services root, hands it to the top
    /// modules with the root as context, as the framework does.
    bool perform(const QString &id, OperationType type)
    {
        if (id != servicesRoot) {
            Element *target = element(id);
            if (!target)
                return false;
            target->performOperation(type, nullptr, 0);
            return true;
        }
        Element *root = m_registry->findElement(servicesRoot);
        if (!root)
            return false;
        for (Module *module : topModules())
            module->performOperation(root, type, nullptr, 0);
        return true;
    }
    /// Every command line the stand-ins ran, those of one program in the order they came.
    QStringList calls()
    {
        QStringList lines = ServiceTaskCheck::recordedCalls(callsFile);
        if (m_library == QLatin1String("tarn"))
            lines << TarnSimulation(host).calls();
        std::stable_sort(lines.begin(), lines.end(), [](const QString &a, const QString &b) {
            return a.section(QLatin1Char(' '), 0, 0) < b.section(QLatin1Char(' '), 0, 0);
        });
        return lines;
    }

private:
    Plugin *instance(const QString &library)
    {
        QPluginLoader &plugins = loader(library);
        auto *plugin = qobject_cast<Plugin *>(plugins.instance());
        if (!plugin) {
            m_error = QStringLiteral("%1: %2").arg(library, plugins.errorString());
            return nullptr;
        }
        // As the console does once it has made the object: what a module asks of its host
        // (the Tarn role) it asks then, of this connection.
        for (Module *module : plugin->modules())
            module->setHostConnection(Module::hostConnectionOf(nullptr));
        return plugin;
    }
    bool clearCalls()
    {
        if (!host.removePath(callsFile))
            return fail();
        if (m_library == QLatin1String("tarn")) {
            TarnSimulation tarn(host);
            if (!tarn.clearCalls()) {
                m_error = tarn.errorString();
                return false;
            }
        }
        return true;
    }
    bool fail()
    {
        m_error = host.errorString();
        return false;
    }
    bool script(const QString &path)
    {
        return host.writeScript(path, recording(path, QStringLiteral("exit 0"))) || fail();
    }
    bool tool(const QString &name, const QString &body)
    {
        return host.writeTool(name, recording(name, body)) || fail();
    }
    bool file(const QString &path, const QByteArray &content)
    {
        return host.writeFile(path, content) || fail();
    }
    bool directory(const QString &path) { return host.mkdir(path) || fail(); }
    bool remove(const QString &path) { return host.removePath(path) || fail(); }

    /// What the subject's tasks need to succeed, whatever this machine has configured.
    bool layOut()
    {
        // The rows hold the untranslated texts, whatever catalogues this machine has.
        if (!remove(catalogues()))
            return false;
        // Booted with systemd, whatever this machine is: every state read asks for the boot
        // state of the service's unit, which is not started at boot.
        if (!host.setSystemdBooted(true) ||
            !tool(QStringLiteral("systemctl"),
                  QStringLiteral("[ \"$1\" = is-enabled ] || exit 0\necho disabled\nexit 1")))
            return fail();
        const QString &l = m_library;
        if (l == QLatin1String("apache")) {
            return script(QStringLiteral("/etc/init.d/apache2")) &&
                   tool(QStringLiteral("apache2ctl"), QStringLiteral("exit 0")) &&
                   remove(QStringLiteral("/etc/apache2")) &&
                   directory(QStringLiteral("/etc/apache2/sites-available")) &&
                   directory(QStringLiteral("/etc/apache2/sites-enabled")) &&
                   directory(QStringLiteral("/etc/apache2/mods-available")) &&
                   directory(QStringLiteral("/etc/apache2/mods-enabled"));
        }
        if (l == QLatin1String("cron")) {
            return script(QStringLiteral("/etc/init.d/cron")) &&
                   file(QStringLiteral("/etc/crontab"), "MAILTO=root\n");
        }
        if (l == QLatin1String("cups")) {
            return script(QStringLiteral("/etc/init.d/cups")) &&
                   remove(QStringLiteral("/etc/cups")) &&
                   file(QStringLiteral("/etc/cups/cupsd.conf"), "Listen localhost:631\n") &&
                   remove(QStringLiteral("/var/spool/cups"));
        }
        if (l == QLatin1String("dovecot")) {
            return script(QStringLiteral("/etc/init.d/dovecot")) &&
                   tool(QStringLiteral("doveconf"), QStringLiteral("echo 'ssl = yes'"));
        }
        if (l == QLatin1String("exim")) {
            return script(QStringLiteral("/etc/init.d/exim4")) &&
                   file(QStringLiteral("/etc/exim4/update-exim4.conf.conf"),
                        "dc_eximconfig_configtype='local'\n");
        }
        if (l == QLatin1String("kerberos")) {
            return script(QStringLiteral("/etc/init.d/krb5-kdc")) &&
                   script(QStringLiteral("/etc/init.d/krb5-admin-server")) &&
                   file(QStringLiteral("/etc/krb5kdc/kdc.conf"), "[kdcdefaults]\n") &&
                   file(QStringLiteral("/etc/krb5kdc/kadm5.acl"), "\n");
        }
        if (l == QLatin1String("pgsql")) {
            if (!remove(QStringLiteral("/etc/postgresql")))
                return false;
            // The list read asks dpkg for the server versions first.
            return !m_withPackages ||
                   host.installPackage(QStringLiteral("postgresql-15"),
                                       QStringLiteral("15.18-0+deb12u1")) ||
                   fail();
        }
        if (l == QLatin1String("samba")) {
            return script(QStringLiteral("/etc/init.d/smbd")) &&
                   file(QStringLiteral("/etc/samba/smb.conf"), "[global]\n");
        }
        if (l == QLatin1String("slapd")) {
            return script(QStringLiteral("/etc/init.d/slapd")) &&
                   remove(QStringLiteral("/etc/ldap/slapd.d"));
        }
        if (l == QLatin1String("tarn")) {
            TarnSimulation tarn(host);
            const bool server = m_subject.endsWith(QLatin1String("server"));
            if (tarn.install() &&
                tarn.setRole(server ? TarnSimulation::Server : TarnSimulation::Client))
                return true;
            m_error = tarn.errorString();
            return false;
        }
        return true;
    }

    QString m_subject;
    QString m_library;
    bool m_withPackages = true;
    QString m_error;
    QStringList m_made;
    Plugin *m_services = nullptr;
    Plugin *m_plugin = nullptr;
    std::unique_ptr<ConsoleRegistry> m_registry;
};

/// What the row expects of one task: "element: description: outcome".
QString task(const QString &element, const QString &description,
             TaskDescription::TaskStatus outcome = TaskDescription::TaskStatusDone)
{
    return QStringLiteral("%1: %2: %3")
        .arg(element, description, TaskDescription::statusName(outcome));
}

/// The reports as task() writes them, those of one element in the order they ended.
QStringList tasks(const QList<TaskReport> &reports)
{
    QStringList lines;
    for (const TaskReport &report : reports) {
        lines << QStringLiteral("%1: %2: %3")
                     .arg(report.elementId, report.description,
                          TaskDescription::statusName(report.status));
    }
    std::stable_sort(lines.begin(), lines.end(), [](const QString &a, const QString &b) {
        return a.section(QLatin1Char(':'), 0, 0) < b.section(QLatin1Char(':'), 0, 0);
    });
    return lines;
}

/// @p operations by the batch language's names, in bit order.
QString names(OperationTypes operations)
{
    QStringList words;
    for (OperationType type : allOperations()) {
        if (operations & OperationTypes(type))
            words << operationName(type);
    }
    return words.join(QLatin1Char(' '));
}

/// The framework class @p element is made of.
QString elementBase(Element *element)
{
    if (qobject_cast<ServiceElement *>(element))
        return QStringLiteral("ServiceElement");
    if (qobject_cast<ContainerElement *>(element))
        return QStringLiteral("ContainerElement");
    if (qobject_cast<SupplementElement *>(element))
        return QStringLiteral("SupplementElement");
    return QStringLiteral("Element");
}

/// The parts of @p widget its form names ("_stateLabel"), as "class name", sorted.
QStringList formParts(const QWidget *widget)
{
    QStringList parts;
    for (const QObject *child : widget->findChildren<QObject *>()) {
        if (child->objectName().startsWith(QLatin1Char('_')))
            parts << QStringLiteral("%1 %2").arg(child->metaObject()->className(),
                                                 child->objectName());
    }
    parts.sort();
    return parts;
}

/// @p module's data as "key=value", sorted; the right it took from the console as
/// "administrator=console".
QStringList moduleData(const Module *module)
{
    QStringList entries;
    const QVariantMap &data = module->moduleData();
    for (auto it = data.cbegin(); it != data.cend(); ++it) {
        QString value = it.value().toString();
        if (it.key() == QLatin1String("administrator") &&
            it.value().toBool() == Module::isAdministrator(module))
            value = QStringLiteral("console");
        entries << it.key() + QLatin1Char('=') + value;
    }
    return entries;
}

} // namespace

/**
 * The plug-ins as the console meets them, row by row: what their libraries export, what they
 * are (modules, elements, widgets), when they are valid, what their elements offer, and which
 * tasks, running which programs, their operations become.
 */
class TestPluginConformance : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void libraryEntryPoints_data();
    void libraryEntryPoints();
    void identity_data();
    void identity();
    void modules_data();
    void modules();
    void elements_data();
    void elements();
    void widgets_data();
    void widgets();
    void packageCheck_data();
    void packageCheck();
    void offeredOperations_data();
    void offeredOperations();
    void operationsBecomeTasks_data();
    void operationsBecomeTasks();

private:
    QTemporaryDir m_themes;
};

void TestPluginConformance::initTestCase()
{
    // The icons the elements show: the root's, and a service's by its state.
    QVERIFY(installIconTheme(m_themes,
                             {QStringLiteral("computer"), QStringLiteral("media-playback-start"),
                              QStringLiteral("media-playback-stop")}));
}

void TestPluginConformance::cleanupTestCase()
{
    // The console deletes its plug-ins and unloads their libraries while the application
    // still exists.
    for (const QString &library : libraries().keys()) {
        if (loader(library).isLoaded())
            QVERIFY2(loader(library).unload(), qPrintable(library));
    }
}

void TestPluginConformance::libraryEntryPoints_data()
{
    QTest::addColumn<QString>("library");
    QTest::addColumn<QString>("className");
    const QMap<QString, QString> classes{
        {"apache", "ServiceApachePlugin"},     {"cron", "ServiceCronPlugin"},
        {"cups", "ServiceCupsPlugin"},         {"dovecot", "ServiceMailDovecotPlugin"},
        {"exim", "ServiceMailEximPlugin"},     {"kerberos", "ServiceKerberosPlugin"},
        {"log", "ServiceLogPlugin"},           {"mail", "ServiceMailPlugin"},
        {"packages", "ServicePackagesPlugin"}, {"pgsql", "ServicePgsqlPlugin"},
        {"samba", "ServiceSambaPlugin"},       {"services", "ServiceServicesPlugin"},
        {"slapd", "ServiceSlapdPlugin"},       {"tarn", "ServiceTarnPlugin"},
    };
    QCOMPARE(classes.keys(), libraries().keys());
    for (auto it = classes.cbegin(); it != classes.cend(); ++it)
        QTest::newRow(qPrintable(it.key())) << it.key() << it.value();
}

void TestPluginConformance::libraryEntryPoints()
{
    QFETCH(QString, library);
    QFETCH(QString, className);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.removePath(catalogues()));
    QPluginLoader &plugins = loader(library);
    const QJsonObject meta = plugins.metaData();
    QCOMPARE(meta.value(QStringLiteral("IID")).toString(), QStringLiteral(OXA_PLUGIN_IID));
    QCOMPARE(meta.value(QStringLiteral("className")).toString(), className);
    QVERIFY(meta.value(QStringLiteral("MetaData")).toObject().isEmpty());

    QObject *instance = plugins.instance();
    QVERIFY2(instance, qPrintable(plugins.errorString()));
    QCOMPARE(plugins.instance(), instance); // one plug-in object per library
    auto *plugin = qobject_cast<Plugin *>(instance);
    QVERIFY(plugin);
    QCOMPARE(instance->metaObject()->className(), qPrintable(className));
    QCOMPARE(instance->qt_metacast(OXA_PLUGIN_IID), static_cast<void *>(plugin));
    QCOMPARE(instance->qt_metacast(qPrintable(className)), static_cast<void *>(instance));
    QVERIFY(!instance->parent());
    const int modules = plugin->modules().size();

    // Gone: the next call makes a new one.
    delete instance;
    QObject *again = plugins.instance();
    QVERIFY(qobject_cast<Plugin *>(again));
    QCOMPARE(qobject_cast<Plugin *>(again)->modules().size(), modules);
    delete again;
}

void TestPluginConformance::identity_data()
{
    QTest::addColumn<QString>("subject");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("packages"); // the packages it is about
    QTest::addColumn<QString>("modules");
    QTest::addColumn<QString>("made"); // what the stand-ins ran while it was made, "; " between

    struct Row
    {
        const char *subject;
        int type;
        const char *name, *description, *packages, *modules, *made;
    };
    for (const Row &r : {
             Row{"apache", 5, "ServiceApachePlugin", "Service Apache plugin", "apache2",
                 "ServiceApacheModule", ""},
             Row{"cron", 5, "ServiceCronPlugin", "Service Cron plugin", "cron", "ServiceCronModule",
                 ""},
             Row{"cups", 5, "ServiceCupsPlugin", "Service Cups plugin", "cups-common",
                 "ServiceCupsModule", ""},
             Row{"dovecot", 5, "ServiceMailDovecotPlugin", "Service Dovecot plugin", "dovecot-core",
                 "ServiceMailDovecotModule", ""},
             Row{"exim", 5, "ServiceMailEximPlugin", "Service Exim plugin", "exim4-base",
                 "ServiceMailEximModule", ""},
             Row{"kerberos", 5, "ServiceKerberosPlugin", "Service Kerberos plugin", "krb5-kdc",
                 "ServiceKerberosModule", ""},
             // The work module, then a supplement for each service element and the clusters.
             Row{"log", 1, "ServiceLogPlugin", "Service log plugin", "",
                 "ServiceLogModule ServiceApacheLogSupplementModule "
                 "ServiceCronLogSupplementModule ServiceCupsLogSupplementModule "
                 "ServiceMailDovecotLogSupplementModule ServiceMailEximLogSupplementModule "
                 "ServiceKerberosKdcLogSupplementModule ServiceKerberosKadminLogSupplementModule "
                 "ServiceSambaLogSupplementModule ServiceSlapdLogSupplementModule "
                 "ServiceTarnTarndLogSupplementModule ServicePgsqlClusterLogSupplementModule",
                 ""},
             Row{"mail", 5, "ServiceMailPlugin", "Service mail plugin - dummy",
                 "dovecot-core exim4-base", "ServiceMailModule", ""},
             // The work module, then a supplement for each service element a package list
             // hangs under.
             Row{"packages", 1, "ServicePackagesPlugin", "Service installed packages plugin", "",
                 "ServicePackagesModule ServiceTarnServerPackagesSupplimentModule "
                 "ServiceTarnClientPackagesSupplimentModule ServiceApachePackagesSupplimentModule "
                 "ServiceCronPackagesSupplimentModule ServiceCupsPackageSupplementModule "
                 "ServiceKerberosPackagesSupplimentModule ServiceSambaPackagesSupplimentModule "
                 "ServiceSlapdPackagesSupplimentModule "
                 "ServiceMailDovecotPackagesSupplimentModule "
                 "ServiceMailEximPackagesSupplimentModule "
                 "ServicePgsqlClusterPackagesSupplimentModule",
                 ""},
             Row{"pgsql", 5, "ServicePostgreSQLPlugin", "Service PostgreSQL plugin", "postgresql",
                 "ServicePgsqlModule", ""},
             Row{"samba", 5, "ServiceSambaPlugin", "Service Samba plugin", "samba",
                 "ServiceSambaModule", ""},
             Row{"services", 1, "ServiceServicesPlugin", "Services plugin", "",
                 "ServiceServicesModule", ""},
             Row{"slapd", 5, "ServiceSlapdPlugin", "Service Slapd plugin", "slapd",
                 "ServiceSlapdModule", ""},
             // The element asks its host's role once, of the server side, whatever the answer.
             Row{"tarn server", 5, "ServiceTarnPlugin", "Service Tarn plugin", "tarn-client",
                 "ServiceTarnModule ServiceTarnTarndModule", "tarn-client status --server"},
             Row{"tarn client", 5, "ServiceTarnPlugin", "Service Tarn plugin", "tarn-client",
                 "ServiceTarnModule ServiceTarnTarndModule", "tarn-client status --server"},
         }) {
        QTest::newRow(r.subject) << r.subject << r.type << r.name << r.description << r.packages
                                 << r.modules << r.made;
    }
}

void TestPluginConformance::identity()
{
    QFETCH(QString, subject);
    QFETCH(int, type);
    QFETCH(QString, name);
    QFETCH(QString, description);
    QFETCH(QString, packages);
    QFETCH(QString, modules);
    QFETCH(QString, made);

    Console console;
    OXA_REQUIRE_TEST_HOST(console.host);
    QVERIFY2(console.load(subject), qPrintable(console.errorString()));
    Plugin *plugin = console.plugin();
    QCOMPARE(plugin->type(), type);
    QCOMPARE(plugin->name(), name);
    QCOMPARE(plugin->description(), description);
    QCOMPARE(plugin->requiredPackageNames().join(QLatin1Char(' ')), packages);
    QStringList names;
    for (Module *module : plugin->modules()) {
        names << module->objectName();
        QCOMPARE(module->parent(), plugin);
    }
    QCOMPARE(names.join(QLatin1Char(' ')), modules);
    QCOMPARE(console.madeCalls().join(QStringLiteral("; ")), made);
}

void TestPluginConformance::modules_data()
{
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("module");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentModule");
    QTest::addColumn<int>("level");
    QTest::addColumn<bool>("flag");
    QTest::addColumn<QString>("data");         // "key=value; ..."
    QTest::addColumn<QString>("supplementOf"); // the element a supplement attaches to
    QTest::addColumn<QString>("elements");     // their ids
    QTest::addColumn<QString>("widgets");      // the element types they show

    struct Row
    {
        const char *subject, *module, *className, *parentModule;
        int level;
        bool flag;
        QString data;
        const char *supplementOf, *elements, *widgets;
    };
    const QString console = QStringLiteral("administrator=console; description=%1; paranoid=false");
    // The package lists hang under the other plug-ins' service elements.
    const auto supplement = [](const char *module, const char *parentModule, int level,
                               const char *service, const char *element) {
        const QString data = QStringLiteral("description=Module for viewing installed packages "
                                            "of %1; paranoid=false")
                                 .arg(QLatin1String(service));
        return Row{
            "packages", module, "SupplementModule", parentModule, level, false, data, element,
            "",         ""};
    };
    // The logs hang under every service element and cluster, named after what they reach.
    const auto logSupplement = [](const char *element, const char *parentModule, int level) {
        static QList<QByteArray> names; // the rows keep pointers into them
        names.append(QByteArray(element) + "LogSupplementModule");
        return Row{"log",
                   names.last().constData(),
                   "SupplementModule",
                   parentModule,
                   level,
                   false,
                   QStringLiteral("description=Module for viewing the log of %1; paranoid=false")
                       .arg(QLatin1String(element)),
                   element,
                   "",
                   ""};
    };
    for (const Row &r : {
             Row{"apache", "ServiceApacheModule", "ServiceApacheModule", "ServiceServicesModule", 2,
                 false, console.arg("Service Apache HTTP module") + "; version=", "",
                 "ServiceApache ServiceApacheModules", "ServiceApache ServiceApacheModules"},
             Row{"cron", "ServiceCronModule", "ServiceCronModule", "ServiceServicesModule", 2,
                 false, console.arg("Service Cron module"), "", "ServiceCron", "ServiceCron"},
             Row{"cups", "ServiceCupsModule", "ServiceCupsModule", "ServiceServicesModule", 2,
                 false, console.arg("Service Cups module"), "", "ServiceCups ServiceCupsPrinters",
                 "ServiceCups ServiceCupsPrinters"},
             // The mail services take their right from the Mail group above them.
             Row{"dovecot", "ServiceMailDovecotModule", "ServiceMailDovecotModule",
                 "ServiceMailModule", 3, false,
                 "description=Service Mail Dovecot module; paranoid=false", "",
                 "ServiceMailDovecot", "ServiceMailDovecot"},
             Row{"exim", "ServiceMailEximModule", "ServiceMailEximModule", "ServiceMailModule", 3,
                 true, "description=Service Mail Exim module; paranoid=false", "",
                 "ServiceMailExim", "ServiceMailExim"},
             Row{"kerberos", "ServiceKerberosModule", "ServiceKerberosModule",
                 "ServiceServicesModule", 2, false, console.arg("Service Kerberos module"), "",
                 "ServiceKerberosKdc ServiceKerberosKadmin",
                 "ServiceKerberosKdc ServiceKerberosKadmin"},
             Row{"mail", "ServiceMailModule", "ServiceMailModule", "ServiceServicesModule", 2,
                 false, console.arg("Service Mail module - dummy"), "", "ServiceMail",
                 "ServiceMail"},
             Row{"log", "ServiceLogModule", "ServiceLogModule", "ServiceServicesModule", 2, false,
                 "administrator=console; description=Module for viewing the log of service", "", "",
                 "ServiceLog"},
             logSupplement("ServiceApache", "ServiceApacheModule", 3),
             logSupplement("ServiceCron", "ServiceCronModule", 3),
             logSupplement("ServiceCups", "ServiceCupsModule", 3),
             logSupplement("ServiceMailDovecot", "ServiceMailDovecotModule", 4),
             logSupplement("ServiceMailExim", "ServiceMailEximModule", 4),
             logSupplement("ServiceKerberosKdc", "ServiceKerberosModule", 3),
             logSupplement("ServiceKerberosKadmin", "ServiceKerberosModule", 3),
             logSupplement("ServiceSamba", "ServiceSambaModule", 3),
             logSupplement("ServiceSlapd", "ServiceSlapdModule", 3),
             logSupplement("ServiceTarnTarnd", "ServiceTarnTarndModule", 4),
             logSupplement("ServicePgsqlCluster", "ServicePgsqlModule", 3),
             Row{"packages", "ServicePackagesModule", "ServicePackagesModule",
                 "ServiceServicesModule", 2, false,
                 "administrator=console; description=Module for viewing installed packages of "
                 "service",
                 "", "", "ServicePackages"},
             supplement("ServiceTarnServerPackagesSupplimentModule", "ServiceTarnModule", 3,
                        "Tarn service (server)", "ServiceTarnServer"),
             supplement("ServiceTarnClientPackagesSupplimentModule", "ServiceTarnModule", 3,
                        "Tarn service (client)", "ServiceTarnClient"),
             supplement("ServiceApachePackagesSupplimentModule", "ServiceApacheModule", 3,
                        "Apache 2 service", "ServiceApache"),
             supplement("ServiceCronPackagesSupplimentModule", "ServiceCronModule", 3,
                        "Cron service", "ServiceCron"),
             supplement("ServiceCupsPackageSupplementModule", "ServiceCupsModule", 3,
                        "Cups service", "ServiceCups"),
             supplement("ServiceKerberosPackagesSupplimentModule", "ServiceKerberosModule", 3,
                        "Kerberos service", "ServiceKerberosKdc"),
             supplement("ServiceSambaPackagesSupplimentModule", "ServiceSambaModule", 3,
                        "Samba service", "ServiceSamba"),
             supplement("ServiceSlapdPackagesSupplimentModule", "ServiceSlapdModule", 3,
                        "Slapd service", "ServiceSlapd"),
             supplement("ServiceMailDovecotPackagesSupplimentModule", "ServiceMailDovecotModule", 4,
                        "Dovecot service", "ServiceMailDovecot"),
             supplement("ServiceMailEximPackagesSupplimentModule", "ServiceMailEximModule", 4,
                        "Exim service", "ServiceMailExim"),
             supplement("ServicePgsqlClusterPackagesSupplimentModule", "ServicePgsqlModule", 3,
                        "PostgreSQL cluster service", "ServicePgsqlCluster"),
             Row{"pgsql", "ServicePgsqlModule", "ServicePgsqlModule", "ServiceServicesModule", 2,
                 false, console.arg("Service PostgreSQL database module"), "",
                 "ServicePgsqlClusters", "ServicePgsqlCluster ServicePgsqlClusters"},
             Row{"samba", "ServiceSambaModule", "ServiceSambaModule", "ServiceServicesModule", 2,
                 false, console.arg("Service Samba module"), "", "ServiceSamba", "ServiceSamba"},
             Row{"services", "ServiceServicesModule", "ServiceServicesModule", "", 1, false,
                 console.arg("Module for service support"), "", "ServiceServices",
                 "ServiceServices"},
             Row{"slapd", "ServiceSlapdModule", "ServiceSlapdModule", "ServiceServicesModule", 2,
                 false, console.arg("Service Slapd module"), "", "ServiceSlapd", "ServiceSlapd"},
             // A client host has the daemon's module and element too; the console does not show
             // them. The daemon's module takes its right from the directory's.
             Row{"tarn server", "ServiceTarnModule", "ServiceTarnModule", "ServiceServicesModule",
                 2, false, console.arg("Service Tarn module"), "", "ServiceTarnServer",
                 "ServiceTarnServer"},
             Row{"tarn server", "ServiceTarnTarndModule", "ServiceTarnTarndModule",
                 "ServiceTarnModule", 3, false, "description=Service Tarnd module; paranoid=false",
                 "", "ServiceTarnTarnd", "ServiceTarnTarnd"},
             Row{"tarn client", "ServiceTarnModule", "ServiceTarnModule", "ServiceServicesModule",
                 2, false, console.arg("Service Tarn module"), "", "ServiceTarnClient",
                 "ServiceTarnClient"},
             Row{"tarn client", "ServiceTarnTarndModule", "ServiceTarnTarndModule",
                 "ServiceTarnModule", 3, false, "description=Service Tarnd module; paranoid=false",
                 "", "ServiceTarnTarnd", "ServiceTarnTarnd"},
         }) {
        QTest::addRow("%s: %s", r.subject, r.module)
            << r.subject << r.module << r.className << r.parentModule << r.level << r.flag << r.data
            << r.supplementOf << r.elements << r.widgets;
    }
}

void TestPluginConformance::modules()
{
    QFETCH(QString, subject);
    QFETCH(QString, module);
    QFETCH(QString, className);
    QFETCH(QString, parentModule);
    QFETCH(int, level);
    QFETCH(bool, flag);
    QFETCH(QString, data);
    QFETCH(QString, supplementOf);
    QFETCH(QString, elements);
    QFETCH(QString, widgets);

    Console console;
    OXA_REQUIRE_TEST_HOST(console.host);
    QVERIFY2(console.load(subject), qPrintable(console.errorString()));
    Module *found = nullptr;
    for (Module *candidate : console.plugin()->modules()) {
        if (candidate->objectName() == module)
            found = candidate;
    }
    QVERIFY(found);
    QCOMPARE(found->metaObject()->className(), qPrintable(className));
    QCOMPARE(found->parentModuleName(), parentModule);
    QCOMPARE(found->level(), level);
    QCOMPARE(found->flag(), flag);
    QCOMPARE(moduleData(found).join(QStringLiteral("; ")), data);
    auto *supplement = qobject_cast<SupplementModule *>(found);
    QCOMPARE(supplement ? supplement->parentElementId() : QString(), supplementOf);
    if (supplement)
        QCOMPARE(supplement->workModule(), console.plugin()->modules().first());
    QStringList ids;
    for (Element *element : found->elements()) {
        ids << element->id();
        QCOMPARE(element->module(), found);
    }
    QCOMPARE(ids.join(QLatin1Char(' ')), elements);
    QStringList types;
    for (ViewEditElementWidget *widget : found->elementWidgets())
        types << widget->elementType();
    QCOMPARE(types.join(QLatin1Char(' ')), widgets);
}

void TestPluginConformance::elements_data()
{
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("base"); // the framework's element class it is made of
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("secondType");
    QTest::addColumn<QString>("parentId");
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("record"); // "service", "plain" or "none"
    QTest::addColumn<bool>("contentUnread");
    QTest::addColumn<int>("specialFlags");
    QTest::addColumn<QString>("icon");
    QTest::addColumn<QString>("widget"); // object name of the widget viewing it
    QTest::addColumn<QString>("form");   // of the widget creating a child in it

    struct Row
    {
        const char *subject, *id, *className, *base, *type, *secondType, *parentId;
        int level;
        const char *title, *caption, *record;
        bool contentUnread;
        int specialFlags;
        const char *icon, *widget, *form;
    };
    for (const Row &r : {
             Row{"apache", "ServiceApache", "ServiceApacheElement", "ServiceElement",
                 "ServiceApache", "", "ServiceServices", 2, "Apache 2", "Apache HTTP server ",
                 "service", false, 0, "", "ServiceApacheElementWidget", ""},
             Row{"apache", "ServiceApacheModules", "ServiceApacheModuleElement", "Element",
                 "ServiceApacheModules", "", "ServiceApache", 3, "Apache modules",
                 "Apache HTTP service modules", "none", false, TreeNodeFlagLeaf, "",
                 "ServiceApacheModuleElementWidget", ""},
             Row{"cron", "ServiceCron", "ServiceCronElement", "ServiceElement", "ServiceCron", "",
                 "ServiceServices", 2, "Cron", "Cron", "service", false, 0, "",
                 "ServiceCronElementWidget", ""},
             Row{"cups", "ServiceCups", "ServiceCupsElement", "ServiceElement", "ServiceCups", "",
                 "ServiceServices", 2, "Cups", "Cups", "service", false, 0, "",
                 "ServiceCupsElementWidget", ""},
             Row{"cups", "ServiceCupsPrinters", "ServiceCupsPrintersElement", "Element",
                 "ServiceCupsPrinters", "", "ServiceCups", 3, "Cups printers",
                 "Cups service printers", "none", false, TreeNodeFlagLeaf, "",
                 "ServiceCupsPrintersElementWidget", ""},
             Row{"dovecot", "ServiceMailDovecot", "ServiceMailDovecotElement", "ServiceElement",
                 "ServiceMailDovecot", "", "ServiceMail", 3, "Dovecot", "Mail: Dovecot", "service",
                 false, 0, "", "ServiceMailDovecotElementWidget", ""},
             Row{"exim", "ServiceMailExim", "ServiceMailEximElement", "ServiceElement",
                 "ServiceMailExim", "", "ServiceMail", 3, "Exim", "Mail: Exim", "service", false, 0,
                 "", "ServiceMailEximElementWidget", ""},
             Row{"kerberos", "ServiceKerberosKdc", "ServiceKerberosKdcElement", "ServiceElement",
                 "ServiceKerberosKdc", "", "ServiceServices", 2, "Kerberos KDC", "Kerberos KDC",
                 "service", false, 0, "", "ServiceKerberosKdcElementWidget", ""},
             Row{"kerberos", "ServiceKerberosKadmin", "ServiceKerberosKadminElement",
                 "ServiceElement", "ServiceKerberosKadmin", "", "ServiceKerberosKdc", 3,
                 "Kerberos Kadmin", "Kerberos Kadmin", "service", false, 0, "",
                 "ServiceKerberosKadminElementWidget", ""},
             Row{"mail", "ServiceMail", "ServiceMailElement", "ServiceElement", "ServiceMail", "",
                 "ServiceServices", 2, "Mail", "Mail service", "service", false, TreeNodeFlagLeaf,
                 "", "ServiceMail", ""},
             Row{"pgsql", "ServicePgsqlClusters", "ServicePgsqlClustersElement", "ContainerElement",
                 "ServicePgsqlClusters", "", "ServiceServices", 2, "PostgreSQL",
                 "PostgreSQL database clusters", "none", true, 0, "", "ServicePgsqlClusters",
                 "ServicePgsqlElementWidget"},
             Row{"samba", "ServiceSamba", "ServiceSambaElement", "ServiceElement", "ServiceSamba",
                 "", "ServiceServices", 2, "Samba", "Samba", "service", false, 0, "",
                 "ServiceSambaElementWidget", ""},
             Row{"services", "ServiceServices", "ServiceServicesElement", "Element",
                 "ServiceServices", "ServiceServices", "", 1, "Services", "Services", "plain",
                 false, TreeNodeFlagExpanded, "computer", "ServiceServices", ""},
             Row{"slapd", "ServiceSlapd", "ServiceSlapdElement", "ServiceElement", "ServiceSlapd",
                 "", "ServiceServices", 2, "Slapd", "Slapd", "service", false, 0, "",
                 "ServiceSlapdElementWidget", ""},
             Row{"tarn server", "ServiceTarnServer", "ServiceTarnElement", "ServiceElement",
                 "ServiceTarnServer", "", "ServiceServices", 2, "Tarn server", "Tarn: server ",
                 "service", true, 0, "", "ServiceTarnElementWidget", ""},
             Row{"tarn server", "ServiceTarnTarnd", "ServiceTarnTarndElement", "ServiceElement",
                 "ServiceTarnTarnd", "", "ServiceTarnServer", 3, "Tarnd", "Tarn: Tarnd", "service",
                 false, 0, "", "ServiceTarnTarndElementWidget", ""},
             Row{"tarn client", "ServiceTarnClient", "ServiceTarnElement", "ServiceElement",
                 "ServiceTarnClient", "", "ServiceServices", 2, "Tarn client", "Tarn: client ",
                 "service", true, 0, "", "ServiceTarnElementWidget", ""},
             Row{"tarn client", "ServiceTarnTarnd", "ServiceTarnTarndElement", "ServiceElement",
                 "ServiceTarnTarnd", "", "ServiceTarnServer", 3, "Tarnd", "Tarn: Tarnd", "service",
                 false, 0, "", "ServiceTarnTarndElementWidget", ""},
         }) {
        QTest::addRow("%s: %s", r.subject, r.id)
            << r.subject << r.id << r.className << r.base << r.type << r.secondType << r.parentId
            << r.level << r.title << r.caption << r.record << r.contentUnread << r.specialFlags
            << r.icon << r.widget << r.form;
    }
}

void TestPluginConformance::elements()
{
    QFETCH(QString, subject);
    QFETCH(QString, id);
    QFETCH(QString, className);
    QFETCH(QString, base);
    QFETCH(QString, type);
    QFETCH(QString, secondType);
    QFETCH(QString, parentId);
    QFETCH(int, level);
    QFETCH(QString, title);
    QFETCH(QString, caption);
    QFETCH(QString, record);
    QFETCH(bool, contentUnread);
    QFETCH(int, specialFlags);
    QFETCH(QString, icon);
    QFETCH(QString, widget);
    QFETCH(QString, form);

    Console console;
    OXA_REQUIRE_TEST_HOST(console.host);
    QVERIFY2(console.load(subject), qPrintable(console.errorString()));
    Element *element = console.element(id);
    QVERIFY(element);
    QCOMPARE(element->metaObject()->className(), qPrintable(className));
    QCOMPARE(elementBase(element), base);
    QCOMPARE(element->elementType(), type);
    QCOMPARE(element->secondElementType(), secondType);
    QCOMPARE(element->parentId(), parentId);
    QCOMPARE(element->level(), level);
    QCOMPARE(element->title(), title);
    QCOMPARE(element->data(0, Qt::DisplayRole).toString(), title);
    QCOMPARE(element->caption(), caption);
    QCOMPARE(element->serviceData()   ? QStringLiteral("service")
             : element->elementData() ? QStringLiteral("plain")
                                      : QStringLiteral("none"),
             record);
    if (element->serviceData())
        QVERIFY(!element->serviceData()->isStateKnown());
    QCOMPARE(element->contentFlag(), contentUnread);
    QCOMPARE(element->treeNodeSpecialFlags(), specialFlags);
    QCOMPARE(iconName(element->data(0, Qt::DecorationRole)), icon);
    QVERIFY(!element->data(1, Qt::DecorationRole).isValid());
    ViewEditElementWidget *view = element->elementWidget(ElementWidgetRoleView);
    QCOMPARE(view ? view->objectName() : QString(), widget);
    if (view)
        QVERIFY(element->module()->elementWidgets().contains(view));
    ViewEditElementWidget *creation = element->elementWidget(ElementWidgetRoleCreate);
    QCOMPARE(creation ? creation->objectName() : QString(), form);
}

void TestPluginConformance::widgets_data()
{
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("type"); // the element type it shows
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("secondType");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("windowTitle");
    QTest::addColumn<QStringList>("parts"); // what its form names, as "class name"

    struct Row
    {
        const char *subject, *type, *objectName, *className, *secondType;
        int number;
        const char *windowTitle;
        QStringList parts;
    };
    // A service's state and its configuration in a group box.
    const QStringList state{"QGroupBox _confGroupBox", "QLabel _bootStateLabel",
                            "QLabel _bootStateLabelLabel", "QLabel _stateLabel",
                            "QLabel _stateLabelLabel"};
    const QStringList tree = state + QStringList{"QTreeView _confTreeView"};
    const QStringList text = state + QStringList{"QPlainTextEdit _configPlainEdit"};
    for (const Row &r : {
             Row{"apache", "ServiceApache", "ServiceApacheElementWidget",
                 "ServiceApacheElementWidget", "", 0, "General",
                 QStringList{"ChoiceWidget _choiceGroupBox", "QLabel _bootStateLabel",
                             "QLabel _bootStateLabelLabel", "QLabel _stateLabel",
                             "QLabel _stateLabelLabel", "QTreeView _choiceTreeView"}},
             Row{"apache", "ServiceApacheModules", "ServiceApacheModuleElementWidget",
                 "ServiceApacheModuleElementWidget", "ServiceApache", 0, "Modules",
                 QStringList{"ChoiceWidget _choiceGroupBox", "QTreeView _choiceTreeView"}},
             Row{"cron", "ServiceCron", "ServiceCronElementWidget", "ServiceCronElementWidget", "",
                 0, "Cron", state + QStringList{"QTreeView _configTreeView"}},
             Row{"cups", "ServiceCups", "ServiceCupsElementWidget", "ServiceCupsElementWidget", "",
                 0, "General",
                 state + QStringList{"QPushButton _clearPushButton", "QTreeView _confTreeView"}},
             Row{"cups", "ServiceCupsPrinters", "ServiceCupsPrintersElementWidget",
                 "ServiceCupsPrintersElementWidget", "ServiceCups", 510, "Printers",
                 QStringList{"QTreeView _printersTreeView"}},
             Row{"dovecot", "ServiceMailDovecot", "ServiceMailDovecotElementWidget",
                 "ServiceMailDovecotElementWidget", "", 0, "Dovecot", tree},
             Row{"exim", "ServiceMailExim", "ServiceMailEximElementWidget",
                 "ServiceMailEximElementWidget", "", 0, "Exim", tree},
             Row{"kerberos", "ServiceKerberosKdc", "ServiceKerberosKdcElementWidget",
                 "ServiceKerberosKdcElementWidget", "", 0, "Kerberos KDC", text},
             Row{"kerberos", "ServiceKerberosKadmin", "ServiceKerberosKadminElementWidget",
                 "ServiceKerberosKadminElementWidget", "ServiceKerberosKdc", 0, "Kerberos Kadmin",
                 text},
             Row{"mail", "ServiceMail", "ServiceMail", "NodesElementWidget", "", 0, "Mail",
                 QStringList{"QTreeView _nodesTreeView"}},
             Row{"log", "ServiceLog", "ServiceLogElementWidget", "ServiceLogElementWidget", "*",
                 997, "Log",
                 QStringList{"QAction _q_qlineeditclearaction", "QLineEdit _filterLineEdit",
                             "QPlainTextEdit _logTextEdit"}},
             Row{"packages", "ServicePackages", "ServicePackagesElementWidget",
                 "ServicePackagesElementWidget", "*", 998, "Packages",
                 QStringList{"QTextEdit _packagesTextEdit"}},
             Row{"pgsql", "ServicePgsqlCluster", "ServicePgsqlElementWidget",
                 "ServicePgsqlElementWidget", "", 0, "General",
                 QStringList{"QComboBox _versionComboBox", "QLabel _bootStateLabel",
                             "QLabel _bootStateLabelLabel", "QLabel _nameLabelLabel",
                             "QLabel _portLabelLabel", "QLabel _stateLabel",
                             "QLabel _stateLabelLabel", "QLabel _versionLabelLabel",
                             "QLineEdit _nameLineEdit", "QLineEdit _portLineEdit",
                             "QTableView _infoTableView"}},
             Row{"pgsql", "ServicePgsqlClusters", "ServicePgsqlClusters", "ElementsElementWidget",
                 "", 0, "", QStringList{"QTreeView _elementsTreeView"}},
             Row{"samba", "ServiceSamba", "ServiceSambaElementWidget", "ServiceSambaElementWidget",
                 "", 0, "Samba", text},
             Row{"services", "ServiceServices", "ServiceServices", "NodesElementWidget", "", 0, "",
                 QStringList{"QTreeView _nodesTreeView"}},
             Row{"slapd", "ServiceSlapd", "ServiceSlapdElementWidget", "ServiceSlapdElementWidget",
                 "", 0, "Slapd", state + QStringList{"QTreeView _configTreeView"}},
             Row{"tarn server", "ServiceTarnServer", "ServiceTarnElementWidget",
                 "ServiceTarnElementWidget", "", 0, "General", tree},
             Row{"tarn server", "ServiceTarnTarnd", "ServiceTarnTarndElementWidget",
                 "ServiceTarnTarndElementWidget", "ServiceTarnServer", 0, "Tarnd", tree},
             Row{"tarn client", "ServiceTarnClient", "ServiceTarnElementWidget",
                 "ServiceTarnElementWidget", "", 0, "General", tree},
             Row{"tarn client", "ServiceTarnTarnd", "ServiceTarnTarndElementWidget",
                 "ServiceTarnTarndElementWidget", "ServiceTarnServer", 0, "Tarnd", tree},
         }) {
        QTest::addRow("%s: %s", r.subject, r.type)
            << r.subject << r.type << r.objectName << r.className << r.secondType << r.number
            << r.windowTitle << r.parts;
    }
}

void TestPluginConformance::widgets()
{
    QFETCH(QString, subject);
    QFETCH(QString, type);
    QFETCH(QString, objectName);
    QFETCH(QString, className);
    QFETCH(QString, secondType);
    QFETCH(int, number);
    QFETCH(QString, windowTitle);
    QFETCH(QStringList, parts);

    Console console;
    OXA_REQUIRE_TEST_HOST(console.host);
    QVERIFY2(console.load(subject), qPrintable(console.errorString()));
    ViewEditElementWidget *widget = nullptr;
    Module *holder = nullptr;
    for (Module *module : console.plugin()->modules()) {
        for (ViewEditElementWidget *candidate : module->elementWidgets()) {
            if (candidate->elementType() == type) {
                widget = candidate;
                holder = module;
            }
        }
    }
    QVERIFY(widget);
    QCOMPARE(widget->module(), holder);
    QCOMPARE(widget->objectName(), objectName);
    QCOMPARE(widget->metaObject()->className(), qPrintable(className));
    QCOMPARE(widget->secondElementType(), secondType);
    QCOMPARE(widget->number(), number);
    QCOMPARE(widget->windowTitle(), windowTitle);
    QVERIFY(!widget->parent());
    QCOMPARE(formParts(widget), parts);
}

void TestPluginConformance::packageCheck_data()
{
    QTest::addColumn<QString>("subject");
    // What dpkg knows: "name version", then the status when it is not "install ok installed".
    QTest::addColumn<QStringList>("packages");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("caption"); // of the first element, which may show the version
    const QString rc = QStringLiteral(" deinstall ok config-files");
    const QString errorFlag = QStringLiteral(" install reinstreq installed");
    // One package decides: installed ("ii") or not; a companion of it does not count.
    struct Single
    {
        const char *subject;
        const char *package;
        const char *version;
        const char *companion; // "name version", or null
        const char *caption;
    };
    for (const Single &s : {
             Single{"cron", "cron", "3.0pl1-162", nullptr, "Cron"},
             Single{"cups", "cups-common", "2.4.2", "cups 2.4.2", "Cups"},
             Single{"dovecot", "dovecot-core", "1:2.3.19.1+dfsg1-2.1", "dovecot-imapd 1:2.3.19.1",
                    "Mail: Dovecot"},
             Single{"exim", "exim4-base", "4.96-15", "exim4-daemon-light 4.96-15", "Mail: Exim"},
             Single{"kerberos", "krb5-kdc", "1.21.3-5", nullptr, "Kerberos KDC"},
             Single{"samba", "samba", "2:4.17.12", "samba-common 2:4.17.12", "Samba"},
             Single{"slapd", "slapd", "2.6.10+dfsg-1", nullptr, "Slapd"},
             Single{"tarn server", "tarn-client", "4.2-1", "tarn-server 4.2-1", "Tarn: server "},
         }) {
        const QString package = QStringLiteral("%1 %2").arg(s.package, s.version);
        const QStringList companion =
            s.companion ? QStringList{QString::fromLatin1(s.companion)} : QStringList();
        QTest::addRow("%s: installed", s.subject)
            << s.subject << companion + QStringList{package} << true << s.caption;
        QTest::addRow("%s: removed, configuration left", s.subject)
            << s.subject << companion + QStringList{package + rc} << false << s.caption;
        QTest::addRow("%s: error flag", s.subject)
            << s.subject << companion + QStringList{package + errorFlag} << false << s.caption;
        QTest::addRow("%s: unknown to dpkg", s.subject)
            << s.subject << companion << false << s.caption;
    }
    QTest::newRow("exim: half installed")
        << "exim"
        << QStringList{"exim4-daemon-light 4.96-15",
                       "exim4-base 4.96-15 install reinstreq half-installed"}
        << false << "Mail: Exim";
    QTest::newRow("cups: held") << "cups"
                                << QStringList{"cups 2.4.2", "cups-common 2.4.2 hold ok installed"}
                                << false << "Cups";

    // Apache's caption carries the major and minor version of the installed server.
    const QString server = QStringLiteral("Apache HTTP server %1");
    QTest::newRow("apache: 2.4.38-3")
        << "apache" << QStringList{"apache2 2.4.38-3"} << true << server.arg("2.4");
    QTest::newRow("apache: 2.4.71-1~deb12u1")
        << "apache" << QStringList{"apache2 2.4.71-1~deb12u1"} << true << server.arg("2.4");
    QTest::newRow("apache: no dot")
        << "apache" << QStringList{"apache2 2-1"} << false << server.arg("");
    QTest::newRow("apache: removed")
        << "apache" << QStringList{"apache2 2.4.38-3" + rc} << false << server.arg("");
    QTest::newRow("apache: unknown to dpkg")
        << "apache" << QStringList() << false << server.arg("");

    // The Mail group stands for either of its services; their companions do not count.
    const QString mail = QStringLiteral("Mail service");
    const QStringList companions{"exim4-config 4.96-15", "dovecot-imapd 1:2.3.19.1"};
    const QString exim = QStringLiteral("exim4-base 4.96-15");
    const QString dovecot = QStringLiteral("dovecot-core 1:2.3.19.1");
    QTest::newRow("mail: Exim only") << "mail" << companions + QStringList{exim} << true << mail;
    QTest::newRow("mail: Exim and Dovecot")
        << "mail" << companions + QStringList{exim, dovecot} << true << mail;
    QTest::newRow("mail: Exim removed, Dovecot installed")
        << "mail" << companions + QStringList{exim + rc, dovecot} << true << mail;
    // A host that purged Exim for another mail transfer agent still shows Dovecot.
    QTest::newRow("mail: Exim unknown, Dovecot installed")
        << "mail" << companions + QStringList{dovecot} << true << mail;
    QTest::newRow("mail: Exim installed, Dovecot unknown")
        << "mail" << companions + QStringList{exim} << true << mail;
    QTest::newRow("mail: Exim installed, Dovecot removed")
        << "mail" << companions + QStringList{exim, dovecot + rc} << true << mail;
    QTest::newRow("mail: both removed")
        << "mail" << companions + QStringList{exim + rc, dovecot + rc} << false << mail;
    QTest::newRow("mail: Exim unknown, Dovecot removed")
        << "mail" << companions + QStringList{dovecot + rc} << false << mail;
    QTest::newRow("mail: Exim removed, Dovecot unknown")
        << "mail" << companions + QStringList{exim + rc} << false << mail;
    QTest::newRow("mail: both unknown") << "mail" << companions << false << mail;
    QTest::newRow("mail: error flags")
        << "mail" << companions + QStringList{exim + errorFlag, dovecot + errorFlag} << false
        << mail;

    // Any server package with a dotted or two-digit version makes the clusters plug-in valid.
    const QString clusters = QStringLiteral("PostgreSQL database clusters");
    const QString version = QStringLiteral(" 15.18-0+deb12u1");
    QTest::newRow("pgsql: nothing known") << "pgsql" << QStringList() << false << clusters;
    QTest::newRow("pgsql: server 15")
        << "pgsql" << QStringList{"postgresql-15" + version} << true << clusters;
    QTest::newRow("pgsql: dotted server")
        << "pgsql" << QStringList{"postgresql-9.6" + version} << true << clusters;
    QTest::newRow("pgsql: one-digit name only")
        << "pgsql" << QStringList{"postgresql-9" + version} << false << clusters;
    QTest::newRow("pgsql: removed server")
        << "pgsql" << QStringList{"postgresql-15" + version + rc} << false << clusters;
    QTest::newRow("pgsql: removed and installed")
        << "pgsql" << QStringList{"postgresql-13" + version + rc, "postgresql-15" + version} << true
        << clusters;

    // The root and the package lists are there on every host.
    QTest::newRow("services: nothing known") << "services" << QStringList() << true << "Services";
    QTest::newRow("packages: nothing known") << "packages" << QStringList() << true << "";
    QTest::newRow("log: nothing known") << "log" << QStringList() << true << "";
}

void TestPluginConformance::packageCheck()
{
    QFETCH(QString, subject);
    QFETCH(QStringList, packages);
    QFETCH(bool, valid);
    QFETCH(QString, caption);

    Console console;
    OXA_REQUIRE_TEST_HOST(console.host);
    for (const QString &package : packages) {
        const QStringList words = package.split(QLatin1Char(' '));
        const QString status = words.size() > 2 ? QStringList(words.mid(2)).join(QLatin1Char(' '))
                                                : QStringLiteral("install ok installed");
        QVERIFY2(console.host.installPackage(words.at(0), words.at(1), status),
                 qPrintable(console.host.errorString()));
    }
    QVERIFY2(console.load(subject, false), qPrintable(console.errorString()));
    QCOMPARE(console.plugin()->isValid(), valid);
    const QList<Element *> elements = console.elements();
    QCOMPARE(elements.isEmpty() ? QString() : elements.first()->caption(), caption);
}

void TestPluginConformance::offeredOperations_data()
{
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("id");
    QTest::addColumn<bool>("administrator");
    QTest::addColumn<int>("state"); // of every service element: -1 never read, 0 stopped, 1 running
    QTest::addColumn<OperationTypes>("offered");
    QTest::addColumn<QString>("icon");
    const OperationTypes reads = OperationReadLight | OperationReadHeavy;
    const OperationTypes stopped = reads | OperationStart;
    const OperationTypes running = reads | OperationStop | OperationRestart;
    const OperationTypes reloads = OperationReload;
    const OperationTypes cupsAlways = OperationUpdate | OperationControl | OperationClearCache;
    const OperationTypes tree = OperationReadHeavy | OperationUpdate;
    const QString stateIcons = QStringLiteral("state"); // running and stopped icons, once read
    struct Offers
    {
        const char *subject;
        const char *id;
        OperationTypes unread, stopped, running; // to an administrator
        OperationTypes viewer;                   // in any state
        QString icon;
    };
    for (const Offers &o : {
             Offers{"apache", "ServiceApache", reads | OperationUpdate, stopped | OperationUpdate,
                    running | reloads | OperationUpdate, reads, stateIcons},
             Offers{"apache", "ServiceApacheModules", tree, tree, tree, OperationReadHeavy, ""},
             Offers{"cron", "ServiceCron", reads | OperationControl, stopped | OperationControl,
                    running | OperationControl, reads, stateIcons},
             Offers{"cups", "ServiceCups", reads | cupsAlways, stopped | cupsAlways,
                    running | reloads | cupsAlways, reads, stateIcons},
             Offers{"cups", "ServiceCupsPrinters", tree, tree, tree, OperationReadHeavy, ""},
             Offers{"dovecot", "ServiceMailDovecot", reads, stopped, running | reloads, reads,
                    stateIcons},
             Offers{"exim", "ServiceMailExim", reads, stopped, running | reloads, reads,
                    stateIcons},
             Offers{"kerberos", "ServiceKerberosKdc", reads, stopped, running, reads, stateIcons},
             Offers{"kerberos", "ServiceKerberosKadmin", reads, stopped, running, reads,
                    stateIcons},
             // The group has no state of its own to read, and nothing to control.
             Offers{"mail", "ServiceMail", OperationReadLight, OperationReadLight,
                    OperationReadLight, OperationReadLight, stateIcons},
             Offers{"pgsql", "ServicePgsqlClusters", OperationReadContent | OperationCreate,
                    OperationReadContent | OperationCreate, OperationReadContent | OperationCreate,
                    OperationReadContent, ""},
             Offers{"samba", "ServiceSamba", reads, stopped, running, reads, stateIcons},
             Offers{"services", "ServiceServices", OperationReadLight, OperationReadLight,
                    OperationReadLight, OperationReadLight, "computer"},
             Offers{"slapd", "ServiceSlapd", reads, stopped, running, reads, stateIcons},
             Offers{"tarn server", "ServiceTarnServer", reads | OperationReadContent,
                    stopped | OperationReadContent, running | OperationReadContent,
                    reads | OperationReadContent, stateIcons},
             Offers{"tarn server", "ServiceTarnTarnd", reads, stopped, running, reads, stateIcons},
             Offers{"tarn client", "ServiceTarnClient", reads | OperationReadContent,
                    stopped | OperationReadContent, running | OperationReadContent,
                    reads | OperationReadContent, stateIcons},
             Offers{"tarn client", "ServiceTarnTarnd", reads, stopped, running, reads, stateIcons},
         }) {
        for (bool administrator : {true, false}) {
            for (int state : {-1, 0, 1}) {
                const OperationTypes offered = !administrator ? o.viewer
                                               : state < 0    ? o.unread
                                               : state == 0   ? o.stopped
                                                              : o.running;
                const QString icon = o.icon != stateIcons ? o.icon
                                     : state < 0          ? QString()
                                     : state == 0         ? QStringLiteral("media-playback-stop")
                                                          : QStringLiteral("media-playback-start");
                QTest::addRow("%s: %s, %s, %s", o.subject, o.id,
                              administrator ? "administrator" : "viewer",
                              state < 0    ? "never read"
                              : state == 0 ? "stopped"
                                           : "running")
                    << o.subject << o.id << administrator << state << offered << icon;
            }
        }
    }
}

void TestPluginConformance::offeredOperations()
{
    QFETCH(QString, subject);
    QFETCH(QString, id);
    QFETCH(bool, administrator);
    QFETCH(int, state);
    QFETCH(OperationTypes, offered);
    QFETCH(QString, icon);

    Console console;
    OXA_REQUIRE_TEST_HOST(console.host);
    QVERIFY2(console.load(subject), qPrintable(console.errorString()));
    console.setAdministrator(administrator);
    if (state >= 0) {
        for (Element *element : console.elements()) {
            if (element->serviceData())
                element->serviceData()->setState(state == 1);
        }
    }
    Element *element = console.element(id);
    QVERIFY(element);
    QCOMPARE(names(element->availableOperations()), names(offered));
    for (OperationType type : allOperations())
        QCOMPARE(element->isOperationAvailable(type), (offered & OperationTypes(type)) != 0);
    QCOMPARE(iconName(element->data(0, Qt::DecorationRole)), icon);
}

void TestPluginConformance::operationsBecomeTasks_data()
{
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("id"); // the Services root: handed to the top modules
    QTest::addColumn<quint64>("operation");
    QTest::addColumn<QStringList>("tasks");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QStringList>("learned"); // "id state", "id content"
    const QString root = servicesRoot;
    // The service families: state read through the Services root, heavy read, control actions
    // (each followed by one state read, in the same task, and nothing more).
    struct Family
    {
        const char *subject;
        const char *id;
        const char *script;
        const char *service; // as the descriptions name it
        const char *reload;  // the reload action
        const char *reloadDescription;
        const char *heavyCall; // what the heavy read runs after the status action, if anything
        bool viaRoot;          // the root's light read reaches this element
        bool lightOnElement;   // the element reads its state itself, not only through the root
        const char *unit;      // whose boot state every state read reads
    };
    for (const Family &f : {
             Family{"apache", "ServiceApache", "/etc/init.d/apache2", "Apache", "reload",
                    "Reload Apache service configuration", "apache2ctl -S", true, false,
                    "apache2.service"},
             Family{"cron", "ServiceCron", "/etc/init.d/cron", "Cron", "force-reload",
                    "Reload Cron service", nullptr, true, false, "cron.service"},
             Family{"cups", "ServiceCups", "/etc/init.d/cups", "Cups", "force-reload",
                    "Reload Cups service configuration", nullptr, true, false, "cups.service"},
             Family{"dovecot", "ServiceMailDovecot", "/etc/init.d/dovecot", "Dovecot",
                    "force-reload", "Reload Dovecot service", "doveconf -a", true, true,
                    "dovecot.service"},
             // Exim keeps the framework's reload action.
             Family{"exim", "ServiceMailExim", "/etc/init.d/exim4", "Exim", "reload",
                    "Reload Exim service", nullptr, true, true, "exim4.service"},
             Family{"kerberos", "ServiceKerberosKdc", "/etc/init.d/krb5-kdc", "Kerberos KDC",
                    "force-reload", "Reload Kerberos KDC service", nullptr, true, false,
                    "krb5-kdc.service"},
             Family{"kerberos", "ServiceKerberosKadmin", "/etc/init.d/krb5-admin-server",
                    "Kerberos Kadmin", "force-reload", "Reload Kerberos Kadmin service", nullptr,
                    false, true, "krb5-admin-server.service"},
             Family{"samba", "ServiceSamba", "/etc/init.d/smbd", "Samba", "force-reload",
                    "Reload Samba service", nullptr, true, false, "smbd.service"},
             Family{"slapd", "ServiceSlapd", "/etc/init.d/slapd", "Slapd", "force-reload",
                    "Reload Slapd service", nullptr, true, false, "slapd.service"},
         }) {
        const QString script = QString::fromLatin1(f.script);
        const QString status = script + QStringLiteral(" status");
        const QString boot = QStringLiteral("systemctl is-enabled %1").arg(f.unit);
        const QString heavy = QStringLiteral("Read %1 service configuration").arg(f.service);
        const QStringList state{QStringLiteral("%1 state").arg(f.id)};
        const QStringList heavyCalls =
            f.heavyCall ? QStringList{QString::fromLatin1(f.heavyCall)} : QStringList();
        const QStringList light{task(f.id, QStringLiteral("Read %1 service state").arg(f.service))};
        if (f.viaRoot) {
            QTest::addRow("%s: root light read", f.id)
                << f.subject << root << quint64(OperationReadLight) << light
                << QStringList{status, boot} << state;
        }
        QTest::addRow("%s: light read", f.id)
            << f.subject << f.id << quint64(OperationReadLight)
            << (f.lightOnElement ? light : QStringList())
            << (f.lightOnElement ? QStringList{status, boot} : QStringList())
            << (f.lightOnElement ? state : QStringList());
        QTest::addRow("%s: heavy read", f.id)
            << f.subject << f.id << quint64(OperationReadHeavy) << QStringList{task(f.id, heavy)}
            << QStringList{status} + heavyCalls + QStringList{boot} << state;
        const struct
        {
            OperationType operation;
            QString action;
            QString description;
        } actions[] = {
            {OperationStart, "start", QStringLiteral("Start %1 service").arg(f.service)},
            {OperationStop, "stop", QStringLiteral("Stop %1 service").arg(f.service)},
            {OperationRestart, "restart", QStringLiteral("Restart %1 service").arg(f.service)},
            {OperationReload, f.reload, f.reloadDescription},
        };
        for (const auto &a : actions) {
            QTest::addRow("%s: %s", f.id, qPrintable(operationName(a.operation)))
                << f.subject << f.id << quint64(a.operation)
                << QStringList{task(f.id, a.description)}
                << QStringList{script + QLatin1Char(' ') + a.action, status, boot} << state;
        }
        // The boot changes of the service's unit, each followed by the state read.
        for (bool enable : {true, false}) {
            const QString verb = enable ? QStringLiteral("enable") : QStringLiteral("disable");
            const OperationType operation = enable ? OperationEnableAtBoot : OperationDisableAtBoot;
            // Named by the element's title ("Apache 2").
            const QString title = QLatin1String(f.id) == QLatin1String("ServiceApache")
                                      ? QStringLiteral("Apache 2")
                                      : QString::fromLatin1(f.service);
            QTest::addRow("%s: %s", f.id, qPrintable(operationName(operation)))
                << f.subject << f.id << quint64(operation)
                << QStringList{task(
                       f.id, QStringLiteral("%1 %2 service at boot")
                                 .arg(enable ? QStringLiteral("Enable") : QStringLiteral("Disable"),
                                      title))}
                << QStringList{status, QStringLiteral("systemctl %1 %2").arg(verb, f.unit), boot}
                << state;
        }
    }

    // What the modules leave alone: no task, nothing run.
    const QStringList none;
    struct Ignored
    {
        const char *subject, *id;
        OperationType operation;
    };
    for (const Ignored &i : {
             Ignored{"samba", "ServiceServices", OperationReadHeavy},
             Ignored{"samba", "ServiceSamba", OperationUpdate},
             Ignored{"samba", "ServiceSamba", OperationControl},
             Ignored{"dovecot", "ServiceServices", OperationReadHeavy},
             Ignored{"dovecot", "ServiceMailDovecot", OperationUpdate},
             Ignored{"dovecot", "ServiceMailDovecot", OperationControl},
             Ignored{"exim", "ServiceServices", OperationStart},
             Ignored{"exim", "ServiceMailExim", OperationDelete},
             Ignored{"cron", "ServiceServices", OperationReadHeavy},
             Ignored{"cron", "ServiceCron", OperationUpdate},
             Ignored{"cups", "ServiceServices", OperationReadHeavy},
             Ignored{"cups", "ServiceCups", OperationUpdate},
             Ignored{"cups", "ServiceCupsPrinters", OperationUpdate},
             Ignored{"cups", "ServiceCupsPrinters", OperationStart},
             Ignored{"apache", "ServiceApache", OperationDelete},
             Ignored{"apache", "ServiceApacheModules", OperationReload},
             Ignored{"kerberos", "ServiceKerberosKadmin", OperationControl},
             Ignored{"pgsql", "ServicePgsqlClusters", OperationCreate},
             Ignored{"pgsql", "ServicePgsqlClusters", OperationReadHeavy},
         }) {
        QTest::addRow("%s: %s, %s", i.subject, i.id, qPrintable(operationName(i.operation)))
            << i.subject << i.id << quint64(i.operation) << none << none << none;
    }

    // The administration programs' packages are not installed here.
    QTest::newRow("ServiceCron: control") << "cron"
                                          << "ServiceCron" << quint64(OperationControl)
                                          << QStringList{task("ServiceCron", "Control Cron service",
                                                              TaskDescription::TaskStatusFailed)}
                                          << none << none;
    QTest::newRow("ServiceCups: control") << "cups"
                                          << "ServiceCups" << quint64(OperationControl)
                                          << QStringList{task("ServiceCups", "Control Cups service",
                                                              TaskDescription::TaskStatusFailed)}
                                          << none << none;
    QTest::newRow("ServiceCups: clear cache")
        << "cups"
        << "ServiceCups" << quint64(OperationClearCache)
        << QStringList{task("ServiceCups", "Clear CUPS cache")} << none << none;
    QTest::newRow("ServiceCupsPrinters: heavy read")
        << "cups"
        << "ServiceCupsPrinters" << quint64(OperationReadHeavy)
        << QStringList{task("ServiceCupsPrinters", "Read Cups printers information")} << none
        << none;

    // An update without a record fails; what it may have changed is read again all the same.
    QTest::newRow("ServiceApache: update")
        << "apache"
        << "ServiceApache" << quint64(OperationUpdate)
        << QStringList{task("ServiceApache", "Update Apache sites configuration",
                            TaskDescription::TaskStatusFailed),
                       task("ServiceApache", "Read Apache service configuration")}
        << QStringList{"/etc/init.d/apache2 status", "apache2ctl -S",
                       "systemctl is-enabled apache2.service"}
        << QStringList{"ServiceApache state"};
    const QString modulesRead = task("ServiceApacheModules", "Read Apache modules configuration");
    QTest::newRow("ServiceApacheModules: heavy read")
        << "apache"
        << "ServiceApacheModules" << quint64(OperationReadHeavy) << QStringList{modulesRead}
        << QStringList{"apache2ctl -M"} << none;
    QTest::newRow("ServiceApacheModules: update")
        << "apache"
        << "ServiceApacheModules" << quint64(OperationUpdate)
        << QStringList{task("ServiceApacheModules", "Update Apache modules confuguration",
                            TaskDescription::TaskStatusFailed),
                       modulesRead}
        << QStringList{"apache2ctl -M"} << none;

    // The clusters are read by the real tools; none is configured in the host.
    QTest::newRow("ServicePgsqlClusters: read content")
        << "pgsql"
        << "ServicePgsqlClusters" << quint64(OperationReadContent)
        << QStringList{task("ServicePgsqlClusters", "Read PostgreSQL clusters")} << none
        << QStringList{"ServicePgsqlClusters content"};
    QTest::newRow("ServicePgsqlClusters: create")
        << "pgsql"
        << "ServicePgsqlClusters" << quint64(OperationCreate) << none << none << none;
    QTest::newRow("ServicePgsqlClusters: heavy read")
        << "pgsql"
        << "ServicePgsqlClusters" << quint64(OperationReadHeavy) << none << none << none;

    // The directory service, with its tools' stand-ins: the role's element, and the daemon's
    // state read with it (elements' tasks run side by side). A control action of the role is
    // followed by the role's heavy read instead of a state read of its own.
    const QString tarnd = QStringLiteral("ServiceTarnTarnd");
    const QString tarndState = task(tarnd, "Read Tarnd service state");
    const QString tarndStatus = QStringLiteral("/etc/init.d/tarnd status");
    const QString tarndBoot = QStringLiteral("systemctl is-enabled tarnd.service");
    for (bool server : {true, false}) {
        const char *subject = server ? "tarn server" : "tarn client";
        const QString id =
            server ? QStringLiteral("ServiceTarnServer") : QStringLiteral("ServiceTarnClient");
        const QString role = server ? QStringLiteral("server") : QStringLiteral("client");
        const QString heavy =
            task(id, QStringLiteral("Read Tarn %1 service configuration").arg(role));
        const QString status = QStringLiteral("tarn-client status --%1").arg(role);
        const QString forced = server ? QStringLiteral("tarn-init") : QStringLiteral("tarn-client");
        const QStringList both{id + QStringLiteral(" state"), tarnd + QStringLiteral(" state")};
        // The server's state read asks for the state and the domain at once.
        QTest::addRow("%s: root light read", qPrintable(id))
            << subject << root << quint64(OperationReadLight)
            << QStringList{task(id, QStringLiteral("Read Tarn %1 service state").arg(role))}
            << (server ? QStringList{status, status} : QStringList{status})
            << QStringList{id + QStringLiteral(" state")};
        QTest::addRow("%s: light read", qPrintable(id))
            << subject << id << quint64(OperationReadLight) << none << none << none;
        QTest::addRow("%s: content", qPrintable(id))
            << subject << id << quint64(OperationReadContent) << QStringList{tarndState}
            << QStringList{tarndStatus, tarndBoot}
            << QStringList{id + QStringLiteral(" content"), tarnd + QStringLiteral(" state")};
        QTest::addRow("%s: heavy read", qPrintable(id))
            << subject << id << quint64(OperationReadHeavy) << QStringList{heavy, tarndState}
            << QStringList{tarndStatus, tarndBoot, status} << both;
        for (OperationType operation : {OperationStart, OperationStop, OperationRestart}) {
            const QString word = operationName(operation);
            const QString title = word.left(1).toUpper() + word.mid(1);
            QTest::addRow("%s: %s", qPrintable(id), qPrintable(word))
                << subject << id << quint64(operation)
                << QStringList{task(id, QStringLiteral("%1 Tarn %2 service").arg(title, role)),
                               heavy, tarndState}
                << QStringList{tarndStatus, tarndBoot} +
                       (server ? QStringList{status} : QStringList{}) +
                       QStringList{QStringLiteral("%1 %2 --force").arg(forced, word)} +
                       (server ? QStringList{} : QStringList{status})
                << both;
        }
        QTest::addRow("%s: reload is ignored", qPrintable(id))
            << subject << id << quint64(OperationReload) << none << none << none;
        QTest::addRow("%s: update is ignored", qPrintable(id))
            << subject << id << quint64(OperationUpdate) << none << none << none;
    }
    const QString tarndHeavy = task(tarnd, "Read Tarnd service configuration");
    const QString clientStatus = QStringLiteral("tarn-client status --client");
    const QStringList tarndKnown{tarnd + QStringLiteral(" state")};
    QTest::newRow("ServiceTarnTarnd: light read")
        << "tarn server" << tarnd << quint64(OperationReadLight) << QStringList{tarndState}
        << QStringList{tarndStatus, tarndBoot} << tarndKnown;
    QTest::newRow("ServiceTarnTarnd: heavy read")
        << "tarn server" << tarnd << quint64(OperationReadHeavy) << QStringList{tarndHeavy}
        << QStringList{tarndStatus, tarndBoot, clientStatus} << tarndKnown;
    for (OperationType operation :
         {OperationStart, OperationStop, OperationRestart, OperationReload}) {
        const QString word = operationName(operation);
        const QString title = word.left(1).toUpper() + word.mid(1);
        // Reload is not offered, but asked for it the module reloads with "force-reload".
        const QString action = operation == OperationReload ? QStringLiteral("force-reload") : word;
        QTest::addRow("ServiceTarnTarnd: %s", qPrintable(word))
            << "tarn server" << tarnd << quint64(operation)
            << QStringList{task(tarnd, QStringLiteral("%1 Tarnd service").arg(title))}
            << QStringList{QStringLiteral("/etc/init.d/tarnd %1").arg(action), tarndStatus,
                           tarndBoot}
            << tarndKnown;
    }
    QTest::newRow("ServiceTarnTarnd: content is ignored")
        << "tarn server" << tarnd << quint64(OperationReadContent) << none << none << none;
}

void TestPluginConformance::operationsBecomeTasks()
{
    QFETCH(QString, subject);
    QFETCH(QString, id);
    QFETCH(quint64, operation);
    QFETCH(QStringList, tasks);
    QFETCH(QStringList, calls);
    QFETCH(QStringList, learned);

    Console console;
    OXA_REQUIRE_TEST_HOST(console.host);
    QVERIFY2(console.load(subject), qPrintable(console.errorString()));
    console.setAdministrator(true);
    QSet<Element *> unread;
    for (Element *element : console.elements()) {
        if (element->contentFlag())
            unread << element;
    }
    if (id != servicesRoot) {
        Element *element = console.element(id);
        QVERIFY(element);
        // Only clearing a cache asks the window's question first.
        QCOMPARE(element->operationQuestion(OperationType(operation)).isEmpty(),
                 operation != OperationClearCache);
    }

    TaskRunner runner;
    QVERIFY(console.perform(id, OperationType(operation)));
    QVERIFY(runner.waitForIdle());
    QCOMPARE(::tasks(runner.reports()), tasks);
    QCOMPARE(console.calls(), calls);
    QStringList known;
    for (Element *element : console.elements()) {
        if (element->serviceData() && element->serviceData()->isStateKnown())
            known << element->id() + QStringLiteral(" state");
        if (unread.contains(element) && !element->contentFlag())
            known << element->id() + QStringLiteral(" content");
    }
    QCOMPARE(known, learned);
}

OXA_TEST_MAIN(TestPluginConformance)
#include "tst_pluginconformance.moc"
