#include "consolehost.h"
#include "hosttestenvironment.h"

#include <consoleregistry.h>
#include <element.h>
#include <elementdata.h>
#include <localhostconnection.h>
#include <module.h>
#include <plugin.h>
#include <taskobserver.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

/** Plug-in discovery, the interface check, the validity checks and the trees they build. */
class TestConsoleHost : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void discovery();
    void laterDirectoryIsShadowed();
    void invalidPluginAddsNothing_data();
    void invalidPluginAddsNothing();
    void placement();
    void checksRunAtOnce();
    void checksWhileLoading();
    void checksThatDoNotAnswer();
    void rootLightReadReachesEveryModule();
    void pluginsGoWithTheHost();
    void modulesReachTheHostsConnection();

private:
    static QStringList names(const QList<PluginRecord> &records);
    static QStringList childIds(TreeNode *node);
    static bool writeGarbage(const QString &path);
};

QStringList TestConsoleHost::names(const QList<PluginRecord> &records)
{
    QStringList out;
    for (const PluginRecord &record : records)
        out.append(record.plugin ? record.plugin->name() : QStringLiteral("(gone)"));
    return out;
}

QStringList TestConsoleHost::childIds(TreeNode *node)
{
    QStringList out;
    for (TreeNode *child : node->childNodes())
        out.append(child->id());
    return out;
}

bool TestConsoleHost::writeGarbage(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray bytes;
    for (int i = 0; i < 4096; ++i)
        bytes.append(char((i * 37 + 11) & 0xff));
    return file.write(bytes) == bytes.size();
}

void TestConsoleHost::init()
{
    qunsetenv("OXA_HOST_TEST_BARRIER_DIR");
    qunsetenv("OXA_HOST_TEST_BARRIER_COUNT");
    qunsetenv("OXA_HOST_TEST_BARRIER_WAIT_MS");
    qunsetenv("OXA_HOST_TEST_GAMMA_VALID");
}

void TestConsoleHost::cleanup()
{
    QVERIFY(TaskObserver::instance()->waitForIdle(60000));
}

void TestConsoleHost::discovery()
{
    QTemporaryDir extra;
    QVERIFY(extra.isValid());
    QVERIFY(writeGarbage(extra.filePath(QStringLiteral("libgarbage.so"))));
    // A sound shared library that is no plug-in at all.
    QVERIFY(QFile::copy(HostTestEnvironment::frameworkLibraryPath(),
                        extra.filePath(QStringLiteral("libplain.so"))));
    QFile readme(extra.filePath(QStringLiteral("README")));
    QVERIFY(readme.open(QIODevice::WriteOnly));
    readme.close();

    // The first case to load the libraries: none is loaded, nothing prepared yet.
    QVERIFY(qEnvironmentVariableIsEmpty("OXA_HOST_TEST_PREPARED"));
    ConsoleHost host;
    QSignalSpy issues(&host, &ConsoleHost::issueReported);
    host.loadPlugins({HostTestEnvironment::pluginDirectory(), extra.path(),
                      extra.filePath(QStringLiteral("missing"))});
    // Every library is loaded and its preparation started before the first object is made,
    // and only once.
    QCOMPARE(host.plugins().at(0).plugin->property("preparedBefore").toString(),
             QStringLiteral("gamma;"));

    // Ours, in file-name order; the other program's plug-in is ignored, not reported.
    QCOMPARE(names(host.plugins()),
             (QStringList{"TestAlphaPlugin", "TestBetaPlugin", "TestGammaPlugin"}));
    QCOMPARE(host.plugins().at(0).className, QStringLiteral("TestAlphaPlugin"));
    QCOMPARE(QFileInfo(host.plugins().at(0).file).fileName(),
             QStringLiteral("libtst-host-alpha-plugin.so"));

    const QList<PluginLoadIssue> reported = host.issues();
    QCOMPARE(reported.size(), 4);
    QCOMPARE(issues.count(), 4);
    QStringList files;
    for (const PluginLoadIssue &issue : reported) {
        files.append(QFileInfo(issue.file).fileName());
        QVERIFY(!issue.message.isEmpty());
    }
    // What cannot be loaded is said while the libraries are loaded, in search order; a library
    // whose object is no console plug-in when the objects are made, after every library.
    QCOMPARE(files, (QStringList{"libgarbage.so", "libplain.so", "missing",
                                 "libtst-host-notplugin-plugin.so"}));
    QVERIFY(reported.at(2).message.contains(QLatin1String("does not exist")));
    QVERIFY2(reported.at(3).message.contains(QLatin1String("TestImpostorPlugin")),
             qPrintable(reported.at(3).message));
    for (const PluginRecord &record : host.plugins())
        QVERIFY(!record.file.contains(QLatin1String("otheriid")));
}

