#include "serviceelement.h"
#include "servicefamily.h"
#include "serviceheavyreadtask.h"
#include "servicemodule.h"
#include "taskrunner.h"
#include "testhost.h"

#include <elementdata.h>
#include <vieweditelementwidget.h>

#include <QFile>
#include <QTest>

namespace {

inline constexpr ServiceFamily testFamily{
    "/etc/init.d/oxa-test",    "force-reload",
    "Read Test service state", "Start Test service",
    "Stop Test service",       "Restart Test service",
    "Reload Test service",     "Read Test service configuration",
};
/// A service that keeps the framework's reload action.
inline constexpr ServiceFamily plainReloadFamily{
    "/etc/init.d/oxa-test",     nullptr,
    "Read Plain service state", "Start Plain service",
    "Stop Plain service",       "Restart Plain service",
    "Reload Plain service",     "Read Plain service configuration",
};

class TestHeavyTask : public ConfigFileReadHeavyTask
{
public:
    explicit TestHeavyTask(Element *element)
        : ConfigFileReadHeavyTask(element, testFamily, QStringLiteral("/etc/oxa-test.conf"))
    {
    }
};

/** A record that counts the live instances, so that a leak or a double delete shows. */
class CountedData : public ElementData
{
public:
    inline static int alive = 0;
    CountedData() { ++alive; }
    ~CountedData() override { --alive; }
};

/** A service module of the family above; remembers what its hooks were asked. */
class TestServiceModule : public ServiceModule
{
public:
    explicit TestServiceModule(bool lightOnElement = false, bool plainReload = false)
        : ServiceModule(QStringLiteral("ServiceTestModule"), nullptr,
                        QStringLiteral("ServiceServicesModule"), 2,
                        QStringLiteral("Service Test module")),
          m_lightOnElement(lightOnElement), m_plainReload(plainReload)
    {
        element = new CommonServiceElement(this, QStringLiteral("ServiceTest"),
                                           QStringLiteral("ServiceServices"), 2,
                                           QStringLiteral("Test"), QStringLiteral("Test service"));
        addElementAndWidget(element, nullptr);
        connectElementWidgets();
    }

