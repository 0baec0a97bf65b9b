#include <serviceslapdelementwidget.h>
#include <serviceslapdplugin.h>
#include <serviceslapdtasks.h>

#include <element.h>
#include <elementdata.h>
#include <module.h>
#include <taskmessages.h>
#include <taskrunner.h>
#include <testhost.h>

#include <QDir>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QTreeView>
#include <QtTest>

namespace {

const QString script = QStringLiteral("/etc/init.d/slapd");
const QString directory = QStringLiteral("/etc/ldap/slapd.d");

/** The Slapd plug-in as the console holds it: element, and its widget showing it. */
struct Slapd
{
    Slapd()
    {
        module = plugin.modules().value(0);
        module->setData(QStringLiteral("administrator"), true);
        element = module->firstElement();
        widget = qobject_cast<ServiceSlapdElementWidget *>(
            module->elementWidget(QStringLiteral("ServiceSlapd")));
        widget->setElement(element, ElementWidgetRoleView);
    }

    TaskReport readHeavy()
    {
        TaskRunner runner;
        return runner.perform(new ServiceSlapdReadHeavyTask(element));
    }

    QTreeView *view() const { return widget->configTreeView(); }

    /// The names below the view's root, sorted.
    QStringList names() const
    {
        QStringList list;
        const QAbstractItemModel *model = view()->model();
        if (!model)
            return list;
        const QModelIndex root = view()->rootIndex();
        for (int row = 0; row < model->rowCount(root); ++row)
            list << model->index(row, 0, root).data().toString();
        list.sort();
        return list;
    }

    ServiceSlapdPlugin plugin;
    Module *module = nullptr;
    Element *element = nullptr;
    ServiceSlapdElementWidget *widget = nullptr;
};

} // namespace

/**
 * The Slapd plug-in on a disposable host: the configuration directory shown by name through
 * one file-system model, re-rooted by every read and kept when a read fails. What every plug-in
 * shares (identity, package check, operations and their tasks) is in tst_pluginconformance.
 */
class TestServiceSlapdPlugin : public QObject
{
    Q_OBJECT

private slots:
    void form();
    void showsTheInstalledDirectory();
    void showsDebian13Directory();
    void namesOnly();
    void stoppedStillShowsTheDirectory();
    void missingDirectoryIsNoFailure();
    void failureKeepsFormerRoot_data();
    void failureKeepsFormerRoot();
};

void TestServiceSlapdPlugin::form()
{
    ServiceSlapdPlugin plugin;
    auto *widget = qobject_cast<ServiceSlapdElementWidget *>(
        plugin.modules().value(0)->elementWidget(QStringLiteral("ServiceSlapd")));
    QVERIFY(widget);
    QTreeView *view = widget->findChild<QTreeView *>(QStringLiteral("_configTreeView"));
    QCOMPARE(view, widget->configTreeView());
    QVERIFY(view->isHeaderHidden());
    QVERIFY(view->header()->isHidden());
    QCOMPARE(view->model(), widget->fileSystemModel());
    QCOMPARE(widget->fileSystemModel()->parent(), widget);
    QVERIFY(!view->isColumnHidden(0));
    for (int column = 1; column <= 3; ++column)
        QVERIFY(view->isColumnHidden(column));
}

