// The plug-in's own objects: the clusters container and the cluster elements (rows, icons,
// operations, routing to the module). What every plug-in shares (identity, package check,
// operations on the container) is in tst_pluginconformance.

#include <clustermiscmodel.h>
#include <servicepgsqlclusterelement.h>
#include <servicepgsqlclusterselement.h>
#include <servicepgsqlelementwidget.h>
#include <servicepgsqlmodule.h>
#include <servicepgsqltasks.h>

#include "testicontheme.h"

#include <elementdata.h>
#include <module.h>
#include <treenodemodel.h>

#include <QComboBox>
#include <QIcon>
#include <QStringListModel>
#include <QTemporaryDir>
#include <QTest>

namespace {

/** Records the operations it is asked for, and forwards like the base. */
class RecordingModule : public Module
{
public:
    struct Call
    {
        ContextOperation *context;
        OperationType type;
        ElementData *data;
    };

    explicit RecordingModule(const QString &name = QStringLiteral("RecordingModule")) : Module(name)
    {
        setData(QStringLiteral("administrator"), true);
    }

    void performOperation(ContextOperation *context, OperationType type, ElementData *data,
                          int n) override
    {
        calls.append({context, type, data});
        Module::performOperation(context, type, nullptr, n);
    }

    QList<Call> calls;
};

/** The module with its task factories opened for inspection. */
class InspectedModule : public ServicePgsqlModule
{
public:
    InspectedModule() : ServicePgsqlModule(nullptr) {}
    using ServicePgsqlModule::createTask;
    using ServicePgsqlModule::createWidgetTask;
};

ElementData *clusterRecord(const QString &version, const QString &name, int port, bool running,
                           const QString &textState)
{
    auto *record = new ElementData;
    record->setProperty("version", version);
    record->setProperty("name", name);
    record->setProperty("port", port);
    record->setProperty("state", running);
    record->setProperty("textState", textState);
    record->setProperty("configureParam",
                        QStringLiteral("cluster=%1/version=%2").arg(name, version));
    return record;
}

} // namespace

class TestServicePgsqlElements : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void clustersElement();
    void clustersHeader_data();
    void clustersHeader();
    void clustersWidgets();
    void clusterRow_data();
    void clusterRow();
    void clusterRowWithoutRecord();
    void clusterCaption();
    void clusterOperations_data();
    void clusterOperations();
    void clusterForwardsItsOperations();
    void moduleTasks_data();
    void moduleTasks();
    void moduleWidgetTask();
    void stateTasksCarryTheCluster();

private:
    QTemporaryDir m_themeDir;
};

void TestServicePgsqlElements::initTestCase()
{
    QVERIFY(installStateIconTheme(m_themeDir));
}

/*
 * The clusters element beyond what every plug-in's element shows: its columns, and the
 * versions it knows, which the creation form offers.
 */
void TestServicePgsqlElements::clustersElement()
{
    ServicePgsqlModule module(nullptr);
    auto *clusters = qobject_cast<ServicePgsqlClustersElement *>(module.firstElement());
    QVERIFY(clusters);
    QCOMPARE(clusters->columnCount(), 5);
    QVERIFY(clusters->versionsModel());
    QCOMPARE(clusters->versionsModel()->parent(), clusters);
    auto *form = qobject_cast<ServicePgsqlElementWidget *>(
        module.elementWidget(QStringLiteral("ServicePgsqlCluster")));
    QVERIFY(form);
    QCOMPARE(form->findChild<QComboBox *>("_versionComboBox")->model(),
             static_cast<QAbstractItemModel *>(clusters->versionsModel()));
}

