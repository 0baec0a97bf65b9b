#include "eximconfreader.h"
#include "testhost.h"

#include <localhostconnection.h>
#include <treenode.h>

#include <QFile>
#include <QTest>

namespace {

QStringList dump(const QList<TreeNode *> &nodes)
{
    QStringList texts;
    for (const TreeNode *node : nodes) {
        const auto *conf = qobject_cast<const ConfTreeNode *>(node);
        texts << (conf ? conf->name() + QLatin1Char('=') + conf->value() : QStringLiteral("?"));
    }
    return texts;
}

const QString debianFile = QStringLiteral("/etc/exim4/update-exim4.conf.conf");

} // namespace

/** The reader of Exim's Debian settings: its quoting rules, comments, and Debian's own file. */
class TestEximConfReader : public QObject
{
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
    void fileOrder();
    void debiansFile_data();
    void debiansFile();
};

void TestEximConfReader::lines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("setting");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");

    QTest::newRow("plain") << "dc_eximconfig_configtype='internet'" << true
                           << "dc_eximconfig_configtype"
                           << "internet";
    QTest::newRow("blanks around =")
        << "  dc_eximconfig_configtype = 'internet'  " << true << "dc_eximconfig_configtype"
        << "internet";
    QTest::newRow("empty value") << "dc_readhost=''" << true << "dc_readhost" << QString();
    QTest::newRow("blanks inside the value")
        << "dc_local_interfaces='127.0.0.1 ; ::1'" << true << "dc_local_interfaces"
        << "127.0.0.1 ; ::1";
    // From the first quote after "=" to the last one of the line.
    QTest::newRow("quotes inside the value") << "a='it's'" << true << "a"
                                             << "it's";
    QTest::newRow("text after the closing quote") << "a='x' trailing" << true << "a"
                                                  << "x";
    QTest::newRow("comment after the value") << "a='x' # note" << true << "a"
                                             << "x";
    QTest::newRow("double quotes")
        << "dc_smarthost=\"mail.example.org\"" << false << QString() << QString();
    QTest::newRow("no quotes") << "CFILEMODE=644" << false << QString() << QString();
    QTest::newRow("# inside the value cuts the line")
        << "name='a#b'" << false << QString() << QString();
    QTest::newRow("commented setting")
        << "#dc_relay_nets='10.0.0.0/8'" << false << QString() << QString();
    QTest::newRow("indented comment")
        << "   # dc_relay_nets='x'" << false << QString() << QString();
    QTest::newRow("blank") << "   \t " << false << QString() << QString();
    QTest::newRow("one quote only") << "a='x" << false << QString() << QString();
    QTest::newRow("no name") << "='x'" << false << QString() << QString();
}

void TestEximConfReader::lines()
{
    QFETCH(QString, line);
    QFETCH(bool, setting);
    QFETCH(QString, name);
    QFETCH(QString, value);

    QString gotName;
    QString gotValue;
    QCOMPARE(EximConfReader::parseLine(line, &gotName, &gotValue), setting);
    if (setting) {
        QCOMPARE(gotName, name);
        QCOMPARE(gotValue, value);
    }
    // The same line in a file gives a node exactly when it is a setting.
    const QList<TreeNode *> nodes = EximConfReader::parse(line.toLocal8Bit() + '\n');
    QCOMPARE(dump(nodes), setting ? QStringList{name + QLatin1Char('=') + value} : QStringList());
    qDeleteAll(nodes);
}

void TestEximConfReader::fileOrder()
{
    static const char text[] = "# header\n\nb='2'\na='1'\r\nb='3'\nbroken\nc='caf\xe9'\nd='x\0y'\n"
                               "last=''";
    const QList<TreeNode *> nodes = EximConfReader::parse(QByteArray(text, sizeof text - 1));
    // File order, duplicates kept; a NUL ends its line (and with it the closing quote).
    QCOMPARE(dump(nodes),
             (QStringList{"b=2", "a=1", "b=3",
                          QStringLiteral("c=") + QString::fromLocal8Bit("caf\xe9"), "last="}));
    for (const TreeNode *node : nodes)
        QVERIFY(!node->parentNode());
    qDeleteAll(nodes);
}

void TestEximConfReader::debiansFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("settings"); // how many the file holds; 0: any, ten at least
    QTest::newRow("this machine's") << debianFile << 0;
    // As exim4-config 4.98 of Debian 13 writes it for a local-only host.
    QTest::newRow("debian 13, exim 4.98")
        << QStringLiteral(OXA_EXIM_TEST_DATA "/update-exim4.conf.conf-4.98-trixie") << 13;
}

void TestEximConfReader::debiansFile()
{
    QFETCH(QString, path);
    QFETCH(int, settings);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (TestHost::mustRun())
            QFAIL("no /etc/exim4/update-exim4.conf.conf (scripts/install-services installs exim4)");
        QSKIP("no /etc/exim4/update-exim4.conf.conf: exim4 is not installed");
    }
    // Debian's file: comment lines, then one name='value' a line.
    QStringList expected;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const int equals = line.indexOf('=');
        QVERIFY2(equals > 0 && line.endsWith('\'') && line.at(equals + 1) == '\'',
                 line.constData());
        expected << QString::fromLocal8Bit(line.left(equals) + '=' +
                                           line.mid(equals + 2, line.size() - equals - 3));
    }
    if (settings > 0)
        QCOMPARE(expected.size(), settings);
    QVERIFY(expected.size() >= 10);
    QVERIFY(expected.first().startsWith(QLatin1String("dc_eximconfig_configtype=")));

    QList<TreeNode *> nodes;
    QString error;
    QVERIFY(EximConfReader::readFile(
        path, LocalHostConnection().readFile(path, EximConfReader::readBound()), &nodes, &error));
    QCOMPARE(error, QString());
    QCOMPARE(dump(nodes), expected);
    qDeleteAll(nodes);
}

QTEST_GUILESS_MAIN(TestEximConfReader)
#include "tst_eximconfreader.moc"
