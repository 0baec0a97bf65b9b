#include "dovecottestfixture.h"
#include "servicetaskcheck.h"
#include "taskrunner.h"
#include "testhost.h"

#include <element.h>
#include <elementdata.h>
#include <module.h>
#include <taskmessages.h>
#include <treenode.h>

#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QStandardPaths>
#include <QTest>
#include <QTreeView>

namespace {

const QString script = QStringLiteral("/etc/init.d/dovecot");
const QString callsFile = QStringLiteral("/var/tmp/dovecot.calls");
const QString doveconfRan = QStringLiteral("/var/tmp/doveconf.ran");

} // namespace

/**
 * The Dovecot plug-in: identity, package check, operations and their tasks, and the heavy
 * read with the real doveconf and with one that misbehaves, as far as the widget.
 */
class TestServiceMailDovecot : public QObject
{
    Q_OBJECT

private slots:
    void identity();
    void packageCheck_data();
    void packageCheck();
    void availableOperations_data();
    void availableOperations();
    void operationsBecomeTasks_data();
    void operationsBecomeTasks();
    void heavyRead_data();
    void heavyRead();
    void realDoveconfReachesTheWidget();
};

void TestServiceMailDovecot::identity()
{
    Dovecot dovecot;
    QCOMPARE(dovecot.plugin.type(), 5);
    QCOMPARE(dovecot.plugin.name(), QStringLiteral("ServiceMailDovecotPlugin"));
    QCOMPARE(dovecot.plugin.description(), QStringLiteral("Service Dovecot plugin"));
    QCOMPARE(dovecot.plugin.requiredPackageNames(), QStringList{"dovecot-core"});
    QCOMPARE(dovecot.plugin.modules().size(), 1);

    Module *module = dovecot.module;
    QCOMPARE(module->objectName(), QStringLiteral("ServiceMailDovecotModule"));
    QCOMPARE(module->parentModuleName(), QStringLiteral("ServiceMailModule"));
    QCOMPARE(module->level(), 3);
    QCOMPARE(module->flag(), false);
    QCOMPARE(module->getData(QStringLiteral("description")).toString(),
             QStringLiteral("Service Mail Dovecot module"));
    // The right comes from the Mail group above.
    QVERIFY(!module->getData(QStringLiteral("administrator")).isValid());

    Element *element = dovecot.element;
    QCOMPARE(element->id(), QStringLiteral("ServiceMailDovecot"));
    QCOMPARE(element->elementType(), QStringLiteral("ServiceMailDovecot"));
    QCOMPARE(element->parentId(), QStringLiteral("ServiceMail"));
    QCOMPARE(element->level(), 3);
    QCOMPARE(element->title(), QStringLiteral("Dovecot"));
    QCOMPARE(element->caption(), QStringLiteral("Mail: Dovecot"));

    ServiceMailDovecotElementWidget *widget = dovecot.widget;
    QCOMPARE(widget->objectName(), QStringLiteral("ServiceMailDovecotElementWidget"));
    QCOMPARE(widget->windowTitle(), QStringLiteral("Dovecot"));
    QCOMPARE(widget->elementType(), QStringLiteral("ServiceMailDovecot"));
    QCOMPARE(widget->configTreeView()->objectName(), QStringLiteral("_confTreeView"));
    QVERIFY(widget->configTreeView()->isSortingEnabled());
    QVERIFY(qobject_cast<ConfRootTreeNode *>(widget->treeRoot()));
    QCOMPARE(widget->configGroupBox()->title(), QStringLiteral("Configuration"));
}

void TestServiceMailDovecot::packageCheck_data()
{
    QTest::addColumn<QString>("status"); // dpkg's status of dovecot-core; empty: unknown
    QTest::addColumn<bool>("valid");
    QTest::newRow("installed") << "install ok installed" << true;
    QTest::newRow("removed, configuration left") << "deinstall ok config-files" << false;
    QTest::newRow("unknown to dpkg") << QString() << false;
}