void TestServicePgsqlElements::clustersHeader_data()
{
    QTest::addColumn<int>("section");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("0") << 0 << int(Qt::Horizontal) << int(Qt::DisplayRole) << QVariant();
    QTest::newRow("1") << 1 << int(Qt::Horizontal) << int(Qt::DisplayRole) << QVariant("Name");
    QTest::newRow("2") << 2 << int(Qt::Horizontal) << int(Qt::DisplayRole) << QVariant("Version");
    QTest::newRow("3") << 3 << int(Qt::Horizontal) << int(Qt::DisplayRole) << QVariant("Port");
    QTest::newRow("4") << 4 << int(Qt::Horizontal) << int(Qt::DisplayRole) << QVariant("State");
    QTest::newRow("5") << 5 << int(Qt::Horizontal) << int(Qt::DisplayRole) << QVariant();
    QTest::newRow("vertical") << 1 << int(Qt::Vertical) << int(Qt::DisplayRole) << QVariant();
    QTest::newRow("tool tip") << 1 << int(Qt::Horizontal) << int(Qt::ToolTipRole) << QVariant();
}

void TestServicePgsqlElements::clustersHeader()
{
    QFETCH(int, section);
    QFETCH(int, orientation);
    QFETCH(int, role);
    QFETCH(QVariant, expected);
    RecordingModule module;
    ServicePgsqlClustersElement clusters(&module);
    const QVariant value = clusters.headerData(section, Qt::Orientation(orientation), role);
    QCOMPARE(value.isValid(), expected.isValid());
    if (expected.isValid())
        QCOMPARE(value.toString(), expected.toString());
}

void TestServicePgsqlElements::clustersWidgets()
{
    ServicePgsqlModule module(nullptr);
    Element *clusters = module.firstElement();
    ViewEditElementWidget *form = module.elementWidget("ServicePgsqlCluster");
    ViewEditElementWidget *list = module.elementWidget("ServicePgsqlClusters");
    QVERIFY(form && list && form != list);
    QCOMPARE(clusters->elementWidget(ElementWidgetRoleView), list);
    QCOMPARE(clusters->elementWidget(ElementWidgetRoleCreate), form);
    QCOMPARE(clusters->elementWidget(ElementWidgetRoleNone), form);

    // A cluster is shown in the form.
    ServicePgsqlClusterElement cluster(&module);
    QCOMPARE(cluster.elementWidget(ElementWidgetRoleView), form);
}

void TestServicePgsqlElements::clusterRow_data()
{
    QTest::addColumn<bool>("running");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("expected");

    const int display = Qt::DisplayRole;
    const int tip = Qt::ToolTipRole;
    const int deco = Qt::DecorationRole;
    const int edit = Qt::EditRole;
    QTest::newRow("0 display") << false << 0 << display << QVariant("9.6 main");
    QTest::newRow("0 tool tip") << false << 0 << tip << QVariant("9.6 main");
    QTest::newRow("0 user") << false << 0 << int(TreeNodeModel::NameRole) << QVariant("9.6 main");
    QTest::newRow("0 icon stopped") << false << 0 << deco << QVariant("media-playback-stop");
    QTest::newRow("0 icon running") << true << 0 << deco << QVariant("media-playback-start");
    QTest::newRow("0 edit") << false << 0 << edit << QVariant();
    QTest::newRow("1 display") << false << 1 << display << QVariant("main");
    QTest::newRow("1 tool tip") << false << 1 << tip << QVariant("main");
    QTest::newRow("1 icon running") << true << 1 << deco << QVariant("media-playback-start");
    QTest::newRow("1 user") << false << 1 << int(TreeNodeModel::NameRole) << QVariant();
    QTest::newRow("2 display") << false << 2 << display << QVariant("9.6");
    QTest::newRow("2 icon") << false << 2 << deco << QVariant();
    QTest::newRow("3 display") << false << 3 << display << QVariant(5432);
    QTest::newRow("3 tool tip") << false << 3 << tip << QVariant(5432);
    QTest::newRow("3 icon") << false << 3 << deco << QVariant();
    QTest::newRow("4 display") << true << 4 << display << QVariant("online,recovery");
    QTest::newRow("4 edit") << true << 4 << edit << QVariant();
    QTest::newRow("5 falls to the base") << false << 5 << display << QVariant();
}

