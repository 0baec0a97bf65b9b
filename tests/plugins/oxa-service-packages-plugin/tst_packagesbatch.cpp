// The console in batch mode with the Services root, Samba, PostgreSQL and installed-packages
// plug-ins loaded from their libraries, on a disposable host with the machine's real package
// database, the shipped package lists and a real database cluster.

#include "packagelist.h"
#include "packagetable.h"
#include "testhost.h"

#include <childprocess.h>
#include <taskdescription.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

namespace {

const QString dataDirectory = QStringLiteral("/usr/share/vell/data/oxa-service-packages-plugin");
const char clusterName[] = "pkgs1";
const int clusterPort = 5474;

QJsonObject findElement(const QJsonArray &elements, const QString &key, const QString &value)
{
    for (const QJsonValue &item : elements) {
        const QJsonObject element = item.toObject();
        if (element.value(key).toString() == value)
            return element;
        const QJsonObject below =
            findElement(element.value(QStringLiteral("children")).toArray(), key, value);
        if (!below.isEmpty())
            return below;
    }
    return QJsonObject();
}

/// The children of @p element whose element type is "ServicePackages".
QList<QJsonObject> packagesChildren(const QJsonObject &element)
{
    QList<QJsonObject> found;
    for (const QJsonValue &value : element.value(QStringLiteral("children")).toArray()) {
        if (value.toObject().value(QStringLiteral("type")).toString() == "ServicePackages")
            found.append(value.toObject());
    }
    return found;
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

/// What dpkg says of @p package on this host: its version when installed, else empty.
QString installedVersion(const QString &package)
{
    const ProcessResult result = ChildProcess::run(
        QStringLiteral("dpkg-query"),
        {QStringLiteral("-W"), QStringLiteral("-f=${db:Status-Abbrev}\t${Version}"), package});
    const QStringList fields = result.outputText().split(QLatin1Char('\t'));
    if (!result.succeeded() || fields.size() != 2 ||
        !fields.first().startsWith(QLatin1String("ii")))
        return QString();
    return fields.at(1);
}

} // namespace

class TestPackagesBatch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void packagesUnderSambaAndCluster();
    void listsFromTheDataDirectory();

private:
    QJsonObject runConsole(const QByteArray &script, int *exitCode, const QStringList &extra = {});
    /// Checks a "show" dump of a packages element against the list file @p listName.
    void checkTable(const QJsonObject &widget, const QString &listName, const QString &package);

    QTemporaryDir m_plugins;
    std::unique_ptr<TestHost> m_host;
};

void TestPackagesBatch::initTestCase()
{
    // Only these libraries: the build's directory also holds every other plug-in.
    QVERIFY(m_plugins.isValid());
    for (const char *file : {OXA_SERVICES_PLUGIN_FILE, OXA_SAMBA_PLUGIN_FILE, OXA_PGSQL_PLUGIN_FILE,
                             OXA_PACKAGES_PLUGIN_FILE}) {
        const QString path = QString::fromLocal8Bit(file);
        QVERIFY(QFile::link(path, m_plugins.filePath(QFileInfo(path).fileName())));
    }
}

void TestPackagesBatch::cleanup()
{
    m_host.reset();
}

