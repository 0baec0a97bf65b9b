// The console in batch mode with the Services root and the Apache plug-in loaded from their
// libraries, on a disposable host: sites and modules ticked and applied through the real
// a2ensite, a2dissite, a2enmod and a2dismod.

#include "apachetesthost.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace ApacheTestHost;

namespace {

QJsonObject findElement(const QJsonArray &elements, const QString &id)
{
    for (const QJsonValue &item : elements) {
        const QJsonObject element = item.toObject();
        if (element.value(QStringLiteral("id")).toString() == id)
            return element;
        const QJsonObject below =
            findElement(element.value(QStringLiteral("children")).toArray(), id);
        if (!below.isEmpty())
            return below;
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
    QJsonObject runConsole(const QByteArray &script, int *exitCode);

    QTemporaryDir m_plugins;
    std::unique_ptr<TestHost> m_host;
};

void TestServiceApacheBatch::initTestCase()
{
    // Only these libraries: the build's directory also holds every other plug-in.
    QVERIFY(m_plugins.isValid());
    for (const char *file : {OXA_SERVICES_PLUGIN_FILE, OXA_APACHE_PLUGIN_FILE}) {
        const QString path = QString::fromLocal8Bit(file);
        QVERIFY(QFile::link(path, m_plugins.filePath(QFileInfo(path).fileName())));
    }
}

void TestServiceApacheBatch::cleanup()
{
    m_host.reset();
}

QJsonObject TestServiceApacheBatch::runConsole(const QByteArray &script, int *exitCode)
{
    QProcess console;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.remove(QStringLiteral("VELL_ADMIN_PLUGIN_PATH"));
    console.setProcessEnvironment(environment);
    console.start(QStringLiteral(OXA_CONSOLE_FILE),
                  {QStringLiteral("--plugin-dir"), m_plugins.path(), QStringLiteral("--batch"),
                   QStringLiteral("-"), QStringLiteral("--json")});
    if (!console.waitForStarted())
        return QJsonObject();
    console.write(script);
    console.closeWriteChannel();
    if (!console.waitForFinished(240000)) {
        console.kill();
        console.waitForFinished();
        return QJsonObject();
    }
    *exitCode = console.exitStatus() == QProcess::NormalExit ? console.exitCode() : -1;
    const QByteArray errors = console.readAllStandardError();
    if (!errors.isEmpty())
        qDebug("console: %s", errors.constData());
    return QJsonDocument::fromJson(console.readAllStandardOutput()).object();
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
    int exitCode = -2;
    const QJsonObject report = runConsole(script, &exitCode);
    QVERIFY(!report.isEmpty());

    QStringList tasks;
    for (const QJsonValue &value : report.value(QStringLiteral("tasks")).toArray()) {
        const QJsonObject task = value.toObject();
        const QString description = task.value(QStringLiteral("description")).toString();
        QVERIFY2(task.value(QStringLiteral("status")).toInt() == 2,
                 qPrintable(description + ": " + task.value(QStringLiteral("message")).toString()));
        tasks << description;
    }
    QCOMPARE(exitCode, 0);
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
    const QJsonObject apache = findElement(tree, QStringLiteral("ServiceApache"));
    QCOMPARE(apache.value(QStringLiteral("parentId")).toString(),
             QStringLiteral("ServiceServices"));
    QCOMPARE(apache.value(QStringLiteral("title")).toString(), QStringLiteral("Apache 2"));
    QCOMPARE(apache.value(QStringLiteral("caption")).toString(),
             QStringLiteral("Apache HTTP server 2.4"));
    QCOMPARE(apache.value(QStringLiteral("operations")).toString().toULongLong(nullptr, 16),
             quint64(0xE070));
    const QJsonObject modules = findElement(tree, QStringLiteral("ServiceApacheModules"));
    QCOMPARE(modules.value(QStringLiteral("parentId")).toString(), QStringLiteral("ServiceApache"));
    QCOMPARE(modules.value(QStringLiteral("operations")).toString().toULongLong(nullptr, 16),
             quint64(0x60));

    // The sites before and after, and the modules as shown before the change.
    const QJsonArray widgets = report.value(QStringLiteral("widgets")).toArray();
    QCOMPARE(widgets.size(), 3);
    const QJsonObject before = widgets.at(0).toObject();
    QCOMPARE(before.value(QStringLiteral("class")).toString(),
             QStringLiteral("ServiceApacheElementWidget"));
    QCOMPARE(widgetChild(before, QStringLiteral("_stateLabel")).value(QStringLiteral("text")),
             QJsonValue(QStringLiteral("<b>running</b>")));
    QCOMPARE(widgetChild(before, QStringLiteral("_choiceGroupBox")).value(QStringLiteral("title")),
             QJsonValue(QStringLiteral("Sites")));
    QCOMPARE(describeRows(viewRows(before)),
             QStringLiteral("000-default.conf[x](127.0.0.1-) default-ssl.conf(undefined-) "
                            "shop.conf(undefined-)"));
    QCOMPARE(describeRows(viewRows(widgets.at(1).toObject())),
             QStringLiteral("shop.conf[x](shop.example-) 000-default.conf(undefined-) "
                            "default-ssl.conf(undefined-)"));
    const QString shownModules = describeRows(viewRows(widgets.at(2).toObject()));
    QVERIFY2(shownModules.startsWith(QStringLiteral("core- so- ")), qPrintable(shownModules));
    QVERIFY(shownModules.contains(QStringLiteral(" status[x] ")));
    QVERIFY(shownModules.contains(QStringLiteral(" rewrite ")));
}

OXA_TEST_MAIN(TestServiceApacheBatch)
#include "tst_serviceapachebatch.moc"