void TestServicePgsqlElements::clusterRow()
{
    QFETCH(bool, running);
    QFETCH(int, column);
    QFETCH(int, role);
    QFETCH(QVariant, expected);

    RecordingModule module;
    ServicePgsqlClusterElement cluster(&module);
    cluster.setTitle("main-9.6");
    cluster.setElementData(
        clusterRecord("9.6", "main", 5432, running, running ? "online,recovery" : "down"));
    const QVariant value = cluster.data(column, role);
    if (!expected.isValid()) {
        QVERIFY2(!value.isValid(), qPrintable(value.toString()));
    } else if (role == Qt::DecorationRole) {
        QCOMPARE(iconName(value), expected.toString());
    } else {
        QCOMPARE(value.userType(), expected.userType());
        QCOMPARE(value, expected);
    }
}

void TestServicePgsqlElements::clusterRowWithoutRecord()
{
    RecordingModule module;
    ServicePgsqlClusterElement cluster(&module);
    QCOMPARE(cluster.elementType(), QStringLiteral("ServicePgsqlCluster"));
    QVERIFY(cluster.id().isEmpty());
    QCOMPARE(cluster.treeNodeSpecialFlags(), int(TreeNodeFlagLeaf));
    QCOMPARE(cluster.data(3, Qt::DisplayRole), QVariant(-1));
    QCOMPARE(cluster.data(0, Qt::DisplayRole).toString(), QStringLiteral(" "));
    QCOMPARE(cluster.data(4, Qt::DisplayRole).toString(), QString());
    QCOMPARE(iconName(cluster.data(0, Qt::DecorationRole)), QStringLiteral("media-playback-stop"));

    // A record without a port shows -1 too.
    auto *record = clusterRecord("15", "main", 0, false, "down");
    record->properties().remove("port");
    cluster.setElementData(record);
    QCOMPARE(cluster.data(3, Qt::DisplayRole), QVariant(-1));
}

void TestServicePgsqlElements::clusterCaption()
{
    RecordingModule module;
    ServicePgsqlClusterElement cluster(&module);
    cluster.setElementData(clusterRecord("15", "main", 5432, false, "down"));
    QCOMPARE(cluster.caption(), QStringLiteral("PostgreSQL database cluster: main - 15"));
    // The row's tool tip for the title column is the version and name, not the caption.
    QCOMPARE(cluster.data(0, Qt::ToolTipRole).toString(), QStringLiteral("15 main"));
}

void TestServicePgsqlElements::clusterOperations_data()
{
    QTest::addColumn<bool>("administrator");
    QTest::addColumn<int>("record"); // 0 none, 1 stopped, 2 running
    QTest::addColumn<quint64>("expected");

    QTest::newRow("viewer, running") << false << 2 << quint64(0x20);
    QTest::newRow("viewer, stopped") << false << 1 << quint64(0x20);
    QTest::newRow("administrator, running") << true << 2 << quint64(0x1E0A4);
    QTest::newRow("administrator, stopped") << true << 1 << quint64(0x110A4);
    QTest::newRow("administrator, no record") << true << 0 << quint64(0x110A4);
}

void TestServicePgsqlElements::clusterOperations()
{
    QFETCH(bool, administrator);
    QFETCH(int, record);
    QFETCH(quint64, expected);

    // The right is the hierarchy's: the cluster's module has no entry of its own.
    RecordingModule parent(QStringLiteral("ServiceServicesModule"));
    parent.setData("administrator", administrator);
    Module module(QStringLiteral("ServicePgsqlModule"));
    parent.addChildModule(&module);
    ServicePgsqlClusterElement cluster(&module);
    if (record)
        cluster.setElementData(clusterRecord("15", "main", 5432, record == 2, "x"));
    QCOMPARE(cluster.availableOperations(), OperationTypes(expected));
    parent.removeChildModule(&module);
}

