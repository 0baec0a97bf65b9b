#include "childprocess.h"
#include "servicemailelement.h"
#include "servicemailmodule.h"
#include "servicemailplugin.h"
#include "testhost.h"

#include <elementdata.h>
#include <nodeselementwidget.h>

#include <QFile>
#include <QTest>

namespace {

/** A module below the Mail group (where Exim and Dovecot hang): records what reaches it. */
class MailServiceModule : public Module
{
public:
    MailServiceModule() : Module(QStringLiteral("ServiceMailEximModule")) {}
    QList<QPair<ContextOperation *, OperationType>> calls;
    void performOperation(ContextOperation *context, OperationType type, ElementData *data,
                          int n) override
    {
        calls.append({context, type});
        Module::performOperation(context, type, data, n);
    }
};

const char queriesFile[] = "/var/tmp/dpkg-query.calls";

} // namespace

/**
 * The Mail group: its plug-in, module, element and widget, and its validity, which depends
 * on two packages of which either may be unknown to dpkg.
 */
class TestServiceMailPlugin : public QObject
{
    Q_OBJECT

private slots:
    void identity();
    void specialFlags();
    void availableOperations_data();
    void availableOperations();
    void onlyTheLightReadGoesOn_data();
    void onlyTheLightReadGoesOn();
    void validity_data();
    void validity();
    void failedQueryCountsAsNotInstalled();
    void hangingQueryEndsTheCheck();
};

void TestServiceMailPlugin::identity()
{
    ServiceMailPlugin plugin;
    QCOMPARE(plugin.type(), 5);
    QCOMPARE(plugin.name(), QStringLiteral("ServiceMailPlugin"));
    QCOMPARE(plugin.description(), QStringLiteral("Service mail plugin - dummy"));
    QCOMPARE(plugin.requiredPackageNames(),
             QStringList({QStringLiteral("dovecot-core"), QStringLiteral("exim4-base")}));
    QCOMPARE(plugin.modules().size(), 1);

    Module *module = plugin.modules().first();
    QCOMPARE(plugin.mailModule(), module);
    QCOMPARE(module->objectName(), QStringLiteral("ServiceMailModule"));
    QCOMPARE(module->parent(), &plugin);
    QCOMPARE(module->parentModuleName(), QStringLiteral("ServiceServicesModule"));
    QCOMPARE(module->level(), 2);
    QCOMPARE(module->flag(), false);
    QCOMPARE(module->getData(QStringLiteral("description")).toString(),
             QStringLiteral("Service Mail module - dummy"));
    QCOMPARE(module->getData(QStringLiteral("administrator")).toBool(),
             Module::isAdministrator(module));

    QCOMPARE(module->elements().size(), 1);
    auto *element = qobject_cast<ServiceMailElement *>(module->firstElement());
    QVERIFY(element);
    QVERIFY(qobject_cast<ServiceElement *>(element));
    QCOMPARE(element->id(), QStringLiteral("ServiceMail"));
    QCOMPARE(element->elementType(), QStringLiteral("ServiceMail"));
    QCOMPARE(element->parentId(), QStringLiteral("ServiceServices"));
    QCOMPARE(element->level(), 2);
    QCOMPARE(element->title(), QStringLiteral("Mail"));
    QCOMPARE(element->caption(), QStringLiteral("Mail service"));

    QCOMPARE(module->elementWidgets().size(), 1);
    auto *widget = qobject_cast<NodesElementWidget *>(module->elementWidgets().first());
    QVERIFY(widget);
    QCOMPARE(widget->elementType(), QStringLiteral("ServiceMail"));
    QCOMPARE(widget->windowTitle(), QStringLiteral("Mail"));
    QCOMPARE(widget->module(), module);
    QVERIFY(!widget->parent());
    QCOMPARE(element->elementWidget(ElementWidgetRoleView), widget);
}

void TestServiceMailPlugin::specialFlags()
{
    ServiceMailPlugin plugin;
    Element *mail = plugin.modules().first()->firstElement();
    QCOMPARE(mail->treeNodeSpecialFlags(), 1);
    ServiceElement exim(nullptr, &Module::isAdministratorHierarchy);
    mail->append(&exim);
    QCOMPARE(mail->treeNodeSpecialFlags(), 0);
    mail->take(&exim);
    QCOMPARE(mail->treeNodeSpecialFlags(), 1);
}

void TestServiceMailPlugin::availableOperations_data()
{
    QTest::addColumn<bool>("administrator");
    QTest::addColumn<int>("state"); // -1 never read, 0 stopped, 1 running

    QTest::newRow("administrator, not read") << true << -1;
    QTest::newRow("administrator, running") << true << 1;
    QTest::newRow("administrator, stopped") << true << 0;
    QTest::newRow("no rights") << false << -1;
    QTest::newRow("no rights, running") << false << 1;
}

void TestServiceMailPlugin::availableOperations()
{
    QFETCH(bool, administrator);
    QFETCH(int, state);

    ServiceMailPlugin plugin;
    Module *module = plugin.modules().first();
    module->setData(QStringLiteral("administrator"), administrator);
    Element *mail = module->firstElement();
    if (state >= 0)
        mail->serviceData()->setState(state == 1);
    QCOMPARE(mail->availableOperations(), quint64(OperationReadLight));
}

