#include "testowners.h"

#include <bridgepolicy.h>

#include <testhost.h>

#include <childprocess.h>
#include <packagecheck.h>
#include <serviceapachetasks.h>
#include <servicecrontasks.h>
#include <servicecupstasks.h>
#include <servicekerberostasks.h>
#include <servicelogsources.h>
#include <servicemaildovecottasks.h>
#include <servicemaileximtasks.h>
#include <servicesambatasks.h>
#include <serviceslapdtasks.h>
#include <servicetarntasks.h>

#include <QDir>
#include <QFile>
#include <QTest>

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

using namespace Bridge;

Q_DECLARE_METATYPE(Bridge::Request)

namespace {

/// The shipped fragments, in the checkout.
QString policySource()
{
    return QStringLiteral(OXA_BRIDGE_POLICY_DIR);
}

QStringList fragmentNames()
{
    return QDir(policySource()).entryList({QStringLiteral("*.policy")}, QDir::Files, QDir::Name);
}

/// A program by name as the console finds it: on its children's fixed search path.
std::string program(const char *name)
{
    const QString found = ChildProcess::findProgram(QString::fromLatin1(name));
    return (found.isEmpty() ? QStringLiteral("/usr/bin/") + QLatin1String(name) : found)
        .toStdString();
}

Request run(const std::string &path, const QStringList &arguments, bool change = false)
{
    Request request;
    request.path = path;
    for (const QString &argument : arguments)
        request.arguments.push_back(argument.toStdString());
    request.change = change;
    return request;
}

Request on(Operation operation, const QString &path, const QStringList &names = {})
{
    Request request = run(path.toStdString(), names);
    request.operation = operation;
    request.content = "manual\n";
    return request;
}

/// The rows of one service family: the state read and the four changes, as its tasks run them.
void familyRows(const char *service, const ServiceFamily &family)
{
    const std::string script = family.initScript;
    const QString reload = QLatin1String(family.reloadAction ? family.reloadAction : "reload");
    QTest::addRow("%s state", service) << run(script, {QStringLiteral("status")});
    for (const QString &action :
         {QStringLiteral("start"), QStringLiteral("stop"), QStringLiteral("restart"), reload})
        QTest::addRow("%s %s", service, qPrintable(action)) << run(script, {action}, true);
}

} // namespace

/**
 * The policy fragments shipped for the plug-ins: each parses, together they admit what the
 * plug-ins run and read today (taken from the plug-ins' own constants where they have them),
 * and they refuse what whoever may start the bridge must not get.
 */
class TestBridgePolicyFiles : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void fragmentsParse_data();
    void fragmentsParse();
    void admitsWhatPluginsDo_data();
    void admitsWhatPluginsDo();
    void refusesThreats_data();
    void refusesThreats();

private:
    std::unique_ptr<TestHost> m_host;
    Policy m_policy;
    std::string m_loadError;
};

