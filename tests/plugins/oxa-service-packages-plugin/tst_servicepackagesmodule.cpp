#include "packagelist.h"
#include "packagetable.h"
#include "servicepackageselement.h"
#include "servicepackageselementwidget.h"
#include "servicepackagesheavyelementdata.h"
#include "servicepackagesmodule.h"
#include "servicepackagesplugin.h"
#include "taskrunner.h"
#include "testhost.h"

#include <consoleregistry.h>
#include <element.h>
#include <elementdata.h>
#include <module.h>
#include <plugin.h>

#include <QFile>
#include <QGridLayout>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>

#include <memory>

namespace {

const QString dataDirectory = QStringLiteral("/usr/share/vell/data/oxa-service-packages-plugin");
const QString readDescription =
    QStringLiteral("Read information about installed packages of service");

bool grantAccess(const Module *)
{
    return true;
}

/// The packages elements directly below @p node.
QList<ServicePackagesElement *> packagesBelow(const TreeNode *node)
{
    QList<ServicePackagesElement *> found;
    for (TreeNode *child : node->childNodes()) {
        if (auto *packages = qobject_cast<ServicePackagesElement *>(child))
            found.append(packages);
    }
    return found;
}

/**
 * Stand-ins for the service plug-ins the packages plug-in reaches into: modules and elements
 * with the published object names and ids, nothing more.
 */
class ServicesPlugin : public Plugin
{
public:
    ServicesPlugin()
    {
        root = element(module(QStringLiteral("ServiceServicesModule"), QString()),
                       QStringLiteral("ServiceServices"), QString(), QStringLiteral("Services"));
        samba =
            element(module(QStringLiteral("ServiceSambaModule")), QStringLiteral("ServiceSamba"),
                    QStringLiteral("ServiceServices"), QStringLiteral("Samba"));
        Module *mail = module(QStringLiteral("ServiceMailModule"));
        mailGroup = element(mail, QStringLiteral("ServiceMail"), QStringLiteral("ServiceServices"),
                            QStringLiteral("Mail"));
        exim = element(
            module(QStringLiteral("ServiceMailEximModule"), QStringLiteral("ServiceMailModule")),
            QStringLiteral("ServiceMailExim"), QStringLiteral("ServiceMail"),
            QStringLiteral("Exim"));
        Module *kerberos = module(QStringLiteral("ServiceKerberosModule"));
        kdc = element(kerberos, QStringLiteral("ServiceKerberosKdc"),
                      QStringLiteral("ServiceServices"), QStringLiteral("Kerberos KDC"));
        kadmin = element(kerberos, QStringLiteral("ServiceKerberosKadmin"),
                         QStringLiteral("ServiceKerberosKdc"), QStringLiteral("Kerberos Kadmin"));
        pgsql = module(QStringLiteral("ServicePgsqlModule"));
        clusters = element(pgsql, QStringLiteral("ServicePgsqlClusters"),
                           QStringLiteral("ServiceServices"), QStringLiteral("PostgreSQL"));
    }

    /// A database cluster as the PostgreSQL plug-in makes one at run time: no id, a type.
    Element *addCluster(const QString &name, const QString &version)
    {
        auto *cluster = new Element(pgsql, grantAccess);
        cluster->setElementType(QStringLiteral("ServicePgsqlCluster"));
        cluster->setTitle(QStringLiteral("%1-%2").arg(name, version));
        auto *record = new ElementData;
        record->setProperty(QStringLiteral("name"), name);
        record->setProperty(QStringLiteral("version"), version);
        cluster->setElementData(record);
        pgsql->appendElement(cluster);
        clusters->append(cluster);
        return cluster;
    }

    Element *root, *samba, *mailGroup, *exim, *kdc, *kadmin, *clusters;
    Module *pgsql;

private:
    Module *module(const QString &name,
                   const QString &parent = QStringLiteral("ServiceServicesModule"))
    {
        auto *m = new Module(name, this);
        m->setParentModuleName(parent);
        m->setData(QStringLiteral("administrator"), true);
        appendModule(m);
        return m;
    }
    Element *element(Module *m, const QString &id, const QString &parentId, const QString &title)
    {
        auto *e = new ServiceElement(m, grantAccess);
        e->setId(id);
        e->setElementType(id);
        e->setParentId(parentId);
        e->setTitle(title);
        m->appendElement(e);
        return e;
    }
};

} // namespace

