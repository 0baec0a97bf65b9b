// The demo host's Apache: its layout read by the plug-in with the real apache2ctl, and its
// run directories kept out of the machine's /run.

#include "hostlayout.h"
#include "serviceapacheheavyelementdata.h"
#include "serviceapachemodule.h"
#include "serviceapacheplugin.h"
#include "serviceapachetasks.h"
#include "sitetreenodes.h"
#include "testhost.h"

#include <element.h>

#include <QFileInfo>
#include <QTest>

class TestServiceApacheDemo : public QObject
{
    Q_OBJECT

private slots:
    void demoShowsSitesAndHosts();
};

void TestServiceApacheDemo::demoShowsSitesAndHosts()
{
    const bool runDirBefore =
        TestHost::machinePathState(QStringLiteral("/run/apache2")) == TestHost::MachinePathExists;
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QString error;
    QVERIFY2(HostLayout::apply(host, QStringLiteral(OXA_DEMO_LAYOUT), &error), qPrintable(error));

    ServiceApachePlugin plugin;
    QVERIFY(plugin.isValid());
    Element *service = plugin.apacheModule()->firstElement();
    QCOMPARE(service->caption(), QStringLiteral("Apache HTTP server 2.4"));

    ServiceApacheReadHeavyTask task(service);
    task.run();
    QVERIFY2(task.status() == TaskDescription::TaskStatusDone,
             qPrintable(task.taskDescription().message()));
    ServiceApacheHeavyElementData *record = task.apacheRecord();
    QCOMPARE(record->textState(), ServiceLightElementData::runningText());
    QCOMPARE(record->checkedNames(),
             (QSet<QString>{"000-default.conf", "blog.conf", "intranet.conf", "shop.conf"}));
    QStringList hosts;
    for (TreeNode *node : record->data()) {
        if (auto *h = qobject_cast<HostTreeNode *>(node))
            hosts << QStringLiteral("%1 %2 %3").arg(h->name(), h->address(), h->parentId());
    }
    for (const char *expected :
         {"admin.example.org [::1]:8443 Site_intranet.conf",
          "def:intranet.example.org 127.0.0.1:8080 Site_intranet.conf",
          "wiki.example.org 127.0.0.1:8080 Site_intranet.conf",
          "shop.example.org *:80 Site_shop.conf", "blog.example.org *:80 Site_blog.conf",
          "undefined undefined Site_staging.conf"})
        QVERIFY2(hosts.contains(QLatin1String(expected)),
                 qPrintable(QLatin1String(expected) + " not in\n" + hosts.join('\n')));

    // apache2ctl made its directories in the demo's /var only.
    QVERIFY(QFileInfo::exists(QStringLiteral("/var/lib/vell-demo/apache2/run")));
    if (!runDirBefore)
        QCOMPARE(TestHost::machinePathState(QStringLiteral("/run/apache2")),
                 TestHost::MachinePathMissing);
}

OXA_TEST_MAIN(TestServiceApacheDemo)
#include "tst_serviceapachedemo.moc"
