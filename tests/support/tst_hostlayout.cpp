#include "hostlayout.h"
#include "testhost.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments, QIODevice::ReadOnly);
    if (!process.waitForFinished(30000))
        process.kill();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

Run dpkgStatus(const QString &package)
{
    return run(QStringLiteral("dpkg-query"),
               {QStringLiteral("--showformat=${db:Status-Abbrev}${binary:Package} ${Version}\n"),
                QStringLiteral("--show"), package});
}

bool put(const QString &path, const QByteArray &content, int mode = 0644)
{
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return false;
    file.close();
    return chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0;
}

} // namespace

/** Checks host layouts (root/, packages, bin/) and the repository's demo host. */
class TestHostLayout : public QObject
{
    Q_OBJECT

private slots:
    void parsesPackages_data();
    void parsesPackages();
    void rejectsBadPackageLines_data();
    void rejectsBadPackageLines();
    void appliesEveryPart();
    void reportsWhereLayoutIsWrong_data();
    void reportsWhereLayoutIsWrong();
    void demoHostShowsSamba();
};

void TestHostLayout::parsesPackages_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("expected"); // name|version|status|line

    QTest::newRow("empty") << QByteArray() << QStringList();
    QTest::newRow("comments and blanks")
        << QByteArray("# list\n\n   \n# samba 1\n") << QStringList();
    QTest::newRow("installed") << QByteArray("samba 2:4.17.12+dfsg-0+deb12u4\n")
                               << QStringList{QStringLiteral(
                                      "samba|2:4.17.12+dfsg-0+deb12u4|install ok installed|1")};
    QTest::newRow("other status, tabs, comment after")
        << QByteArray("\n\tcups  2.4.2-3\tdeinstall ok   config-files  # removed\n")
        << QStringList{QStringLiteral("cups|2.4.2-3|deinstall ok config-files|2")};
    QTest::newRow("several, no final newline")
        << QByteArray("a 1\r\nb 2 hold ok installed")
        << QStringList{QStringLiteral("a|1|install ok installed|1"),
                       QStringLiteral("b|2|hold ok installed|2")};
}

void TestHostLayout::parsesPackages()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, expected);
    QVector<HostLayout::Package> packages;
    QString error;
    QVERIFY2(HostLayout::parsePackages(text, &packages, &error), qPrintable(error));
    QStringList got;
    for (const HostLayout::Package &p : packages)
        got << QStringLiteral("%1|%2|%3|%4").arg(p.name, p.version, p.status).arg(p.line);
    QCOMPARE(got, expected);
}

void TestHostLayout::rejectsBadPackageLines_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("where");
    QTest::newRow("name only") << QByteArray("samba 1\nsmbclient\n") << QStringLiteral("line 2:");
    QTest::newRow("status cut short")
        << QByteArray("# x\nsamba 1 hold ok\n") << QStringLiteral("line 2:");
    QTest::newRow("too many words")
        << QByteArray("samba 1 install ok installed now\n") << QStringLiteral("line 1:");
}

void TestHostLayout::rejectsBadPackageLines()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, where);
    QVector<HostLayout::Package> packages;
    QString error;
    QVERIFY(!HostLayout::parsePackages(text, &packages, &error));
    QVERIFY2(error.startsWith(where), qPrintable(error));
}

void TestHostLayout::appliesEveryPart()
{
    QTemporaryDir layout;
    QVERIFY(layout.isValid());
    QVERIFY(put(layout.filePath(QStringLiteral("root/etc/oxa-layout/layout.conf")), "key = 1\n"));
    QVERIFY(put(layout.filePath(QStringLiteral("root/usr/share/vell/data/oxa-layout/List")),
                "samba\n"));
    QVERIFY(
        put(layout.filePath(QStringLiteral("bin/tarn-client")), "#!/bin/sh\necho server\n", 0755));
    QVERIFY(put(layout.filePath(QStringLiteral("packages")),
                "samba 2:4.17.12\nsamba-common 2:4.17.12 deinstall ok config-files\n"));

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QString error;
    QVERIFY2(HostLayout::apply(host, layout.path(), &error), qPrintable(error));

    QFile conf(QStringLiteral("/etc/oxa-layout/layout.conf"));
    QVERIFY(conf.open(QIODevice::ReadOnly));
    QCOMPARE(conf.readAll(), QByteArray("key = 1\n"));
    QVERIFY(QFileInfo::exists(QStringLiteral("/usr/share/vell/data/oxa-layout/List")));
    // Programs go where the real ones would be, found on the children's fixed search path.
    QCOMPARE(run(QStringLiteral("/bin/sh"),
                 {QStringLiteral("-c"), QStringLiteral("PATH=/usr/sbin:/usr/bin; tarn-client")})
                 .out,
             QByteArray("server\n"));
    QVERIFY(QFileInfo(QStringLiteral("/usr/bin/tarn-client")).isExecutable());
    QCOMPARE(dpkgStatus(QStringLiteral("samba")).out, QByteArray("ii samba 2:4.17.12\n"));
    QCOMPARE(dpkgStatus(QStringLiteral("samba-common")).out,
             QByteArray("rc samba-common 2:4.17.12\n"));
}

