#ifdef OXA_CONSOLE_BATCH
#include "consolebatch.h"
#endif
#include "hostlayout.h"
#include "servicetarnplugin.h"
#include "servicetarntasks.h"
#include "tarnsimulation.h"
#include "taskrunner.h"
#include "testhost.h"

#include <element.h>
#include <elementdata.h>
#include <module.h>
#include <serviceelementwidget.h>
#include <treenode.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

namespace {

QStringList rows(const ServiceElementWidget *widget)
{
    QStringList list;
    for (const TreeNode *node : widget->treeRoot()->childNodes()) {
        const auto *conf = qobject_cast<const ConfTreeNode *>(node);
        list << (conf ? conf->name() + QLatin1Char('=') + conf->value() : QStringLiteral("?"));
    }
    return list;
}

const QStringList daemonRows{"SERVER_EXPORT_DIR=/srv/tarn/export",
                             "SERVER_ARCHIVE_DIR=/srv/tarn/archive", "SERVER_POLLING_PERIOD=60",
                             "SERVER_PROPAGATE_PERIOD=300", "TARND_LOG=/var/log/tarn/tarnd.log"};

} // namespace

/**
 * The directory service on the demo host (demo/): the plug-in in this process, and the
 * console in batch mode on the same host, as a newcomer sees it with demo/run-demo.
 */
class TestServiceTarnDemo : public QObject
{
    Q_OBJECT

private slots:
    void demoServer();
    void consoleBatch_data();
    void consoleBatch();
};

void TestServiceTarnDemo::demoServer()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QString error;
    QVERIFY2(HostLayout::apply(host, TarnSimulation::demoDirectory(), &error), qPrintable(error));

    ServiceTarnPlugin plugin;
    QVERIFY(plugin.isValid());
    Module *module = plugin.modules().at(0);
    module->addChildModule(plugin.modules().at(1));
    Element *server = module->firstElement();
    Element *daemon = plugin.modules().at(1)->firstElement();
    QCOMPARE(server->id(), QStringLiteral("ServiceTarnServer"));
    auto *widget =
        qobject_cast<ServiceElementWidget *>(server->elementWidget(ElementWidgetRoleView));
    auto *daemonWidget =
        qobject_cast<ServiceElementWidget *>(daemon->elementWidget(ElementWidgetRoleView));
    widget->setElement(server, ElementWidgetRoleView);
    daemonWidget->setElement(daemon, ElementWidgetRoleView);

    TaskRunner runner;
    server->performOperation(OperationReadHeavy, nullptr, 0);
    daemon->performOperation(OperationReadHeavy, nullptr, 0);
    QVERIFY(runner.waitForIdle());
    for (const TaskReport &report : runner.reports())
        QVERIFY2(report.status == TaskDescription::TaskStatusDone,
                 qPrintable(report.description + report.message));

    QCOMPARE(server->caption(), QStringLiteral("Tarn: server example.org"));
    QCOMPARE(server->availableOperations(), quint64(0x6038));
    // Every setting of the demo's report but the domain, which is the caption's.
    const QStringList shown = rows(widget);
    QCOMPARE(shown.size(), 20);
    QVERIFY(shown.contains(QStringLiteral("DESCRIPTION=Example Ltd. head office directory")));
    QVERIFY(shown.contains(QStringLiteral("SERVER_FS_KRB_MODES=krb5 krb5i krb5p")));
    QCOMPARE(rows(daemonWidget), daemonRows);
    QCOMPARE(daemon->availableOperations(), quint64(0x6030));

    // The controls change what the stand-ins answer.
    runner.clear();
    QVERIFY(server->isOperationAvailable(OperationStop));
    server->performOperation(OperationStop, nullptr, 0);
    QVERIFY(runner.waitForIdle());
    QVERIFY(!server->serviceData()->state());
    QCOMPARE(server->availableOperations(), quint64(0x1038));
    daemon->performOperation(OperationStop, nullptr, 0);
    QVERIFY(runner.waitForIdle());
    QCOMPARE(daemon->serviceData()->textState(), QStringLiteral("stopped"));
    for (const TaskReport &report : runner.reports())
        QVERIFY2(report.status == TaskDescription::TaskStatusDone,
                 qPrintable(report.description + report.message));
}

void TestServiceTarnDemo::consoleBatch_data()
{
    QTest::addColumn<bool>("server");
    QTest::newRow("server host") << true;
    QTest::newRow("client host") << false;
}

