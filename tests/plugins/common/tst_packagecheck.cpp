#include "packagecheck.h"
#include "pluginbase.h"
#include "testhost.h"

#include <QTest>

/**
 * The package check behind every plug-in's isValid(): the line matching, and the real
 * dpkg-query answering from a disposable package database (or a stand-in that misbehaves).
 */
class TestPackageCheck : public QObject
{
    Q_OBJECT

private slots:
    void matchesLines_data();
    void matchesLines();
    void firstCapture_data();
    void firstCapture();

    void realPackageDatabase_data();
    void realPackageDatabase();
    void misbehavingQuery_data();
    void misbehavingQuery();
    void hangingQueryIsNotValid();

    void pluginCheck();
};

void TestPackageCheck::matchesLines_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("matches");

    const QString samba = QStringLiteral("ii\\ssamba");
    QTest::newRow("installed") << QStringList{"ii samba"} << samba << true;
    QTest::newRow("error flag") << QStringList{"iiRsamba"} << samba << false;
    QTest::newRow("removed, configuration left") << QStringList{"rc samba"} << samba << false;
    QTest::newRow("held") << QStringList{"hi samba"} << samba << false;
    QTest::newRow("second line") << QStringList{"un samba", "ii samba"} << samba << true;
    QTest::newRow("anywhere in the line") << QStringList{"xii samba:amd64"} << samba << true;
    QTest::newRow("case-sensitive") << QStringList{"II SAMBA"} << samba << false;
    QTest::newRow("no lines") << QStringList() << samba << false;
}

void TestPackageCheck::matchesLines()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, pattern);
    QFETCH(bool, matches);
    QCOMPARE(PackageCheck::anyLineMatches(lines, pattern), matches);
}

void TestPackageCheck::firstCapture_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("capture");

    const QString apache = QStringLiteral("ii\\sapache2\\s(\\d+\\.\\d+)");
    const QString pgsql = QStringLiteral("ii\\spostgresql-(\\d+\\.?\\d+)");
    QTest::newRow("version") << QStringList{"ii apache2 2.4.62-1~deb12u2"} << apache
                             << QStringLiteral("2.4");
    QTest::newRow("not installed")
        << QStringList{"rc apache2 2.4.62-1~deb12u2"} << apache << QString();
    QTest::newRow("first installed of several")
        << QStringList{"un postgresql-13", "ii postgresql-15", "ii postgresql-16"} << pgsql
        << QStringLiteral("15");
    QTest::newRow("empty capture skipped")
        << QStringList{"ii tool", "ii tool2"} << QStringLiteral("ii\\stool(\\d*)")
        << QStringLiteral("2");
}

void TestPackageCheck::firstCapture()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, pattern);
    QFETCH(QString, capture);
    QCOMPARE(PackageCheck::firstCaptureIn(lines, pattern), capture);
}

void TestPackageCheck::realPackageDatabase_data()
{
    QTest::addColumn<QString>("package");
    QTest::addColumn<QString>("status"); // empty: not in the database
    QTest::addColumn<bool>("installed");

    QTest::newRow("ii") << "samba"
                        << "install ok installed" << true;
    QTest::newRow("rc") << "samba"
                        << "deinstall ok config-files" << false;
    QTest::newRow("error flag") << "samba"
                                << "install reinstreq installed" << false;
    QTest::newRow("half-installed") << "samba"
                                    << "install ok half-installed" << false;
    QTest::newRow("held but installed") << "samba"
                                        << "hold ok installed" << false;
    QTest::newRow("unknown package") << "samba" << QString() << false;
    QTest::newRow("only a companion installed") << "samba-common"
                                                << "install ok installed" << false;
}

void TestPackageCheck::realPackageDatabase()
{
    QFETCH(QString, package);
    QFETCH(QString, status);
    QFETCH(bool, installed);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.installPackage(QStringLiteral("smbclient"), QStringLiteral("2:4.17.12")));
    if (!status.isEmpty())
        QVERIFY2(host.installPackage(package, QStringLiteral("2:4.17.12"), status),
                 qPrintable(host.errorString()));

    QStringList lines;
    const bool answered = PackageCheck::query(QStringLiteral("samba"), &lines);
    // dpkg-query answers with a non-zero exit for a package it does not know at all.
    QCOMPARE(answered, package == QLatin1String("samba") && !status.isEmpty());
    QCOMPARE(PackageCheck::isInstalled(QStringLiteral("samba"), QStringLiteral("ii\\ssamba")),
             installed);
}

void TestPackageCheck::misbehavingQuery_data()
{
    QTest::addColumn<QString>("tool");

    QTest::newRow("matching line, non-zero exit") << "echo 'ii samba'; exit 1";
    QTest::newRow("crash") << "echo 'ii samba'; ulimit -c 0; kill -s SEGV $$";
    QTest::newRow("NUL ends the output") << "printf 'xx\\000ii samba\\n'";
    QTest::newRow("garbage") << "head -c 4096 /dev/urandom | tr -d 'i'";
}

void TestPackageCheck::misbehavingQuery()
{
    QFETCH(QString, tool);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeTool(QStringLiteral("dpkg-query"), tool));
    QVERIFY(!PackageCheck::isInstalled(QStringLiteral("samba"), QStringLiteral("ii\\ssamba")));
}

void TestPackageCheck::hangingQueryIsNotValid()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeHangingScript(host.toolPath(QStringLiteral("dpkg-query"))));
    // Given up after the 30 s limit (the script itself would sleep for 1000 s).
    QVERIFY(!PackageCheck::isInstalled(QStringLiteral("samba"), QStringLiteral("ii\\ssamba")));
}

void TestPackageCheck::pluginCheck()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    ServicePlugin grouping(nullptr, 1, QStringLiteral("Grouping"), QStringLiteral("no package"));
    QVERIFY(grouping.isValid());
    QVERIFY(grouping.requiredPackageNames().isEmpty());

    ServicePlugin service(nullptr, 5, QStringLiteral("Service"), QStringLiteral("one package"),
                          QStringLiteral("samba"), QStringLiteral("ii\\ssamba"));
    QCOMPARE(service.type(), 5);
    QCOMPARE(service.requiredPackageNames(), QStringList{QStringLiteral("samba")});
    QVERIFY(!service.isValid());
    QVERIFY(host.installPackage(QStringLiteral("samba"), QStringLiteral("2:4.17.12")));
    QVERIFY(service.isValid());
    QVERIFY(host.removePackage(QStringLiteral("samba")));
    QVERIFY(!service.isValid()); // asked anew each time
}

OXA_TEST_MAIN(TestPackageCheck)
#include "tst_packagecheck.moc"
