// The readers of dpkg-query's and pg_lsclusters' output, without processes.

#include <servicepgsqlparser.h>

#include <QFile>
#include <QTest>

namespace {

/// The lines of a file captured from a real host (tests/.../data), empty ones left out.
QStringList capturedLines(const char *name)
{
    QFile file(QStringLiteral(OXA_PGSQL_TEST_DATA "/%1").arg(QLatin1String(name)));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing captured file %s", name);
    return QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

class TestServicePgsqlParser : public QObject
{
    Q_OBJECT
private slots:
    void installedVersions_data();
    void installedVersions();
    void clusterRecords_data();
    void clusterRecords();
    void clusterRecordsKeepOrderAndDuplicateNames();
    void shortLinesAreSkipped();
    void updateCluster_data();
    void updateCluster();
    void updateClusterNeedsVersionAndName();
    void fixedTexts();
    void startConf_data();
    void startConf();
};

void TestServicePgsqlParser::installedVersions_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("versions");

    QTest::newRow("one server") << QStringList{"ii postgresql-15"} << QStringList{"15"};
    QTest::newRow("dotted version and its extension give one entry")
        << QStringList{"ii postgresql-9.6", "ii postgresql-9.6-postgis-2.3"} << QStringList{"9.6"};
    QTest::newRow("removed package adds nothing")
        << QStringList{"ii postgresql-11", "ii postgresql-11-repack", "rc postgresql-10"}
        << QStringList{"11"};
    QTest::newRow("half-installed adds nothing")
        << QStringList{"iU postgresql-13"} << QStringList{};
    QTest::newRow("error flag in the third place")
        << QStringList{"iiRpostgresql-14"} << QStringList{};
    QTest::newRow("one-digit version gives nothing")
        << QStringList{"ii postgresql-9"} << QStringList{};
    QTest::newRow("client packages are not servers")
        << QStringList{"ii postgresql-client-15", "ii postgresql-common"} << QStringList{};
    QTest::newRow("two versions") << QStringList{"ii postgresql-11", "ii postgresql-15"}
                                  << QStringList{"11", "15"};
    QTest::newRow("empty") << QStringList{} << QStringList{};
    // Debian 13 with postgresql-17, as dpkg-query answers the plug-in's question there.
    QTest::newRow("debian 13") << capturedLines("dpkg-query-postgresql-trixie.txt")
                               << QStringList{"17"};
}

void TestServicePgsqlParser::installedVersions()
{
    QFETCH(QStringList, lines);
    QFETCH(QStringList, versions);
    QStringList found = ServicePgsqlParser::installedVersions(lines).values();
    found.sort();
    versions.sort();
    QCOMPARE(found, versions);
}

void TestServicePgsqlParser::clusterRecords_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("state");
    QTest::addColumn<QString>("textState");

    QTest::newRow("online,recovery")
        << "9.6 main 5432 online,recovery postgres /var/lib/postgresql/9.6/main "
           "/var/log/postgresql/postgresql-9.6-main.log"
        << "9.6"
        << "main" << 5432 << true << "online,recovery";
    QTest::newRow("down,recovery") << "11 main 5433 down,recovery postgres /d /l"
                                   << "11"
                                   << "main" << 5433 << false << "down,recovery";
    QTest::newRow("online") << "15 main 5432 online postgres /d /l"
                            << "15"
                            << "main" << 5432 << true << "online";
    QTest::newRow("down") << "15 main 5432 down postgres /d /l"
                          << "15"
                          << "main" << 5432 << false << "down";
    QTest::newRow("unknown status: running, no text")
        << "15 x 5434 online,binaries_missing postgres /d /l"
        << "15"
        << "x" << 5434 << true << "";
    QTest::newRow("status that only starts with online") << "15 x 5434 onlinefoo postgres /d /l"
                                                         << "15"
                                                         << "x" << 5434 << false << "";
    QTest::newRow("runs of blanks") << "15   main2    5491  down   postgres  /d  /l"
                                    << "15"
                                    << "main2" << 5491 << false << "down";
    QTest::newRow("port not a number") << "15 main ??? down"
                                       << "15"
                                       << "main" << 0 << false << "down";
    // pg_lsclusters --no-header of Debian 13's postgresql-common 278: the cluster the
    // package made, and one made with pg_createcluster and started.
    const QStringList trixie = capturedLines("pg_lsclusters-17-trixie.txt");
    QTest::newRow("debian 13, installed cluster") << trixie.value(0) << "17"
                                                  << "main" << 5432 << false << "down";
    QTest::newRow("debian 13, created and started") << trixie.value(1) << "17"
                                                    << "second" << 5433 << true << "online";
    QTest::newRow("exactly four fields") << "15 main 5432 online"
                                         << "15"
                                         << "main" << 5432 << true << "online";
}

