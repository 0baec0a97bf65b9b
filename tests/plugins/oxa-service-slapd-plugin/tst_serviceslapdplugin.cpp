#include <serviceslapdelementwidget.h>
#include <serviceslapdplugin.h>
#include <serviceslapdtasks.h>

#include <element.h>
#include <elementdata.h>
#include <localhostconnection.h>
#include <module.h>
#include <taskmessages.h>
#include <taskrunner.h>
#include <testhost.h>
#include <treenodemodel.h>

#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QTreeView>
#include <QtTest>

#include <sys/stat.h>

namespace {

const QString script = QStringLiteral("/etc/init.d/slapd");
const QString directory = QStringLiteral("/etc/ldap/slapd.d");

/// The names below @p parent in the order shown, each directory's names in brackets after it.
QString shownTree(const QAbstractItemModel *model, const QModelIndex &parent = QModelIndex())
{
    QStringList names;
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        QString name = index.data().toString();
        if (model->rowCount(index) > 0)
            name += QLatin1Char('(') + shownTree(model, index) + QLatin1Char(')');
        names << name;
    }
    return names.join(QLatin1Char(','));
}

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
    QString tree() const { return shownTree(view()->model(), view()->rootIndex()); }

    /// The top names, sorted.
    QStringList names() const
    {
        QStringList list;
        const QAbstractItemModel *model = view()->model();
        for (int row = 0; row < model->rowCount(view()->rootIndex()); ++row)
            list << model->index(row, 0, view()->rootIndex()).data().toString();
        list.sort();
        return list;
    }

    ServiceSlapdPlugin plugin;
    Module *module = nullptr;
    Element *element = nullptr;
    ServiceSlapdElementWidget *widget = nullptr;
};

/** A host whose slapd directory exists only in what its listings say. */
class ListingHost : public LocalHostConnection
{
public:
    HostDirectoryListing listDirectory(const QString &path, int) const override
    {
        HostDirectoryListing listing;
        listing.code = HostFileStatus::Ok;
        const auto entry = [](const char *name, HostFileType type) {
            HostDirectoryEntry e;
            e.name = QString::fromLatin1(name);
            e.rawName = e.name.toLatin1();
            e.type = type;
            return e;
        };
        if (path == directory)
            listing.entries = {entry("cn=config.ldif", HostFileType::Regular),
                               entry("cn=config", HostFileType::Directory)};
        else if (path == directory + QStringLiteral("/cn=config"))
            listing.entries = {entry("olcDatabase={0}config.ldif", HostFileType::Regular)};
        else
            listing.code = HostFileStatus::Missing;
        return listing;
    }
};

} // namespace

/**
 * The Slapd plug-in on a disposable host: the configuration directory shown by name as a tree
 * its read lists on the host, replaced by every good read and kept when a read fails. What
 * every plug-in shares (identity, package check, operations and their tasks) is in
 * tst_pluginconformance.
 */
class TestServiceSlapdPlugin : public QObject
{
    Q_OBJECT

private slots:
    void form();
    void showsTheInstalledDirectory();
    void showsDebian13Directory();
    void namesOnly();
    void order_data();
    void order();
    void listsThroughTheConnection();
    void stoppedStillShowsTheDirectory();
    void missingDirectoryIsNoFailure();
    void failureKeepsFormerTree_data();
    void failureKeepsFormerTree();
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
    QCOMPARE(view->model(), widget->treeModel());
    QCOMPARE(static_cast<QObject *>(widget->treeModel())->parent(), widget);
    // Names only: no size, type or date.
    QCOMPARE(view->model()->columnCount(), 1);
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
    QCOMPARE(slapd.names(), expected);
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
    QCOMPARE(slapd.names(), top);
    const QAbstractItemModel *model = slapd.view()->model();
    const QModelIndex configIndex = model->index(0, 0);
    QCOMPARE(configIndex.data().toString(), QStringLiteral("cn=config"));
    QStringList below;
    for (int row = 0; row < model->rowCount(configIndex); ++row)
        below << model->index(row, 0, configIndex).data().toString();
    below.sort();
    QCOMPARE(below, config);
    QCOMPARE(slapd.tree(),
             QStringLiteral("cn=config(cn=schema(cn={0}core.ldif,cn={1}cosine.ldif,cn={2}nis.ldif,"
                            "cn={3}inetorgperson.ldif),cn=module{0}.ldif,cn=schema.ldif,"
                            "olcDatabase={-1}frontend.ldif,olcDatabase={0}config.ldif,"
                            "olcDatabase={1}mdb.ldif),cn=config.ldif"));
}

/*
 * One file and one subdirectory show by name only; a second read replaces the names in the
 * same model rather than adding another.
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
    QCOMPARE(slapd.tree(), QStringLiteral("cn=config,cn=config.ldif"));
    QAbstractItemModel *model = slapd.view()->model();

    QVERIFY(host.writeFile(directory + QStringLiteral("/added.ldif"), "\n"));
    QCOMPARE(slapd.readHeavy().status, TaskDescription::TaskStatusDone);
    QCOMPARE(slapd.widget->findChildren<TreeNodeModel *>().size(), 1);
    QCOMPARE(slapd.view()->model(), model);
    QCOMPARE(slapd.tree(), QStringLiteral("cn=config,added.ldif,cn=config.ldif"));
    QCOMPARE(model->columnCount(), 1);
    const QModelIndex first = model->index(0, 0);
    QCOMPARE(first.data(Qt::ToolTipRole).toString(), directory + QStringLiteral("/cn=config"));
    QVERIFY(!first.data(Qt::DecorationRole).isNull());
}

/*
 * What a file manager shows: directories first, then names in natural order regardless of
 * case; hidden names and what is neither a file nor a directory (a FIFO, a dangling link) left
 * out; a link to a directory shown as one but not entered.
 */