void TestConsoleHost::laterDirectoryIsShadowed()
{
    // A broken file under a plug-in's name in a later directory is never looked at: the
    // first directory with that name wins.
    QTemporaryDir later;
    QVERIFY(writeGarbage(later.filePath(QStringLiteral("libtst-host-alpha-plugin.so"))));
    ConsoleHost host;
    host.loadPlugins({HostTestEnvironment::pluginDirectory(), later.path()});
    QCOMPARE(host.issues().size(), 1); // only the impostor
    QCOMPARE(names(host.plugins()).count(QStringLiteral("TestAlphaPlugin")), 1);

    // The other way round the broken one comes first, is reported, and the real one skipped.
    ConsoleHost second;
    second.loadPlugins({later.path(), HostTestEnvironment::pluginDirectory()});
    QVERIFY(!names(second.plugins()).contains(QStringLiteral("TestAlphaPlugin")));
    QCOMPARE(second.issues().size(), 2);
}

void TestConsoleHost::invalidPluginAddsNothing_data()
{
    QTest::addColumn<bool>("gammaValid");
    QTest::newRow("gamma invalid") << false;
    QTest::newRow("gamma valid") << true;
}

void TestConsoleHost::invalidPluginAddsNothing()
{
    QFETCH(bool, gammaValid);
    if (gammaValid)
        qputenv("OXA_HOST_TEST_GAMMA_VALID", "1");
    HostTestEnvironment environment;
    ConsoleHost host;
    host.loadPlugins({HostTestEnvironment::pluginDirectory()});
    QVERIFY(host.waitForChecks());
    host.build(false);
    ConsoleRegistry *registry = host.registry();

    const PluginRecord gamma = host.plugins().at(2);
    QCOMPARE(gamma.plugin->name(), QStringLiteral("TestGammaPlugin"));
    QVERIFY(gamma.checked);
    QCOMPARE(gamma.valid, gammaValid);
    QCOMPARE(registry->isValid(gamma.plugin), gammaValid);
    QCOMPARE(registry->module(QStringLiteral("TestGammaModule")) != nullptr, gammaValid);
    QCOMPARE(registry->findElement(QStringLiteral("TestGamma")) != nullptr, gammaValid);
    Element *root = registry->findElement(QStringLiteral("TestRoot"));
    QVERIFY(root);
    QCOMPARE(childIds(root).contains(QStringLiteral("TestGamma")), gammaValid);
    // Nor is an invalid plug-in's element merely hidden: it is not part of the console.
    for (Element *hidden : registry->hiddenElements())
        QVERIFY(hidden->id() != QLatin1String("TestGamma"));
}