void TestServicePgsqlParser::clusterRecords()
{
    QFETCH(QString, line);
    QFETCH(QString, version);
    QFETCH(QString, name);
    QFETCH(int, port);
    QFETCH(bool, state);
    QFETCH(QString, textState);

    const QVector<ElementData> records = ServicePgsqlParser::clusterRecords({line});
    QCOMPARE(records.size(), 1);
    const ElementData &r = records.first();
    QCOMPARE(r.property("version").toString(), version);
    QCOMPARE(r.property("name").toString(), name);
    QCOMPARE(r.property("port").type(), QVariant::Int);
    QCOMPARE(r.property("port").toInt(), port);
    QCOMPARE(r.property("state").type(), QVariant::Bool);
    QCOMPARE(r.property("state").toBool(), state);
    QCOMPARE(r.property("textState").toString(), textState);
    QCOMPARE(r.property("configureParam").toString(),
             QStringLiteral("cluster=%1/version=%2").arg(name, version));
    // Directories come from the cluster read only.
    QVERIFY(!r.hasProperty("directories"));
}

void TestServicePgsqlParser::clusterRecordsKeepOrderAndDuplicateNames()
{
    const QVector<ElementData> records = ServicePgsqlParser::clusterRecords(
        {"9.6 main 5432 down postgres /a /b", "11 main 5433 online postgres /c /d"});
    QCOMPARE(records.size(), 2);
    QCOMPARE(records.at(0).property("version").toString(), QStringLiteral("9.6"));
    QCOMPARE(records.at(1).property("version").toString(), QStringLiteral("11"));
    QCOMPARE(ServicePgsqlParser::clusterTitle("main", "9.6"), QStringLiteral("main-9.6"));
    QCOMPARE(ServicePgsqlParser::clusterTitle("main", "11"), QStringLiteral("main-11"));
}

void TestServicePgsqlParser::shortLinesAreSkipped()
{
    const QVector<ElementData> records = ServicePgsqlParser::clusterRecords(
        {"15", "15 main", "15 main 5432", "   ", "15 ok 5433 down"});
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.first().property("name").toString(), QStringLiteral("ok"));
}

void TestServicePgsqlParser::updateCluster_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("matched");
    QTest::addColumn<int>("port");
    QTest::addColumn<QStringList>("directories");

    const QStringList dirs{"/etc/postgresql/9.6/main", "/var/lib/postgresql/9.6/main",
                           "/var/log/postgresql/postgresql-9.6-main.log"};
    QTest::newRow("match")
        << QStringList{"11 main 5433 down postgres /x /y",
                       "9.6 main 5432 online,recovery postgres /var/lib/postgresql/9.6/main "
                       "/var/log/postgresql/postgresql-9.6-main.log"}
        << true << 5432 << dirs;
    QTest::newRow("first matching line wins")
        << QStringList{"9.6 main 5432 online,recovery postgres /var/lib/postgresql/9.6/main "
                       "/var/log/postgresql/postgresql-9.6-main.log",
                       "9.6 main 6000 down postgres /other /other.log"}
        << true << 5432 << dirs;
    QTest::newRow("no such cluster")
        << QStringList{"9.6 other 5432 online postgres /a /b"} << false << 1 << QStringList{};
    QTest::newRow("name is compared whole")
        << QStringList{"9.6 main2 5432 online postgres /a /b"} << false << 1 << QStringList{};
    QTest::newRow("six fields are passed over")
        << QStringList{"9.6 main 5432 online postgres /a",
                       "9.6 main 5432 online,recovery postgres /var/lib/postgresql/9.6/main "
                       "/var/log/postgresql/postgresql-9.6-main.log"}
        << true << 5432 << dirs;
    QTest::newRow("only short lines")
        << QStringList{"9.6 main 5432 online"} << false << 1 << QStringList{};
    QTest::newRow("empty output") << QStringList{} << false << 1 << QStringList{};
}

void TestServicePgsqlParser::updateCluster()
{
    QFETCH(QStringList, lines);
    QFETCH(bool, matched);
    QFETCH(int, port);
    QFETCH(QStringList, directories);

    ElementData record;
    record.setProperty("version", "9.6");
    record.setProperty("name", "main");
    record.setProperty("port", 1);
    record.setProperty("state", false);
    record.setProperty("configureParam", "kept");
    const ElementData before = record;

    QCOMPARE(ServicePgsqlParser::updateCluster(record, lines), matched);
    if (!matched) {
        QCOMPARE(record.properties(), before.properties());
        return;
    }
    QCOMPARE(record.property("port").toInt(), port);
    QCOMPARE(record.property("state").toBool(), true);
    QCOMPARE(record.property("textState").toString(), QStringLiteral("online,recovery"));
    QCOMPARE(record.property("directories").toStringList(), directories);
    QCOMPARE(record.property("configureParam").toString(), QStringLiteral("kept"));
}

