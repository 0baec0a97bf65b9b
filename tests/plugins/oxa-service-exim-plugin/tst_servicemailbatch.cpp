#include "consolebatch.h"
#include "hostlayout.h"
#include "testhost.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTest>

namespace {

/// An item view's rows as "name=value", children in braces.
QStringList rowTexts(const QJsonArray &rows)
{
    QStringList texts;
    for (const QJsonValue &value : rows) {
        const QJsonObject row = value.toObject();
        const QJsonArray cells = row.value(QStringLiteral("cells")).toArray();
        QString text = cells.at(0).toString() + QLatin1Char('=') + cells.at(1).toString();
        const QJsonArray children = row.value(QStringLiteral("children")).toArray();
        if (!children.isEmpty())
            text +=
                QLatin1Char('{') + rowTexts(children).join(QLatin1String(", ")) + QLatin1Char('}');
        texts << text;
    }
    return texts;
}

} // namespace

/**
 * The console in batch mode on a disposable host with the Services root, the Mail group,
 * Dovecot and Exim: where the two services hang, what they offer, and what their widgets
 * show after the console selected them.
 */
class TestServiceMailBatch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void mailServicesInTheConsole();
    void demoHostShowsTheMailServices();

private:
    ConsoleBatch m_console{
        {QStringLiteral(OXA_SERVICES_PLUGIN_FILE), QStringLiteral(OXA_MAIL_PLUGIN_FILE),
         QStringLiteral(OXA_DOVECOT_PLUGIN_FILE), QStringLiteral(OXA_EXIM_PLUGIN_FILE)}};
};

void TestServiceMailBatch::initTestCase()
{
    QVERIFY2(m_console.isValid(), qPrintable(m_console.errorString()));
}

void TestServiceMailBatch::mailServicesInTheConsole()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    if (QStandardPaths::findExecutable(QStringLiteral("doveconf")).isEmpty()) {
        if (TestHost::mustRun())
            QFAIL("doveconf is not installed (scripts/install-services installs dovecot-core)");
        QSKIP("doveconf is not installed");
    }
    QVERIFY(host.installPackage(QStringLiteral("exim4-base"), QStringLiteral("4.96-15")));
    QVERIFY(host.installPackage(QStringLiteral("dovecot-core"), QStringLiteral("1:2.3.19.1")));
    QVERIFY(host.writeStatusScript(QStringLiteral("/etc/init.d/exim4"), 0));
    QVERIFY(host.writeStatusScript(QStringLiteral("/etc/init.d/dovecot"), 0));
    QVERIFY(host.writeFile(QStringLiteral("/etc/exim4/update-exim4.conf.conf"),
                           "# Debian's settings\ndc_eximconfig_configtype='internet'\n"
                           "dc_other_hostnames='example.org'\ndc_readhost=''\n"));
    QVERIFY(host.writeFile(QStringLiteral("/etc/dovecot/local.conf"),
                           "protocols = imap\nservice auth {\n  unix_listener auth-client {\n"
                           "    mode = 0660\n  }\n}\n"));

    const ConsoleBatchResult run = m_console.run("perform read-light ServiceServices\n"
                                                 "show ServiceMailDovecot\n"
                                                 "show ServiceMailExim\n"
                                                 "perform reload ServiceMailExim\n"
                                                 "perform reload ServiceMailDovecot\n");
    QVERIFY2(run.ran, run.errors.constData());
    QVERIFY2(run.exitCode == 0, run.errors.constData());
    QVERIFY2(run.reportParsed, run.errors.constData());
    const QJsonObject &report = run.report;

    // Services > Mail > Dovecot and Exim, both offering reload while they run.
    const QJsonObject root = ConsoleBatch::childById(report.value(QStringLiteral("tree")).toArray(),
                                                     QStringLiteral("ServiceServices"));
    const QJsonObject mail = ConsoleBatch::childById(
        root.value(QStringLiteral("children")).toArray(), QStringLiteral("ServiceMail"));
    QCOMPARE(mail.value(QStringLiteral("title")).toString(), QStringLiteral("Mail"));
    const QJsonArray services = mail.value(QStringLiteral("children")).toArray();
    QCOMPARE(services.size(), 2);
    const QJsonObject dovecot =
        ConsoleBatch::childById(services, QStringLiteral("ServiceMailDovecot"));
    const QJsonObject exim = ConsoleBatch::childById(services, QStringLiteral("ServiceMailExim"));
    QCOMPARE(dovecot.value(QStringLiteral("caption")).toString(), QStringLiteral("Mail: Dovecot"));
    QCOMPARE(exim.value(QStringLiteral("caption")).toString(), QStringLiteral("Mail: Exim"));
    for (const QJsonObject &service : {dovecot, exim}) {
        QCOMPARE(service.value(QStringLiteral("level")).toInt(), 3);
        QCOMPARE(service.value(QStringLiteral("operations")).toString(), QStringLiteral("0xE030"));
        QCOMPARE(
            service.value(QStringLiteral("data")).toObject().value(QStringLiteral("textState")),
            QJsonValue(QStringLiteral("running")));
    }

    QStringList tasks;
    for (const QJsonValue &task : report.value(QStringLiteral("tasks")).toArray()) {
        const QJsonObject object = task.toObject();
        QVERIFY2(object.value(QStringLiteral("status")).toInt() == 2,
                 qPrintable(object.value(QStringLiteral("message")).toString()));
        tasks << object.value(QStringLiteral("description")).toString();
    }
    for (const char *expected :
         {"Read Dovecot service state", "Read Exim service state",
          "Read Dovecot service configuration", "Read Exim service configuration",
          "Reload Exim service", "Reload Dovecot service"})
        QVERIFY2(tasks.contains(QString::fromLatin1(expected)), expected);

    const QJsonArray widgets = report.value(QStringLiteral("widgets")).toArray();
    QCOMPARE(widgets.size(), 2);
    const QJsonObject dovecotWidget = widgets.at(0).toObject();
    QCOMPARE(dovecotWidget.value(QStringLiteral("class")).toString(),
             QStringLiteral("ServiceMailDovecotElementWidget"));
    QCOMPARE(dovecotWidget.value(QStringLiteral("windowTitle")).toString(),
             QStringLiteral("Dovecot"));
    QCOMPARE(ConsoleBatch::widgetChild(dovecotWidget, QStringLiteral("_stateLabel"))
                 .value(QStringLiteral("text")),
             QJsonValue(QStringLiteral("<b>running</b>")));
    const QJsonObject dovecotView =
        ConsoleBatch::widgetChild(dovecotWidget, QStringLiteral("_confTreeView"));
    QCOMPARE(dovecotView.value(QStringLiteral("headers")).toArray().size(), 2);
    const QStringList dovecotRows = rowTexts(dovecotView.value(QStringLiteral("rows")).toArray());
    // The summary beside the full tree: the protocols we set, the listener's chain.
    QVERIFY2(dovecotRows.contains(QStringLiteral("protocols=imap")),
             qPrintable(dovecotRows.join(QLatin1Char('\n'))));
    bool chain = false;
    bool full = false;
    for (const QString &row : dovecotRows) {
        chain =
            chain || (row.startsWith(QLatin1String("service=auth{unix_listener=auth-client{")) &&
                      row.contains(QLatin1String("mode=0660")));
        full = full || (row.startsWith(QLatin1String("DOVECOT={")) && row.size() > 5000);
    }
    QVERIFY(chain);
    QVERIFY(full);

    const QJsonObject eximWidget = widgets.at(1).toObject();
    QCOMPARE(eximWidget.value(QStringLiteral("class")).toString(),
             QStringLiteral("ServiceMailEximElementWidget"));
    QCOMPARE(eximWidget.value(QStringLiteral("windowTitle")).toString(), QStringLiteral("Exim"));
    QCOMPARE(ConsoleBatch::widgetChild(eximWidget, QStringLiteral("_confGroupBox"))
                 .value(QStringLiteral("title")),
             QJsonValue(QStringLiteral("Configuration")));
    QStringList eximRows =
        rowTexts(ConsoleBatch::widgetChild(eximWidget, QStringLiteral("_confTreeView"))
                     .value(QStringLiteral("rows"))
                     .toArray());
    eximRows.sort();
    QCOMPARE(eximRows, (QStringList{"dc_eximconfig_configtype=internet",
                                    "dc_other_hostnames=example.org", "dc_readhost="}));
}