void TestHostLayout::reportsWhereLayoutIsWrong_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::newRow("bad packages line")
        << QStringLiteral("packages") << QByteArray("samba 1\n\nsmbclient\n")
        << QStringLiteral("packages: line 3:");
    QTest::newRow("bad package status")
        << QStringLiteral("packages") << QByteArray("samba 1 a b\n\nsmbclient 1 x\n")
        << QStringLiteral("packages: line 1:");
    QTest::newRow("file outside the overlays")
        << QStringLiteral("root/usr/lib/oxa-layout") << QByteArray("x")
        << QStringLiteral("/usr/lib is outside the disposable host");
    QTest::newRow("directory among the programs")
        << QStringLiteral("bin/sub/tool") << QByteArray("x")
        << QStringLiteral("bin/sub is no regular file");
}

void TestHostLayout::reportsWhereLayoutIsWrong()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    QTemporaryDir layout;
    QVERIFY(layout.isValid());
    QVERIFY(put(layout.filePath(file), content));

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QString error;
    QVERIFY(!HostLayout::apply(host, layout.path(), &error));
    QVERIFY2(error.contains(message), qPrintable(error));
    QVERIFY(!QFileInfo::exists(QStringLiteral("/usr/lib/oxa-layout")));

    QVERIFY(!HostLayout::apply(host, layout.filePath(QStringLiteral("missing")), &error));
    QVERIFY(error.contains(QLatin1String("does not exist")));
}

void TestHostLayout::demoHostShowsSamba()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QString error;
    QVERIFY2(HostLayout::apply(host, QStringLiteral(OXA_DEMO_LAYOUT), &error), qPrintable(error));

    // Every listed package is one dpkg-query knows, without a warning about the database.
    QFile list(QStringLiteral(OXA_DEMO_LAYOUT "/packages"));
    QVERIFY(list.open(QIODevice::ReadOnly));
    QVector<HostLayout::Package> packages;
    QVERIFY(HostLayout::parsePackages(list.readAll(), &packages, &error));
    QVERIFY(!packages.isEmpty());
    for (const HostLayout::Package &package : packages) {
        const Run known = dpkgStatus(package.name);
        QVERIFY2(known.exitCode == 0 && known.err.isEmpty(), known.err.constData());
    }

    // What the Samba plug-in reads: its package, its state, its configuration file.
    QCOMPARE(dpkgStatus(QStringLiteral("samba")).out,
             QByteArray("ii samba 2:4.17.12+dfsg-0+deb12u4\n"));
    QFile conf(QStringLiteral("/etc/samba/smb.conf"));
    QVERIFY(conf.open(QIODevice::ReadOnly));
    QVERIFY(conf.readAll().contains("[global]"));
    const QString smbd = QStringLiteral("/etc/init.d/smbd");
    Run status = run(smbd, {QStringLiteral("status")});
    QCOMPARE(status.exitCode, 0);
    QCOMPARE(status.out, QByteArray("smbd is running.\n"));

    // Its controls change what status answers, inside the disposable /var only.
    QCOMPARE(run(smbd, {QStringLiteral("stop")}).exitCode, 0);
    QCOMPARE(run(smbd, {QStringLiteral("status")}).exitCode, 3);
    QCOMPARE(TestHost::machinePathState(QStringLiteral("/var/lib/vell-demo")),
             TestHost::MachinePathMissing);
    QCOMPARE(run(smbd, {QStringLiteral("start")}).exitCode, 0);
    QCOMPARE(run(smbd, {QStringLiteral("status")}).exitCode, 0);
    QCOMPARE(run(smbd, {QStringLiteral("bogus")}).exitCode, 1);
}

OXA_TEST_MAIN(TestHostLayout)
#include "tst_hostlayout.moc"