QJsonObject TestPackagesBatch::runConsole(const QByteArray &script, int *exitCode,
                                          const QStringList &extra)
{
    QProcess console;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.remove(QStringLiteral("VELL_ADMIN_PLUGIN_PATH"));
    console.setProcessEnvironment(environment);
    console.start(QStringLiteral(OXA_CONSOLE_FILE),
                  QStringList{QStringLiteral("--plugin-dir"), m_plugins.path(),
                              QStringLiteral("--batch"), QStringLiteral("-"),
                              QStringLiteral("--json")} +
                      extra);
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

void TestPackagesBatch::checkTable(const QJsonObject &widget, const QString &listName,
                                   const QString &package)
{
    QCOMPARE(widget.value(QStringLiteral("class")).toString(),
             QStringLiteral("ServicePackagesElementWidget"));
    QCOMPARE(widget.value(QStringLiteral("windowTitle")).toString(), QStringLiteral("Packages"));
    const QJsonObject edit = widgetChild(widget, QStringLiteral("_packagesTextEdit"));
    const QList<QStringList> rows = tableCells(edit.value(QStringLiteral("html")).toString());
    QVERIFY(rows.size() > 1);
    QCOMPARE(rows.first(),
             QStringList({QStringLiteral("Package Name"), QStringLiteral("Version")}));

    QFile list(QStringLiteral(OXA_PACKAGES_LISTS_DIR "/") + listName);
    QVERIFY(list.open(QIODevice::ReadOnly));
    // A row is the line as written or one of its alternatives (the installed one).
    QSet<QString> listed;
    QList<QStringList> required;
    for (const PackageList::Entry &entry :
         PackageList::parse(QString::fromLocal8Bit(list.readAll()))) {
        listed.insert(entry.name);
        for (const QString &alternative : entry.alternatives)
            listed.insert(alternative);
        if (!entry.optional)
            required.append(QStringList{entry.name} + entry.alternatives);
    }
    // One row a package, in name order; every required package has its row.
    QStringList names;
    for (const QStringList &row : rows.mid(1)) {
        QCOMPARE(row.size(), 2);
        QVERIFY2(listed.contains(row.first()), qPrintable(row.first()));
        names.append(row.first());
    }
    QStringList sorted = names;
    sorted.sort();
    QCOMPARE(names, sorted);
    QCOMPARE(QSet<QString>(names.cbegin(), names.cend()).size(), names.size());
    for (const QStringList &line : required) {
        QVERIFY2(std::any_of(line.cbegin(), line.cend(),
                             [&](const QString &name) { return names.contains(name); }),
                 qPrintable(line.first()));
    }
    const QString version = installedVersion(package);
    QVERIFY2(!version.isEmpty(), qPrintable(package + QStringLiteral(" is not installed")));
    QCOMPARE(rows.at(1 + names.indexOf(package)).at(1), version);
}

void TestPackagesBatch::packagesUnderSambaAndCluster()
{
    m_host = std::make_unique<TestHost>(TestHost::MachinePackageDatabase);
    OXA_REQUIRE_TEST_HOST(*m_host);
    QVERIFY2(m_host->copyTree(QStringLiteral(OXA_PACKAGES_LISTS_DIR), dataDirectory),
             qPrintable(m_host->errorString()));
    // A cluster of the host's own, made by the real tool (never started), of whichever
    // server version the machine has (15 on Debian 12, 17 on Debian 13).
    const QString version = TestHost::newestPgsqlServer();
    if (version.isEmpty()) {
        if (TestHost::mustRun())
            QFAIL("no PostgreSQL server is installed (scripts/install-services installs one)");
        QSKIP("no PostgreSQL server is installed");
    }
    const ProcessResult created = ChildProcess::run(
        QStringLiteral("pg_createcluster"),
        {version, QLatin1String(clusterName), QStringLiteral("-p"), QString::number(clusterPort)},
        120000);
    QVERIFY2(created.succeeded(), created.errorText().toLocal8Bit().constData());

    const QString cluster = QStringLiteral("%1-%2").arg(QLatin1String(clusterName), version);
    const QByteArray script = QStringLiteral("perform read-content ServicePgsqlClusters\n"
                                             "show ServiceSamba/Samba\n"
                                             "show %1/%1\n")
                                  .arg(cluster)
                                  .toUtf8();
    int exitCode = -2;
    const QJsonObject report = runConsole(script, &exitCode);
    QVERIFY(!report.isEmpty());

    QStringList readOf; // the elements whose package list was read
    for (const QJsonValue &value : report.value(QStringLiteral("tasks")).toArray()) {
        const QJsonObject task = value.toObject();
        const QString description = task.value(QStringLiteral("description")).toString();
        QVERIFY2(task.value(QStringLiteral("status")).toInt() != 1,
                 qPrintable(description + ": " + task.value(QStringLiteral("message")).toString()));
        if (description == QLatin1String("Read information about installed packages of service"))
            readOf.append(task.value(QStringLiteral("element")).toString());
    }
    QCOMPARE(exitCode, 0);
    QVERIFY2(readOf.contains(QStringLiteral("Samba")), qPrintable(readOf.join(", ")));
    QVERIFY2(readOf.contains(cluster), qPrintable(readOf.join(", ")));

    // One packages element under Samba and under the cluster; none under the root.
    const QJsonArray tree = report.value(QStringLiteral("tree")).toArray();
    const QJsonObject samba = findElement(tree, "id", "ServiceSamba");
    const QList<QJsonObject> underSamba = packagesChildren(samba);
    QCOMPARE(underSamba.size(), 1);
    QCOMPARE(underSamba.first().value(QStringLiteral("title")).toString(), QStringLiteral("Samba"));
    QCOMPARE(underSamba.first().value(QStringLiteral("caption")).toString(),
             QStringLiteral("Package list of service: Samba"));
    QCOMPARE(underSamba.first()
                 .value(QStringLiteral("operations"))
                 .toString()
                 .mid(2)
                 .toULongLong(nullptr, 16),
             quint64(0x20));
    const QJsonObject clusterElement = findElement(tree, "title", cluster);
    const QList<QJsonObject> underCluster = packagesChildren(clusterElement);
    QCOMPARE(underCluster.size(), 1);
    QCOMPARE(underCluster.first().value(QStringLiteral("caption")).toString(),
             QStringLiteral("Package list of service: %1")
                 .arg(clusterElement.value(QStringLiteral("caption")).toString()));
    QVERIFY(packagesChildren(findElement(tree, "id", "ServiceServices")).isEmpty());

    const QJsonArray widgets = report.value(QStringLiteral("widgets")).toArray();
    QCOMPARE(widgets.size(), 2);
    checkTable(widgets.at(0).toObject(), QStringLiteral("ServiceSamba"), QStringLiteral("samba"));
    checkTable(widgets.at(1).toObject(), QStringLiteral("ServicePgsqlCluster-") + version,
               QStringLiteral("postgresql-") + version);
}

void TestPackagesBatch::listsFromTheDataDirectory()
{
    // A console started from a build tree reads the lists laid out there (--data-dir), not
    // those of an installed console under /usr/share/vell, which this host does not have.
    m_host = std::make_unique<TestHost>(TestHost::MachinePackageDatabase);
    OXA_REQUIRE_TEST_HOST(*m_host);
    QVERIFY(!QFileInfo::exists(QStringLiteral("/usr/share/vell")) ||
            m_host->removePath(QStringLiteral("/usr/share/vell")));
    QTemporaryDir data;
    QVERIFY(data.isValid());
    const QString lists = data.filePath(QStringLiteral("data/oxa-service-packages-plugin"));
    QVERIFY(QDir().mkpath(lists));
    QFile samba(lists + QStringLiteral("/ServiceSamba"));
    QVERIFY(samba.open(QIODevice::WriteOnly));
    samba.write("samba\n");
    samba.close();

    for (const bool withData : {false, true}) {
        int exitCode = -2;
        const QJsonObject report = runConsole(
            "show ServiceSamba/Samba\n", &exitCode,
            withData ? QStringList{QStringLiteral("--data-dir"), data.path()} : QStringList{});
        auto status = TaskDescription::TaskStatusUndefined;
        for (const QJsonValue &task : report.value(QStringLiteral("tasks")).toArray()) {
            if (task[QStringLiteral("description")].toString() ==
                QLatin1String("Read information about installed packages of service"))
                status = TaskDescription::TaskStatus(task[QStringLiteral("status")].toInt());
        }
        QCOMPARE(status,
                 withData ? TaskDescription::TaskStatusDone : TaskDescription::TaskStatusFailed);
        QCOMPARE(exitCode, withData ? 0 : 1);
        if (!withData)
            continue;
        const QJsonObject edit = widgetChild(report.value(QStringLiteral("widgets"))[0].toObject(),
                                             QStringLiteral("_packagesTextEdit"));
        const QList<QStringList> rows = tableCells(edit.value(QStringLiteral("html")).toString());
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(1).first(), QStringLiteral("samba"));
    }
}

OXA_TEST_MAIN(TestPackagesBatch)
#include "tst_packagesbatch.moc"
