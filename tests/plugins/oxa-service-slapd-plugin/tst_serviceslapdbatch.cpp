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

QJsonObject childById(const QJsonArray &elements, const QString &id)
{
    for (const QJsonValue &value : elements) {
        if (value.toObject().value(QStringLiteral("id")).toString() == id)
            return value.toObject();
    }
    return QJsonObject();
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
 * The console in batch mode on a disposable host with the Services root and the Slapd
 * plug-in: the element and its view of the configuration directory.
 */
class TestServiceSlapdBatch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void showSlapd();
    void crashingStatusFails();

private:
    bool prepare(TestHost &host);
    QJsonObject runConsole(const QByteArray &steps, QByteArray *errors, int *exitCode);

    QTemporaryDir m_plugins;
};

void TestServiceSlapdBatch::initTestCase()
{
    // Only these libraries: the build's directory also holds every other plug-in.
    QVERIFY(m_plugins.isValid());
    for (const char *file : {OXA_SERVICES_PLUGIN_FILE, OXA_SLAPD_PLUGIN_FILE}) {
        const QString path = QString::fromLocal8Bit(file);
        QVERIFY(QFile::link(path, m_plugins.filePath(QFileInfo(path).fileName())));
    }
}

QJsonObject TestServiceSlapdBatch::runConsole(const QByteArray &steps, QByteArray *errors,
                                              int *exitCode)
{
    QProcess console;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.remove(QStringLiteral("VELL_ADMIN_PLUGIN_PATH"));
    console.setProcessEnvironment(environment);
    console.start(QStringLiteral(OXA_CONSOLE_FILE),
                  {QStringLiteral("--plugin-dir"), m_plugins.path(), QStringLiteral("--batch"),
                   QStringLiteral("-"), QStringLiteral("--json")});
    *exitCode = -1;
    if (!console.waitForStarted())
        return QJsonObject();
    console.write(steps);
    console.closeWriteChannel();
    if (!console.waitForFinished(120000) || console.exitStatus() != QProcess::NormalExit)
        return QJsonObject();
    *errors = console.readAllStandardError();
    *exitCode = console.exitCode();
    return QJsonDocument::fromJson(console.readAllStandardOutput()).object();
}

bool TestServiceSlapdBatch::prepare(TestHost &host)
{
    return host.installPackage(QStringLiteral("slapd"), QStringLiteral("2.5.13+dfsg-5")) &&
           host.removePath(QStringLiteral("/etc/ldap/slapd.d")) &&
           host.writeFile(QStringLiteral("/etc/ldap/slapd.d/cn=config.ldif"), "dn: cn=config\n") &&
           host.mkdir(QStringLiteral("/etc/ldap/slapd.d/cn=config"));
}

void TestServiceSlapdBatch::showSlapd()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(prepare(host));
    QVERIFY(host.writeStatusScript(QStringLiteral("/etc/init.d/slapd"), 3));

    QByteArray errors;
    int exitCode = -1;
    const QJsonObject report =
        runConsole("perform read-light ServiceServices\nshow ServiceSlapd\n", &errors, &exitCode);
    QVERIFY2(exitCode == 0, errors.constData());

    const QJsonObject root = childById(report.value(QStringLiteral("tree")).toArray(),
                                       QStringLiteral("ServiceServices"));
    const QJsonObject slapd =
        childById(root.value(QStringLiteral("children")).toArray(), QStringLiteral("ServiceSlapd"));
    QCOMPARE(slapd.value(QStringLiteral("title")).toString(), QStringLiteral("Slapd"));
    // Stopped: reads and start.
    QCOMPARE(slapd.value(QStringLiteral("operations")).toString(), QStringLiteral("0x1030"));

    for (const QJsonValue &task : report.value(QStringLiteral("tasks")).toArray())
        QCOMPARE(task.toObject().value(QStringLiteral("status")).toInt(), 2);

    const QJsonArray widgets = report.value(QStringLiteral("widgets")).toArray();
    QCOMPARE(widgets.size(), 1);
    const QJsonObject widget = widgets.first().toObject();
    QCOMPARE(widget.value(QStringLiteral("class")).toString(),
             QStringLiteral("ServiceSlapdElementWidget"));
    QCOMPARE(widget.value(QStringLiteral("windowTitle")).toString(), QStringLiteral("Slapd"));
    QCOMPARE(widgetChild(widget, QStringLiteral("_stateLabel")).value(QStringLiteral("text")),
             QJsonValue(QStringLiteral("<b>stopped</b>")));
    QCOMPARE(widgetChild(widget, QStringLiteral("_confGroupBox")).value(QStringLiteral("title")),
             QJsonValue(QStringLiteral("Configuration: /etc/ldap/slapd.d")));
    // The model lists the directory on its own time: whatever it shows already lies in it.
    const QJsonObject view = widgetChild(widget, QStringLiteral("_configTreeView"));
    QVERIFY(!view.isEmpty());
    const QStringList names{QStringLiteral("cn=config"), QStringLiteral("cn=config.ldif")};
    for (const QJsonValue &row : view.value(QStringLiteral("rows")).toArray()) {
        const QString name =
            row.toObject().value(QStringLiteral("cells")).toArray().first().toString();
        QVERIFY2(names.contains(name), qPrintable(name));
    }
}

void TestServiceSlapdBatch::crashingStatusFails()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(prepare(host));
    QVERIFY(host.writeCrashingScript(QStringLiteral("/etc/init.d/slapd")));

    QByteArray errors;
    int exitCode = -1;
    const QJsonObject report = runConsole("show ServiceSlapd\n", &errors, &exitCode);
    QCOMPARE(exitCode, 1);
    bool seen = false;
    for (const QJsonValue &value : report.value(QStringLiteral("tasks")).toArray()) {
        const QJsonObject task = value.toObject();
        if (task.value(QStringLiteral("description")).toString() ==
            QLatin1String("Read Slapd service configuration")) {
            seen = true;
            QCOMPARE(task.value(QStringLiteral("status")).toInt(), 1);
            QCOMPARE(task.value(QStringLiteral("message")).toString(),
                     QStringLiteral("\"/etc/init.d/slapd ...\" not finished\nError code: 1"));
        }
    }
    QVERIFY(seen);
    const QJsonObject widget = report.value(QStringLiteral("widgets")).toArray().first().toObject();
    QCOMPARE(widgetChild(widget, QStringLiteral("_confGroupBox")).value(QStringLiteral("title")),
             QJsonValue(QStringLiteral("Configuration")));
}

OXA_TEST_MAIN(TestServiceSlapdBatch)
#include "tst_serviceslapdbatch.moc"
