#include "servicelog.h"
#include "servicelogsources.h"

#include <QTest>

using ServiceLog::Line;
using ServiceLog::Mark;

Q_DECLARE_METATYPE(ServiceLog::Mark)

namespace {
/// One journal record as journalctl -o json prints it; @p message is JSON (a string, an
/// array of bytes or null).
QByteArray record(qint64 time, const char *priority, const QByteArray &message,
                  const char *identifier = "smbd", const char *pid = "42")
{
    QByteArray json = "{\"__CURSOR\":\"s=1\",\"__REALTIME_TIMESTAMP\":\"" +
                      QByteArray::number(time) + "\",\"_BOOT_ID\":\"b\"";
    if (priority)
        json += ",\"PRIORITY\":\"" + QByteArray(priority) + '"';
    if (identifier)
        json += ",\"SYSLOG_IDENTIFIER\":\"" + QByteArray(identifier) + '"';
    if (pid)
        json += ",\"_PID\":\"" + QByteArray(pid) + '"';
    return json + ",\"MESSAGE\":" + message + "}\n";
}

const qint64 t0 = Q_INT64_C(1765242000000000); // 2025-12-09T01:00:00Z, in microseconds
} // namespace

/** The log plug-in's text handling: journal records, file tails, escaping, bounds, filter. */
class TestServiceLog : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void escapeLine_data();
    void escapeLine();
    void journalRecord_data();
    void journalRecord();
    void journalOrderAndGarbage();
    void fileLinesAndBound();
    void filter_data();
    void filter();
    void clusterSources_data();
    void clusterSources();
};

void TestServiceLog::initTestCase()
{
    qputenv("TZ", "UTC");
}

void TestServiceLog::escapeLine_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("plain") << QByteArray("smbd started") << QStringLiteral("smbd started");
    QTest::newRow("tab kept") << QByteArray("a\tb") << QStringLiteral("a\tb");
    QTest::newRow("controls") << QByteArray("a\x1b[31mred\r\n\x7f", 12)
                              << QStringLiteral("a\\x1b[31mred\\x0d\\x0a\\x7f");
    QTest::newRow("NUL") << QByteArray("a\0b", 3) << QStringLiteral("a\\x00b");
    QTest::newRow("UTF-8 kept") << QByteArray(
                                       "Gr\xc3\xbc\xc3\x9f\x65 \xe2\x82\xac \xf0\x9f\x98\x80")
                                << QStringLiteral("Grüße € ") +
                                       QString::fromUtf8("\xf0\x9f\x98\x80");
    QTest::newRow("invalid byte") << QByteArray("a\xff\x62") << QStringLiteral("a\\xffb");
    QTest::newRow("truncated sequence") << QByteArray("\xe2\x82") << QStringLiteral("\\xe2\\x82");
    QTest::newRow("overlong") << QByteArray("\xc0\xaf") << QStringLiteral("\\xc0\\xaf");
    QTest::newRow("surrogate") << QByteArray("\xed\xa0\x80") << QStringLiteral("\\xed\\xa0\\x80");
    QTest::newRow("C1 control") << QByteArray("a\xc2\x9b") << QStringLiteral("a\\xc2\\x9b");
    QTest::newRow("bidi override") << QByteArray("a\xe2\x80\xae") << QStringLiteral("a\\u202e");
    QTest::newRow("overlong line")
        << QByteArray(ServiceLog::maxLineChars + 10, 'x')
        << QString(ServiceLog::maxLineChars, QLatin1Char('x')) + QStringLiteral(" [line cut]");
    // An escape is never split by the bound.
    QTest::newRow("escape at the bound")
        << QByteArray(ServiceLog::maxLineChars - 2, 'x') + "\x01"
        << QString(ServiceLog::maxLineChars - 2, QLatin1Char('x')) + QStringLiteral(" [line cut]");
}

void TestServiceLog::escapeLine()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    QCOMPARE(ServiceLog::escapeLine(bytes), shown);
}