/// The tree the slapd package installs, read through the overlay of this machine.
void TestServiceSlapdPlugin::showsTheInstalledDirectory()
{
    TestHost host(TestHost::MachinePackageDatabase);
    OXA_REQUIRE_TEST_HOST(host);
    if (!QFileInfo(directory).isDir())
        QSKIP("the slapd package is not installed here (scripts/install-services)");
    QStringList expected = QDir(directory).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    expected.sort();
    QVERIFY(host.writeStatusScript(script, 0));

    Slapd slapd;
    QVERIFY(slapd.plugin.isValid());
    const TaskReport report = slapd.readHeavy();
    QCOMPARE(report.description, QStringLiteral("Read Slapd service configuration"));
    QCOMPARE(report.status, TaskDescription::TaskStatusDone);
    QCOMPARE(slapd.widget->configGroupBox()->title(),
             QStringLiteral("Configuration: /etc/ldap/slapd.d"));
    QCOMPARE(slapd.widget->stateLabel()->text(),
             QStringLiteral("<b>%1</b>").arg(ServiceLightElementData::runningText()));
    QCOMPARE(slapd.widget->fileSystemModel()->filePath(slapd.view()->rootIndex()), directory);
    // The model lists the directory on its own time.
    QTRY_COMPARE_WITH_TIMEOUT(slapd.names(), expected, 10000);
}

/*
 * The directory of Debian 13's slapd 2.6.10 as its package leaves it, laid out from the
 * captured listing: the view shows its entries, and those of cn=config below.
 */
void TestServiceSlapdPlugin::showsDebian13Directory()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeStatusScript(script, 0));
    QVERIFY(host.removePath(directory));
    QFile listing(QStringLiteral(OXA_SLAPD_TEST_DATA "/slapd.d-2.6.10-trixie.txt"));
    QVERIFY(listing.open(QIODevice::ReadOnly));
    QStringList top;
    QStringList config;
    for (const QString &entry : QString::fromUtf8(listing.readAll()).split(QLatin1Char('\n'))) {
        if (!entry.startsWith(QLatin1String("slapd.d/")))
            continue;
        const QString path = QStringLiteral("/etc/ldap/") + entry;
        // The .ldif files are files; the rest are directories.
        QVERIFY(entry.endsWith(QLatin1String(".ldif")) ? host.writeFile(path, "dn: x\n")
                                                       : host.mkdir(path));
        const QStringList parts = entry.split(QLatin1Char('/'));
        if (parts.size() == 2)
            top << parts.at(1);
        else if (parts.size() == 3 && parts.at(1) == QLatin1String("cn=config"))
            config << parts.at(2);
    }
    top.sort();
    config.sort();
    QCOMPARE(top, (QStringList{"cn=config", "cn=config.ldif"}));
    QCOMPARE(config.size(), 6);

    Slapd slapd;
    QCOMPARE(slapd.readHeavy().status, TaskDescription::TaskStatusDone);
    QTRY_COMPARE_WITH_TIMEOUT(slapd.names(), top, 10000);
    QFileSystemModel *model = slapd.widget->fileSystemModel();
    const QModelIndex configIndex = model->index(directory + QStringLiteral("/cn=config"));
    QVERIFY(configIndex.isValid());
    model->fetchMore(configIndex);
    const auto below = [&] {
        QStringList names;
        for (int row = 0; row < model->rowCount(configIndex); ++row)
            names << model->index(row, 0, configIndex).data().toString();
        names.sort();
        return names;
    };
    QTRY_COMPARE_WITH_TIMEOUT(below(), config, 10000);
}

/*
 * One file and one subdirectory show by name only; a second read re-roots the same model
 * rather than adding another.
 */
void TestServiceSlapdPlugin::namesOnly()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeStatusScript(script, 0));
    QVERIFY(host.removePath(directory));
    QVERIFY(host.writeFile(directory + QStringLiteral("/cn=config.ldif"), "dn: cn=config\n"));
    QVERIFY(host.mkdir(directory + QStringLiteral("/cn=config")));

    Slapd slapd;
    QCOMPARE(slapd.readHeavy().status, TaskDescription::TaskStatusDone);
    QTRY_COMPARE_WITH_TIMEOUT(slapd.names(), (QStringList{"cn=config", "cn=config.ldif"}), 10000);
    QFileSystemModel *model = slapd.widget->fileSystemModel();

    QVERIFY(host.writeFile(directory + QStringLiteral("/added.ldif"), "\n"));
    QCOMPARE(slapd.readHeavy().status, TaskDescription::TaskStatusDone);
    QCOMPARE(slapd.widget->findChildren<QFileSystemModel *>().size(), 1);
    QCOMPARE(slapd.view()->model(), model);
    QCOMPARE(model->rootPath(), directory);
    QCOMPARE(model->filePath(slapd.view()->rootIndex()), directory);
    for (int column = 1; column <= 3; ++column)
        QVERIFY(slapd.view()->isColumnHidden(column));
}

