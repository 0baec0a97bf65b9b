#include "childprocess.h"
#include "packagecheck.h"
#include "pluginbase.h"
#include "testhost.h"

#include <localhostconnection.h>
#include <packagequeries.h>

#include <QFileInfo>
#include <QRegularExpression>
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
    void questionsAskedTogether();
    void preparedQuestionsAnsweredOnce();

private:
    /// The host every check of the suite asks: this machine, inside the test host.
    LocalHostConnection local;
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
    const bool answered = PackageCheck::query(local, QStringLiteral("samba"), &lines);
    // dpkg-query answers with a non-zero exit for a package it does not know at all.
    QCOMPARE(answered, package == QLatin1String("samba") && !status.isEmpty());
    QCOMPARE(
        PackageCheck::isInstalled(local, QStringLiteral("samba"), QStringLiteral("ii\\ssamba")),
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
    QVERIFY(
        !PackageCheck::isInstalled(local, QStringLiteral("samba"), QStringLiteral("ii\\ssamba")));
}

void TestPackageCheck::hangingQueryIsNotValid()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeHangingScript(host.toolPath(QStringLiteral("dpkg-query"))));
    // Given up at the read limit (the script itself would sleep for 1000 s).
    ChildProcess::setReadLimitMs(TestHost::ReadLimitMs);
    QVERIFY(
        !PackageCheck::isInstalled(local, QStringLiteral("samba"), QStringLiteral("ii\\ssamba")));
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