void TestServiceLog::journalRecord_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<Mark>("mark");
    QTest::addColumn<QString>("text");
    const QString at = QStringLiteral("2025-12-09T01:00:00Z ");
    for (const char *priority : {"0", "1", "2", "3"})
        QTest::addRow("priority %s", priority)
            << record(t0, priority, "\"failed\"") << Mark::Error << at + "smbd[42]: failed";
    QTest::newRow("warning") << record(t0, "4", "\"careful\"") << Mark::Warning
                             << at + "smbd[42]: careful";
    for (const char *priority : {"5", "6", "7"})
        QTest::addRow("priority %s", priority)
            << record(t0, priority, "\"fine\"") << Mark::None << at + "smbd[42]: fine";
    QTest::newRow("no priority") << record(t0, nullptr, "\"x\"") << Mark::None
                                 << at + "smbd[42]: x";
    QTest::newRow("odd priority") << record(t0, "err", "\"x\"") << Mark::None << at + "smbd[42]: x";
    QTest::newRow("message as bytes") << record(t0, "3", "[104,105,255,27,10]") << Mark::Error
                                      << at + "smbd[42]: hi\\xff\\x1b\\x0a";
    QTest::newRow("escapes in a string") << record(t0, "6", "\"a\\u001b[0m\\tb\\n\"") << Mark::None
                                         << at + "smbd[42]: a\\x1b[0m\tb\\x0a";
    QTest::newRow("message too long for journalctl")
        << record(t0, "6", "null") << Mark::None << at + "smbd[42]: [message too long to show]";
    QTest::newRow("command instead of identifier")
        << QByteArray("{\"__REALTIME_TIMESTAMP\":\"1765242000000000\",\"_COMM\":\"nmbd\","
                      "\"MESSAGE\":\"m\"}")
        << Mark::None << at + "nmbd: m";
    QTest::newRow("no time") << record(-1, "6", "\"m\"").replace("\"-1\"", "\"x\"") << Mark::None
                             << QStringLiteral("smbd[42]: m");
    QTest::newRow("overlong message")
        << record(t0, "6", '"' + QByteArray(2 * ServiceLog::maxLineChars, 'y') + '"') << Mark::None
        << at + "smbd[42]: " + QString(ServiceLog::maxLineChars - 10, QLatin1Char('y')) +
               " [line cut]";
}

void TestServiceLog::journalRecord()
{
    QFETCH(QByteArray, output);
    QFETCH(Mark, mark);
    QFETCH(QString, text);
    const ServiceLog::Journal journal = ServiceLog::parseJournal(output);
    QCOMPARE(journal.unreadable, 0);
    QCOMPARE(journal.lines.size(), 1);
    QCOMPARE(journal.lines.first().mark, mark);
    QCOMPARE(journal.lines.first().text, text);
}

void TestServiceLog::journalOrderAndGarbage()
{
    // Two units' records out of order, garbage, a record cut short and an empty line: the
    // records come out oldest first, the rest is counted.
    const QByteArray output = record(t0 + 2000000, "6", "\"third\"", "nmbd") +
                              "-- No entries --\n" + record(t0, "3", "\"first\"") + "\n" +
                              "[1,2]\n" + record(t0 + 1000000, "4", "\"second\"", "winbindd") +
                              "{\"MESSAGE\":\"cut sh";
    const ServiceLog::Journal journal = ServiceLog::parseJournal(output);
    QCOMPARE(journal.unreadable, 3);
    QStringList texts;
    for (const Line &line : journal.lines)
        texts << ServiceLog::lineText(line);
    QCOMPARE(texts, QStringList({"ERROR   2025-12-09T01:00:00Z smbd[42]: first",
                                 "WARNING 2025-12-09T01:00:01Z winbindd[42]: second",
                                 "        2025-12-09T01:00:02Z nmbd[42]: third"}));
    QCOMPARE(ServiceLog::parseJournal(QByteArray()).lines.size(), 0);
}