void TestBridgePolicyFiles::initTestCase()
{
    QVERIFY(!fragmentNames().isEmpty());
    m_host.reset(new TestHost);
    if (!m_host->isAvailable())
        return;
    TestHost &host = *m_host;
    // The fragments where the bridge reads them, as its package installs them.
    const QString directory = QString::fromLatin1(Policy::DefaultDirectory);
    QVERIFY2(host.mkdir(directory), qPrintable(host.errorString()));
    for (const QString &name : fragmentNames()) {
        QFile file(policySource() + QLatin1Char('/') + name);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY2(host.writeFile(directory + QLatin1Char('/') + name, file.readAll(), 0644),
                 qPrintable(host.errorString()));
    }
    // What the services' packages install, where the machine lacks it.
    for (const ServiceFamily *family :
         {&apacheFamily, &cronFamily, &cupsFamily, &dovecotFamily, &eximFamily, &kerberosKdcFamily,
          &kerberosKadminFamily, &sambaFamily, &slapdFamily, &tarndFamily})
        QVERIFY(host.writeStatusScript(QString::fromLatin1(family->initScript), 0));
    for (const char *tool :
         {"/usr/sbin/apache2ctl", "/usr/sbin/a2ensite", "/usr/sbin/a2dissite", "/usr/sbin/a2enmod",
          "/usr/sbin/a2dismod", "/usr/bin/pg_lsclusters", "/usr/bin/pg_ctlcluster",
          "/usr/bin/pg_createcluster", "/usr/bin/pg_dropcluster", "/usr/bin/doveconf",
          "/usr/bin/tarn-client", "/usr/bin/tarn-init", "/usr/bin/journalctl"}) {
        if (!QFileInfo::exists(QLatin1String(tool)))
            QVERIFY(host.writeStatusScript(QLatin1String(tool), 0));
    }
    for (const char *file : {"/etc/apache2/sites-available/000-default.conf",
                             "/etc/apache2/sites-available/default-ssl.conf",
                             "/etc/apache2/mods-available/rewrite.load",
                             "/etc/apache2/mods-enabled/rewrite.load",
                             "/etc/apache2/sites-enabled/000-default.conf",
                             "/etc/cups/cupsd.conf",
                             "/etc/cups/printers.conf",
                             "/etc/cups/ssl/server.key",
                             "/etc/krb5kdc/kdc.conf",
                             "/etc/krb5kdc/kadm5.acl",
                             "/etc/krb5kdc/stash",
                             "/etc/ldap/slapd.d/cn=config.ldif",
                             "/etc/ldap/slapd.d/cn=config/olcDatabase={1}mdb.ldif",
                             "/etc/ssl/private/ssl-cert-snakeoil.key",
                             "/etc/samba/smb.conf",
                             "/etc/exim4/update-exim4.conf.conf",
                             "/etc/crontab",
                             "/etc/cron.d/e2scrub_all",
                             "/etc/postgresql/15/main/start.conf",
                             "/var/spool/cups/c00001",
                             "/var/lib/krb5kdc/principal",
                             "/var/tmp/user/evil.conf",
                             "/var/tmp/user/x.service",
                             "/var/log/apache2/error.log",
                             "/var/log/cups/error_log",
                             "/var/log/exim4/mainlog",
                             "/var/log/samba/log.smbd",
                             "/var/log/postgresql/postgresql-15-main.log",
                             "/var/log/auth.log"})
        QVERIFY2(host.writeFile(QLatin1String(file), "x\n"), qPrintable(host.errorString()));
    for (const char *dir : {"/etc/cron.daily", "/etc/cron.hourly", "/etc/cron.monthly"})
        QVERIFY(host.mkdir(QLatin1String(dir)));
    // Links that lead out of directories the policy opens.
    QVERIFY(host.writeSymlink(QStringLiteral("/etc/cups/stash-link"),
                              QStringLiteral("/etc/krb5kdc/stash")));
    QVERIFY(
        host.writeSymlink(QStringLiteral("/etc/cups/shadow-link"), QStringLiteral("/etc/shadow")));
    QVERIFY(
        host.writeSymlink(QStringLiteral("/etc/cups/keys"), QStringLiteral("/etc/ssl/private")));
    QVERIFY(host.writeSymlink(QStringLiteral("/etc/cups/user-link"),
                              QStringLiteral("/var/tmp/user/evil.conf")));

    m_policy.setTrustedOwners(testOwners());
    m_policy.load(Policy::DefaultDirectory, &m_loadError);
}

void TestBridgePolicyFiles::cleanupTestCase()
{
    m_host.reset();
}

void TestBridgePolicyFiles::fragmentsParse_data()
{
    QTest::addColumn<QString>("name");
    for (const QString &name : fragmentNames())
        QTest::newRow(qPrintable(name)) << name;
}

