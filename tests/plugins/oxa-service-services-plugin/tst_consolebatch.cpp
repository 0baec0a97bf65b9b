#include "testhost.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray smbConf = "[global]\n   workgroup = OFFICE\n\n[public]\n   path = /srv/public\n";

QJsonObject childById(const QJsonArray &elements, const QString &id)
{
    for (const QJsonValue &value : elements) {
        if (value.toObject().value(QStringLiteral("id")).toString() == id)
            return value.toObject();
    }
    return QJsonObject();
}

QStringList ids(const QJsonArray &elements)
{
    QStringList list;
    for (const QJsonValue &value : elements)
        list << value.toObject().value(QStringLiteral("id")).toString();
    list.sort();
    return list;
}

QJsonObject widgetChild(const QJsonObject &widget, const QString &objectName)
{
    for (const QJsonValue &value : widget.value(QStringLiteral("children")).toArray()) {
        const QJsonObject child = value.toObject();
        if (child.value(QStringLiteral("objectName")).toString() == objectName)
            return child;
        const QJsonObject below = widgetChild(child, objectName);
        if (!below.isEmpty())
            return below;
    }
    return QJsonObject();
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
    QTemporaryDir m_plugins;
};

void TestConsoleBatch::initTestCase()
{
    // Only this branch's libraries: the build's directory also holds every other plug-in.
    QVERIFY(m_plugins.isValid());
    for (const char *file :
         {OXA_SERVICES_PLUGIN_FILE, OXA_MAIL_PLUGIN_FILE, OXA_SAMBA_PLUGIN_FILE}) {
        const QString path = QString::fromLocal8Bit(file);
        QVERIFY(QFile::link(path, m_plugins.filePath(QFileInfo(path).fileName())));
    }
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

    QProcess console;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.remove(QStringLiteral("VELL_ADMIN_PLUGIN_PATH"));
    console.setProcessEnvironment(environment);
    console.start(QStringLiteral(OXA_CONSOLE_FILE),
                  {QStringLiteral("--plugin-dir"), m_plugins.path(), QStringLiteral("--batch"),
                   QStringLiteral("-"), QStringLiteral("--json")});
    QVERIFY(console.waitForStarted());
    console.write("perform read-light ServiceServices\nshow ServiceSamba\n");
    console.closeWriteChannel();
    QVERIFY(console.waitForFinished(120000));
    QCOMPARE(console.exitStatus(), QProcess::NormalExit);
    QCOMPARE(console.exitCode(), 0);

    QJsonParseError error;
    const QJsonObject report =
        QJsonDocument::fromJson(console.readAllStandardOutput(), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);

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
        const QJsonObject mail = childById(services, QStringLiteral("ServiceMail"));
        QCOMPARE(mail.value(QStringLiteral("title")).toString(), QStringLiteral("Mail"));
        QCOMPARE(mail.value(QStringLiteral("operations")).toString(), QStringLiteral("0x10"));
    }
    const QJsonObject samba = childById(services, QStringLiteral("ServiceSamba"));
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
    QCOMPARE(widgetChild(widget, QStringLiteral("_stateLabel")).value(QStringLiteral("text")),
             QJsonValue(QStringLiteral("<b>running</b>")));
    QCOMPARE(widgetChild(widget, QStringLiteral("_confGroupBox")).value(QStringLiteral("title")),
             QJsonValue(QStringLiteral("Configuration: /etc/samba/smb.conf")));
    QCOMPARE(widgetChild(widget, QStringLiteral("_configPlainEdit")).value(QStringLiteral("text")),
             QJsonValue(QString::fromLatin1(smbConf)));
}

OXA_TEST_MAIN(TestConsoleBatch)
#include "tst_consolebatch.moc"
