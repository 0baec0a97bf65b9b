// The Apache plug-in on this machine: the version it reads from the installed package. What
// every plug-in shares (entry points, identity, package check, operations and their tasks) is
// in tst_pluginconformance.

#include "serviceapachemodule.h"
#include "serviceapacheplugin.h"
#include "testhost.h"

#include <element.h>
#include <module.h>

#include <QTest>

class TestServiceApachePlugin : public QObject
{
    Q_OBJECT

private slots:
    void versionOfTheInstalledPackage();
};

void TestServiceApachePlugin::versionOfTheInstalledPackage()
{
    TestHost host(TestHost::MachinePackageDatabase);
    OXA_REQUIRE_TEST_HOST(host);
    ServiceApachePlugin plugin;
    QCOMPARE(static_cast<Module *>(plugin.apacheModule()), plugin.modules().value(0));
    QVERIFY(plugin.isValid());
    const QString version = plugin.apacheModule()->getData(QStringLiteral("version")).toString();
    QCOMPARE(version, QStringLiteral("2.4"));
    QCOMPARE(plugin.apacheModule()->firstElement()->caption(),
             QStringLiteral("Apache HTTP server 2.4"));
}

OXA_TEST_MAIN(TestServiceApachePlugin)
#include "tst_serviceapacheplugin.moc"