/**
 * The plug-in at work in the console: the work module's attach, read and detach, the packages
 * element and the package table widget. What every plug-in shares (identity, among it the
 * supplement table) is in tst_pluginconformance.
 */
class TestServicePackagesModule : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void widgetForm();
    void attachUnderEveryServiceElement();
    void clusterMadeLaterGetsItsList();
    void attachIgnoresRootAndRepeats();
    void detachRemovesOnlyPackagesElements();
    void detachWhileReading();
    void widgetShowsTableAfterRead();
    void widgetShowsMarkupAsText();
    void widgetIgnoresOtherReads_data();
    void widgetIgnoresOtherReads();

private:
    /// Lays the shipped package lists onto the host.
    bool copyLists();

    std::unique_ptr<TestHost> m_host;
};

void TestServicePackagesModule::init()
{
    m_host = std::make_unique<TestHost>();
}

void TestServicePackagesModule::cleanup()
{
    TaskObserver::instance()->waitForIdle(60000);
    m_host.reset();
}

bool TestServicePackagesModule::copyLists()
{
    if (m_host->copyTree(QStringLiteral(OXA_PACKAGES_LISTS_DIR), dataDirectory))
        return true;
    qWarning("%s", qPrintable(m_host->errorString()));
    return false;
}

void TestServicePackagesModule::widgetForm()
{
    ServicePackagesModule module(nullptr);
    auto *widget = qobject_cast<ServicePackagesElementWidget *>(module.elementWidgets().first());
    QVERIFY(widget);
    QCOMPARE(widget->objectName(), QStringLiteral("ServicePackagesElementWidget"));
    QCOMPARE(widget->elementType(), QStringLiteral("ServicePackages"));
    QCOMPARE(widget->secondElementType(), ContextOperation::allElementType);
    QCOMPARE(widget->number(), 998);
    QCOMPARE(widget->size(), QSize(400, 300));
    QCOMPARE(widget->windowTitle(), QStringLiteral("Packages"));
    QVERIFY(!widget->parent());
    auto *grid = qobject_cast<QGridLayout *>(widget->layout());
    QVERIFY(grid);
    QCOMPARE(grid->objectName(), QStringLiteral("gridLayout"));
    auto *edit = widget->findChild<QTextEdit *>(QStringLiteral("_packagesTextEdit"));
    QVERIFY(edit);
    QCOMPARE(widget->packagesTextEdit(), edit);
    QVERIFY(edit->isReadOnly());
    int row, column, rowSpan, columnSpan;
    grid->getItemPosition(grid->indexOf(edit), &row, &column, &rowSpan, &columnSpan);
    QCOMPARE(QList<int>({row, column, rowSpan, columnSpan}), QList<int>({0, 0, 1, 1}));
    QCOMPARE(edit->document()->blockCount(), 1);
    QCOMPARE(edit->toPlainText(), QString());
    // The empty paragraph keeps its own font (the body's is merged into it, then overridden).
    QVERIFY(edit->toHtml().contains(QLatin1String("font-family:'Sans Serif'; font-size:9pt;")));
}