void TestConsoleHost::placement()
{
    HostTestEnvironment environment;
    ConsoleHost host;
    host.loadPlugins({HostTestEnvironment::pluginDirectory()});
    QVERIFY(host.waitForChecks());
    host.build(false);
    ConsoleRegistry *registry = host.registry();

    // Elements by parent id, in load order among siblings.
    QCOMPARE(childIds(registry->elementRoot()), QStringList{"TestRoot"});
    Element *root = registry->findElement(QStringLiteral("TestRoot"));
    QCOMPARE(childIds(root), (QStringList{"TestService", "TestContainer"}));
    Element *service = registry->findElement(QStringLiteral("TestService"));
    // The supplement's element was attached under its parent element when the tree was built.
    QCOMPARE(service->childCount(), 2);
    QCOMPARE(service->child(0)->id(), QStringLiteral("TestSub"));
    auto *attached = qobject_cast<Element *>(service->child(1));
    QVERIFY(attached);
    QCOMPARE(attached->title(), QStringLiteral("Test service"));
    QCOMPARE(registry->resolve(QStringLiteral("TestService/Test service")), attached);
    QCOMPARE(registry->resolve(QStringLiteral("TestRoot/TestService/TestSub")),
             registry->findElement(QStringLiteral("TestSub")));
    QCOMPARE(registry->hiddenElements().size(), 1);
    QCOMPARE(registry->hiddenElements().first()->id(), QStringLiteral("TestOrphan"));

    // Modules by parent module name, across plug-ins.
    Module *rootModule = registry->module(QStringLiteral("TestRootModule"));
    Module *serviceModule = registry->module(QStringLiteral("TestServiceModule"));
    Module *subModule = registry->module(QStringLiteral("TestSubModule"));
    Module *betaModule = registry->module(QStringLiteral("TestBetaModule"));
    QVERIFY(rootModule && serviceModule && subModule && betaModule);
    QCOMPARE(registry->rootModules(), QList<Module *>{rootModule});
    Module *attachModule = registry->module(QStringLiteral("TestAttachModule"));
    QCOMPARE(rootModule->childModules(),
             (QList<Module *>{serviceModule, betaModule, attachModule}));
    QCOMPARE(subModule->parentModule(), serviceModule);
    QCOMPARE(registry->module(QStringLiteral("TestSupplementModule"))->parentModule(),
             serviceModule);
    QCOMPARE(betaModule->parentModule(), rootModule);
}

void TestConsoleHost::checksRunAtOnce()
{
    // Each plug-in's check waits until all three are inside their checks: one after the
    // other, the first would give up and count as invalid.
    QTemporaryDir barrier;
    qputenv("OXA_HOST_TEST_BARRIER_DIR", barrier.path().toLocal8Bit());
    qputenv("OXA_HOST_TEST_BARRIER_COUNT", "3");
    qputenv("OXA_HOST_TEST_GAMMA_VALID", "1");
    ConsoleHost host;
    host.loadPlugins({HostTestEnvironment::pluginDirectory()});
    QSignalSpy checked(&host, &ConsoleHost::pluginsChecked);
    host.checkPlugins();
    // The checks run behind the event loop: the caller is not held up.
    QVERIFY(host.isChecking());
    QCOMPARE(checked.count(), 0);
    QVERIFY(checked.wait(30000));
    QCOMPARE(checked.count(), 1);
    for (const PluginRecord &record : host.plugins())
        QVERIFY2(record.checked && record.valid, qPrintable(record.plugin->name()));
    QCOMPARE(QDir(barrier.path()).entryList(QDir::Files).size(), 3);
}

void TestConsoleHost::checksWhileLoading()
{
    // All three checks are inside isValid() at once, started by loadPlugins() alone.
    QTemporaryDir barrier;
    qputenv("OXA_HOST_TEST_BARRIER_DIR", barrier.path().toLocal8Bit());
    qputenv("OXA_HOST_TEST_BARRIER_COUNT", "3");
    ConsoleHost host;
    host.setCheckWhileLoading(true);
    host.loadPlugins({HostTestEnvironment::pluginDirectory()});
    QVERIFY(!host.isChecking() && !host.isChecked());
    QTRY_COMPARE_WITH_TIMEOUT(QDir(barrier.path()).entryList(QDir::Files).size(), 3, 30000);
    // The answers are kept until checkPlugins(), which then has nothing left to wait for.
    QTRY_VERIFY_WITH_TIMEOUT(std::all_of(host.plugins().cbegin(), host.plugins().cend(),
                                         [](const PluginRecord &record) { return record.checked; }),
                             30000);
    QSignalSpy checked(&host, &ConsoleHost::pluginsChecked);
    host.checkPlugins();
    QCOMPARE(checked.count(), 0); // still after the caller, as always
    QVERIFY(checked.wait(10000));
    QCOMPARE(checked.count(), 1);
    QVERIFY(host.isChecked());
    // The same answers as checks made afterwards: Gamma says it is not valid.
    QCOMPARE(names(host.plugins()),
             (QStringList{"TestAlphaPlugin", "TestBetaPlugin", "TestGammaPlugin"}));
    QVERIFY(host.plugins().at(0).valid);
    QVERIFY(host.plugins().at(1).valid);
    QVERIFY(!host.plugins().at(2).valid);
    host.build(false);
    QVERIFY(host.registry()->findElement(QStringLiteral("TestService")));
    QVERIFY(!host.registry()->findElement(QStringLiteral("TestGamma")));
}

