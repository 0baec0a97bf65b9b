// Exim's settings file as no administrator writes it: megabyte lines, a file of 100 MB,
// NUL bytes and bytes that are no text.

#include "eximconfreader.h"
#include "eximtestfixture.h"
#include "hostiletext.h"
#include "servicetaskcheck.h"
#include "taskrunner.h"
#include "testhost.h"

#include <element.h>
#include <elementdata.h>
#include <module.h>
#include <readlimits.h>
#include <treenode.h>

#include <QBuffer>
#include <QRandomGenerator>
#include <QRegExp>
#include <QTest>

namespace {

const QString script = QStringLiteral("/etc/init.d/exim4");
const QString config = QStringLiteral("/etc/exim4/update-exim4.conf.conf");

} // namespace

class TestEximHostile : public QObject
{
    Q_OBJECT

private slots:
    void matcherAgreesWithItsExpression();
    void megabyteLines_data();
    void megabyteLines();
    void garbageAndNulBytes();
    void hundredMegabyteFileIsCut();
    void entriesPastTheBoundAreDropped();
};

void TestEximHostile::matcherAgreesWithItsExpression()
{
    // The hand matcher replaces this expression, which takes quadratic time on long words.
    QRegExp setting(QStringLiteral("(\\S+)\\s*=\\s*'(.*)'"));
    const QString alphabet = QStringLiteral("ab= \t''=");
    QRandomGenerator random(20261208);
    for (int round = 0; round < 40000; ++round) {
        const QString line = HostileText::randomLine(random, alphabet, 14);
        QString name, value;
        const bool matched = EximConfReader::matchSetting(line, &name, &value);
        QVERIFY2(matched == (setting.indexIn(line) >= 0), qPrintable(line));
        if (matched) {
            QVERIFY2(name == setting.cap(1), qPrintable(line));
            QVERIFY2(value == setting.cap(2), qPrintable(line));
        }
    }
}

void TestEximHostile::megabyteLines_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("rows");

    const QByteArray word(1024 * 1024, 'w');
    // The expression engine tried every start in the word against every end: hours.
    QTest::newRow("word before a setting")
        << word + " b='x'\nc='d'\n" << QStringList{"b=x", "c=d"};
    QTest::newRow("word with an unquoted value") << word + " b=x '\nc='d'\n"
                                                 << QStringList{"c=d"};
    QTest::newRow("value of a megabyte")
        << "dc_other_hostnames='" + word + "'\n"
        << QStringList{"dc_other_hostnames=" + QString::fromLatin1(word)};
    QTest::newRow("name of a megabyte") << word + "='v'\n"
                                        << QStringList{QString::fromLatin1(word) + "=v"};
    QTest::newRow("quotes only") << QByteArray(1024 * 1024, '\'') + "\na='b'\n"
                                 << QStringList{"a=b"};
}

void TestEximHostile::megabyteLines()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, rows);
    const QList<TreeNode *> nodes = EximConfReader::parse(text);
    QCOMPARE(eximNodeTexts(nodes), rows);
    qDeleteAll(nodes);
}

void TestEximHostile::garbageAndNulBytes()
{
    static const char raw[] = "a='1'\n"
                              "\xff\xfe='\xc3\x28'\n"
                              "b='2\0'\n"
                              "\0c='3'\n"
                              "\x01\x02\x03\n"
                              "d='4'";
    QByteArray text(raw, sizeof(raw) - 1);
    QBuffer buffer(&text);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    bool cut = true;
    const QList<TreeNode *> nodes = EximConfReader::parse(&buffer, &cut);
    QVERIFY(!cut);
    // A NUL ends its line's text: "b='2" has no closing quote, "\0c='3'" is empty.
    QCOMPARE(eximNodeTexts(nodes), (QStringList{"a=1", QString::fromLocal8Bit("\xff\xfe=\xc3\x28"), "d=4"}));
    qDeleteAll(nodes);
}

void TestEximHostile::hundredMegabyteFileIsCut()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(ServiceTaskCheck::writeInitScript(host, script, QStringLiteral("exit 0")));
    const QByteArray comment("# a long comment of the kind that fills this file to the brim\n");
    QByteArray content = HostileText::filledTo("dc_eximconfig_configtype='internet'\n", comment);
    content += "dc_localdelivery='mail_spool'\n";
    QVERIFY(host.writeFile(config, content));
    content.clear();
    content.squeeze();

    Exim exim;
    const TaskReport report = exim.readHeavy();
    QCOMPARE(report.status, TaskDescription::TaskStatusWarning);
    QCOMPARE(report.message, ReadLimits::fileCut(config));
    QCOMPARE(eximNodeTexts(exim.widget->treeRoot()->childNodes()),
             QStringList{"dc_eximconfig_configtype=internet"});
}

void TestEximHostile::entriesPastTheBoundAreDropped()
{
    QByteArray text;
    for (int i = 0; i < ReadLimits::maxEntries + 5; ++i)
        text += "k" + QByteArray::number(i) + "='v'\n";
    QBuffer buffer(&text);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    bool cut = false;
    const QList<TreeNode *> nodes = EximConfReader::parse(&buffer, &cut);
    QVERIFY(cut);
    QCOMPARE(nodes.size(), ReadLimits::maxEntries);
    qDeleteAll(nodes);
}

OXA_TEST_MAIN(TestEximHostile)
#include "tst_eximhostile.moc"
