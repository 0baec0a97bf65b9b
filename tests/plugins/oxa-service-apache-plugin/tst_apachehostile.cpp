// Apache's site and module directories holding names no administrator means to write: blanks,
// line feeds, wildcards, a leading "-"; against the real a2ensite, a2dissite, a2enmod,
// a2dismod and apache2ctl in the disposable host.

#include "apachetesthost.h"
#include "serviceapacheheavyelementdata.h"
#include "serviceapachemodule.h"
#include "serviceapachetasks.h"

#include <element.h>
#include <taskobserver.h>

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <memory>

namespace {

const QString sitesAvailable = QStringLiteral("/etc/apache2/sites-available");
const QString sitesEnabled = QStringLiteral("/etc/apache2/sites-enabled");
const QString modsAvailable = QStringLiteral("/etc/apache2/mods-available");
const QString modsEnabled = QStringLiteral("/etc/apache2/mods-enabled");

QByteArray standaloneSite(const QByteArray &serverName)
{
    return "Include /etc/apache2/mods-enabled/*.load\n"
           "Include /etc/apache2/mods-enabled/*.conf\n"
           "ServerName " + serverName + "\nErrorLog /var/log/apache2/error.log\n"
           "<VirtualHost *:8080>\nServerName " + serverName + "\n</VirtualHost>\n";
}

/// The names in @p directory, hidden ones too, as the file system has them.
QStringList entries(const QString &directory)
{
    return QDir(directory).entryList(QDir::AllEntries | QDir::System | QDir::Hidden |
                                     QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class TestApacheHostile : public QObject, protected ApacheTestHost::TaskFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void oddSiteNamesAreListed();
    void namesTheToolsWouldMisreadAreRefused_data();
    void namesTheToolsWouldMisreadAreRefused();
    void optionLikeSiteNamesStayNames();
    void optionLikeModuleNamesStayNames();
    void unsafeNames_data();
    void unsafeNames();
};

void TestApacheHostile::init()
{
    QVERIFY(setUpTree());
}

void TestApacheHostile::cleanup()
{
    tearDownTree();
}

void TestApacheHostile::oddSiteNamesAreListed()
{
    OXA_PREPARE_APACHE_HOST(*m_host);
    QVERIFY(m_host->removePath(sitesEnabled) && m_host->mkdir(sitesEnabled));
    const QStringList odd{"with blank.conf", "line\nfeed.conf", "-dash.conf", "*.conf",
                          "--.conf"};
    for (const QString &name : odd)
        QVERIFY(m_host->writeFile(sitesAvailable + '/' + name, standaloneSite("odd.example")));

    ServiceApacheReadHeavyTask task(m_service);
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusDone);
    const QStringList rows = ApacheTestHost::describe(task.apacheRecord()->data());
    for (const QString &name : odd) {
        QVERIFY2(rows.contains("site:" + name), qPrintable(name));
        // The server prints a line feed of a path as it is, splitting its own line: such a
        // site's hosts cannot be told, the site itself still is.
        if (name.contains(QLatin1Char('\n')))
            continue;
        // apache2ctl -S -f took each path whole: its host is there, from that very file.
        QVERIFY2(rows.contains("host:odd.example|*:8080|" + sitesAvailable + '/' + name),
                 qPrintable(rows.join(QLatin1Char(','))));
    }
}

void TestApacheHostile::namesTheToolsWouldMisreadAreRefused_data()
{
    QTest::addColumn<bool>("modules");
    QTest::addColumn<bool>("enable");
    QTest::addColumn<QString>("name");     // the file name the update is asked for
    QTest::addColumn<QStringList>("decoys"); // files the tool would reach instead

    // Each of these made the tool enable or disable other files than the named one.
    QTest::newRow("site with a blank") << false << true << "a b.conf"
                                       << QStringList{"a.conf", "b.conf"};
    QTest::newRow("site named by a wildcard")
        << false << true << "*.conf" << QStringList{"a.conf", "b.conf"};
    QTest::newRow("site with a line feed") << false << true << "a\nb.conf"
                                           << QStringList{"a.conf", "b.conf"};
    QTest::newRow("site with a character class") << false << true << "[ab].conf"
                                                 << QStringList{"a.conf", "b.conf"};
    QTest::newRow("site disabled, with a blank") << false << false << "a b.conf"
                                                 << QStringList{"a.conf", "b.conf"};
    QTest::newRow("module with a blank") << true << true << "a b" << QStringList{"a.load", "b.load"};
    QTest::newRow("module named by a wildcard") << true << true << "?" << QStringList{"a.load"};
    QTest::newRow("module disabled, wildcard") << true << false << "*" << QStringList{"a.load"};
}

void TestApacheHostile::namesTheToolsWouldMisreadAreRefused()
{
    QFETCH(bool, modules);
    QFETCH(bool, enable);
    QFETCH(QString, name);
    QFETCH(QStringList, decoys);

    OXA_PREPARE_APACHE_HOST(*m_host);
    const QString available = modules ? modsAvailable : sitesAvailable;
    const QString enabled = modules ? modsEnabled : sitesEnabled;
    QVERIFY(m_host->removePath(enabled) && m_host->mkdir(enabled));
    const QString file = modules ? name + QStringLiteral(".load") : name;
    QVERIFY(m_host->writeFile(available + '/' + file, "# odd\n"));
    for (const QString &decoy : decoys) {
        QVERIFY(m_host->writeFile(available + '/' + decoy, "# decoy\n"));
        // What a disable would reach: the decoys are enabled to begin with.
        if (!enable)
            QVERIFY(m_host->writeSymlink(enabled + '/' + decoy, "../" + available.section('/', -1) +
                                                                     '/' + decoy));
    }
    const QStringList before = entries(enabled);

    auto *record = new ServiceApacheHeavyElementData;
    (enable ? record->checkedNames() : record->blockedNames()).insert(name);
    std::unique_ptr<ApacheEnableDisableTask> task;
    if (modules)
        task.reset(new ServiceApacheModulesUpdateTask(m_modules, record));
    else
        task.reset(new ServiceApacheSiteUpdateTask(m_service, record));
    task->run();
    QCOMPARE(task->status(), TaskDescription::TaskStatusFailed);
    const QString tool = QStringLiteral("a2%1%2")
                             .arg(enable ? QStringLiteral("en") : QStringLiteral("dis"),
                                  modules ? QStringLiteral("mod") : QStringLiteral("site"));
    QCOMPARE(task->taskDescription().message(),
             ApacheEnableDisableTask::unsafeNameMessage(name, tool));
    QCOMPARE(entries(enabled), before);
}

void TestApacheHostile::optionLikeSiteNamesStayNames()
{
    OXA_PREPARE_APACHE_HOST(*m_host);
    QVERIFY(m_host->removePath(sitesEnabled) && m_host->mkdir(sitesEnabled));
    // "-f" and "-p" are options of the tools (force, purge): these are sites.
    for (const char *name : {"-f.conf", "-p.conf", "a.conf"})
        QVERIFY(m_host->writeFile(sitesAvailable + '/' + QLatin1String(name), "# site\n"));

    auto *enableRecord = new ServiceApacheHeavyElementData;
    enableRecord->checkedNames() = {QStringLiteral("-f.conf"), QStringLiteral("-p.conf")};
    ServiceApacheSiteUpdateTask enable(m_service, enableRecord);
    enable.run();
    QCOMPARE(enable.status(), TaskDescription::TaskStatusDone);
    QCOMPARE(entries(sitesEnabled), (QStringList{"-f.conf", "-p.conf"}));

    auto *disableRecord = new ServiceApacheHeavyElementData;
    disableRecord->blockedNames() = {QStringLiteral("-p.conf")};
    ServiceApacheSiteUpdateTask disable(m_service, disableRecord);
    disable.run();
    QCOMPARE(disable.status(), TaskDescription::TaskStatusDone);
    QCOMPARE(entries(sitesEnabled), QStringList{"-f.conf"});
}

void TestApacheHostile::optionLikeModuleNamesStayNames()
{
    OXA_PREPARE_APACHE_HOST(*m_host);
    QVERIFY(m_host->removePath(modsEnabled) && m_host->mkdir(modsEnabled));
    // "-m" is the tools' maintainer mode, "-q" quiet: these are modules.
    for (const char *name : {"-m.load", "-q.load"})
        QVERIFY(m_host->writeFile(modsAvailable + '/' + QLatin1String(name), "# module\n"));

    auto *record = new ServiceApacheHeavyElementData;
    record->checkedNames() = {QStringLiteral("-m"), QStringLiteral("-q")};
    ServiceApacheModulesUpdateTask enable(m_modules, record);
    enable.run();
    QCOMPARE(enable.status(), TaskDescription::TaskStatusDone);
    QCOMPARE(entries(modsEnabled), (QStringList{"-m.load", "-q.load"}));
}

void TestApacheHostile::unsafeNames_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("unsafe"); // null: all safe

    QTest::newRow("plain") << QStringList{"000-default.conf", "ssl", "-x", "a.b_c+d"} << QString();
    QTest::newRow("tab") << QStringList{"ok", "a\tb"} << "a\tb";
    QTest::newRow("control") << QStringList{QStringLiteral("a\x01")} << QStringLiteral("a\x01");
    QTest::newRow("brace") << QStringList{"{a,b}"} << "{a,b}";
    QTest::newRow("tilde") << QStringList{"~root"} << "~root";
    QTest::newRow("backslash") << QStringList{"a\\*"} << "a\\*";
    QTest::newRow("quote") << QStringList{"'a b'"} << "'a b'";
    QTest::newRow("empty") << QStringList{""} << "";
}

void TestApacheHostile::unsafeNames()
{
    QFETCH(QStringList, names);
    QFETCH(QString, unsafe);
    const QString found = ApacheEnableDisableTask::unsafeName(names);
    QCOMPARE(found.isNull(), unsafe.isNull());
    QCOMPARE(found, unsafe);
}

OXA_TEST_MAIN(TestApacheHostile)
#include "tst_apachehostile.moc"
