#include "consolebatch.h"
#include "testhost.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

namespace {

const QByteArray smbConf = "[global]\n   workgroup = OFFICE\n\n[public]\n   path = /srv/public\n";

/// The ids of @p elements, sorted: the console lists them in no promised order.
QStringList ids(const QJsonArray &elements)
{
    QStringList list = ConsoleBatch::ids(elements);
    list.sort();
    return list;
}

} // namespace

/**
 * The console in batch mode on a disposable host, with the Services root, the Mail group and
 * Samba loaded from their libraries: what it shows for the packages the host has.
 */
class TestConsoleBatch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void servicesMailAndSamba_data();
    void servicesMailAndSamba();

private:
    ConsoleBatch m_console{{QStringLiteral(OXA_SERVICES_PLUGIN_FILE),
                            QStringLiteral(OXA_MAIL_PLUGIN_FILE),
                            QStringLiteral(OXA_SAMBA_PLUGIN_FILE)}};
};

void TestConsoleBatch::initTestCase()
{
    QVERIFY2(m_console.isValid(), qPrintable(m_console.errorString()));
}

void TestConsoleBatch::servicesMailAndSamba_data()
{
    QTest::addColumn<QStringList>("packages");
    QTest::addColumn<QStringList>("shown"); // below the Services root
    QTest::addColumn<bool>("mailValid");

    QTest::newRow("Samba and Exim")
        << QStringList{"samba", "exim4-base"} << QStringList{"ServiceMail", "ServiceSamba"} << true;
    QTest::newRow("Samba and Dovecot, no Exim known")
        << QStringList{"samba", "dovecot-core"} << QStringList{"ServiceMail", "ServiceSamba"}
        << true;
    QTest::newRow("Samba alone") << QStringList{"samba"} << QStringList{"ServiceSamba"} << false;
}

void TestConsoleBatch::servicesMailAndSamba()
{
    QFETCH(QStringList, packages);
    QFETCH(QStringList, shown);
    QFETCH(bool, mailValid);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    for (const QString &package : packages)
        QVERIFY(host.installPackage(package, QStringLiteral("1.0-1")));
    QVERIFY(host.writeStatusScript(QStringLiteral("/etc/init.d/smbd"), 0));
    QVERIFY(host.writeFile(QStringLiteral("/etc/samba/smb.conf"), smbConf));

    const ConsoleBatchResult run =
        m_console.run("perform read-light ServiceServices\nshow ServiceSamba\n");
    QVERIFY2(run.ran, run.errors.constData());
    QVERIFY2(run.exitCode == 0, run.errors.constData());
    QVERIFY2(run.reportParsed, run.errors.constData());
    const QJsonObject &report = run.report;

    // Every plug-in loaded; the Mail group is valid when Exim or Dovecot is installed.
    QHash<QString, bool> valid;
    for (const QJsonValue &plugin : report.value(QStringLiteral("plugins")).toArray())
        valid.insert(plugin.toObject().value(QStringLiteral("className")).toString(),
                     plugin.toObject().value(QStringLiteral("valid")).toBool());
    QCOMPARE(valid.size(), 3);
    QVERIFY(valid.value(QStringLiteral("ServiceServicesPlugin")));
    QVERIFY(valid.value(QStringLiteral("ServiceSambaPlugin")));
    QCOMPARE(valid.value(QStringLiteral("ServiceMailPlugin")), mailValid);

    const QJsonArray tree = report.value(QStringLiteral("tree")).toArray();
    QCOMPARE(ids(tree), QStringList{QStringLiteral("ServiceServices")});
    const QJsonObject root = tree.first().toObject();
    QCOMPARE(root.value(QStringLiteral("title")).toString(), QStringLiteral("Services"));
    QCOMPARE(root.value(QStringLiteral("operations")).toString(), QStringLiteral("0x10"));
    const QJsonArray services = root.value(QStringLiteral("children")).toArray();
    QCOMPARE(ids(services), shown);
    if (mailValid) {
        const QJsonObject mail = ConsoleBatch::childById(services, QStringLiteral("ServiceMail"));
        QCOMPARE(mail.value(QStringLiteral("title")).toString(), QStringLiteral("Mail"));
        QCOMPARE(mail.value(QStringLiteral("operations")).toString(), QStringLiteral("0x10"));
    }
    const QJsonObject samba = ConsoleBatch::childById(services, QStringLiteral("ServiceSamba"));
    QCOMPARE(samba.value(QStringLiteral("title")).toString(), QStringLiteral("Samba"));
    QCOMPARE(samba.value(QStringLiteral("data")).toObject().value(QStringLiteral("textState")),
             QJsonValue(QStringLiteral("running")));
    QCOMPARE(samba.value(QStringLiteral("operations")).toString(), QStringLiteral("0x6030"));

    // The root's light read became Samba's; nothing failed.
    QStringList tasks;
    for (const QJsonValue &task : report.value(QStringLiteral("tasks")).toArray()) {
        QCOMPARE(task.toObject().value(QStringLiteral("status")).toInt(), 2);
        tasks << task.toObject().value(QStringLiteral("description")).toString();
    }
    QCOMPARE(tasks.value(0), QStringLiteral("Read Samba service state"));
    QVERIFY(tasks.contains(QStringLiteral("Read Samba service configuration")));

    const QJsonArray widgets = report.value(QStringLiteral("widgets")).toArray();
    QCOMPARE(widgets.size(), 1);
    const QJsonObject widget = widgets.first().toObject();
    QCOMPARE(widget.value(QStringLiteral("class")).toString(),
             QStringLiteral("ServiceSambaElementWidget"));
    QCOMPARE(widget.value(QStringLiteral("windowTitle")).toString(), QStringLiteral("Samba"));
    QCOMPARE(ConsoleBatch::widgetChild(widget, QStringLiteral("_stateLabel"))
                 .value(QStringLiteral("text")),
             QJsonValue(QStringLiteral("<b>running</b>")));
    QCOMPARE(ConsoleBatch::widgetChild(widget, QStringLiteral("_confGroupBox"))
                 .value(QStringLiteral("title")),
             QJsonValue(QStringLiteral("Configuration: /etc/samba/smb.conf")));
    QCOMPARE(ConsoleBatch::widgetChild(widget, QStringLiteral("_configPlainEdit"))
                 .value(QStringLiteral("text")),
             QJsonValue(QString::fromLatin1(smbConf)));
}

OXA_TEST_MAIN(TestConsoleBatch)
#include "tst_consolebatch.moc"