void TestServiceMailDovecot::packageCheck()
{
    QFETCH(QString, status);
    QFETCH(bool, valid);
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    if (!status.isEmpty())
        QVERIFY(host.installPackage(QStringLiteral("dovecot-core"),
                                    QStringLiteral("1:2.3.19.1+dfsg1-2.1"), status));
    QVERIFY(host.installPackage(QStringLiteral("dovecot-imapd"), QStringLiteral("1:2.3.19.1")));
    ServiceMailDovecotPlugin plugin;
    QCOMPARE(plugin.isValid(), valid);
}

void TestServiceMailDovecot::availableOperations_data()
{
    QTest::addColumn<bool>("administrator");
    QTest::addColumn<int>("state"); // -1 never read, 0 stopped, 1 running
    QTest::addColumn<quint64>("offered");

    QTest::newRow("administrator, not read") << true << -1 << quint64(0x30);
    QTest::newRow("administrator, running") << true << 1 << quint64(0xE030);
    QTest::newRow("administrator, stopped") << true << 0 << quint64(0x1030);
    QTest::newRow("no rights, running") << false << 1 << quint64(0x30);
}

void TestServiceMailDovecot::availableOperations()
{
    QFETCH(bool, administrator);
    QFETCH(int, state);
    QFETCH(quint64, offered);

    ServiceMailDovecotPlugin plugin;
    Module *module = plugin.modules().first();
    // The module sets no right of its own: it is looked up the hierarchy.
    module->setData(QStringLiteral("administrator"), administrator);
    Element *element = module->firstElement();
    if (state >= 0)
        element->serviceData()->setState(state == 1);
    QCOMPARE(element->availableOperations(), offered);
}

void TestServiceMailDovecot::operationsBecomeTasks_data()
{
    QTest::addColumn<bool>("onRoot"); // asked through the Services root, else on Dovecot
    QTest::addColumn<int>("operation");
    QTest::addColumn<QStringList>("tasks");
    QTest::addColumn<QStringList>("calls");

    const QString heavy = QStringLiteral("Read Dovecot service configuration");
    QTest::newRow("root light read")
        << true << int(OperationReadLight) << QStringList{"Read Dovecot service state"}
        << QStringList{"status"};
    QTest::newRow("root heavy read")
        << true << int(OperationReadHeavy) << QStringList() << QStringList();
    QTest::newRow("light read on Dovecot")
        << false << int(OperationReadLight) << QStringList{"Read Dovecot service state"}
        << QStringList{"status"};
    QTest::newRow("heavy read") << false << int(OperationReadHeavy) << QStringList{heavy}
                                << QStringList{"status"};
    QTest::newRow("start") << false << int(OperationStart) << QStringList{"Start Dovecot service"}
                           << QStringList{"start", "status"};
    QTest::newRow("stop") << false << int(OperationStop) << QStringList{"Stop Dovecot service"}
                          << QStringList{"stop", "status"};
    QTest::newRow("restart") << false << int(OperationRestart)
                             << QStringList{"Restart Dovecot service"}
                             << QStringList{"restart", "status"};
    QTest::newRow("reload") << false << int(OperationReload)
                            << QStringList{"Reload Dovecot service"}
                            << QStringList{"force-reload", "status"};
    QTest::newRow("update") << false << int(OperationUpdate) << QStringList() << QStringList();
    QTest::newRow("control") << false << int(OperationControl) << QStringList() << QStringList();
}

