// A service's package list as no package ships it: a file of 100 MB, one line of a
// megabyte, NUL bytes and names that are no text. Each name costs a dpkg-query run, so what a
// list can make the console run is bounded.

#include "packagestestfixture.h"
#include "servicepackageselement.h"
#include "servicepackagesheavyelementdata.h"
#include "servicepackagesmodule.h"
#include "servicepackagesreadheavytask.h"
#include "testhost.h"

#include <element.h>
#include <module.h>

#include <QTest>

#include <memory>

namespace {

const QString list =
    QStringLiteral("/usr/share/vell/data/oxa-service-packages-plugin/ServiceSamba");

} // namespace

class TestPackagesHostile : public QObject, protected PackagesFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void listsPastTheBounds_data();
    void listsPastTheBounds();
    void garbageAndNulBytes();

private:
    /// The packages element of a service element "ServiceSamba" titled "Samba".
    ServicePackagesElement *packages();
};

void TestPackagesHostile::init()
{
    setUpFixture();
}

void TestPackagesHostile::cleanup()
{
    tearDownFixture();
}

ServicePackagesElement *TestPackagesHostile::packages()
{
    return packagesUnder(QStringLiteral("ServiceSamba"), QStringLiteral("ServiceSamba"), nullptr,
                         QStringLiteral("Samba"));
}

void TestPackagesHostile::listsPastTheBounds_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("queried"); // packages that reached dpkg-query

    QByteArray huge("samba\n");
    huge.reserve(100 * 1024 * 1024 + 32);
    for (int i = 0; huge.size() < 100 * 1024 * 1024; ++i)
        huge += "!package-that-is-nowhere-" + QByteArray::number(i) + '\n';
    // Optional and unknown: left out of the table, but each was asked for.
    QTest::newRow("100 MB") << huge << 1;
    QTest::newRow("one line of a megabyte") << "samba\n" + QByteArray(1024 * 1024, 'x') << 1;
    QByteArray many;
    for (int i = 0; i <= ServicePackagesReadHeavyTask::maxPackages; ++i)
        many += "p" + QByteArray::number(i) + '\n';
    QTest::newRow("one package too many") << many << ServicePackagesReadHeavyTask::maxPackages;
    // Every alternative costs a run: samba, then 99 of the line's 100; "last" is not asked.
    QByteArray alternatives("samba\n");
    for (int i = 0; i < ServicePackagesReadHeavyTask::maxPackages; ++i)
        alternatives += "p" + QByteArray::number(i) + '|';
    QTest::newRow("alternatives count") << alternatives + "\nlast\n" << 2;
}

void TestPackagesHostile::listsPastTheBounds()
{
    QFETCH(QByteArray, content);
    QFETCH(int, queried);
    OXA_REQUIRE_TEST_HOST(*m_host);
    QVERIFY(m_host->installPackage(QStringLiteral("samba"), QStringLiteral("2:4.17.12")));
    QVERIFY(m_host->writeFile(list, content));
    content.clear();
    content.squeeze();

    ServicePackagesReadHeavyTask task(packages());
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusWarning);
    QVERIFY2(task.taskDescription().message().startsWith(
                 ServicePackagesReadHeavyTask::listCutMessage(list)),
             qPrintable(task.taskDescription().message().left(300)));
    const QMap<QString, QString> &found = task.record()->packages();
    QCOMPARE(found.size(), queried);
    if (found.contains(QStringLiteral("samba")))
        QCOMPARE(found.value(QStringLiteral("samba")), QStringLiteral("2:4.17.12"));
}

void TestPackagesHostile::garbageAndNulBytes()
{
    OXA_REQUIRE_TEST_HOST(*m_host);
    QVERIFY(m_host->installPackage(QStringLiteral("samba"), QStringLiteral("2:4.17.12")));
    static const char raw[] = "samba\n!\xff\xfe\n-v\n--help\nsmb*\n\0junk\nafter-nul\n";
    QVERIFY(m_host->writeFile(list, QByteArray(raw, sizeof(raw) - 1)));

    ServicePackagesReadHeavyTask task(packages());
    task.run();
    // Names that are options or patterns to dpkg-query find nothing installed; the list ends
    // at the NUL.
    QCOMPARE(task.status(), TaskDescription::TaskStatusWarning);
    const QMap<QString, QString> &found = task.record()->packages();
    QCOMPARE(found.value(QStringLiteral("samba")), QStringLiteral("2:4.17.12"));
    QVERIFY(!found.contains(QStringLiteral("after-nul")));
    QVERIFY(!task.taskDescription().message().contains(
        ServicePackagesReadHeavyTask::listCutMessage(list)));
}

OXA_TEST_MAIN(TestPackagesHostile)
#include "tst_packageshostile.moc"
