// The console in batch mode with the Services root and the PostgreSQL plug-in loaded from
// their libraries, on a disposable host: a real cluster created, started, shown and dropped.

#include <consolebatch.h>
#include <testhost.h>

#include <childprocess.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

namespace {

const char clusterName[] = "batch1";
const QString version = TestHost::newestPgsqlServer();
const int clusterPort = 5473;

} // namespace

class TestServicePgsqlBatch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void createStartShowDrop();

private:
    ConsoleBatch m_console{
        {QStringLiteral(OXA_SERVICES_PLUGIN_FILE), QStringLiteral(OXA_PGSQL_PLUGIN_FILE)}};
    std::unique_ptr<TestHost> m_host;
};

void TestServicePgsqlBatch::initTestCase()
{
    QVERIFY2(m_console.isValid(), qPrintable(m_console.errorString()));
}

void TestServicePgsqlBatch::cleanup()
{
    // A failed run may leave the cluster behind, perhaps running: its socket lives in the
    // machine's /run.
    if (m_host && m_host->isAvailable() &&
        QFile::exists(
            QStringLiteral("/etc/postgresql/%1/%2").arg(version, QLatin1String(clusterName))))
        ChildProcess::run(QStringLiteral("/usr/bin/pg_dropcluster"),
                          {version, QLatin1String(clusterName), QStringLiteral("--stop")});
    m_host.reset();
}

