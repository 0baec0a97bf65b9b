// Dovecot's configuration read against output no sane doveconf prints: words a megabyte
// long, braces that never close or close too often, NUL bytes and bytes that are no text,
// and more settings than a tree can sensibly hold.

#include "dovecottestfixture.h"
#include "hostiletext.h"
#include "servicetaskcheck.h"
#include "taskrunner.h"
#include "testhost.h"

#include <childprocess.h>
#include <element.h>
#include <elementdata.h>
#include <module.h>
#include <readlimits.h>
#include <treenode.h>

#include <QRandomGenerator>
#include <QRegExp>
#include <QTest>

namespace {

const QString script = QStringLiteral("/etc/init.d/dovecot");
const QString outputFile = QStringLiteral("/var/tmp/doveconf.out");

/// The deepest level below @p root and the number of nodes, walked without recursion.
void measure(const TreeNode *root, int *depth, int *count)
{
    *depth = 0;
    *count = 0;
    QList<QPair<const TreeNode *, int>> open{{root, 0}};
    while (!open.isEmpty()) {
        const auto [node, level] = open.takeLast();
        *depth = qMax(*depth, level);
        for (const TreeNode *child : node->childNodes()) {
            ++*count;
            open.append({child, level + 1});
        }
    }
}

void freeAll(const QList<TreeNode *> &nodes)
{
    qDeleteAll(nodes);
}

} // namespace

class TestDovecotHostile : public QObject
{
    Q_OBJECT

private slots:
    void matchersAgreeWithTheirExpressions();
    void megabyteLines_data();
    void megabyteLines();
    void bracesThatNeverCloseOrCloseTooOften_data();
    void bracesThatNeverCloseOrCloseTooOften();
    void garbageAndNulBytes();
    void entriesPastTheBoundAreDropped();
    void floodingDoveconfReachesTheWidgetBounded();
};

void TestDovecotHostile::matchersAgreeWithTheirExpressions()
{
    // The hand matchers replace these expressions, which take quadratic time on long words.
    QRegExp setting(QStringLiteral("(\\S+)\\s*=\\s*((\\s*\\S+)*)"));
    QRegExp section(QStringLiteral("(\\S+)\\s+(\\S+)?\\s*\\{"));
    const QString alphabet = QStringLiteral("ab= \t{{}");
    QRandomGenerator random(20261208);
    for (int round = 0; round < 40000; ++round) {
        const QString line = HostileText::randomLine(random, alphabet, 14);
        QString key, value;
        const bool isSetting = DoveconfParser::matchSetting(line, &key, &value);
        QVERIFY2(isSetting == (setting.indexIn(line) >= 0), qPrintable(line));
        if (isSetting) {
            QVERIFY2(key == setting.cap(1), qPrintable(line));
            QVERIFY2(value == setting.cap(2).trimmed(), qPrintable(line));
        }
        QString type, name;
        const bool opens = DoveconfParser::matchSectionStart(line, &type, &name);
        QVERIFY2(opens == (section.indexIn(line) >= 0), qPrintable(line));
        if (opens) {
            QVERIFY2(type == section.cap(1), qPrintable(line));
            QVERIFY2(name == section.cap(2), qPrintable(line));
        }
    }
}

void TestDovecotHostile::megabyteLines_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QStringList>("rows"); // the DOVECOT node's children, "name=value"

    const QByteArray word(1024 * 1024, 'w');
    // Each of these made the expression engine try every start in the word against every
    // end: hours for one line.
    QTest::newRow("word, then a setting") << word + " b=\nssl = yes\n"
                                          << QStringList{"b=", "ssl=yes"};
    QTest::newRow("word ending in a brace") << word + "{\nssl = yes\n" << QStringList{"ssl=yes"};
    QTest::newRow("section named by the word")
        << "service " + word + " {\nlisten = *\n}\n"
        << QStringList{"service=" + QString::fromLatin1(word)};
    QTest::newRow("value of a megabyte")
        << "ssl_cert = " + word + "\n" << QStringList{"ssl_cert=" + QString::fromLatin1(word)};
    QByteArray blanks(1024 * 1024, ' ');
    QTest::newRow("blanks around a setting") << blanks + "a" + blanks + "=" + blanks + "b\n"
                                             << QStringList{"a=b"};
}

void TestDovecotHostile::megabyteLines()
{
    QFETCH(QByteArray, output);
    QFETCH(QStringList, rows);
    const QList<TreeNode *> nodes = DoveconfParser::parse(output);
    QVERIFY(!nodes.isEmpty());
    QStringList shown;
    for (const TreeNode *node : nodes.first()->childNodes())
        shown << dovecotNodeText(node);
    QCOMPARE(shown, rows);
    freeAll(nodes);
}