void TestBridgePolicyFiles::fragmentsParse()
{
    // Each alone (no fragment leans on another's definitions) and all loaded together.
    QFETCH(QString, name);
    QFile file(policySource() + QLatin1Char('/') + name);
    QVERIFY(file.open(QIODevice::ReadOnly));
    Policy policy;
    std::string error;
    QVERIFY2(policy.parse({{name.toStdString(), file.readAll().toStdString()}}, &error),
             error.c_str());
    QVERIFY(policy.ruleCount() > 0);
    OXA_REQUIRE_TEST_HOST(*m_host);
    QVERIFY2(m_loadError.empty(), m_loadError.c_str());
}

void TestBridgePolicyFiles::admitsWhatPluginsDo_data()
{
    QTest::addColumn<Request>("request");
    familyRows("Apache", apacheFamily);
    familyRows("cron", cronFamily);
    familyRows("CUPS", cupsFamily);
    familyRows("Dovecot", dovecotFamily);
    familyRows("Exim", eximFamily);
    familyRows("KDC", kerberosKdcFamily);
    familyRows("kadmind", kerberosKadminFamily);
    familyRows("Samba", sambaFamily);
    familyRows("slapd", slapdFamily);
    familyRows("tarnd", tarndFamily);

    // Every plug-in's package check, alone and asked together for several plug-ins.
    const QString standard = PackageCheck::standardShowFormat();
    const std::string dpkgQuery = program("dpkg-query");
    QTest::newRow("package check") << run(dpkgQuery, {standard, "--show", "cups-common"});
    QTest::newRow("package checks together")
        << run(dpkgQuery, {"--showformat=${Package}\t" + standard.mid(13), "--show", "samba",
                           "slapd", "postgresql-[0123456789]*"});
    const QString apacheFormat =
        QStringLiteral("--showformat=${db:Status-Abbrev}${binary:Package} ${Version}\n");
    QTest::newRow("Apache version") << run(dpkgQuery, {apacheFormat, "--show", "apache2"});
    QTest::newRow("Apache version together") << run(
        dpkgQuery, {"--showformat=${Package}\t" + apacheFormat.mid(13), "--show", "apache2"});
    QTest::newRow("package list entry")
        << run(dpkgQuery, {"-W", "-f=${binary:Package}\t${Version}\t${Status}", "libc6:amd64"});

    const std::string ctl = program(ApachePaths::apache2ctl);
    const QString available = QString::fromLatin1(ApachePaths::sitesAvailable);
    QTest::newRow("Apache hosts") << run(ctl, {"-S"});
    QTest::newRow("Apache modules") << run(ctl, {"-M"});
    QTest::newRow("Apache site alone") << run(ctl, {"-S", "-f", available + "/default-ssl.conf"});
    QTest::newRow("enable sites") << run(program("a2ensite"), {"000-default", "default-ssl.conf"},
                                         true);
    QTest::newRow("disable a site") << run(program("a2dissite"), {"default-ssl"}, true);
    QTest::newRow("enable a module") << run(program("a2enmod"), {"rewrite"}, true);
    QTest::newRow("disable a module") << run(program("a2dismod"), {"rewrite"}, true);
    for (const char *dir : {ApachePaths::sitesEnabled, ApachePaths::sitesAvailable,
                            ApachePaths::modsEnabled, ApachePaths::modsAvailable}) {
        QTest::addRow("list %s", dir) << on(Operation::List, QLatin1String(dir));
        QTest::addRow("test %s", dir) << on(Operation::Test, QLatin1String(dir));
    }

    QTest::newRow("Dovecot settings")
        << run(program(ServiceMailDovecotReadHeavyTask::program), {"-a"});

    const std::string client = program(TarnTool::client);
    const std::string init = program(TarnTool::init);
    for (const char *role : {TarnTool::serverOption, TarnTool::clientOption})
        QTest::addRow("Tarn %s state", role) << run(client, {"status", QLatin1String(role)});
    for (const char *action : {"start", "stop", "restart"}) {
        QTest::addRow("Tarn client %s", action)
            << run(client, {QLatin1String(action), TarnTool::forceOption}, true);
        QTest::addRow("Tarn server %s", action)
            << run(init, {QLatin1String(action), TarnTool::forceOption}, true);
    }
    QTest::newRow("Tarn client state after a change")
        << run(client, {"status", TarnTool::forceOption});
    QTest::newRow("Tarn server state after a change")
        << run(init, {"status", TarnTool::forceOption});

    const std::string lsclusters = program("pg_lsclusters");
    const std::string ctlcluster = program("pg_ctlcluster");
    QTest::newRow("PostgreSQL versions")
        << run(dpkgQuery, {standard, "--show", "postgresql-[0123456789]*"});
    QTest::newRow("PostgreSQL clusters") << run(lsclusters, {"--no-header"});
    QTest::newRow("cluster state") << run(ctlcluster, {"15", "main", "status"});
    for (const char *action : {"start", "stop", "restart", "reload"})
        QTest::addRow("cluster %s", action) << run(ctlcluster, {"15", "main", action}, true);
    QTest::newRow("create a cluster") << run(program("pg_createcluster"), {"15", "main"}, true);
    QTest::newRow("create a cluster on a port")
        << run(program("pg_createcluster"), {"-p", "5433", "16", "my_db-2"}, true);
    QTest::newRow("drop a cluster")
        << run(program("pg_dropcluster"), {"15", "main", "--stop"}, true);

    for (const char *file :
         {ServiceSambaReadHeavyTask::configPath, ServiceKerberosKdcReadHeavyTask::configPath,
          ServiceKerberosKadminReadHeavyTask::configPath, ServiceMailEximReadHeavyTask::configPath,
          "/etc/crontab"})
        QTest::addRow("read %s", file) << on(Operation::ReadFile, QLatin1String(file));
    const QString cups = QString::fromLatin1(ServiceCupsReadHeavyTask::configDirectory);
    for (const char *file : {"cupsd.conf", "printers.conf", "classes.conf"})
        QTest::addRow("read CUPS %s", file) << on(Operation::ReadFile, cups + '/' + file);
    QTest::newRow("list CUPS files") << on(Operation::List, cups);
    const QString spool = QString::fromLatin1(ClearCacheTask::spoolDirectory);
    QTest::newRow("list the spool") << on(Operation::List, spool);
    QTest::newRow("clear the spool") << on(Operation::RemoveIn, spool, {"c00001", "d00001-001"});
    for (const char *dir :
         {"/etc/cron.d", "/etc/cron.daily", "/etc/cron.hourly", "/etc/cron.monthly"})
        QTest::addRow("list %s", dir) << on(Operation::List, QLatin1String(dir));
    const QString slapd = QString::fromLatin1(ServiceSlapdReadHeavyTask::configPath);
    QTest::newRow("test slapd.d") << on(Operation::Test, slapd);
    QTest::newRow("list slapd.d") << on(Operation::List, slapd);
    QTest::newRow("list slapd.d deeper") << on(Operation::List, slapd + "/cn=config");
    QTest::newRow("find a program") << on(Operation::Test, QStringLiteral("/usr/sbin/apache2ctl"));

    // The log of every service element the log hangs under, and of clusters, as it reads it.
    const std::string journalctl = program("journalctl");
    QTest::newRow("log: systemd?") << on(Operation::Test, ServiceLogSources::systemdMarker());
    QList<ServiceLogSources::Sources> logs;
    for (const ServiceLogSources::Target &target : ServiceLogSources::targets()) {
        if (target.elementType != ServiceLogSources::clusterType())
            logs << ServiceLogSources::sourcesOf(target.elementType, nullptr);
    }
    logs << ServiceLogSources::clusterSources(QStringLiteral("15"), QStringLiteral("main"))
         << ServiceLogSources::clusterSources(QStringLiteral("9.6"), QStringLiteral("my_db-2.x"));
    for (const ServiceLogSources::Sources &log : std::as_const(logs)) {
        QTest::addRow("journal of %s", qPrintable(log.units.join(' ')))
            << run(journalctl, ServiceLogSources::journalArguments(log.units));
        for (const QString &file : log.files)
            QTest::addRow("tail %s", qPrintable(file)) << on(Operation::Tail, file);
    }
}

