#include "tarnstatusparser.h"

#include <QRandomGenerator>
#include <QRegExp>
#include <QTest>

Q_DECLARE_METATYPE(TarnSetting)

namespace {

QStringList lines(const char *text)
{
    return QString::fromLatin1(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

/// @p text without its leading blanks.
QString dropLeadingBlanks(const QString &text)
{
    int i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    return text.mid(i);
}

QString describe(const QVector<TarnSetting> &settings)
{
    QStringList parts;
    for (const TarnSetting &setting : settings)
        parts << setting.key + QLatin1Char('|') + setting.value;
    return parts.join(QLatin1Char(';'));
}

} // namespace

/**
 * The readers of "tarn-client status" output: the "KEY = value" match of a line (also checked
 * against the regular expressions it stands for), the server's report with its key table and
 * domain, and the daemon's first-word settings.
 */
class TestTarnStatusParser : public QObject
{
    Q_OBJECT

private slots:
    void matchSetting_data();
    void matchSetting();
    void matchFirstWordSetting_data();
    void matchFirstWordSetting();
    void matchersAgreeWithTheirExpressions();
    void serverReport();
    void serverReportWithoutDomain();
    void domainOfStateRead();
    void daemonSettings();
    void keyTables_data();
    void keyTables();
    void longLinesStayCheap();
};

void TestTarnStatusParser::matchSetting_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("matches");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");

    QTest::newRow("blanks around the sign") << "DOMAIN = example" << true << "DOMAIN"
                                            << "example";
    QTest::newRow("no blanks") << "SERVER_ID=7" << true << "SERVER_ID"
                               << "7";
    QTest::newRow("empty value") << "TICKET_MAX_LIFE = " << true << "TICKET_MAX_LIFE"
                                 << "";
    QTest::newRow("sign last") << "TICKET_MAX_LIFE=" << true << "TICKET_MAX_LIFE"
                               << "";
    QTest::newRow("words before the key, trailing blanks")
        << "Current SERVER = a b c  " << true << "SERVER"
        << "a b c";
    QTest::newRow("inner blanks kept") << "DESCRIPTION =  head   office\t" << true << "DESCRIPTION"
                                       << "head   office";
    QTest::newRow("carriage return dropped") << "VERSION = 4.2\r" << true << "VERSION"
                                             << "4.2";
    QTest::newRow("sign inside the value") << "X = a=b = c" << true << "X"
                                           << "a=b = c";
    QTest::newRow("second sign right after the first") << "X == y" << true << "X"
                                                       << "= y";
    QTest::newRow("leading blanks") << "\t  MINIMUM_UID\t=\t1000" << true << "MINIMUM_UID"
                                    << "1000";
    QTest::newRow("key glued to words before") << "a:b:KEY=v" << true << "a:b:KEY"
                                               << "v";
    QTest::newRow("leading sign skipped") << "= A = 1" << true << "A"
                                          << "1";
    QTest::newRow("no sign") << "Server state: running" << false << ""
                             << "";
    QTest::newRow("sign without key") << "   = value" << false << ""
                                      << "";
    QTest::newRow("empty line") << "" << false << ""
                                << "";
    QTest::newRow("only blanks") << " \t " << false << ""
                                 << "";
}

void TestTarnStatusParser::matchSetting()
{
    QFETCH(QString, line);
    QFETCH(bool, matches);
    QFETCH(QString, key);
    QFETCH(QString, value);

    TarnSetting setting;
    QCOMPARE(TarnStatusParser::matchSetting(line, &setting), matches);
    if (matches) {
        QCOMPARE(setting.key, key);
        QCOMPARE(setting.value, value);
    }
}

void TestTarnStatusParser::matchFirstWordSetting_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("matches");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");

    QTest::newRow("one word") << "SERVER_POLLING_PERIOD = 60" << true << "SERVER_POLLING_PERIOD"
                              << "60";
    QTest::newRow("first word only")
        << "SERVER_EXPORT_DIR = /srv/export extra" << true << "SERVER_EXPORT_DIR"
        << "/srv/export";
    QTest::newRow("no blanks") << "A=b c" << true << "A"
                               << "b";
    QTest::newRow("empty value does not count") << "SERVER_ARCHIVE_DIR = " << false << ""
                                                << "";
    QTest::newRow("sign last does not count") << "SERVER_ARCHIVE_DIR=" << false << ""
                                              << "";
    QTest::newRow("sign as the first word") << "X = =y z" << true << "X"
                                            << "=y";
    QTest::newRow("no sign") << "SERVER_EXPORT_DIR /srv" << false << ""
                             << "";
}