void TestServiceTarnDemo::consoleBatch()
{
#ifndef OXA_CONSOLE_BATCH
    QSKIP("the console is not built here");
#else
    QFETCH(bool, server);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QString error;
    QVERIFY2(HostLayout::apply(host, TarnSimulation::demoDirectory(), &error), qPrintable(error));
    TarnSimulation tarn(host);
    QVERIFY(tarn.setRole(server ? TarnSimulation::Server : TarnSimulation::Client));

    const ConsoleBatch console{
        {QStringLiteral(OXA_SERVICES_PLUGIN_FILE), QStringLiteral(OXA_TARN_PLUGIN_FILE)}};
    QVERIFY2(console.isValid(), qPrintable(console.errorString()));

    const QString id =
        server ? QStringLiteral("ServiceTarnServer") : QStringLiteral("ServiceTarnClient");
    QByteArray script = QStringLiteral("show %1\nperform stop %1\n").arg(id).toLatin1();
    if (server)
        script += "show ServiceTarnTarnd\nperform reload ServiceTarnServer\n";

    const ConsoleBatchResult run = console.run(script);
    QVERIFY2(run.ran, run.errors.constData());
    const QJsonObject &report = run.report;
    QVERIFY2(!report.isEmpty(), run.errors.constData());

    const QJsonArray tree = report.value(QStringLiteral("tree")).toArray();
    QString parent;
    const QJsonObject element = ConsoleBatch::elementById(tree, id, &parent);
    QCOMPARE(parent, QStringLiteral("ServiceServices"));
    QCOMPARE(element.value(QStringLiteral("caption")).toString(),
             server ? QStringLiteral("Tarn: server example.org") : QStringLiteral("Tarn: client "));
    // Stopped by the script: start is offered now.
    QCOMPARE(element.value(QStringLiteral("operations")).toString(), QStringLiteral("0x1038"));
    const QJsonObject daemon =
        ConsoleBatch::elementById(tree, QStringLiteral("ServiceTarnTarnd"), &parent);
    QCOMPARE(daemon.isEmpty(), !server);

    const QJsonArray widgets = report.value(QStringLiteral("widgets")).toArray();
    const QJsonObject shown = widgets.at(0).toObject();
    QCOMPARE(shown.value(QStringLiteral("class")).toString(),
             QStringLiteral("ServiceTarnElementWidget"));
    QCOMPARE(ConsoleBatch::widgetChild(shown, QStringLiteral("_stateLabel"))
                 .value(QStringLiteral("text"))
                 .toString(),
             QStringLiteral("<b>running</b>"));
    const QStringList settings =
        ConsoleBatch::pairTexts(ConsoleBatch::widgetChild(shown, QStringLiteral("_confTreeView")));
    if (server) {
        QCOMPARE(settings.size(), 20);
        QCOMPARE(settings.first(), QStringLiteral("ALLOWED_LOCAL_GROUPS=audio cdrom dialout "
                                                  "plugdev video")); // sorted by name
        // The directory element never offers reload: the console refuses the step.
        QCOMPARE(report.value(QStringLiteral("exitCode")).toInt(), 2);
        const QJsonObject last = report.value(QStringLiteral("steps")).toArray().last().toObject();
        QCOMPARE(last.value(QStringLiteral("step")).toString(),
                 QStringLiteral("perform reload ServiceTarnServer"));
        QCOMPARE(last.value(QStringLiteral("result")).toString(), QStringLiteral("error"));
        QCOMPARE(last.value(QStringLiteral("tasks")).toInt(), 0);
        const QJsonObject daemonShown = widgets.at(1).toObject();
        QCOMPARE(daemonShown.value(QStringLiteral("class")).toString(),
                 QStringLiteral("ServiceTarnTarndElementWidget"));
        QStringList sortedRows = daemonRows;
        sortedRows.sort();
        QCOMPARE(ConsoleBatch::pairTexts(
                     ConsoleBatch::widgetChild(daemonShown, QStringLiteral("_confTreeView"))),
                 sortedRows);
    } else {
        QVERIFY(settings.isEmpty());
        QCOMPARE(report.value(QStringLiteral("exitCode")).toInt(), 0);
    }
    for (const QJsonValue &value : report.value(QStringLiteral("tasks")).toArray()) {
        const QJsonObject task = value.toObject();
        QVERIFY2(task.value(QStringLiteral("status")).toInt() == 2,
                 qPrintable(task.value(QStringLiteral("message")).toString()));
    }
    QVERIFY(!tarn.isRunning(server ? QStringLiteral("server") : QStringLiteral("client")));
#endif
}

OXA_TEST_MAIN(TestServiceTarnDemo)
#include "tst_servicetarndemo.moc"