void TestServicePackagesModule::attachUnderEveryServiceElement()
{
    OXA_REQUIRE_TEST_HOST(*m_host);
    QVERIFY(copyLists());
    // Samba's required packages installed: its read ends without a warning.
    QFile list(QStringLiteral(OXA_PACKAGES_LISTS_DIR "/ServiceSamba"));
    QVERIFY(list.open(QIODevice::ReadOnly));
    for (const PackageList::Entry &entry :
         PackageList::parse(QString::fromLocal8Bit(list.readAll()))) {
        if (!entry.optional)
            QVERIFY(
                m_host->installPackage(entry.alternatives.first(), QStringLiteral("2:4.17.12")));
    }

    TaskRunner runner;
    ServicesPlugin *services = new ServicesPlugin;
    ServicePackagesPlugin *packages = new ServicePackagesPlugin;
    Element *cluster = services->addCluster(QStringLiteral("main"), QStringLiteral("15"));
    {
        ConsoleRegistry registry;
        registry.addPlugin(services, true);
        registry.addPlugin(packages, true);
        registry.build();

        for (Element *service : {services->samba, services->exim, services->kdc, cluster}) {
            const QList<ServicePackagesElement *> below = packagesBelow(service);
            QCOMPARE(below.size(), 1);
            QCOMPARE(below.first()->title(), service->title());
            QCOMPARE(below.first()->caption(),
                     QStringLiteral("Package list of service: %1").arg(service->caption()));
            QCOMPARE(below.first()->elementType(), QStringLiteral("ServicePackages"));
            QCOMPARE(below.first()->availableOperations(), OperationTypes(OperationReadHeavy));
        }
        for (Element *other :
             {services->root, services->mailGroup, services->kadmin, services->clusters})
            QVERIFY(packagesBelow(other).isEmpty());
        QCOMPARE(registry.resolve(QStringLiteral("ServiceSamba/Samba")),
                 packagesBelow(services->samba).first());
        QCOMPARE(registry.resolve(QStringLiteral("main-15/main-15")),
                 packagesBelow(cluster).first());

        // Each attach read its list.
        QVERIFY(runner.waitForIdle());
        QMap<QString, int> statusByElement;
        for (const TaskReport &report : runner.reports()) {
            QCOMPARE(report.description, readDescription);
            statusByElement.insert(report.elementId, report.status);
        }
        QCOMPARE(runner.reports().size(), 4);
        QCOMPARE(statusByElement.value(QStringLiteral("Samba")), 2);
        QCOMPARE(statusByElement.value(QStringLiteral("Exim")), 3);
        QCOMPARE(statusByElement.value(QStringLiteral("main-15")), 3);

        registry.detachSupplements();
        for (Element *service : {services->samba, services->exim, services->kdc, cluster})
            QVERIFY(packagesBelow(service).isEmpty());
        QVERIFY(packages->modules().first()->elements().isEmpty());
    }
    delete packages;
    delete services;
}

void TestServicePackagesModule::clusterMadeLaterGetsItsList()
{
    OXA_REQUIRE_TEST_HOST(*m_host);
    QVERIFY(copyLists());
    QVERIFY(m_host->installPackage(QStringLiteral("postgresql-13"), QStringLiteral("13.16-0")));
    TaskRunner runner;
    auto services = std::make_unique<ServicesPlugin>();
    auto packages = std::make_unique<ServicePackagesPlugin>();
    ConsoleRegistry registry;
    registry.addPlugin(services.get(), true);
    registry.addPlugin(packages.get(), true);
    registry.build();
    QVERIFY(runner.waitForIdle());
    runner.clear();

    Element *cluster = services->addCluster(QStringLiteral("old"), QStringLiteral("13"));
    QTRY_COMPARE(packagesBelow(cluster).size(), 1);
    QVERIFY(runner.waitForIdle());
    QCOMPARE(runner.reports().size(), 1);
    QCOMPARE(runner.reports().first().elementId, QStringLiteral("old-13"));
    QCOMPARE(runner.reports().first().status,
             TaskDescription::TaskStatusWarning); // the common packages are missing
    QVERIFY(!runner.reports().first().message.contains(QLatin1String("postgresql-13\n")));
    QVERIFY(runner.reports().first().message.contains(QLatin1String("    postgresql-common\n")));
    // No release ships 13: its client, unknown to dpkg here, is optional.
    QVERIFY(!runner.reports().first().message.contains(QLatin1String("postgresql-client-13")));

    // A cluster element that is replaced takes its packages element with it.
    const int before = packages->modules().first()->elements().size();
    QPointer<ServicePackagesElement> below(packagesBelow(cluster).first());
    delete cluster;
    QVERIFY(!below);
    QCOMPARE(packages->modules().first()->elements().size(), before - 1);
    registry.detachSupplements();
}