void TestBridgePolicyFiles::admitsWhatPluginsDo()
{
    QFETCH(Request, request);
    OXA_REQUIRE_TEST_HOST(*m_host);
    QVERIFY2(m_loadError.empty(), m_loadError.c_str());
    const Decision decision = m_policy.check(request);
    QVERIFY2(decision.allowed(), decision.message.c_str());
}

void TestBridgePolicyFiles::refusesThreats_data()
{
    QTest::addColumn<Request>("request");
    QTest::addColumn<QString>("reason");
    const std::string ctl = program(ApachePaths::apache2ctl);
    const QString noRule = QStringLiteral("no rule of the policy admits it");
    QTest::newRow("apache2ctl -f on a user's file")
        << run(ctl, {"-S", "-f", "/var/tmp/user/evil.conf"}) << noRule;
    QTest::newRow("apache2ctl -f through a link")
        << run(ctl, {"-S", "-f", "/etc/apache2/sites-available/../../cups/user-link"}) << noRule;
    QTest::newRow("apache2ctl -f alone") << run(ctl, {"-f", "/var/tmp/user/evil.conf"}) << noRule;
    QTest::newRow("apache2ctl -k stop as a read") << run(ctl, {"-k", "stop"}) << noRule;
    QTest::newRow("a2ensite with a pattern") << run(program("a2ensite"), {"*"}, true) << noRule;
    QTest::newRow("systemctl link of a user's unit")
        << run("/usr/bin/systemctl", {"link", "/var/tmp/user/x.service"}, true) << noRule;
    QTest::newRow("pg_createcluster -o")
        << run(program("pg_createcluster"),
               {"-o", "shared_preload_libraries=/var/tmp/user/x.so", "15", "main"}, true)
        << noRule;
    QTest::newRow("pg_createcluster with an option as the name")
        << run(program("pg_createcluster"), {"15", "--", "-o"}, true) << noRule;
    QTest::newRow("pg_ctlcluster with extra options")
        << run(program("pg_ctlcluster"), {"15", "main", "start", "--", "-c", "x=y"}, true)
        << noRule;
    QTest::newRow("init script by a relative path")
        << run("etc/init.d/smbd", {"start"}, true) << "a relative path";
    QTest::newRow("a shell") << run("/bin/sh", {"-c", "id"}) << noRule;
    QTest::newRow("doveconf with secrets") << run(program("doveconf"), {"-P"}) << noRule;
    QTest::newRow("a change as a read")
        << run(sambaFamily.initScript, {"stop"}) << "the policy admits it only as a change";
    QTest::newRow("KDC stash") << on(Operation::ReadFile, "/etc/krb5kdc/stash") << "denied by";
    QTest::newRow("KDC database") << on(Operation::ReadFile, "/var/lib/krb5kdc/principal")
                                  << "denied by";
    QTest::newRow("slapd.d database entry")
        << on(Operation::ReadFile, "/etc/ldap/slapd.d/cn=config/olcDatabase={1}mdb.ldif")
        << "denied by";
    QTest::newRow("slapd.d tail of an entry")
        << on(Operation::Tail, "/etc/ldap/slapd.d/cn=config/olcDatabase={1}mdb.ldif")
        << "denied by";
    QTest::newRow("private key") << on(Operation::ReadFile,
                                       "/etc/ssl/private/ssl-cert-snakeoil.key")
                                 << "denied by";
    QTest::newRow("CUPS key") << on(Operation::ReadFile, "/etc/cups/ssl/server.key") << "denied by";
    QTest::newRow("link to the stash")
        << on(Operation::ReadFile, "/etc/cups/stash-link") << "denied by";
    QTest::newRow("link to the shadow file")
        << on(Operation::ReadFile, "/etc/cups/shadow-link") << "denied by";
    QTest::newRow("directory link to private keys")
        << on(Operation::ReadFile, "/etc/cups/keys/ssl-cert-snakeoil.key") << "denied by";
    QTest::newRow("link to a user's file")
        << on(Operation::ReadFile, "/etc/cups/user-link") << "resolves to /var/tmp/user/evil.conf";
    QTest::newRow("dot dot out of CUPS")
        << on(Operation::ReadFile, "/etc/cups/../shadow") << "\"..\" component";
    QTest::newRow("NUL in a path")
        << on(Operation::ReadFile, QStringLiteral("/etc/samba/smb.conf") + QChar(0) + ".bak")
        << "NUL byte";
    QTest::newRow("removal outside the spool")
        << on(Operation::RemoveIn, "/etc/cups", {"cupsd.conf"}) << noRule;
    QTest::newRow("removal below the spool")
        << on(Operation::RemoveIn, "/var/spool/cups", {"../../../etc/shadow"}) << "with a \"/\"";
    QTest::newRow("write outside start.conf")
        << on(Operation::Write, "/etc/postgresql/15/main/start.conf") << noRule;
    QTest::newRow("write the crontab") << on(Operation::Write, "/etc/crontab") << noRule;
    QTest::newRow("list a home") << on(Operation::List, "/root") << noRule;

    // journalctl reads every secret of the journal with other arguments or units.
    const std::string journalctl = program("journalctl");
    const QStringList samba = ServiceLogSources::journalArguments({"smbd.service"});
    QTest::newRow("journal of another unit")
        << run(journalctl, ServiceLogSources::journalArguments({"ssh.service"})) << noRule;
    QTest::newRow("journal of every unit")
        << run(journalctl, ServiceLogSources::journalArguments({})) << noRule;
    QTest::newRow("journal with a unit pattern")
        << run(journalctl, ServiceLogSources::journalArguments({"*"})) << noRule;
    QTest::newRow("journal with another unit besides")
        << run(journalctl, samba + QStringList{"--unit=ssh.service"}) << noRule;
    QTest::newRow("journal of another file")
        << run(journalctl, samba + QStringList{"--file=/var/tmp/user/x.journal"}) << noRule;
    QTest::newRow("journal with all fields")
        << run(journalctl, QStringList(samba).replaceInStrings("--output-fields=", "--x="))
        << noRule;
    QTest::newRow("journal of a cluster named like a path")
        << run(journalctl, ServiceLogSources::journalArguments({"postgresql@15-../x.service"}))
        << noRule;
    QTest::newRow("journal of a cluster named like an option")
        << run(journalctl, ServiceLogSources::journalArguments({"postgresql@15--x.service"}))
        << noRule;
    QTest::newRow("journal as a change")
        << run(journalctl, samba, true) << "the policy admits it only as a read";
    QTest::newRow("tail of another log") << on(Operation::Tail, "/var/log/auth.log") << noRule;
    QTest::newRow("tail out of the cluster logs")
        << on(Operation::Tail, "/var/log/postgresql/postgresql-15-main.log/../../auth.log")
        << "\"..\" component";
    QTest::newRow("read of a log") << on(Operation::ReadFile, "/var/log/samba/log.smbd") << noRule;
}

void TestBridgePolicyFiles::refusesThreats()
{
    QFETCH(Request, request);
    QFETCH(QString, reason);
    OXA_REQUIRE_TEST_HOST(*m_host);
    QVERIFY2(m_loadError.empty(), m_loadError.c_str());
    const Decision decision = m_policy.check(request);
    QCOMPARE(int(decision.verdict), int(Decision::Refused));
    // The refusal names the request, then why.
    QVERIFY2(decision.message.find("Refused: " + describe(request) + ": ") == 0,
             decision.message.c_str());
    QVERIFY2(decision.message.find(reason.toStdString()) != std::string::npos,
             decision.message.c_str());
}

OXA_TEST_MAIN(TestBridgePolicyFiles)
#include "tst_bridgepolicyfiles.moc"