    CommonServiceElement *element;
    Element *rootLightReadOn = nullptr;
    ViewEditElementWidget *widgetAsked = nullptr;

protected:
    AbstractTask *createRootLightRead(Element *first) override
    {
        rootLightReadOn = first;
        return new FamilyReadLightTask<testFamily>(first);
    }
    AbstractTask *createTask(Element *e, OperationType type, ElementData *) override
    {
        if (e->elementType() != QLatin1String("ServiceTest"))
            return nullptr;
        if (m_plainReload)
            return createFamilyTask<plainReloadFamily, TestHeavyTask>(e, type, m_lightOnElement);
        return createFamilyTask<testFamily, TestHeavyTask>(e, type, m_lightOnElement);
    }
    AbstractTask *createWidgetTask(ViewEditElementWidget *widget, OperationType,
                                   ElementData *) override
    {
        widgetAsked = widget;
        return nullptr;
    }

private:
    bool m_lightOnElement;
    bool m_plainReload;
};

/** A module below the service module: sees what the framework's base passes on. */
class ChildModule : public Module
{
public:
    ChildModule() : Module(QStringLiteral("ChildModule")) {}
    struct Call
    {
        ContextOperation *context;
        OperationType type;
        ElementData *data;
    };
    QList<Call> calls;
    void performOperation(ContextOperation *context, OperationType type, ElementData *data,
                          int n) override
    {
        calls.append({context, type, data});
        Module::performOperation(context, type, data, n);
    }
};

/** Stand-ins for the Services root element and another plug-in's element. */
Element *makeElement(const QString &type)
{
    auto *element = new Element(nullptr, &Module::isAdministratorHierarchy);
    element->setId(type);
    element->setElementType(type);
    return element;
}

const char callsFile[] = "/var/tmp/oxa-test.calls";

/// An init script that writes its arguments to callsFile and answers "running".
bool writeRecordingScript(TestHost &host)
{
    return host.writeScript(QString::fromLatin1(testFamily.initScript),
                            QStringLiteral("echo \"$@\" >> %1\nexit 0").arg(callsFile));
}

QStringList recordedCalls()
{
    QFile file(QString::fromLatin1(callsFile));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList descriptions(const QList<TaskReport> &reports)
{
    QStringList list;
    for (const TaskReport &report : reports)
        list << report.description;
    return list;
}

} // namespace

/**
 * The module dispatch and the task family every service plug-in is built from: which
 * operation in which context becomes which task, what reaches the framework's base, and the
 * command line each task of a family row runs.
 */
class TestServiceModule_ : public QObject
{
    Q_OBJECT

private slots:
    void moduleValues();
    void dispatch_data();
    void dispatch();
    void widgetContextAsksTheWidgetHook();
    void unusedRecordIsDeleted();
    void familyCommandLines_data();
    void familyCommandLines();
    void extraOperations_data();
    void extraOperations();
};

void TestServiceModule_::moduleValues()
{
    TestServiceModule module;
    QCOMPARE(module.objectName(), QStringLiteral("ServiceTestModule"));
    QCOMPARE(module.parentModuleName(), QStringLiteral("ServiceServicesModule"));
    QCOMPARE(module.level(), 2);
    QCOMPARE(module.flag(), false);
    QCOMPARE(module.getData(QStringLiteral("description")).toString(),
             QStringLiteral("Service Test module"));
    QCOMPARE(module.getData(QStringLiteral("administrator")).toBool(),
             Module::isAdministrator(&module));
    QCOMPARE(module.getData(QStringLiteral("paranoid")).toBool(), false);
    QCOMPARE(module.firstElement(), module.element);

    // The mail services' modules take their rights from the Mail group's module.
    ServiceModule below(QStringLiteral("ServiceBelowModule"), nullptr,
                        QStringLiteral("ServiceMailModule"), 3, QStringLiteral("below"),
                        ServiceModule::PluginFlag);
    QVERIFY(!below.moduleData().contains(QStringLiteral("administrator")));
    QCOMPARE(below.flag(), true);

    CommonServiceElement *e = module.element;
    QCOMPARE(e->id(), QStringLiteral("ServiceTest"));
    QCOMPARE(e->elementType(), QStringLiteral("ServiceTest"));
    QCOMPARE(e->parentId(), QStringLiteral("ServiceServices"));
    QCOMPARE(e->level(), 2);
    QCOMPARE(e->title(), QStringLiteral("Test"));
    QCOMPARE(e->caption(), QStringLiteral("Test service"));
    QVERIFY(e->serviceData());
}

void TestServiceModule_::dispatch_data()
{
    QTest::addColumn<QString>("contextType"); // element type of the context
    QTest::addColumn<int>("operation");
    QTest::addColumn<bool>("lightOnElement");
    QTest::addColumn<QStringList>("tasks");

    const QString root = QStringLiteral("ServiceServices");
    const QString own = QStringLiteral("ServiceTest");
    const QString other = QStringLiteral("ServiceOther");
    QTest::newRow("root light read")
        << root << int(OperationReadLight) << false << QStringList{"Read Test service state"};
    QTest::newRow("root heavy read") << root << int(OperationReadHeavy) << false << QStringList();
    QTest::newRow("root start") << root << int(OperationStart) << false << QStringList();
    QTest::newRow("own light read") << own << int(OperationReadLight) << false << QStringList();
    QTest::newRow("own light read, taken")
        << own << int(OperationReadLight) << true << QStringList{"Read Test service state"};
    QTest::newRow("own heavy read") << own << int(OperationReadHeavy) << false
                                    << QStringList{"Read Test service configuration"};
    // A control action reads the state, in the same task: nothing more.
    QTest::newRow("own start") << own << int(OperationStart) << false
                               << QStringList{"Start Test service"};
    QTest::newRow("own reload") << own << int(OperationReload) << false
                                << QStringList{"Reload Test service"};
    QTest::newRow("own update") << own << int(OperationUpdate) << false << QStringList();
    QTest::newRow("own clear cache") << own << int(OperationClearCache) << false << QStringList();
    QTest::newRow("other's heavy read")
        << other << int(OperationReadHeavy) << false << QStringList();
    QTest::newRow("other's light read")
        << other << int(OperationReadLight) << true << QStringList();
}

void TestServiceModule_::dispatch()
{
    QFETCH(QString, contextType);
    QFETCH(int, operation);
    QFETCH(bool, lightOnElement);
    QFETCH(QStringList, tasks);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(writeRecordingScript(host));
    QVERIFY(host.writeFile(QStringLiteral("/etc/oxa-test.conf"), "key = value\n"));

    TestServiceModule module(lightOnElement);
    ChildModule child;
    module.addChildModule(&child);
    QScopedPointer<Element> foreign(
        contextType == QLatin1String("ServiceTest") ? nullptr : makeElement(contextType));
    Element *context = foreign ? foreign.data() : module.element;

    TaskRunner runner;
    module.performOperation(context, OperationType(operation), nullptr, 0);
    QVERIFY(runner.waitForIdle());
    QCOMPARE(descriptions(runner.reports()), tasks);
    for (const TaskReport &report : runner.reports())
        QCOMPARE(report.status, TaskDescription::TaskStatusDone);
    if (contextType == QLatin1String("ServiceServices") && operation == OperationReadLight)
        QCOMPARE(module.rootLightReadOn, module.element);
    else
        QCOMPARE(module.rootLightReadOn, nullptr);

    // The framework's base passes every operation on, with the same context and no record.
    QVERIFY(!child.calls.isEmpty());
    QCOMPARE(child.calls.first().context, static_cast<ContextOperation *>(context));
    QCOMPARE(int(child.calls.first().type), operation);
    QCOMPARE(child.calls.first().data, nullptr);
}

void TestServiceModule_::widgetContextAsksTheWidgetHook()
{
    TestServiceModule module;
    ChildModule child;
    module.addChildModule(&child);
    ViewEditElementWidget widget(&module, &Module::isAdministratorHierarchy);
    TaskRunner runner;
    module.performOperation(&widget, OperationCreate, nullptr, 0);
    QVERIFY(runner.waitForIdle());
    QCOMPARE(module.widgetAsked, &widget);
    QVERIFY(runner.reports().isEmpty());
    QCOMPARE(child.calls.size(), 1);
    QCOMPARE(child.calls.first().context, static_cast<ContextOperation *>(&widget));
}

void TestServiceModule_::unusedRecordIsDeleted()
{
    TestServiceModule module;
    ChildModule child;
    module.addChildModule(&child);
    const int before = CountedData::alive;
    module.performOperation(module.element, OperationUpdate, new CountedData, 0);
    QCOMPARE(CountedData::alive, before);
    QCOMPARE(child.calls.first().data, nullptr);
}

void TestServiceModule_::familyCommandLines_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<bool>("plainReload");
    QTest::addColumn<QStringList>("calls");

