// The console in batch mode with the Services root and the Apache plug-in loaded from their
// libraries, on a disposable host: sites and modules ticked and applied through the real
// a2ensite, a2dissite, a2enmod and a2dismod.

#include "apachetesthost.h"
#include "consolebatch.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

#include <memory>

using namespace ApacheTestHost;

namespace {

/// The rows of the first item view below @p widget.
QJsonArray viewRows(const QJsonObject &widget)
{
    for (const QJsonValue &value : widget.value(QStringLiteral("children")).toArray()) {
        const QJsonObject child = value.toObject();
        if (child.contains(QStringLiteral("rows")))
            return child.value(QStringLiteral("rows")).toArray();
        const QJsonArray below = viewRows(child);
        if (!below.isEmpty())
            return below;
    }
    return QJsonArray();
}

/// Rows as "name" (a tick), "name[x]" (ticked) or "name-" (no check box), children in
/// parentheses.
QString describeRows(const QJsonArray &rows)
{
    QStringList parts;
    for (const QJsonValue &value : rows) {
        const QJsonObject row = value.toObject();
        QString text = row.value(QStringLiteral("cells")).toArray().first().toString();
        const QJsonValue checked = row.value(QStringLiteral("checked"));
        text += checked.isNull()   ? QStringLiteral("-")
                : checked.toBool() ? QStringLiteral("[x]")
                                   : QString();
        const QJsonArray children = row.value(QStringLiteral("children")).toArray();
        if (!children.isEmpty())
            text += QLatin1Char('(') + describeRows(children) + QLatin1Char(')');
        parts << text;
    }
    return parts.join(QLatin1Char(' '));
}

} // namespace

class TestServiceApacheBatch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void tickAndApplySitesAndModules();

private:
    ConsoleBatch m_console{
        {QStringLiteral(OXA_SERVICES_PLUGIN_FILE), QStringLiteral(OXA_APACHE_PLUGIN_FILE)}};
    std::unique_ptr<TestHost> m_host;
};

void TestServiceApacheBatch::initTestCase()
{
    QVERIFY2(m_console.isValid(), qPrintable(m_console.errorString()));
}

void TestServiceApacheBatch::cleanup()
{
    m_host.reset();
}