void TestServicePgsqlParser::updateClusterNeedsVersionAndName()
{
    const QStringList lines{" main 5432 online postgres /a /b"};
    ElementData noVersion;
    noVersion.setProperty("name", "main");
    QVERIFY(!ServicePgsqlParser::updateCluster(noVersion, lines));
    QVERIFY(!noVersion.hasProperty("directories"));
    ElementData noName;
    noName.setProperty("version", "15");
    QVERIFY(!ServicePgsqlParser::updateCluster(noName, {"15 main 5432 online postgres /a /b"}));
}

void TestServicePgsqlParser::fixedTexts()
{
    QCOMPARE(ServicePgsqlParser::versionQueryArguments(),
             (QStringList{"--showformat=${db:Status-Abbrev}${binary:Package}\n", "--show",
                          "postgresql-[0123456789]*"}));
    QCOMPARE(ServicePgsqlParser::configDirectory("15", "main"),
             QStringLiteral("/etc/postgresql/15/main"));
    QCOMPARE(ServicePgsqlParser::startConfPath("15", "main"),
             QStringLiteral("/etc/postgresql/15/main/start.conf"));
}

void TestServicePgsqlParser::startConf_data()
{
    // The file, the start mode it gives (empty: none), the operation that would change it,
    // and the file after "manual" was written into it.
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<OperationTypes>("offered");
    QTest::addColumn<QByteArray>("manual");

    const QByteArray header = "# Automatic startup configuration\n#   auto: automatically\n"
                              "#   manual: manually\n\n";
    QTest::newRow("as installed") << header + "auto\n"
                                  << "auto" << OperationTypes(OperationDisableAtBoot)
                                  << header + "manual\n";
    QTest::newRow("manual") << QByteArray("manual\n") << "manual"
                            << OperationTypes(OperationEnableAtBoot) << QByteArray("manual\n");
    QTest::newRow("disabled, blanks and a comment after it")
        << QByteArray("\n  \t\n\tdisabled   # never\nauto\n") << "disabled"
        << OperationTypes(OperationEnableAtBoot) << QByteArray("\n  \t\nmanual   # never\nauto\n");
    QTest::newRow("missing or empty: the tools' default")
        << QByteArray() << "auto" << OperationTypes(OperationDisableAtBoot)
        << QByteArray("manual\n");
    QTest::newRow("comments only, no final newline")
        << QByteArray("# auto\n# manual") << "auto" << OperationTypes(OperationDisableAtBoot)
        << QByteArray("# auto\n# manual\nmanual\n");
    QTest::newRow("CRLF lines") << QByteArray("# c\r\nauto\r\n") << "auto"
                                << OperationTypes(OperationDisableAtBoot)
                                << QByteArray("# c\r\nmanual\r\n");
    QTest::newRow("word glued to a comment")
        << QByteArray("manual#x\n") << "manual" << OperationTypes(OperationEnableAtBoot)
        << QByteArray("manual#x\n");
    QTest::newRow("unknown word") << QByteArray("automatic\n") << QString()
                                  << OperationTypes(OperationNone) << QByteArray("manual\n");
    QTest::newRow("markup") << QByteArray("<b>auto</b>\n") << QString()
                            << OperationTypes(OperationNone) << QByteArray("manual\n");
    QTest::newRow("NUL and control bytes")
        << QByteArray("\0auto\x1b\n", 7) << QString() << OperationTypes(OperationNone)
        << QByteArray("manual\n");
    QTest::newRow("binary after the value")
        << QByteArray("auto\n\xff\xfe\0\n", 9) << "auto" << OperationTypes(OperationDisableAtBoot)
        << QByteArray("manual\n\xff\xfe\0\n", 11);
}

void TestServicePgsqlParser::startConf()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, mode);
    QFETCH(OperationTypes, offered);
    QFETCH(QByteArray, manual);
    QCOMPARE(ServicePgsqlParser::startConfValue(text), mode);
    QCOMPARE(ServicePgsqlParser::startConfOperations(mode), offered);
    const QByteArray written = ServicePgsqlParser::rewriteStartConf(text, QStringLiteral("manual"));
    QCOMPARE(written, manual);
    QCOMPARE(ServicePgsqlParser::startConfValue(written), QStringLiteral("manual"));
    QCOMPARE(ServicePgsqlParser::startConfValue(
                 ServicePgsqlParser::rewriteStartConf(written, QStringLiteral("auto"))),
             QStringLiteral("auto"));
}

QTEST_GUILESS_MAIN(TestServicePgsqlParser)
#include "tst_servicepgsqlparser.moc"