void TestConsoleHost::checksThatDoNotAnswer()
{
    // Four are awaited, three come: every check blocks, and the host stops waiting.
    QTemporaryDir barrier;
    qputenv("OXA_HOST_TEST_BARRIER_DIR", barrier.path().toLocal8Bit());
    qputenv("OXA_HOST_TEST_BARRIER_COUNT", "4");
    qputenv("OXA_HOST_TEST_BARRIER_WAIT_MS", "3000");
    ConsoleHost host;
    host.setCheckTimeout(300);
    host.loadPlugins({HostTestEnvironment::pluginDirectory()});
    const int issuesBefore = host.issues().size();
    QVERIFY(host.waitForChecks());
    for (const PluginRecord &record : host.plugins()) {
        QVERIFY(record.checked);
        QVERIFY(!record.valid);
        QVERIFY(!record.checkError.isEmpty());
    }
    QCOMPARE(host.issues().size(), issuesBefore + 3);
    host.build(false);
    QCOMPARE(host.registry()->elementRoot()->childCount(), 0);
    // The late answers find the checks over and change nothing.
    QTest::qWait(3500);
    for (const PluginRecord &record : host.plugins())
        QVERIFY(!record.valid);
}

void TestConsoleHost::rootLightReadReachesEveryModule()
{
    HostTestEnvironment environment;
    qputenv("OXA_HOST_TEST_GAMMA_VALID", "0");
    ConsoleHost host;
    host.loadPlugins({HostTestEnvironment::pluginDirectory()});
    QVERIFY(host.waitForChecks());
    host.build(false);
    QVERIFY(TaskObserver::instance()->waitForIdle(30000));
    QSignalSpy finished(TaskObserver::instance(), &TaskObserver::taskFinished);
    Element *root = host.registry()->findElement(QStringLiteral("TestRoot"));
    QVERIFY(host.registry()->performOperation(root, OperationReadLight));
    QVERIFY(TaskObserver::instance()->waitForIdle(30000));
    QStringList elements;
    for (const QList<QVariant> &arguments : std::as_const(finished))
        elements.append(arguments.at(0).value<TaskReport>().elementId);
    elements.sort();
    // One task per module below the root, the level-3 module included; none for the
    // invalid plug-in's module.
    QCOMPARE(elements, (QStringList{"TestContainer", "TestService", "TestSub"}));
    // The light reads reached the elements.
    Element *service = host.registry()->findElement(QStringLiteral("TestService"));
    QVERIFY(service->serviceData()->isStateKnown());
    QCOMPARE(service->serviceData()->state(), false);
}

void TestConsoleHost::pluginsGoWithTheHost()
{
    QPointer<Plugin> alpha;
    QPointer<Element> service;
    {
        ConsoleHost host;
        host.loadPlugins({HostTestEnvironment::pluginDirectory()});
        QVERIFY(host.waitForChecks());
        host.build(false);
        alpha = host.plugins().first().plugin;
        service = host.registry()->findElement(QStringLiteral("TestService"));
        QVERIFY(alpha && service);
    }
    QVERIFY(!alpha);
    QVERIFY(!service);
}

void TestConsoleHost::modulesReachTheHostsConnection()
{
    const QSharedPointer<HostConnection> connection(new LocalHostConnection);
    ConsoleHost host(nullptr, connection);
    QCOMPARE(host.hostConnection(), connection);
    host.loadPlugins({HostTestEnvironment::pluginDirectory()});
    QVERIFY(host.waitForChecks());
    host.build(false);
    int modules = 0;
    for (const PluginRecord &record : host.plugins()) {
        for (Module *module : record.plugin->modules()) {
            QCOMPARE(module->hostConnection(), connection);
            ++modules;
        }
    }
    QVERIFY(modules > 0);
    // Without one given, the console serves the machine it runs on.
    ConsoleHost local;
    QVERIFY(local.hostConnection());
    QVERIFY(local.hostConnection() != connection);
}

QTEST_MAIN(TestConsoleHost)
#include "tst_consolehost.moc"