void TestServiceSlapdPlugin::stoppedStillShowsTheDirectory()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeStatusScript(script, 3));
    QVERIFY(host.removePath(directory));
    QVERIFY(host.writeFile(directory + QStringLiteral("/cn=config.ldif"), "dn: cn=config\n"));

    Slapd slapd;
    QCOMPARE(slapd.readHeavy().status, TaskDescription::TaskStatusDone);
    QVERIFY(!slapd.element->serviceData()->state());
    QCOMPARE(quint64(slapd.element->availableOperations()), quint64(0x1030));
    QTRY_COMPARE_WITH_TIMEOUT(slapd.names(), QStringList{"cn=config.ldif"}, 10000);
}

void TestServiceSlapdPlugin::missingDirectoryIsNoFailure()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeStatusScript(script, 0));
    QVERIFY(host.removePath(QStringLiteral("/etc/ldap")));

    Slapd slapd;
    const TaskReport report = slapd.readHeavy();
    QCOMPARE(report.status, TaskDescription::TaskStatusDone);
    QVERIFY(report.message.isEmpty());
    QCOMPARE(slapd.widget->configGroupBox()->title(),
             QStringLiteral("Configuration: /etc/ldap/slapd.d"));
    // Not the file system's root in its place.
    QCOMPARE(slapd.names(), QStringList());

    // The directory comes: the next read shows it through the same model, names only.
    QVERIFY(host.writeFile(directory + QStringLiteral("/cn=config.ldif"), "dn: cn=config\n"));
    QCOMPARE(slapd.readHeavy().status, TaskDescription::TaskStatusDone);
    QCOMPARE(slapd.view()->model(), slapd.widget->fileSystemModel());
    for (int column = 1; column <= 3; ++column)
        QVERIFY(slapd.view()->isColumnHidden(column));
    QTRY_COMPARE_WITH_TIMEOUT(slapd.names(), QStringList{"cn=config.ldif"}, 10000);
}

void TestServiceSlapdPlugin::failureKeepsFormerRoot_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("message");

    QTest::newRow("crash") << "crash" << TaskMessages::notFinished(script, 1);
    QTest::newRow("missing script") << "missing" << TaskMessages::notFinished(script, 0);
}

void TestServiceSlapdPlugin::failureKeepsFormerRoot()
{
    QFETCH(QString, failure);
    QFETCH(QString, message);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeStatusScript(script, 0));
    QVERIFY(host.removePath(directory));
    QVERIFY(host.writeFile(directory + QStringLiteral("/cn=config.ldif"), "dn: cn=config\n"));

    Slapd slapd;
    QCOMPARE(slapd.readHeavy().status, TaskDescription::TaskStatusDone);
    const QModelIndex root = slapd.view()->rootIndex();
    const QString label = slapd.widget->stateLabel()->text();

    if (failure == QLatin1String("crash"))
        QVERIFY(host.writeCrashingScript(script));
    else
        QVERIFY(host.removePath(script));
    const TaskReport report = slapd.readHeavy();
    QCOMPARE(report.status, TaskDescription::TaskStatusFailed);
    QCOMPARE(report.message, message);
    QCOMPARE(slapd.view()->rootIndex(), root);
    QCOMPARE(slapd.widget->stateLabel()->text(), label);
    QVERIFY(slapd.element->serviceData()->state());
}

OXA_TEST_MAIN(TestServiceSlapdPlugin)
#include "tst_serviceslapdplugin.moc"