void TestServiceMailDovecot::operationsBecomeTasks()
{
    QFETCH(bool, onRoot);
    QFETCH(int, operation);
    QFETCH(QStringList, tasks);
    QFETCH(QStringList, calls);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeScript(script, QStringLiteral("echo \"$@\" >> %1").arg(callsFile)));
    QVERIFY(host.writeTool(QStringLiteral("doveconf"), QStringLiteral("echo 'ssl = yes'")));

    ServiceMailDovecotPlugin plugin;
    Module *module = plugin.modules().first();
    Element *dovecot = module->firstElement();
    TaskRunner runner;
    ServiceTaskCheck::perform(module, dovecot, onRoot, OperationType(operation));
    QVERIFY(runner.waitForIdle());
    QCOMPARE(ServiceTaskCheck::descriptions(runner.reports()), tasks);
    for (const TaskReport &report : runner.reports()) {
        QCOMPARE(report.status, TaskDescription::TaskStatusDone);
        QCOMPARE(report.elementId, QStringLiteral("ServiceMailDovecot"));
    }
    QCOMPARE(ServiceTaskCheck::recordedCalls(callsFile), calls);
}

void TestServiceMailDovecot::heavyRead_data()
{
    QTest::addColumn<QString>("status");   // what the init script does
    QTest::addColumn<QString>("doveconf"); // the stand-in doveconf's shell body
    QTest::addColumn<TaskDescription::TaskStatus>("taskStatus");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("running");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<bool>("doveconfRuns");

    // The stand-in notes its arguments: the read asks for every setting ("-a"), which
    // Dovecot 2.4 prints only when asked.
    const QString ran = QStringLiteral("printf '%s\\n' \"$@\" > %1; ").arg(doveconfRan);
    const QString output =
        ran + QStringLiteral("printf '# comment\\nprotocols = imap\\n"
                             "service imap {\\n  listen = *\\n}\\nssl = yes\\n'");
    QTest::newRow("running") << "exit 0" << output << TaskDescription::TaskStatusDone << QString()
                             << true << QStringList{"DOVECOT=", "protocols=imap", "ssl=yes"}
                             << true;
    QTest::newRow("stopped, exit 3")
        << "exit 3" << output << TaskDescription::TaskStatusDone << QString() << false
        << QStringList{"DOVECOT=", "protocols=imap", "ssl=yes"} << true;
    // Its exit code says nothing: an error that printed nothing is an empty configuration.
    QTest::newRow("doveconf fails silently")
        << "exit 0" << ran + QStringLiteral("exit 89") << TaskDescription::TaskStatusDone
        << QString() << true << QStringList{"DOVECOT="} << true;
    QTest::newRow("doveconf garbage")
        << "exit 0" << ran + QStringLiteral("printf '}}}\\n{{\\n=\\n= x\\n'")
        << TaskDescription::TaskStatusDone << QString() << true << QStringList{"DOVECOT="} << true;
    QTest::newRow("doveconf crashes")
        << "exit 0" << ran + QStringLiteral("ulimit -c 0; kill -SEGV $$")
        << TaskDescription::TaskStatusFailed
        << TaskMessages::notFinished(QStringLiteral("doveconf"), 1) << false << QStringList()
        << true;
    QTest::newRow("hanging init script")
        << "hang" << output << TaskDescription::TaskStatusFailed
        << TaskMessages::notFinished(script, 2) << false << QStringList() << false;
    QTest::newRow("crashing init script")
        << "crash" << output << TaskDescription::TaskStatusFailed
        << TaskMessages::notFinished(script, 1) << false << QStringList() << false;
}

