// The cron plug-in against a crontab and job directories no administrator writes: a crontab
// of 100 MB, a job line of a megabyte, NUL bytes and bytes that are no text, more entries
// than a tree can sensibly hold, and job files whose names hold blanks, line feeds or a
// leading "-".

#include "crontestfixture.h"
#include "hostiletext.h"

#include <crontabreader.h>

#include <element.h>
#include <module.h>
#include <readlimits.h>
#include <taskrunner.h>
#include <testhost.h>

#include <QTreeView>
#include <QtTest>

namespace {

const QString initScript = QStringLiteral("/etc/init.d/cron");
const QString crontab = QStringLiteral("/etc/crontab");

} // namespace

class TestCronHostile : public QObject
{
    Q_OBJECT

private slots:
    void hundredMegabyteCrontabIsCut();
    void megabyteLineGarbageAndOddJobFiles();
    void entriesPastTheBoundAreDropped();
};

void TestCronHostile::hundredMegabyteCrontabIsCut()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeStatusScript(initScript, 0));
    const QByteArray comment("# a comment line of the kind that fills this file to the brim\n");
    QByteArray text = HostileText::filledTo(
        "17 * * * * root cd / && run-parts --report /etc/cron.hourly\n", comment);
    text += "0 0 * * * root /usr/bin/past-the-bound\n";
    QVERIFY(host.writeFile(crontab, text));
    text.clear();
    text.squeeze();

    Cron cron;
    const TaskReport report = cron.readHeavy();
    QCOMPARE(report.status, TaskDescription::TaskStatusWarning);
    QCOMPARE(report.message, ReadLimits::fileCut(crontab));
    const int row = cron.topRow(crontab);
    QVERIFY(row >= 0);
    QCOMPARE(cron.children(row),
             QStringList{"17 * * * * root cd / && run-parts --report /etc/cron.hourly"});
}

void TestCronHostile::megabyteLineGarbageAndOddJobFiles()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeStatusScript(initScript, 0));
    const QByteArray word(1024 * 1024, 'w');
    static const char raw[] = "\xff\xfe\t\xc3\x28 root x\n"
                              "1 * * * * root a\0 b\n"
                              "\0\0\n"
                              "\x01\x02\n";
    QVERIFY(host.writeFile(crontab,
                           "* * * * * root " + word + "\n" + QByteArray(raw, sizeof(raw) - 1)));
    const QString daily = QStringLiteral("/etc/cron.daily");
    QVERIFY(host.removePath(daily) && host.mkdir(daily));
    const QStringList odd{"with blank", "line\nfeed", "-rf", "--", "*"};
    for (const QString &name : odd)
        QVERIFY(host.writeFile(daily + '/' + name, "#!/bin/sh\n", 0755));

    Cron cron;
    const TaskReport report = cron.readHeavy();
    QCOMPARE(report.status, TaskDescription::TaskStatusDone);
    // The view sorts its rows.
    QStringList entries = cron.children(cron.topRow(crontab));
    entries.sort();
    QStringList expectedEntries{"* * * * * root " + QString::fromLatin1(word),
                                QString::fromLocal8Bit("\xff\xfe \xc3\x28 root x"),
                                "1 * * * * root a", QString::fromLocal8Bit("\x01\x02")};
    expectedEntries.sort();
    QCOMPARE(entries, expectedEntries);
    QStringList files = cron.children(cron.topRow(daily));
    files.sort();
    QStringList expected = odd;
    expected.sort();
    QCOMPARE(files, expected);
}

void TestCronHostile::entriesPastTheBoundAreDropped()
{
    QByteArray text;
    for (int i = 0; i < ReadLimits::maxEntries + 5; ++i)
        text += "* * * * * root job" + QByteArray::number(i) + "\n";
    bool cut = false;
    const QStringList lines = CronTabReader::entries(text, &cut);
    QVERIFY(cut);
    QCOMPARE(lines.size(), ReadLimits::maxEntries);
    QCOMPARE(lines.last(), QStringLiteral("* * * * * root job%1").arg(ReadLimits::maxEntries - 1));

    bool notCut = false;
    QCOMPARE(CronTabReader::entries("# only\n\n* * * * * root a\n", &notCut),
             QStringList{"* * * * * root a"});
    QVERIFY(!notCut);

    // A job file may be named anything: a place marker in its name is no place for a number.
    const QString marked = QStringLiteral("/etc/cron.d/job%2%1");
    const QString entries = QString::number(ReadLimits::maxEntries);
    QVERIFY(ReadLimits::fileCut(marked).startsWith(QStringLiteral("Only the beginning of ") +
                                                   marked + QStringLiteral(" is shown")));
    QVERIFY(ReadLimits::fileCut(marked).contains(QStringLiteral("more than ") + entries));
    QVERIFY(ReadLimits::textCut(marked).startsWith(marked + QStringLiteral(" is too large")));
    // Nor in a job line ("%" is cron's own newline marker).
    const QList<TreeNode *> tree = CronTabReader::buildTree(
        QStringLiteral("/etc/crontab"), {QStringLiteral("* * * * * root echo %2%1")}, {}, {});
    QCOMPARE(tree.value(0)->child(0)->id(), QStringLiteral("Cron_* * * * * root echo %2%1_0"));
    qDeleteAll(tree);
}

OXA_TEST_MAIN(TestCronHostile)
#include "tst_cronhostile.moc"