void TestServiceSlapdPlugin::order_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("directories");
    QTest::addColumn<QString>("expected");

    QTest::newRow("directories first, natural order")
        << QStringList{"b.ldif", "A.ldif", "cn={10}x.ldif", "cn={2}y.ldif", "cn={02}y.ldif"}
        << QStringList{"z", "cn={1}d"}
        << "cn={1}d,z,A.ldif,b.ldif,cn={02}y.ldif,cn={2}y.ldif,cn={10}x.ldif";
    QTest::newRow("nested") << QStringList{"a/b/c.ldif", "a/d.ldif"} << QStringList{"a/e"}
                            << "a(b(c.ldif),e,d.ldif)";
    QTest::newRow("hidden") << QStringList{".hidden.ldif", "shown.ldif"}
                            << QStringList{".git", "sub/.x"} << "sub,shown.ldif";
    QTest::newRow("special entries") << QStringList{"file.ldif"} << QStringList{} << "file.ldif";
    QTest::newRow("links") << QStringList{"real.ldif"} << QStringList{}
                           << "out,up,linked.ldif,real.ldif";
}

void TestServiceSlapdPlugin::order()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, directories);
    QFETCH(QString, expected);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeStatusScript(script, 0));
    QVERIFY(host.removePath(directory));
    QVERIFY(host.mkdir(directory));
    for (const QString &file : files)
        QVERIFY(host.writeFile(directory + QLatin1Char('/') + file, "dn: x\n"));
    for (const QString &sub : directories)
        QVERIFY(host.mkdir(directory + QLatin1Char('/') + sub));
    if (QByteArray(QTest::currentDataTag()) == "special entries") {
        QVERIFY(mkfifo(QFile::encodeName(directory + QStringLiteral("/pipe")).constData(), 0600) ==
                0);
        QVERIFY(
            host.writeSymlink(directory + QStringLiteral("/dangling"), QStringLiteral("/nowhere")));
    }
    if (QByteArray(QTest::currentDataTag()) == "links") {
        QVERIFY(host.writeSymlink(directory + QStringLiteral("/out"), QStringLiteral("/etc")));
        QVERIFY(host.writeSymlink(directory + QStringLiteral("/up"), directory));
        QVERIFY(host.writeSymlink(directory + QStringLiteral("/linked.ldif"),
                                  directory + QStringLiteral("/real.ldif")));
    }

    Slapd slapd;
    QCOMPARE(slapd.readHeavy().status, TaskDescription::TaskStatusDone);
    QCOMPARE(slapd.tree(), expected);
}

/// The names come from the module's host connection, not from the disk the console runs on.
void TestServiceSlapdPlugin::listsThroughTheConnection()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeStatusScript(script, 0));
    QVERIFY(host.removePath(directory));

    Slapd slapd;
    slapd.module->setHostConnection(QSharedPointer<HostConnection>(new ListingHost));
    QCOMPARE(slapd.readHeavy().status, TaskDescription::TaskStatusDone);
    QCOMPARE(slapd.tree(), QStringLiteral("cn=config(olcDatabase={0}config.ldif),cn=config.ldif"));
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
    QCOMPARE(slapd.names(), QStringList{"cn=config.ldif"});
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

    // The directory comes: the next read shows it in the same model, names only.
    QVERIFY(host.writeFile(directory + QStringLiteral("/cn=config.ldif"), "dn: cn=config\n"));
    QCOMPARE(slapd.readHeavy().status, TaskDescription::TaskStatusDone);
    QCOMPARE(slapd.view()->model(), slapd.widget->treeModel());
    QCOMPARE(slapd.view()->model()->columnCount(), 1);
    QCOMPARE(slapd.names(), QStringList{"cn=config.ldif"});
}

void TestServiceSlapdPlugin::failureKeepsFormerTree_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("message");

    QTest::newRow("crash") << "crash" << TaskMessages::notFinished(script, 1);
    QTest::newRow("missing script") << "missing" << TaskMessages::notFinished(script, 0);
}

void TestServiceSlapdPlugin::failureKeepsFormerTree()
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
    const QString label = slapd.widget->stateLabel()->text();

    QVERIFY(host.writeFile(directory + QStringLiteral("/later.ldif"), "dn: x\n"));
    if (failure == QLatin1String("crash"))
        QVERIFY(host.writeCrashingScript(script));
    else
        QVERIFY(host.removePath(script));
    const TaskReport report = slapd.readHeavy();
    QCOMPARE(report.status, TaskDescription::TaskStatusFailed);
    QCOMPARE(report.message, message);
    QCOMPARE(slapd.tree(), QStringLiteral("cn=config.ldif"));
    QCOMPARE(slapd.widget->stateLabel()->text(), label);
    QVERIFY(slapd.element->serviceData()->state());
}

OXA_TEST_MAIN(TestServiceSlapdPlugin)
#include "tst_serviceslapdplugin.moc"