void TestServiceMailDovecot::heavyRead()
{
    QFETCH(QString, status);
    QFETCH(QString, doveconf);
    QFETCH(TaskDescription::TaskStatus, taskStatus);
    QFETCH(QString, message);
    QFETCH(bool, running);
    QFETCH(QStringList, rows);
    QFETCH(bool, doveconfRuns);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(ServiceTaskCheck::writeInitScript(host, script, status));
    QVERIFY(host.writeTool(QStringLiteral("doveconf"), doveconf));

    Dovecot dovecot;
    const TaskReport report = dovecot.readHeavy();
    QCOMPARE(report.description, QStringLiteral("Read Dovecot service configuration"));
    QCOMPARE(report.status, taskStatus);
    QCOMPARE(report.message, message);
    QCOMPARE(QFile::exists(doveconfRan), doveconfRuns);
    if (doveconfRuns) {
        QFile arguments(doveconfRan);
        QVERIFY(arguments.open(QIODevice::ReadOnly));
        QCOMPARE(arguments.readAll(), QByteArray("-a\n"));
    }

    const ServiceLightElementData *light = dovecot.element->serviceData();
    if (taskStatus == TaskDescription::TaskStatusFailed) {
        // Nothing of a failed read reaches element or widget.
        QVERIFY(!light->isStateKnown());
        QCOMPARE(dovecot.widget->stateLabel()->text(), QStringLiteral("<b>undefined</b>"));
        QCOMPARE(dovecot.widget->treeRoot()->childCount(), 0);
        return;
    }
    QCOMPARE(light->state(), running);
    QCOMPARE(dovecot.widget->stateLabel()->text(),
             QStringLiteral("<b>%1</b>").arg(light->textState()));
    QCOMPARE(dovecot.rows(), rows);
    QVERIFY(dovecot.widget->isBlocked());
    QCOMPARE(dovecot.widget->configGroupBox()->title(), QStringLiteral("Configuration"));
    // The first row holds the full tree.
    const TreeNode *full = dovecot.widget->treeRoot()->child(0);
    QCOMPARE(full->childCount(), rows.size() == 1 ? 0 : 3);
}

void TestServiceMailDovecot::realDoveconfReachesTheWidget()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    if (QStandardPaths::findExecutable(QStringLiteral("doveconf")).isEmpty()) {
        if (TestHost::mustRun())
            QFAIL("doveconf is not installed (scripts/install-services installs dovecot-core)");
        QSKIP("doveconf is not installed");
    }
    QVERIFY(host.writeStatusScript(script, 0));
    // Settings of our own, where Debian's dovecot.conf includes them last; Dovecot 2.3 and
    // 2.4 print both as written here.
    QVERIFY(host.writeFile(QStringLiteral("/etc/dovecot/local.conf"),
                           "protocols = imap\nservice auth {\n  unix_listener auth-client {\n"
                           "    mode = 0660\n  }\n}\n"));

    Dovecot dovecot;
    QCOMPARE(dovecot.readHeavy().status, TaskDescription::TaskStatusDone);
    const QStringList first = dovecot.rows();
    QCOMPARE(first.value(0), QStringLiteral("DOVECOT="));
    QVERIFY2(first.contains(QStringLiteral("protocols=imap")), qPrintable(first.join(", ")));
    // The summary's chain comes where "service auth" comes in the output.
    const QList<TreeNode *> &top = dovecot.widget->treeRoot()->childNodes();
    const int auth = first.indexOf(QStringLiteral("service=auth"));
    QVERIFY(auth > 0);
    QCOMPARE(top.at(auth)->childCount(), 1);
    const TreeNode *listener = top.at(auth)->child(0);
    QCOMPARE(dovecotNodeText(listener), QStringLiteral("unix_listener=auth-client"));
    QStringList settings;
    for (const TreeNode *node : listener->childNodes())
        settings << dovecotNodeText(node);
    QVERIFY2(settings.contains(QStringLiteral("mode=0660")), qPrintable(settings.join(", ")));
    QVERIFY(dovecot.widget->treeRoot()->child(0)->childCount() > 100);

    // A second read replaces the tree: every row once.
    QCOMPARE(dovecot.readHeavy().status, TaskDescription::TaskStatusDone);
    QCOMPARE(dovecot.rows(), first);
    dovecot.module->setData(QStringLiteral("administrator"), true);
    QCOMPARE(dovecot.element->availableOperations(), quint64(0xE030));
}

OXA_TEST_MAIN(TestServiceMailDovecot)
#include "tst_servicemaildovecot.moc"