/*
 * The demo host as demo/run-demo lays it out: the office's Exim settings and the Dovecot
 * settings it adds to Debian's, read by the machine's doveconf; stopping Exim shows.
 */
void TestServiceMailBatch::demoHostShowsTheMailServices()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    if (QStandardPaths::findExecutable(QStringLiteral("doveconf")).isEmpty()) {
        if (TestHost::mustRun())
            QFAIL("doveconf is not installed (scripts/install-services installs dovecot-core)");
        QSKIP("doveconf is not installed");
    }
    QString layoutError;
    QVERIFY2(HostLayout::apply(host, QStringLiteral(OXA_DEMO_LAYOUT), &layoutError),
             qPrintable(layoutError));

    const ConsoleBatchResult run = m_console.run("perform read-light ServiceServices\n"
                                                 "show ServiceMailDovecot\n"
                                                 "perform stop ServiceMailExim\n"
                                                 "show ServiceMailExim\n");
    const QJsonObject &report = run.report;
    QVERIFY2(run.exitCode == 0, run.errors.constData());
    const QJsonArray widgets = report.value(QStringLiteral("widgets")).toArray();
    QCOMPARE(widgets.size(), 2);
    const QStringList dovecotRows = rowTexts(
        ConsoleBatch::widgetChild(widgets.at(0).toObject(), QStringLiteral("_confTreeView"))
            .value(QStringLiteral("rows"))
            .toArray());
    for (const char *row : {"protocols=imap pop3", "auth_mechanisms=plain login"})
        QVERIFY2(dovecotRows.contains(QString::fromLatin1(row)), row);
    const QJsonObject exim = widgets.at(1).toObject();
    QCOMPARE(ConsoleBatch::widgetChild(exim, QStringLiteral("_stateLabel"))
                 .value(QStringLiteral("text")),
             QJsonValue(QStringLiteral("<b>stopped</b>")));
    const QStringList eximRows =
        rowTexts(ConsoleBatch::widgetChild(exim, QStringLiteral("_confTreeView"))
                     .value(QStringLiteral("rows"))
                     .toArray());
    QVERIFY2(eximRows.contains(QStringLiteral("dc_eximconfig_configtype=internet")),
             qPrintable(eximRows.join(QLatin1Char('\n'))));
    QCOMPARE(eximRows.size(), 13);
}

OXA_TEST_MAIN(TestServiceMailBatch)
#include "tst_servicemailbatch.moc"