void TestServicePgsqlElements::clusterForwardsItsOperations()
{
    RecordingModule module;
    ServicePgsqlClusterElement cluster(&module);
    ElementData record;
    for (OperationType type : allOperations())
        cluster.performOperation(type, &record, 7);
    QList<OperationType> forwarded;
    for (const RecordingModule::Call &call : module.calls) {
        QCOMPARE(call.context, static_cast<ContextOperation *>(&cluster));
        QCOMPARE(call.data, &record);
        forwarded.append(call.type);
    }
    QCOMPARE(forwarded, (QList<OperationType>{OperationCreate, OperationReadHeavy, OperationDelete,
                                              OperationStart, OperationStop, OperationRestart,
                                              OperationReload, OperationControl,
                                              OperationEnableAtBoot, OperationDisableAtBoot}));
}

void TestServicePgsqlElements::moduleTasks_data()
{
    QTest::addColumn<bool>("onCluster");
    QTest::addColumn<int>("operation");
    QTest::addColumn<QString>("description");

    QTest::newRow("clusters read-content")
        << false << int(OperationReadContent) << "Read PostgreSQL clusters";
    QTest::newRow("clusters create (element context)") << false << int(OperationCreate) << "";
    QTest::newRow("clusters read-heavy") << false << int(OperationReadHeavy) << "";
    QTest::newRow("cluster read-heavy")
        << true << int(OperationReadHeavy) << "Read PostgreSQL cluster";
    QTest::newRow("cluster delete") << true << int(OperationDelete) << "Remove PostgreSQL cluster";
    QTest::newRow("cluster start") << true << int(OperationStart) << "Start PostgreSQL cluster";
    QTest::newRow("cluster stop") << true << int(OperationStop) << "Stop PostgreSQL cluster";
    QTest::newRow("cluster restart")
        << true << int(OperationRestart) << "Restart PostgreSQL cluster";
    QTest::newRow("cluster reload") << true << int(OperationReload) << "Reload PostgreSQL cluster";
    QTest::newRow("cluster control")
        << true << int(OperationControl) << "Control PostgreSQL cluster";
    QTest::newRow("cluster create") << true << int(OperationCreate) << "";
    QTest::newRow("cluster read-content") << true << int(OperationReadContent) << "";
    QTest::newRow("cluster update") << true << int(OperationUpdate) << "";
}

void TestServicePgsqlElements::moduleTasks()
{
    QFETCH(bool, onCluster);
    QFETCH(int, operation);
    QFETCH(QString, description);

    InspectedModule module;
    Element *clusters = module.firstElement();
    auto *cluster = new ServicePgsqlClusterElement(&module);
    cluster->setElementData(clusterRecord("15", "main", 5432, true, "online"));
    clusters->append(cluster);
    Element *target = onCluster ? static_cast<Element *>(cluster) : clusters;

    std::unique_ptr<AbstractTask> task(
        module.createTask(target, OperationType(operation), nullptr));
    if (description.isEmpty()) {
        QVERIFY(!task);
        return;
    }
    QVERIFY(task);
    QCOMPARE(task->taskDescription().description(), description);
    QCOMPARE(task->taskElement(), target);

    // The classes behind the descriptions.
    switch (operation) {
    case OperationReadContent:
        QVERIFY(dynamic_cast<ServicePgsqlClustersReadTask *>(task.get()));
        break;
    case OperationReadHeavy:
        QVERIFY(dynamic_cast<ServicePgsqlClusterReadTask *>(task.get()));
        break;
    case OperationDelete:
        QVERIFY(dynamic_cast<ServicePgsqlClusterDeleteTask *>(task.get()));
        break;
    case OperationStart:
        QVERIFY(dynamic_cast<StartServiceTask *>(task.get()));
        break;
    case OperationStop:
        QVERIFY(dynamic_cast<StopServiceTask *>(task.get()));
        break;
    case OperationRestart:
        QVERIFY(dynamic_cast<RestartServiceTask *>(task.get()));
        break;
    case OperationReload:
        QVERIFY(dynamic_cast<ReloadServiceTask *>(task.get()));
        break;
    case OperationControl: {
        auto *control = dynamic_cast<ServicePgsqlClusterControlTask *>(task.get());
        QVERIFY(control);
        QCOMPARE(control->packageName(), QStringLiteral("pgadmin3"));
        QCOMPARE(control->programName(), QStringLiteral("pgadmin3"));
        break;
    }
    default:
        QFAIL("unexpected operation");
    }
}