void TestTarnStatusParser::matchFirstWordSetting()
{
    QFETCH(QString, line);
    QFETCH(bool, matches);
    QFETCH(QString, key);
    QFETCH(QString, value);

    TarnSetting setting;
    QCOMPARE(TarnStatusParser::matchFirstWordSetting(line, &setting), matches);
    if (matches) {
        QCOMPARE(setting.key, key);
        QCOMPARE(setting.value, value);
    }
}

void TestTarnStatusParser::matchersAgreeWithTheirExpressions()
{
    // The hand-written matchers stand for these expressions (first match anywhere in the
    // line); random lines over the characters that matter must give the same captures. One
    // difference is wanted: QRegExp hands the blanks after "=" to the value ("a = b" gives
    // " b"), whereas a value starts at its first non-blank character.
    QRegExp whole(QStringLiteral("([^=\\s]+)\\s*=\\s*((\\s*\\S+)*)"), Qt::CaseSensitive,
                  QRegExp::RegExp);
    QRegExp firstWord(QStringLiteral("([^=\\s]+)\\s*=\\s*(\\S+)"), Qt::CaseSensitive,
                      QRegExp::RegExp);
    const QChar alphabet[] = {QLatin1Char('a'), QLatin1Char('B'),  QLatin1Char('='),
                              QLatin1Char(' '), QLatin1Char('\t'), QLatin1Char('x'),
                              QChar(0x00a0),    QLatin1Char('\r')};
    QRandomGenerator random(20240611);
    for (int round = 0; round < 20000; ++round) {
        QString line;
        const int length = random.bounded(12);
        for (int i = 0; i < length; ++i)
            line += alphabet[random.bounded(int(sizeof alphabet / sizeof alphabet[0]))];

        TarnSetting setting;
        const bool matched = TarnStatusParser::matchSetting(line, &setting);
        QVERIFY2(matched == (whole.indexIn(line) >= 0), qPrintable(line));
        if (matched) {
            QCOMPARE(setting.key, whole.cap(1));
            QCOMPARE(setting.value, dropLeadingBlanks(whole.cap(2)));
        }
        const bool matchedWord = TarnStatusParser::matchFirstWordSetting(line, &setting);
        QVERIFY2(matchedWord == (firstWord.indexIn(line) >= 0), qPrintable(line));
        if (matchedWord) {
            QCOMPARE(setting.key, firstWord.cap(1));
            QCOMPARE(setting.value, firstWord.cap(2));
        }
    }
}

void TestTarnStatusParser::serverReport()
{
    const TarnStatusParser::ServerReport report =
        TarnStatusParser::parseServerReport(lines("Tarn directory server\n"
                                                  "DOMAIN = example\n"
                                                  "SERVER_ID=7\n"
                                                  "FOO=bar\n"
                                                  "TICKET_MAX_LIFE = \n"
                                                  "Current SERVER = a b c  \n"
                                                  "server_id = 8\n"
                                                  "SERVER_FS_KRB_MODES = krb5 krb5i\n"
                                                  "SERVER_ID = 9\n"
                                                  "DOMAIN = later.example\n"));
    QVERIFY(report.hasDomain);
    QCOMPARE(report.domain, QStringLiteral("later.example"));
    // Unknown and lower-case keys are dropped, DOMAIN gives no row, a repeated key two rows.
    QCOMPARE(describe(report.settings), QStringLiteral("SERVER_ID|7;TICKET_MAX_LIFE|;"
                                                       "SERVER|a b c;"
                                                       "SERVER_FS_KRB_MODES|krb5 krb5i;"
                                                       "SERVER_ID|9"));
}

void TestTarnStatusParser::serverReportWithoutDomain()
{
    const TarnStatusParser::ServerReport empty = TarnStatusParser::parseServerReport({});
    QVERIFY(!empty.hasDomain);
    QVERIFY(empty.domain.isNull());
    QVERIFY(empty.settings.isEmpty());

    const TarnStatusParser::ServerReport blank =
        TarnStatusParser::parseServerReport(lines("DOMAIN =\nVERSION = 4.2\n"));
    QVERIFY(blank.hasDomain);
    QVERIFY(blank.domain.isEmpty());
    QCOMPARE(describe(blank.settings), QStringLiteral("VERSION|4.2"));
}