void TestServiceMailPlugin::onlyTheLightReadGoesOn_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<bool>("passed");

    QTest::newRow("light read") << int(OperationReadLight) << true;
    QTest::newRow("heavy read") << int(OperationReadHeavy) << false;
    QTest::newRow("start") << int(OperationStart) << false;
    QTest::newRow("reload") << int(OperationReload) << false;
    QTest::newRow("create") << int(OperationCreate) << false;
}

void TestServiceMailPlugin::onlyTheLightReadGoesOn()
{
    QFETCH(int, operation);
    QFETCH(bool, passed);

    ServiceMailPlugin plugin;
    Module *module = plugin.modules().first();
    MailServiceModule below;
    module->addChildModule(&below);
    Element *mail = module->firstElement();
    mail->performOperation(OperationType(operation), nullptr, 0);
    if (!passed) {
        QVERIFY(below.calls.isEmpty());
        return;
    }
    // The group's module has no task of its own: the modules below get the Mail element.
    QCOMPARE(below.calls.size(), 1);
    QCOMPARE(below.calls.first().first, static_cast<ContextOperation *>(mail));
    QCOMPARE(below.calls.first().second, OperationType(operation));
}

void TestServiceMailPlugin::validity_data()
{
    // dpkg status of each package; empty: dpkg does not know the package at all
    QTest::addColumn<QString>("exim");
    QTest::addColumn<QString>("dovecot");
    QTest::addColumn<bool>("valid");

    const QString ii = QStringLiteral("install ok installed");
    const QString rc = QStringLiteral("deinstall ok config-files");
    const QString errorFlag = QStringLiteral("install reinstreq installed");
    const QString unknown;
    QTest::newRow("Exim only") << ii << unknown << true;
    QTest::newRow("Exim and Dovecot") << ii << ii << true;
    QTest::newRow("Exim removed (rc), Dovecot installed") << rc << ii << true;
    // A host that purged Exim for another mail transfer agent still shows Dovecot.
    QTest::newRow("Exim unknown, Dovecot installed") << unknown << ii << true;
    QTest::newRow("Exim installed, Dovecot unknown") << ii << unknown << true;
    QTest::newRow("Exim installed, Dovecot removed") << ii << rc << true;
    QTest::newRow("both removed") << rc << rc << false;
    QTest::newRow("Exim unknown, Dovecot removed") << unknown << rc << false;
    QTest::newRow("Exim removed, Dovecot unknown") << rc << unknown << false;
    QTest::newRow("both unknown") << unknown << unknown << false;
    QTest::newRow("error flags") << errorFlag << errorFlag << false;
}

void TestServiceMailPlugin::validity()
{
    QFETCH(QString, exim);
    QFETCH(QString, dovecot);
    QFETCH(bool, valid);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    // Companions that must not count for the group.
    QVERIFY(host.installPackage(QStringLiteral("exim4-config"), QStringLiteral("4.96-15")));
    QVERIFY(host.installPackage(QStringLiteral("dovecot-imapd"), QStringLiteral("1:2.3.19.1")));
    if (!exim.isEmpty())
        QVERIFY(host.installPackage(QStringLiteral("exim4-base"), QStringLiteral("4.96-15"), exim));
    if (!dovecot.isEmpty())
        QVERIFY(host.installPackage(QStringLiteral("dovecot-core"), QStringLiteral("1:2.3.19.1"),
                                    dovecot));
    ServiceMailPlugin plugin;
    QCOMPARE(plugin.isValid(), valid);
}

void TestServiceMailPlugin::failedQueryCountsAsNotInstalled()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    // The query about Exim crashes; the one about Dovecot answers.
    QVERIFY(host.writeTool(QStringLiteral("dpkg-query"),
                           QStringLiteral("case \"$3\" in\n"
                                          "exim4-base) ulimit -c 0; kill -s SEGV $$ ;;\n"
                                          "dovecot-core) echo 'ii dovecot-core' ;;\n"
                                          "esac")));
    ServiceMailPlugin plugin;
    QVERIFY(plugin.isValid());
}

void TestServiceMailPlugin::hangingQueryEndsTheCheck()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeTool(QStringLiteral("dpkg-query"),
                           QStringLiteral("echo \"$3\" >> %1\nexec /bin/sleep 1000")
                               .arg(QString::fromLatin1(queriesFile))));
    ChildProcess::setReadLimitMs(TestHost::ReadLimitMs);
    ServiceMailPlugin plugin;
    QVERIFY(!plugin.isValid());
    // Given up at the first read limit: the second package was not asked.
    QFile queries(QString::fromLatin1(queriesFile));
    QVERIFY(queries.open(QIODevice::ReadOnly));
    QCOMPARE(queries.readAll(), QByteArray("exim4-base\n"));
}

OXA_TEST_MAIN(TestServiceMailPlugin)
#include "tst_servicemailplugin.moc"