void TestServicePgsqlElements::moduleWidgetTask()
{
    InspectedModule module;
    auto *form =
        qobject_cast<ServicePgsqlElementWidget *>(module.elementWidget("ServicePgsqlCluster"));
    QVERIFY(form);
    std::unique_ptr<AbstractTask> none(module.createWidgetTask(form, OperationUpdate, nullptr));
    QVERIFY(!none);

    auto *record = clusterRecord("15", "main3", 5433, false, QString());
    std::unique_ptr<AbstractTask> task(module.createWidgetTask(form, OperationCreate, record));
    auto *create = dynamic_cast<ServicePgsqlClusterCreateTask *>(task.get());
    QVERIFY(create);
    QCOMPARE(create->taskDescription().description(), QStringLiteral("Create PostgreSQL cluster"));
    QCOMPARE(create->taskElement(), module.firstElement());
    QCOMPARE(create->data(), record);
    QCOMPARE(create->arguments(), (QStringList{"-p", "5433", "15", "main3"}));

    // The list widget asks for nothing.
    std::unique_ptr<AbstractTask> fromList(module.createWidgetTask(
        module.elementWidget("ServicePgsqlClusters"), OperationCreate, nullptr));
    QVERIFY(!fromList);
}

void TestServicePgsqlElements::stateTasksCarryTheCluster()
{
    RecordingModule module;
    ServicePgsqlClusterElement cluster(&module);
    cluster.setElementData(clusterRecord("9.6", "main", 5432, false, "down"));

    ServicePgsqlClusterStartTask start(&cluster);
    QCOMPARE(start.scriptPath(), QStringLiteral("pg_ctlcluster"));
    QCOMPARE(start.extraArguments(), (QStringList{"9.6", "main"}));
    QCOMPARE(start.action(), QStringLiteral("start"));
    QCOMPARE(start.actionFirst(), false);
    QCOMPARE(start.composedArguments(), (QStringList{"9.6", "main", "start"}));
    ServicePgsqlClusterStopTask stop(&cluster);
    QCOMPARE(stop.composedArguments(), (QStringList{"9.6", "main", "stop"}));
    ServicePgsqlClusterRestartTask restart(&cluster);
    QCOMPARE(restart.composedArguments(), (QStringList{"9.6", "main", "restart"}));
    ServicePgsqlClusterReloadTask reload(&cluster);
    QCOMPARE(reload.composedArguments(), (QStringList{"9.6", "main", "reload"}));

    // Missing keys give empty arguments; no record gives none at all.
    auto *partial = new ElementData;
    partial->setProperty("name", "main");
    cluster.setElementData(partial);
    QCOMPARE(ServicePgsqlClusterStartTask(&cluster).extraArguments(), (QStringList{"", "main"}));
    ServicePgsqlClusterElement bare(&module);
    ServicePgsqlClusterStopTask bareStop(&bare);
    QVERIFY(bareStop.extraArguments().isEmpty());
    QCOMPARE(bareStop.composedArguments(), QStringList{"stop"});

    // The delete and create arguments.
    cluster.setElementData(clusterRecord("9.6", "main", 5432, false, "down"));
    QCOMPARE(ServicePgsqlClusterDeleteTask(&cluster).arguments(),
             (QStringList{"9.6", "main", "--stop"}));
    auto *noPort = clusterRecord("11", "main", 0, false, QString());
    QCOMPARE(ServicePgsqlClusterCreateTask(&cluster, noPort).arguments(),
             (QStringList{"11", "main"}));
    auto *missingPort = clusterRecord("11", "main", 0, false, QString());
    missingPort->properties().remove("port");
    QCOMPARE(ServicePgsqlClusterCreateTask(&cluster, missingPort).arguments(),
             (QStringList{"11", "main"}));
}

QTEST_MAIN(TestServicePgsqlElements)
#include "tst_servicepgsqlelements.moc"