void TestTarnStatusParser::domainOfStateRead()
{
    bool found = true;
    QVERIFY(TarnStatusParser::domain(lines("VERSION = 4.2\nstate: running\n"), &found).isNull());
    QVERIFY(!found);
    QCOMPARE(
        TarnStatusParser::domain(lines("DOMAIN = first\nFOO = 1\nDOMAIN = second one  \n"), &found),
        QStringLiteral("second one"));
    QVERIFY(found);
    // Only the key decides: a line's first key is the one that counts.
    QVERIFY(TarnStatusParser::domain(lines("NAME = DOMAIN = x\n"), &found).isNull());
    QVERIFY(!found);
}

void TestTarnStatusParser::daemonSettings()
{
    const QVector<TarnSetting> settings =
        TarnStatusParser::parseDaemonSettings(lines("VERSION=2\n"
                                                    "DOMAIN = example\n"
                                                    "SERVER_EXPORT_DIR = /srv/export extra\n"
                                                    "SERVER_ARCHIVE_DIR =\n"
                                                    "SERVER_POLLING_PERIOD = 60 s\n"
                                                    "SERVER_PROPAGATE_PERIOD=300\n"
                                                    "SERVER_EXPORT_DIR = /srv/second\n"
                                                    "CLIENT_MOUNT_DIR = /tarn\n"));
    QCOMPARE(describe(settings), QStringLiteral("SERVER_EXPORT_DIR|/srv/export;"
                                                "SERVER_POLLING_PERIOD|60;"
                                                "SERVER_PROPAGATE_PERIOD|300;"
                                                "SERVER_EXPORT_DIR|/srv/second"));
    QVERIFY(TarnStatusParser::parseDaemonSettings({}).isEmpty());
}

void TestTarnStatusParser::keyTables_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("server");
    QTest::addColumn<bool>("daemon");

    for (const char *key :
         {"VERSION", "DOMAIN", "SERVER", "SERVER_ID", "DESCRIPTION", "MINIMUM_UID",
          "DEFAULT_LOGIN_SHELL", "DEFAULT_LOCAL_GROUPS", "ALLOWED_LOCAL_GROUPS", "TICKET_MAX_LIFE",
          "TICKET_MAX_RENEWABLE_LIFE", "NETWORK_FS_TYPE", "CLIENT_MOUNT_DIR", "SERVER_FS_KRB_MODES",
          "CLIENT_FS_KRB_MODE", "CACHE_REFRESH_PERIOD", "UTF8_GECOS"})
        QTest::newRow(key) << key << true << false;
    for (const char *key : {"SERVER_EXPORT_DIR", "SERVER_ARCHIVE_DIR", "SERVER_POLLING_PERIOD",
                            "SERVER_PROPAGATE_PERIOD"})
        QTest::newRow(key) << key << true << true;
    QTest::newRow("lower case") << "domain" << false << false;
    QTest::newRow("unknown") << "FOO" << false << false;
    QTest::newRow("log row is no reported key") << "TARND_LOG" << false << false;
    QTest::newRow("empty") << "" << false << false;
}

void TestTarnStatusParser::keyTables()
{
    QFETCH(QString, key);
    QFETCH(bool, server);
    QFETCH(bool, daemon);
    QCOMPARE(TarnStatusParser::isServerKey(key), server);
    QCOMPARE(TarnStatusParser::isDaemonKey(key), daemon);
}

void TestTarnStatusParser::longLinesStayCheap()
{
    // Lines that make a naive search start again at every character: they must still be
    // read (a quadratic matcher would not finish a million characters in reasonable time).
    const int size = 1000000;
    TarnSetting setting;
    QVERIFY(!TarnStatusParser::matchSetting(QString(size, QLatin1Char('k')), &setting));
    QVERIFY(!TarnStatusParser::matchSetting(QString(size, QLatin1Char(' ')), &setting));
    QString words;
    words.reserve(size * 2);
    for (int i = 0; i < size / 2; ++i)
        words += QStringLiteral("ab ");
    QVERIFY(!TarnStatusParser::matchFirstWordSetting(words, &setting));
    QVERIFY(TarnStatusParser::matchSetting(words + QStringLiteral("= x"), &setting));
    QCOMPARE(setting.key, QStringLiteral("ab"));
    QCOMPARE(setting.value, QStringLiteral("x"));
}

QTEST_GUILESS_MAIN(TestTarnStatusParser)
#include "tst_tarnstatusparser.moc"
