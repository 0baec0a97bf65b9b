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
const QString doveconfRan = QStringLiteral("/var/tmp/doveconf.ran");

} // namespace

/**
 * The Dovecot plug-in's own parts: its widget's form, and the heavy read with the real doveconf
 * and with one that misbehaves, as far as the widget. What every plug-in shares (identity,
 * package check, operations and their tasks) is in tst_pluginconformance.
 */
class TestServiceMailDovecot : public QObject
{
    Q_OBJECT

private slots:
    void form();
    void heavyRead_data();
    void heavyRead();
    void realDoveconfReachesTheWidget();
};

void TestServiceMailDovecot::form()
{
    Dovecot dovecot;
    ServiceMailDovecotElementWidget *widget = dovecot.widget;
    QCOMPARE(widget->configTreeView()->objectName(), QStringLiteral("_confTreeView"));
    QVERIFY(widget->configTreeView()->isSortingEnabled());
    QVERIFY(qobject_cast<ConfRootTreeNode *>(widget->treeRoot()));
    QCOMPARE(widget->configGroupBox()->title(), QStringLiteral("Configuration"));
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