void TestDovecotHostile::bracesThatNeverCloseOrCloseTooOften_data()
{
    QTest::addColumn<QString>("doveconf"); // shell body of the stand-in tool
    QTest::addColumn<QStringList>("topRows");

    // 100,000 sections opened, never closed: the tree stays as deep as the parser keeps.
    QTest::newRow("never closed")
        << QStringLiteral("echo 'ssl = yes'; yes 'service s {' | head -n 100000; "
                          "echo 'listen = *'")
        << QStringList{"ssl=yes", "service=s"};
    // Closed 100,000 times more often than opened: the extra ones close nothing.
    QTest::newRow("closed too often")
        << QStringLiteral("echo 'service a {'; yes '}' | head -n 100000; echo 'ssl = yes'; "
                          "echo 'service b {'; echo 'x = 1'; echo '}'")
        << QStringList{"service=a", "ssl=yes", "service=b"};
    QTest::newRow("both, interleaved")
        << QStringLiteral("i=0; while [ $i -lt 2000 ]; do echo 'a b {'; echo 'c {'; echo '}'; "
                          "i=$((i+1)); done; yes '}' | head -n 4000; echo 'ssl = yes'")
        << QStringList{"a=b", "ssl=yes"};
}

void TestDovecotHostile::bracesThatNeverCloseOrCloseTooOften()
{
    QFETCH(QString, doveconf);
    QFETCH(QStringList, topRows);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(ServiceTaskCheck::writeInitScript(host, script, QStringLiteral("exit 0")));
    QVERIFY(host.writeTool(QStringLiteral("doveconf"), doveconf));

    Dovecot dovecot;
    const TaskReport report = dovecot.readHeavy();
    QCOMPARE(report.status, TaskDescription::TaskStatusDone);
    const TreeNode *root = dovecot.widget->treeRoot();
    QVERIFY(root->childCount() >= 1);
    const TreeNode *full = root->childNodes().first();
    QCOMPARE(dovecotNodeText(full), QStringLiteral("DOVECOT="));
    QStringList top;
    for (const TreeNode *node : full->childNodes())
        top << dovecotNodeText(node);
    QCOMPARE(top, topRows);
    int depth = 0;
    int count = 0;
    measure(root, &depth, &count);
    // Root, DOVECOT, then at most the kept sections and a setting in the deepest.
    QVERIFY2(depth <= DoveconfParser::maxSectionDepth + 2, qPrintable(QString::number(depth)));
}

void TestDovecotHostile::garbageAndNulBytes()
{
    // A NUL ends its line's text; bytes that are no UTF-8 decode to replacement characters;
    // nothing of it breaks the lines around it.
    static const char raw[] = "ssl = yes\n"
                              "\xff\xfe = \xc3\x28\n"
                              "auth_mechanisms = plain\0 login\n"
                              "\0\0\0\n"
                              "service \x80 {\n\x01\x02 = \x7f\n}\n"
                              "listen = *\n";
    const QByteArray output(raw, sizeof(raw) - 1);
    const QList<TreeNode *> nodes = DoveconfParser::parse(output);
    QStringList top;
    for (const TreeNode *node : nodes.first()->childNodes())
        top << dovecotNodeText(node);
    QCOMPARE(top.size(), 5);
    QCOMPARE(top.at(0), QStringLiteral("ssl=yes"));
    QCOMPARE(top.at(1), QString::fromLocal8Bit("\xff\xfe=\xc3\x28"));
    QCOMPARE(top.at(2), QStringLiteral("auth_mechanisms=plain"));
    QCOMPARE(top.at(3), QString::fromLocal8Bit("service=\x80"));
    QCOMPARE(top.at(4), QStringLiteral("listen=*"));
    freeAll(nodes);
}

void TestDovecotHostile::entriesPastTheBoundAreDropped()
{
    QByteArray output;
    output.reserve((ReadLimits::maxEntries + 10) * 12);
    for (int i = 0; i < ReadLimits::maxEntries + 10; ++i)
        output += "k" + QByteArray::number(i) + " = v\n";
    bool cut = false;
    const QList<TreeNode *> nodes = DoveconfParser::parse(output, &cut);
    QVERIFY(cut);
    QCOMPARE(nodes.first()->childCount(), ReadLimits::maxEntries);
    QCOMPARE(dovecotNodeText(nodes.first()->childNodes().last()),
             QStringLiteral("k%1=v").arg(ReadLimits::maxEntries - 1));
    freeAll(nodes);

    bool notCut = true;
    freeAll(DoveconfParser::parse("a = b\n", &notCut));
    QVERIFY(!notCut);
}

void TestDovecotHostile::floodingDoveconfReachesTheWidgetBounded()
{
    // 100 MB of comments: what is kept of them stays within the output bound, and the read
    // says that it saw only part of it.
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(ServiceTaskCheck::writeInitScript(host, script, QStringLiteral("exit 0")));
    QVERIFY(host.writeTool(QStringLiteral("doveconf"),
                           QStringLiteral("echo 'ssl = yes'; yes '# a comment line of the flood' "
                                          "| head -c 100000000; echo 'listen = *'")));
    Dovecot dovecot;
    const TaskReport report = dovecot.readHeavy();
    QCOMPARE(report.status, TaskDescription::TaskStatusWarning);
    QCOMPARE(report.message,
             ReadLimits::bytesCut(QStringLiteral("doveconf"), ChildProcess::MaxOutputBytes));
    const TreeNode *full = dovecot.widget->treeRoot()->childNodes().value(0);
    QVERIFY(full);
    QStringList top;
    for (const TreeNode *node : full->childNodes())
        top << dovecotNodeText(node);
    QCOMPARE(top, QStringList{"ssl=yes"});
}

OXA_TEST_MAIN(TestDovecotHostile)
#include "tst_dovecothostile.moc"