void TestServicePackagesModule::attachIgnoresRootAndRepeats()
{
    OXA_REQUIRE_TEST_HOST(*m_host);
    QVERIFY(copyLists());
    TaskRunner runner;
    ServicesPlugin services;
    ServicePackagesModule module(nullptr);

    module.performOperation(services.root, OperationAttach, nullptr, 0);
    QVERIFY(packagesBelow(services.root).isEmpty());
    QVERIFY(module.elements().isEmpty());

    module.performOperation(services.samba, OperationAttach, nullptr, 0);
    module.performOperation(services.samba, OperationAttach, nullptr, 0);
    QCOMPARE(packagesBelow(services.samba).size(), 1);
    QCOMPARE(module.elements().size(), 1);

    // Other operations on a service element change nothing.
    for (OperationType type : {OperationReadHeavy, OperationReadLight, OperationDetach})
        module.performOperation(services.samba, type, nullptr, 0);
    QCOMPARE(packagesBelow(services.samba).size(), 1);
    QVERIFY(runner.waitForIdle());
    QCOMPARE(runner.reports().size(), 1);
    QCOMPARE(runner.reports().first().description, readDescription);
}

void TestServicePackagesModule::detachRemovesOnlyPackagesElements()
{
    OXA_REQUIRE_TEST_HOST(*m_host);
    QVERIFY(copyLists());
    TaskRunner runner;
    ServicesPlugin services;
    auto module = std::make_unique<ServicePackagesModule>(nullptr);
    // A module hung below the work module sees the detach while the element still lives.
    QList<QString> seen;
    struct Child : Module
    {
        QList<QString> *seen;
        Child(QList<QString> *s) : Module(QStringLiteral("Child")), seen(s) {}
        void performOperation(ContextOperation *context, OperationType type, ElementData *,
                              int) override
        {
            if (type == OperationDetach)
                seen->append(context->elementContext()->title());
        }
    } child(&seen);
    module->addChildModule(&child);

    module->performOperation(services.samba, OperationAttach, nullptr, 0);
    QVERIFY(runner.waitForIdle());
    ServicePackagesElement *packages = packagesBelow(services.samba).first();
    QPointer<ServicePackagesElement> guard(packages);

    module->performOperation(services.samba, OperationDetach, nullptr, 0);
    QVERIFY(guard);
    module->performOperation(packages, OperationDetach, nullptr, 0);
    QVERIFY(!guard);
    QVERIFY(packagesBelow(services.samba).isEmpty());
    QCOMPARE(seen, QList<QString>({QStringLiteral("Samba"), QStringLiteral("Samba")}));
    module->removeChildModule(&child);
}

void TestServicePackagesModule::detachWhileReading()
{
    OXA_REQUIRE_TEST_HOST(*m_host);
    QVERIFY(copyLists());
    TaskRunner runner;
    ServicesPlugin services;
    ServicePackagesModule module(nullptr);
    auto *widget = module.elementWidgets().first();
    module.performOperation(services.samba, OperationAttach, nullptr, 0);
    ServicePackagesElement *packages = packagesBelow(services.samba).first();
    widget->setElement(packages, ElementWidgetRoleView);
    QSignalSpy reads(widget, &ViewEditElementWidget::contentRead);
    // The read is queued or running: the element goes before it ends.
    module.performOperation(packages, OperationDetach, nullptr, 0);
    QVERIFY(runner.waitForIdle());
    QCOMPARE(reads.count(), 0);
    QVERIFY(packagesBelow(services.samba).isEmpty());
}