void TestServicePgsqlBatch::createStartShowDrop()
{
    m_host = std::make_unique<TestHost>(TestHost::MachinePackageDatabase);
    OXA_REQUIRE_TEST_HOST(*m_host);
    if (version.isEmpty())
        QSKIP("no PostgreSQL server is installed (scripts/install-services installs one)");

    const QString title = QStringLiteral("%1-%2").arg(QLatin1String(clusterName), version);
    const QByteArray script = QStringLiteral("perform read-content ServicePgsqlClusters\n"
                                             "create ServicePgsqlClusters _nameLineEdit=%1 "
                                             "_versionComboBox=%4 _portLineEdit=%2\n"
                                             // The new cluster is the current row: reading
                                             // the list again replaces it under the view.
                                             "perform read-content ServicePgsqlClusters\n"
                                             "perform start %3\n"
                                             "show %3\n"
                                             "perform delete %3\n")
                                  .arg(QLatin1String(clusterName))
                                  .arg(clusterPort)
                                  .arg(title)
                                  .arg(version)
                                  .toUtf8();
    const ConsoleBatchResult run = m_console.run(script, 240000);
    if (!run.errors.isEmpty())
        qDebug("console: %s", run.errors.constData());
    const QJsonObject &report = run.report;
    QVERIFY(!report.isEmpty());

    // The tasks, in the order they ended: none failed.
    QStringList tasks;
    for (const QJsonValue &value : report.value(QStringLiteral("tasks")).toArray()) {
        const QJsonObject task = value.toObject();
        const QString description = task.value(QStringLiteral("description")).toString();
        QVERIFY2(task.value(QStringLiteral("status")).toInt() == 2,
                 qPrintable(description + ": " + task.value(QStringLiteral("message")).toString()));
        tasks << description;
    }
    QCOMPARE(run.exitCode, 0);
    const int created = tasks.indexOf(QStringLiteral("Create PostgreSQL cluster"));
    const int started = tasks.indexOf(QStringLiteral("Start PostgreSQL cluster"));
    const int removed = tasks.indexOf(QStringLiteral("Remove PostgreSQL cluster"));
    QVERIFY2(tasks.indexOf(QStringLiteral("Read PostgreSQL clusters")) == 0,
             qPrintable(tasks.join(", ")));
    QVERIFY2(created > 0 && started > created && removed > started, qPrintable(tasks.join(", ")));
    const int reread = tasks.lastIndexOf(QStringLiteral("Read PostgreSQL clusters"), started);
    QVERIFY2(reread > created, qPrintable(tasks.join(", ")));
    QVERIFY(tasks.lastIndexOf(QStringLiteral("Read PostgreSQL cluster"), removed) > started);

    // The plug-in and where its branch hangs.
    bool pgsqlValid = false;
    for (const QJsonValue &plugin : report.value(QStringLiteral("plugins")).toArray()) {
        if (plugin.toObject().value(QStringLiteral("className")) == "ServicePgsqlPlugin")
            pgsqlValid = plugin.toObject().value(QStringLiteral("valid")).toBool();
    }
    QVERIFY(pgsqlValid);
    const QJsonArray tree = report.value(QStringLiteral("tree")).toArray();
    const QJsonObject clusters =
        ConsoleBatch::elementById(tree, QStringLiteral("ServicePgsqlClusters"));
    QCOMPARE(clusters.value(QStringLiteral("parentId")).toString(),
             QStringLiteral("ServiceServices"));
    QCOMPARE(clusters.value(QStringLiteral("title")).toString(), QStringLiteral("PostgreSQL"));
    QCOMPARE(clusters.value(QStringLiteral("caption")).toString(),
             QStringLiteral("PostgreSQL database clusters"));
    QCOMPARE(clusters.value(QStringLiteral("operations")).toString().toULongLong(nullptr, 16),
             quint64(0xC));
    // Dropped: gone from the tree and from the host.
    QVERIFY(ConsoleBatch::elementByTitle(tree, title).isEmpty());
    QVERIFY(!QFile::exists(
        QStringLiteral("/etc/postgresql/%1/%2").arg(version, QLatin1String(clusterName))));
    QVERIFY(!QFile::exists(
        QStringLiteral("/var/lib/postgresql/%1/%2").arg(version, QLatin1String(clusterName))));

    // The cluster form as "show" found it: the running cluster, its fields not editable.
    const QJsonArray widgets = report.value(QStringLiteral("widgets")).toArray();
    QCOMPARE(widgets.size(), 1);
    const QJsonObject form = widgets.first().toObject();
    QCOMPARE(form.value(QStringLiteral("class")).toString(),
             QStringLiteral("ServicePgsqlElementWidget"));
    QCOMPARE(form.value(QStringLiteral("windowTitle")).toString(), QStringLiteral("General"));
    const QJsonObject name = ConsoleBatch::widgetChild(form, QStringLiteral("_nameLineEdit"));
    QCOMPARE(name.value(QStringLiteral("text")).toString(), QLatin1String(clusterName));
    QCOMPARE(name.value(QStringLiteral("enabled")).toBool(), false);
    QCOMPARE(ConsoleBatch::widgetChild(form, QStringLiteral("_versionComboBox"))
                 .value(QStringLiteral("currentText"))
                 .toString(),
             version);
    QCOMPARE(ConsoleBatch::widgetChild(form, QStringLiteral("_portLineEdit"))
                 .value(QStringLiteral("text")),
             QJsonValue(QString::number(clusterPort)));
    QCOMPARE(ConsoleBatch::widgetChild(form, QStringLiteral("_stateLabel"))
                 .value(QStringLiteral("text")),
             QJsonValue(QStringLiteral("<b>online</b>")));
    const QJsonObject table = ConsoleBatch::widgetChild(form, QStringLiteral("_infoTableView"));
    QCOMPARE(
        ConsoleBatch::firstCells(table),
        (QStringList{
            QStringLiteral("/etc/postgresql/%1/%2").arg(version, QLatin1String(clusterName)),
            QStringLiteral("/var/lib/postgresql/%1/%2").arg(version, QLatin1String(clusterName)),
            QStringLiteral("/var/log/postgresql/postgresql-%1-%2.log")
                .arg(version, QLatin1String(clusterName))}));
}

OXA_TEST_MAIN(TestServicePgsqlBatch)
#include "tst_servicepgsqlbatch.moc"