namespace {
QString answer(const ProcessResult &result)
{
    return QStringLiteral("%1 %2 %3")
        .arg(result.finished)
        .arg(result.exitCode)
        .arg(result.outputLines().join(QLatin1Char('|')));
}

bool installSome(TestHost &host)
{
    return host.installPackage(QStringLiteral("samba"), QStringLiteral("2:4.17.12")) &&
           host.installPackage(QStringLiteral("samba-common"), QStringLiteral("2:4.17.12"),
                               QStringLiteral("deinstall ok config-files")) &&
           host.installPackage(QStringLiteral("cron"), QStringLiteral("3.0pl1-162")) &&
           host.installPackage(QStringLiteral("postgresql-15"), QStringLiteral("15.18")) &&
           host.installPackage(QStringLiteral("postgresql-16"), QStringLiteral("16.1"));
}

/// A dpkg-query that writes each run's arguments (one line a run) before the real one, kept
/// beside it, answers.
bool logRuns(TestHost &host, const QString &log)
{
    const QString real = QStringLiteral("/usr/bin/oxa-real-dpkg-query");
    if (!QFileInfo::exists(real)) {
        QFile binary(host.toolPath(QStringLiteral("dpkg-query")));
        if (!binary.open(QIODevice::ReadOnly) || !host.writeFile(real, binary.readAll(), 0755))
            return false;
    }
    return host.writeTool(QStringLiteral("dpkg-query"),
                          QStringLiteral("echo \"$*\" | tr '\\n' ' ' >> '%1'\necho >> '%1'\n"
                                         "exec %2 \"$@\"\n")
                              .arg(log, real));
}

QStringList runsIn(const QString &log)
{
    QFile file(log);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
} // namespace

void TestPackageCheck::questionsAskedTogether()
{
    // One run for several names or patterns; each gets what a run of its own says.
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(installSome(host));
    const QStringList packages{QStringLiteral("samba"),
                               QStringLiteral("samba-common"),
                               QStringLiteral("cron"),
                               QStringLiteral("not-here"),
                               QStringLiteral("postgresql-1?"),
                               QStringLiteral("samba"),
                               QStringLiteral("postgresql-[0123456789]*"),
                               QStringLiteral("cron:amd64")};
    const QStringList formats{
        PackageCheck::standardShowFormat(),
        QStringLiteral("--showformat=${db:Status-Abbrev}${binary:Package} ${Version}\n")};
    for (const QString &format : formats) {
        QStringList alone;
        for (const QString &package : packages)
            alone.append(answer(PackageCheck::run(local, package, format)));
        QVERIFY2(alone.at(4).contains(QLatin1String("ii postgresql-15")) &&
                     alone.at(4).contains(QLatin1String("ii postgresql-16")),
                 qPrintable(alone.at(4)));
        QCOMPARE(alone.at(3), QStringLiteral("1 1 "));
        const QString log =
            QStringLiteral("/var/tmp/oxa-together-%1.log").arg(formats.indexOf(format));
        QVERIFY(logRuns(host, log));
        QStringList together;
        for (const ProcessResult &result : PackageQueries::askTogether(packages, format))
            together.append(answer(result));
        QCOMPARE(together, alone);
        // One run for the names and patterns, one of its own for the qualified name.
        const QStringList runs = runsIn(log);
        QCOMPARE(runs.size(), 2);
        QCOMPARE(runs.filter(QStringLiteral("--show samba samba-common cron not-here "
                                            "postgresql-1? postgresql-[0123456789]* "))
                     .size(),
                 1);
        QCOMPARE(runs.filter(QRegularExpression(QStringLiteral("--show cron:amd64 $"))).size(), 1);
    }
    // A database that does not answer is every question's answer.
    QVERIFY(
        host.writeTool(QStringLiteral("dpkg-query"), QStringLiteral("echo broken >&2; exit 2")));
    const QList<ProcessResult> broken =
        PackageQueries::askTogether(packages, PackageCheck::standardShowFormat());
    QCOMPARE(broken.size(), packages.size());
    for (const ProcessResult &result : broken)
        QVERIFY(result.finished && result.exitCode == 2 && !result.succeeded());
}

void TestPackageCheck::preparedQuestionsAnsweredOnce()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(installSome(host));
    const QString log = QStringLiteral("/var/tmp/oxa-dpkg-query.log");
    QVERIFY(logRuns(host, log));
    // Two plug-ins prepare the same question, a third another; a name with an architecture
    // qualifier is not prepared.
    PackageCheck::prepare(QStringLiteral("samba"));
    PackageCheck::prepare(QStringLiteral("samba"));
    PackageCheck::prepare(QStringLiteral("cron"));
    PackageCheck::prepare(QStringLiteral("cron:amd64"));
    PackageQueries::start();
    QVERIFY(
        PackageCheck::isInstalled(local, QStringLiteral("samba"), QStringLiteral("ii\\ssamba")));
    QVERIFY(PackageCheck::isInstalled(local, QStringLiteral("cron"), QStringLiteral("ii\\scron")));
    QVERIFY(
        PackageCheck::isInstalled(local, QStringLiteral("samba"), QStringLiteral("ii\\ssamba")));
    QCOMPARE(runsIn(log).size(), 1);
    QVERIFY2(runsIn(log).first().endsWith(QLatin1String("--show samba cron ")),
             qPrintable(runsIn(log).first()));
    // Answered as often as prepared; then each question runs on its own again, and sees what
    // changed since.
    QVERIFY(host.removePackage(QStringLiteral("samba")));
    QVERIFY(
        !PackageCheck::isInstalled(local, QStringLiteral("samba"), QStringLiteral("ii\\ssamba")));
    PackageCheck::run(local, QStringLiteral("cron:amd64"));
    // What nobody asked for by the end of the checks is dropped, not given later.
    PackageCheck::prepare(QStringLiteral("cron"));
    PackageCheck::prepare(QStringLiteral("cron"));
    PackageQueries::start();
    QVERIFY(PackageCheck::isInstalled(local, QStringLiteral("cron"), QStringLiteral("ii\\scron")));
    PackageQueries::forget();
    QVERIFY(host.removePackage(QStringLiteral("cron")));
    QVERIFY(!PackageCheck::isInstalled(local, QStringLiteral("cron"), QStringLiteral("ii\\scron")));
    const QStringList runs = runsIn(log);
    QCOMPARE(runs.size(), 5);
    QVERIFY2(runs.at(1).endsWith(QLatin1String("--show samba ")), qPrintable(runs.at(1)));
    QVERIFY2(runs.at(2).endsWith(QLatin1String("--show cron:amd64 ")), qPrintable(runs.at(2)));
    QVERIFY2(runs.at(4).endsWith(QLatin1String("--show cron ")), qPrintable(runs.at(4)));
}

OXA_TEST_MAIN(TestPackageCheck)
#include "tst_packagecheck.moc"