void TestServicePackagesModule::widgetShowsTableAfterRead()
{
    OXA_REQUIRE_TEST_HOST(*m_host);
    QVERIFY(m_host->writeFile(dataDirectory + QStringLiteral("/ServiceSamba"),
                              "samba\nsmbclient\n!winbind\nsamba-common\n"));
    QVERIFY(m_host->installPackage(QStringLiteral("samba"), QStringLiteral("2:4.17.12")));
    QVERIFY(m_host->installPackage(QStringLiteral("samba-common"), QStringLiteral("2:4.17.12")));
    QVERIFY(m_host->removePackage(QStringLiteral("samba-common")));
    TaskRunner runner;
    ServicesPlugin services;
    ServicePackagesModule module(nullptr);
    module.performOperation(services.samba, OperationAttach, nullptr, 0);
    QVERIFY(runner.waitForIdle());
    ServicePackagesElement *packages = packagesBelow(services.samba).first();

    auto *widget = qobject_cast<ServicePackagesElementWidget *>(module.elementWidgets().first());
    widget->setElement(packages, ElementWidgetRoleView);
    QVERIFY(!widget->isBlocked());
    runner.clear();
    packages->performOperation(OperationReadHeavy, nullptr, 0);
    QVERIFY(runner.waitForIdle());
    QCOMPARE(runner.reports().size(), 1);
    QCOMPARE(runner.reports().first().status, TaskDescription::TaskStatusWarning);
    QCOMPARE(runner.reports().first().message,
             QStringLiteral("Found not installed packages: \n\n    smbclient\n    samba-common\n"));
    QVERIFY(widget->isBlocked());
    const QList<QStringList> expected = {
        {QStringLiteral("Package Name"), QStringLiteral("Version")},
        {QStringLiteral("samba"), QStringLiteral("2:4.17.12")},
        {QStringLiteral("samba-common"), QStringLiteral("not installed")},
        {QStringLiteral("smbclient"), QStringLiteral("unknown package")},
    };
    QCOMPARE(tableCells(widget->packagesTextEdit()->toHtml()), expected);
}

void TestServicePackagesModule::widgetShowsMarkupAsText()
{
    ServicesPlugin services;
    ServicePackagesModule module(nullptr);
    auto *packages = new ServicePackagesElement(&module);
    module.appendElement(packages);
    services.samba->append(packages);
    auto *widget = qobject_cast<ServicePackagesElementWidget *>(module.elementWidgets().first());
    widget->setElement(packages, ElementWidgetRoleView);

    ServicePackagesHeavyElementData record;
    record.packages().insert(QStringLiteral("a<b>&amp;"), QStringLiteral("1.0 & <i>2</i>"));
    widget->afterSuccessfulRead(packages, &record);
    const QString html = widget->packagesTextEdit()->toHtml();
    QVERIFY(!html.contains(QLatin1String("<b>")));
    QVERIFY(!html.contains(QLatin1String("<i>")));
    const QList<QStringList> expected = {
        {QStringLiteral("Package Name"), QStringLiteral("Version")},
        {QStringLiteral("a<b>&amp;"), QStringLiteral("1.0 & <i>2</i>")},
    };
    QCOMPARE(tableCells(html), expected);
}

void TestServicePackagesModule::widgetIgnoresOtherReads_data()
{
    QTest::addColumn<int>("which"); // 0 other element, 1 creation role, 2 no data, 3 plain data,
                                    // 4 a service state without packages
    QTest::addColumn<bool>("passedOn");
    QTest::newRow("another element") << 0 << false;
    QTest::newRow("creation role") << 1 << false;
    QTest::newRow("no record") << 2 << false;
    QTest::newRow("record without state") << 3 << false;
    QTest::newRow("state without packages") << 4 << true;
}

void TestServicePackagesModule::widgetIgnoresOtherReads()
{
    QFETCH(int, which);
    QFETCH(bool, passedOn);
    ServicesPlugin services;
    ServicePackagesModule module(nullptr);
    auto *packages = new ServicePackagesElement(&module);
    module.appendElement(packages);
    services.samba->append(packages);
    auto *widget = qobject_cast<ServicePackagesElementWidget *>(module.elementWidgets().first());
    widget->setElement(packages, which == 1 ? ElementWidgetRoleCreate : ElementWidgetRoleView);
    const QString before = widget->packagesTextEdit()->toHtml();
    QSignalSpy reads(widget, &ViewEditElementWidget::contentRead);

    ServicePackagesHeavyElementData full;
    full.packages().insert(QStringLiteral("samba"), QStringLiteral("1"));
    ElementData plain;
    ServiceLightElementData light;
    Element *element = which == 0 ? services.samba : packages;
    ElementData *data = &full;
    if (which == 2)
        data = nullptr;
    else if (which == 3)
        data = &plain;
    else if (which == 4)
        data = &light;
    widget->afterSuccessfulRead(element, data);

    QCOMPARE(widget->packagesTextEdit()->toHtml(), before);
    QCOMPARE(reads.count(), passedOn ? 1 : 0);
    QCOMPARE(widget->isBlocked(), passedOn);
}

OXA_TEST_MAIN(TestServicePackagesModule)
#include "tst_servicepackagesmodule.moc"
