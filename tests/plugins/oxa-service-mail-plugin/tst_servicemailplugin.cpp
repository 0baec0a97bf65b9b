#include "childprocess.h"
#include "servicemailelement.h"
#include "servicemailmodule.h"
#include "servicemailplugin.h"
#include "testhost.h"

#include <elementdata.h>

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
 * The Mail group: its element's flags, the operations it passes on to the services below it,
 * and its package check when dpkg-query misbehaves. What every plug-in shares (identity,
 * package check, operations) is in tst_pluginconformance.
 */
class TestServiceMailPlugin : public QObject
{
    Q_OBJECT

private slots:
    void specialFlags();
    void onlyTheLightReadGoesOn_data();
    void onlyTheLightReadGoesOn();
    void failedQueryCountsAsNotInstalled();
    void hangingQueryEndsTheCheck();
};

void TestServiceMailPlugin::specialFlags()
{
    ServiceMailPlugin plugin;
    QCOMPARE(plugin.mailModule(), plugin.modules().value(0));
    Element *mail = plugin.mailModule()->firstElement();
    QCOMPARE(mail->treeNodeSpecialFlags(), 1);
    ServiceElement exim(nullptr, &Module::isAdministratorHierarchy);
    mail->append(&exim);
    QCOMPARE(mail->treeNodeSpecialFlags(), 0);
    mail->take(&exim);
    QCOMPARE(mail->treeNodeSpecialFlags(), 1);
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