void TestServiceLog::fileLinesAndBound()
{
    QVector<Line> lines = ServiceLog::parseFile("one\r\ntwo\x01\n\nlast");
    QCOMPARE(ServiceLog::text(lines), QStringLiteral("        one\n        two\\x01\n        \n"
                                                     "        last"));
    QVERIFY(!ServiceLog::boundSource(&lines));
    QCOMPARE(lines.size(), 4);

    // Past what a source may fill, the oldest lines go.
    const QByteArray line(ServiceLog::maxLineChars - 1, 'z');
    QByteArray big;
    for (int i = 0; i < 200; ++i)
        big += QByteArray::number(i).rightJustified(3, '0') + line.mid(3) + '\n';
    lines = ServiceLog::parseFile(big);
    QCOMPARE(lines.size(), 200);
    QVERIFY(ServiceLog::boundSource(&lines));
    QCOMPARE(lines.size(), ServiceLog::maxSourceChars / ServiceLog::maxLineChars);
    QVERIFY(lines.last().text.startsWith(QLatin1String("199")));
}

void TestServiceLog::filter_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("shown");
    QTest::newRow("none") << QString()
                          << "==> journal: smbd.service\nERROR   Disk FULL\nWARNING slow\n"
                             "        fine\n==> file: /var/log/samba/log.smbd\nNOTE    The file "
                             "does not exist.";
    QTest::newRow("case-insensitive") << QStringLiteral("full")
                                      << "==> journal: smbd.service\nERROR   Disk FULL\n"
                                         "==> file: /var/log/samba/log.smbd";
    QTest::newRow("by mark word") << QStringLiteral("warning")
                                  << "==> journal: smbd.service\nWARNING slow\n"
                                     "==> file: /var/log/samba/log.smbd";
    QTest::newRow("nothing") << QStringLiteral("zzz")
                             << "==> journal: smbd.service\n==> file: /var/log/samba/log.smbd";
}

void TestServiceLog::filter()
{
    QFETCH(QString, filter);
    QFETCH(QString, shown);
    const QVector<Line> lines{{Mark::Source, "journal: smbd.service"},
                              {Mark::Error, "Disk FULL"},
                              {Mark::Warning, "slow"},
                              {Mark::None, "fine"},
                              {Mark::Source, "file: /var/log/samba/log.smbd"},
                              {Mark::Notice, "The file does not exist."}};
    QCOMPARE(ServiceLog::text(lines, filter), shown);
}

void TestServiceLog::clusterSources_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("unit"); // empty: refused
    QTest::newRow("main") << "15"
                          << "main"
                          << "postgresql@15-main.service";
    QTest::newRow("dots and dashes") << "9.6"
                                     << "my_db-2.x"
                                     << "postgresql@9.6-my_db-2.x.service";
    QTest::newRow("slash") << "15"
                           << "../../etc/shadow"
                           << "";
    QTest::newRow("option") << "15"
                            << "-main"
                            << "";
    QTest::newRow("blank") << "15"
                           << "a b"
                           << "";
    QTest::newRow("bad version") << "15/x"
                                 << "main"
                                 << "";
    QTest::newRow("empty") << ""
                           << ""
                           << "";
}

void TestServiceLog::clusterSources()
{
    QFETCH(QString, version);
    QFETCH(QString, name);
    QFETCH(QString, unit);
    const ServiceLogSources::Sources sources = ServiceLogSources::clusterSources(version, name);
    if (unit.isEmpty()) {
        QVERIFY(sources.units.isEmpty() && sources.files.isEmpty());
        QVERIFY(!sources.error.isEmpty());
        return;
    }
    QVERIFY(sources.error.isEmpty());
    QCOMPARE(sources.units, QStringList{unit});
    QCOMPARE(
        sources.files,
        QStringList{QStringLiteral("/var/log/postgresql/postgresql-%1-%2.log").arg(version, name)});
}

QTEST_GUILESS_MAIN(TestServiceLog)
#include "tst_servicelog.moc"