    // A control action runs, then one state read: nothing more.
    QTest::newRow("light read") << int(OperationReadLight) << false << QStringList{"status"};
    QTest::newRow("start") << int(OperationStart) << false << QStringList{"start", "status"};
    QTest::newRow("stop") << int(OperationStop) << false << QStringList{"stop", "status"};
    QTest::newRow("restart") << int(OperationRestart) << false << QStringList{"restart", "status"};
    QTest::newRow("reload, own action")
        << int(OperationReload) << false << QStringList{"force-reload", "status"};
    QTest::newRow("reload, framework's action")
        << int(OperationReload) << true << QStringList{"reload", "status"};
}

void TestServiceModule_::familyCommandLines()
{
    QFETCH(int, operation);
    QFETCH(bool, plainReload);
    QFETCH(QStringList, calls);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(writeRecordingScript(host));
    QVERIFY(host.writeFile(QStringLiteral("/etc/oxa-test.conf"), "key = value\n"));

    TestServiceModule module(true, plainReload);
    TaskRunner runner;
    module.performOperation(module.element, OperationType(operation), nullptr, 0);
    QVERIFY(runner.waitForIdle());
    QCOMPARE(recordedCalls(), calls);
    QVERIFY(module.element->serviceData()->isStateKnown());
    QVERIFY(module.element->serviceData()->state());
}

void TestServiceModule_::extraOperations_data()
{
    QTest::addColumn<quint64>("always");
    QTest::addColumn<quint64>("whileRunning");
    QTest::addColumn<int>("state"); // -1 not read, 0 stopped, 1 running
    QTest::addColumn<quint64>("offered");

    QTest::newRow("plain, not read") << quint64(0) << quint64(0) << -1 << quint64(0x30);
    QTest::newRow("plain, running") << quint64(0) << quint64(0) << 1 << quint64(0x6030);
    QTest::newRow("plain, stopped") << quint64(0) << quint64(0) << 0 << quint64(0x1030);
    QTest::newRow("reload while running, running")
        << quint64(0) << quint64(OperationReload) << 1 << quint64(0xE030);
    QTest::newRow("reload while running, stopped")
        << quint64(0) << quint64(OperationReload) << 0 << quint64(0x1030);
    QTest::newRow("control always, not read")
        << quint64(OperationControl) << quint64(0) << -1 << quint64(0x10030);
    QTest::newRow("control always, running")
        << quint64(OperationControl) << quint64(0) << 1 << quint64(0x16030);
}

void TestServiceModule_::extraOperations()
{
    QFETCH(quint64, always);
    QFETCH(quint64, whileRunning);
    QFETCH(int, state);
    QFETCH(quint64, offered);

    Module module(QStringLiteral("ServiceTestModule"));
    module.setData(QStringLiteral("administrator"), true);
    CommonServiceElement element(&module, QStringLiteral("ServiceTest"),
                                 QStringLiteral("ServiceServices"), 2, QStringLiteral("Test"),
                                 QStringLiteral("Test"), always, whileRunning);
    if (state >= 0)
        element.serviceData()->setState(state == 1);
    QCOMPARE(element.availableOperations(), offered);
    module.setData(QStringLiteral("administrator"), false);
    QCOMPARE(element.availableOperations(), quint64(0x30));
}

OXA_TEST_MAIN(TestServiceModule_)
#include "tst_servicemodule.moc"