void TestServiceApacheBatch::tickAndApplySitesAndModules()
{
    m_host = std::make_unique<TestHost>(TestHost::MachinePackageDatabase);
    OXA_PREPARE_APACHE_HOST(*m_host);
    // A running server (the recording script stands in for it), so "yes" reloads it.
    QVERIFY(writeRecordingInitScript(*m_host, true));
    QVERIFY(m_host->writeFile(QStringLiteral("/etc/apache2/sites-available/shop.conf"),
                              "<VirtualHost *:8080>\n    ServerName shop.example\n"
                              "</VirtualHost>\n"));

    const QByteArray script = "show ServiceApache\n"
                              "set ServiceApache shop.conf=on 000-default.conf=off\n"
                              "apply ServiceApache yes\n"
                              "show ServiceApache\n"
                              "show ServiceApacheModules\n"
                              "set ServiceApacheModules rewrite=on status=off\n"
                              "apply ServiceApacheModules no\n";
    const ConsoleBatchResult run = m_console.run(script, 240000);
    if (!run.errors.isEmpty())
        qDebug("console: %s", run.errors.constData());
    const QJsonObject &report = run.report;
    QVERIFY(!report.isEmpty());

    QStringList tasks;
    for (const QJsonValue &value : report.value(QStringLiteral("tasks")).toArray()) {
        const QJsonObject task = value.toObject();
        const QString description = task.value(QStringLiteral("description")).toString();
        QVERIFY2(task.value(QStringLiteral("status")).toInt() == 2,
                 qPrintable(description + ": " + task.value(QStringLiteral("message")).toString()));
        tasks << description;
    }
    QCOMPARE(run.exitCode, 0);
    const int sitesUpdate = tasks.indexOf(QStringLiteral("Update Apache sites configuration"));
    const int modulesUpdate = tasks.indexOf(QStringLiteral("Update Apache modules confuguration"));
    QVERIFY2(sitesUpdate > 0 && modulesUpdate > sitesUpdate, qPrintable(tasks.join(", ")));
    QVERIFY2(tasks.indexOf(QStringLiteral("Reload Apache service configuration")) > sitesUpdate,
             qPrintable(tasks.join(", ")));
    // "no": the modules update restarts nothing.
    QVERIFY(!tasks.contains(QStringLiteral("Restart Apache service")));
    QCOMPARE(controlActions(), QStringList{QStringLiteral("reload")});

    // The real tools changed the host.
    const QString sites = QStringLiteral("/etc/apache2/sites-enabled/");
    QVERIFY(QFileInfo(sites + QStringLiteral("shop.conf")).isSymLink());
    QVERIFY(!QFileInfo::exists(sites + QStringLiteral("000-default.conf")));
    const QString mods = QStringLiteral("/etc/apache2/mods-enabled/");
    QVERIFY(QFileInfo(mods + QStringLiteral("rewrite.load")).isSymLink());
    QVERIFY(!QFileInfo::exists(mods + QStringLiteral("status.load")));

    // Where the branch hangs and what it offers.
    const QJsonArray tree = report.value(QStringLiteral("tree")).toArray();
    const QJsonObject apache = ConsoleBatch::elementById(tree, QStringLiteral("ServiceApache"));
    QCOMPARE(apache.value(QStringLiteral("parentId")).toString(),
             QStringLiteral("ServiceServices"));
    QCOMPARE(apache.value(QStringLiteral("title")).toString(), QStringLiteral("Apache 2"));
    QCOMPARE(apache.value(QStringLiteral("caption")).toString(),
             QStringLiteral("Apache HTTP server 2.4"));
    QCOMPARE(apache.value(QStringLiteral("operations")).toString().toULongLong(nullptr, 16),
             quint64(0xE070));
    const QJsonObject modules =
        ConsoleBatch::elementById(tree, QStringLiteral("ServiceApacheModules"));
    QCOMPARE(modules.value(QStringLiteral("parentId")).toString(), QStringLiteral("ServiceApache"));
    QCOMPARE(modules.value(QStringLiteral("operations")).toString().toULongLong(nullptr, 16),
             quint64(0x60));

    // The sites before and after, and the modules as shown before the change.
    const QJsonArray widgets = report.value(QStringLiteral("widgets")).toArray();
    QCOMPARE(widgets.size(), 3);
    const QJsonObject before = widgets.at(0).toObject();
    QCOMPARE(before.value(QStringLiteral("class")).toString(),
             QStringLiteral("ServiceApacheElementWidget"));
    QCOMPARE(ConsoleBatch::widgetChild(before, QStringLiteral("_stateLabel"))
                 .value(QStringLiteral("text")),
             QJsonValue(QStringLiteral("<b>running</b>")));
    QCOMPARE(ConsoleBatch::widgetChild(before, QStringLiteral("_choiceGroupBox"))
                 .value(QStringLiteral("title")),
             QJsonValue(QStringLiteral("Sites")));
    QCOMPARE(describeRows(viewRows(before)),
             QStringLiteral("000-default.conf[x](127.0.0.1-) default-ssl.conf(undefined-) "
                            "shop.conf(undefined-)"));
    QCOMPARE(describeRows(viewRows(widgets.at(1).toObject())),
             QStringLiteral("shop.conf[x](shop.example-) 000-default.conf(undefined-) "
                            "default-ssl.conf(undefined-)"));
    const QString shownModules = describeRows(viewRows(widgets.at(2).toObject()));
    QVERIFY2(shownModules.startsWith(QStringLiteral("core- so- ")), qPrintable(shownModules));
    const QStringList moduleRows = shownModules.split(QLatin1Char(' '));
    QVERIFY2(moduleRows.contains(QStringLiteral("status[x]")), qPrintable(shownModules));
    QVERIFY2(moduleRows.contains(QStringLiteral("rewrite")), qPrintable(shownModules));
}

OXA_TEST_MAIN(TestServiceApacheBatch)
#include "tst_serviceapachebatch.moc"
