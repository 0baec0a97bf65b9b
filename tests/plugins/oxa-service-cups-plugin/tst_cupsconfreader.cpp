#include "cupstestutil.h"

#include <cupsconfreader.h>

#include <QRandomGenerator>
#include <QRegExp>
#include <QtTest>

using namespace CupsConfReader;

/** The reader of the scheduler's files, on text: lines, tags, nesting, both flavours. */
class TestCupsConfReader : public QObject
{
    Q_OBJECT

private slots:
    void prepareLine_data();
    void prepareLine();
    void classify_data();
    void classify();
    void tagsMatchTheirExpressions();
    void configuration_data();
    void configuration();
    void summaryNodesComeFromEveryDepth();
    void capturedFiles_data();
    void capturedFiles();
    void printers_data();
    void printers();
    void printerNodeColumns();
    void deepNestingIsCapped();
    void deviceAndTextAgree();
    void nulEndsTheLine_data();
    void nulEndsTheLine();
    void deviceThatFailsEndsTheReading();
};

namespace {

/// Gives @p text, then fails every read without reaching its end.
class FailingDevice : public QIODevice
{
public:
    explicit FailingDevice(const QByteArray &text) : m_text(text) {}
    bool isSequential() const override { return true; }
    bool atEnd() const override { return false; }

protected:
    qint64 readData(char *data, qint64 size) override
    {
        if (m_text.isEmpty())
            return -1;
        const qint64 n = qMin<qint64>(size, m_text.size());
        memcpy(data, m_text.constData(), size_t(n));
        m_text.remove(0, int(n));
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_text;
};

} // namespace

void TestCupsConfReader::prepareLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("prepared");

    QTest::newRow("plain") << "Listen localhost:631\n"
                           << "Listen localhost:631";
    QTest::newRow("blanks around") << " \t LogLevel warn \r\n"
                                   << "LogLevel warn";
    QTest::newRow("comment only") << "# Show general information"
                                  << "";
    QTest::newRow("indented comment") << "   #  <Location />"
                                      << "";
    QTest::newRow("blanks only") << " \t \r\n"
                                 << "";
    QTest::newRow("trailing comment") << "MaxLogSize 0 # no rotation"
                                      << "MaxLogSize 0";
    QTest::newRow("second hash") << "A b#c#d"
                                 << "A b";
    QTest::newRow("escaped hash") << "Info Room \\#3 # second floor"
                                  << "Info Room #3";
    QTest::newRow("two escaped") << "Info \\#1 and \\#2"
                                 << "Info #1 and #2";
    QTest::newRow("escape then cut") << "Info a\\#b#c\\#d"
                                     << "Info a#b";
}

void TestCupsConfReader::prepareLine()
{
    QFETCH(QString, line);
    QFETCH(QString, prepared);
    QCOMPARE(CupsConfReader::prepareLine(line), prepared);
}

void TestCupsConfReader::classify_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("selfClosing");

    const int close = Line::Close, open = Line::Open, directive = Line::Directive;
    QTest::newRow("empty") << "" << int(Line::Empty) << ""
                           << "" << false;
    QTest::newRow("directive") << "Listen localhost:631" << directive << "Listen"
                               << " localhost:631" << false;
    QTest::newRow("value keeps its blanks") << "LogLevel \t warn  now" << directive << "LogLevel"
                                            << " \t warn  now" << false;
    QTest::newRow("directive without value") << "Browsing" << directive << "Browsing"
                                             << "" << false;
    QTest::newRow("open") << "<Location /admin>" << open << "Location"
                          << " /admin" << false;
    QTest::newRow("open without arguments") << "<Foo>" << open << "Foo"
                                            << "" << false;
    QTest::newRow("open with blanks") << "< Limit  GET  POST >" << open << "Limit"
                                      << "  GET  POST" << false;
    QTest::newRow("text after the tag") << "<Foo a>b" << open << "Foo"
                                        << " a" << false;
    QTest::newRow("root location is no mark") << "<Location />" << open << "Location"
                                              << " /" << false;
    QTest::newRow("path ending in a slash") << "<Location /admin/>" << open << "Location"
                                            << " /admin/" << false;
    QTest::newRow("self-closing name") << "<Foo/>" << open << "Foo"
                                       << "" << true;
    QTest::newRow("self-closing argument") << "<Foo a b/>" << open << "Foo"
                                           << " a b" << true;
    QTest::newRow("self-closing lone slash") << "<Foo a b  />" << open << "Foo"
                                             << " a b" << true;
    QTest::newRow("slash as the name") << "</ >" << open << "/"
                                       << "" << false;
    QTest::newRow("close") << "</Location>" << close << "Location"
                           << "" << false;
    QTest::newRow("close with blanks") << "</  Limit >" << close << "Limit"
                                       << "" << false;
    QTest::newRow("close with text after") << "</Limit>x" << close << "Limit"
                                           << "" << false;
    QTest::newRow("unfinished close") << "</Limit" << directive << "</Limit"
                                      << "" << false;
    QTest::newRow("unfinished open") << "<Limit GET" << directive << "<Limit"
                                     << " GET" << false;
    // A tag counts only at the start: descriptions may hold angle brackets.
    QTest::newRow("tag inside a value") << "Info Printer <lab>" << directive << "Info"
                                        << " Printer <lab>" << false;
    QTest::newRow("close inside a value") << "Info a</Printer>" << directive << "Info"
                                          << " a</Printer>" << false;
}

void TestCupsConfReader::classify()
{
    QFETCH(QString, line);
    QFETCH(int, kind);
    QFETCH(QString, name);
    QFETCH(QString, value);
    QFETCH(bool, selfClosing);

    const Line result = CupsConfReader::classify(line);
    QCOMPARE(int(result.kind), kind);
    QCOMPARE(result.name, name);
    QCOMPARE(result.value, value);
    QCOMPARE(result.selfClosing, selfClosing);
}

/*
 * The hand-made tag matching gives what the expressions give at the start of a line, on
 * many random lines of the characters that matter.
 */
void TestCupsConfReader::tagsMatchTheirExpressions()
{
    QRegExp closeExpression(QStringLiteral("^</\\s*(\\S+)\\s*>"));
    QRegExp openExpression(QStringLiteral("^<\\s*(\\S+)((\\s+\\S+)*)\\s*(/)?>"));
    const QString alphabet = QStringLiteral("<>/ \tab");
    QRandomGenerator random(20240611);
    for (int round = 0; round < 30000; ++round) {
        QString line;
        const int length = 1 + random.bounded(12);
        for (int i = 0; i < length; ++i)
            line += alphabet.at(random.bounded(alphabet.size()));
        line = line.trimmed();
        if (line.isEmpty())
            continue;

        QString name, arguments;
        const bool closes = matchClose(line, &name);
        QCOMPARE(closes, closeExpression.indexIn(line) == 0);
        if (closes)
            QCOMPARE(name, closeExpression.cap(1));

        const bool opens = matchOpen(line, &name, &arguments);
        QVERIFY2(opens == (openExpression.indexIn(line) == 0), qPrintable(line));
        if (opens) {
            QVERIFY2(name == openExpression.cap(1), qPrintable(line));
            QVERIFY2(arguments == openExpression.cap(2), qPrintable(line));
        }
    }
}

void TestCupsConfReader::configuration_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QString>("tree");

    QTest::newRow("summary directive at top level") << "Listen localhost:631\nLogLevel warn\n"
                                                    << "Listen= localhost:631"
                                                    << "Listen= localhost:631;LogLevel= warn";
    QTest::newRow("nested sections")
        << "<Location /admin>\n  Order allow,deny\n  <Limit GET>\n    Require user @SYSTEM\n"
           "  </Limit>\n  Allow all\n</Location>\nBrowsing No\n"
        << ""
        << "Location= /admin{Order= allow,deny;Limit= GET{Require= user @SYSTEM};Allow= all};"
           "Browsing= No";
    QTest::newRow("inner section left open") << "<Location />\n<Limit GET>\nA 1\n</Location>\nB 2\n"
                                             << ""
                                             << "Location= /{Limit= GET{A= 1}};B= 2";
    QTest::newRow("stray closing tags")
        << "</Policy>\n<Policy default>\nA 1\n</Limit>\nB 2\n</Policy>\n</Policy>\nC 3\n"
        << ""
        << "Policy= default{A= 1;B= 2};C= 3";
    QTest::newRow("closing an outer name twice open")
        << "<A>\n<B>\n<A>\n<C>\nx 1\n</A>\ny 2\n</A>\nz 3\n"
        << ""
        << "A={B={A={C={x= 1}};y= 2}};z= 3";
    QTest::newRow("self-closing section")
        << "<Policy default>\n<Limit GET/>\nJobPrivateAccess all\n</Policy>\n"
        << ""
        << "Policy= default{Limit= GET;JobPrivateAccess= all}";
    QTest::newRow("unclosed at the end") << "<Policy a>\n<Limit All>\nOrder deny\n"
                                         << ""
                                         << "Policy= a{Limit= All{Order= deny}}";
    QTest::newRow("comments and blank lines")
        << "# header\n\n   \t\nMaxLogSize 0 # never rotate\n#<Location />\n"
        << ""
        << "MaxLogSize= 0";
    QTest::newRow("no final line feed") << "Port 631"
                                        << "Port= 631"
                                        << "Port= 631";
    QTest::newRow("summary keys are exact") << "listen x\nListenBacklog 5\nPort 631\n"
                                            << "Port= 631"
                                            << "listen= x;ListenBacklog= 5;Port= 631";
    QTest::newRow("empty") << ""
                           << ""
                           << "";
}

void TestCupsConfReader::configuration()
{
    QFETCH(QString, text);
    QFETCH(QString, summary);
    QFETCH(QString, tree);

    const Nodes nodes = parse(text.toLocal8Bit(), Flavour::Configuration, summaryKeys());
    QCOMPARE(dumpNodes(nodes.summary), summary);
    QCOMPARE(dumpNodes(nodes.topLevel), tree);
    for (TreeNode *node : nodes.summary + nodes.topLevel) {
        QVERIFY(!node->parentNode());
        QVERIFY(!node->parent());
        QVERIFY(!qobject_cast<PrintersTreeNode *>(node));
    }
    qDeleteAll(nodes.summary);
    qDeleteAll(nodes.topLevel);
}

void TestCupsConfReader::summaryNodesComeFromEveryDepth()
{
    const QByteArray text = "ServerAlias *\n<Location />\n<Limit All>\nListen /run/a.sock\n"
                            "</Limit>\n</Location>\n<Port 8631>\nSystemGroup lpadmin\n";
    const Nodes nodes = parse(text, Flavour::Configuration, summaryKeys());
    // In file order, a separate childless node each, also for a section opening.
    QCOMPARE(dumpNodes(nodes.summary),
             QStringLiteral("ServerAlias= *;Listen= /run/a.sock;Port= 8631;SystemGroup= lpadmin"));
    QCOMPARE(dumpNodes(nodes.topLevel),
             QStringLiteral("ServerAlias= *;Location= /{Limit= All{Listen= /run/a.sock}};"
                            "Port= 8631{SystemGroup= lpadmin}"));
    qDeleteAll(nodes.summary);
    qDeleteAll(nodes.topLevel);

    QCOMPARE(summaryKeys().size(), 9);
    const Nodes printers = parse(text, Flavour::Printers, summaryKeys());
    QVERIFY(printers.summary.isEmpty());
    qDeleteAll(printers.topLevel);
}

void TestCupsConfReader::capturedFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("summary"); // the summary directives the file holds, in order

    // The files of Debian 13's cups 2.4.10 as installed.
    QTest::newRow("cupsd.conf 2.4.10")
        << QStringLiteral("cupsd.conf-2.4.10-trixie")
        << QStringLiteral(
               "Listen= localhost:631;Listen= /run/cups/cups.sock;DefaultAuthType= Basic");
    QTest::newRow("cups-files.conf 2.4.10")
        << QStringLiteral("cups-files.conf-2.4.10-trixie")
        << QStringLiteral("SystemGroup= root lpadmin;AccessLog= /var/log/cups/access_log;"
                          "ErrorLog= /var/log/cups/error_log;PageLog= /var/log/cups/page_log");
}

void TestCupsConfReader::capturedFiles()
{
    QFETCH(QString, file);
    QFETCH(QString, summary);
    QFile data(QStringLiteral(OXA_CUPS_TEST_DATA "/") + file);
    QVERIFY(data.open(QIODevice::ReadOnly));
    const QByteArray text = data.readAll();

    // The file read plainly: its directives and section tags outside comments, as
    // "name= value", a section's closing tag ending its children.
    QStringList plain;
    int depth = 0;
    for (const QByteArray &raw : text.split('\n')) {
        const QString line = QString::fromLocal8Bit(raw).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1String("</"))) {
            plain << QStringLiteral("}");
            --depth;
            continue;
        }
        const bool opens = line.startsWith(QLatin1Char('<'));
        const QString body = opens ? line.mid(1).chopped(1) : line;
        const QString value = body.section(QLatin1Char(' '), 1);
        plain << body.section(QLatin1Char(' '), 0, 0) + QLatin1Char('=') +
                     (value.isEmpty() ? QString() : QLatin1Char(' ') + value) +
                     (opens ? QStringLiteral("{") : QString());
        depth += opens ? 1 : 0;
    }
    QCOMPARE(depth, 0);

    const Nodes nodes = parse(text, Flavour::Configuration, summaryKeys());
    QCOMPARE(dumpNodes(nodes.summary), summary);
    // The tree as the same sequence: each node, its children in braces.
    QStringList tree;
    std::function<void(const TreeNode *)> walk = [&](const TreeNode *node) {
        const auto *conf = qobject_cast<const ConfTreeNode *>(node);
        QVERIFY(conf);
        const bool section = node->childCount() > 0 || plain.value(tree.size()).endsWith('{');
        tree << conf->name() + QLatin1Char('=') + conf->value() +
                    (section ? QStringLiteral("{") : QString());
        for (const TreeNode *child : node->childNodes())
            walk(child);
        if (section)
            tree << QStringLiteral("}");
    };
    for (const TreeNode *node : nodes.topLevel)
        walk(node);
    QCOMPARE(tree, plain);
    qDeleteAll(nodes.summary);
    qDeleteAll(nodes.topLevel);
}

void TestCupsConfReader::printers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("tree");

    QTest::newRow("printer with policy and labels")
        << "<Printer P>\nInfo Office\nOpPolicy default\nMacLabelMin s0\nMacLabelMax s3\n"
           "</Printer>\n"
        << "Printer= P[ default| s0| s3]{Info= Office;OpPolicy= default;MacLabelMin= s0;"
           "MacLabelMax= s3}";
    QTest::newRow("default printer and printer")
        << "<DefaultPrinter A>\nState Idle\n</DefaultPrinter>\n<Printer B>\nOpPolicy x\n"
           "</Printer>\n"
        << "DefaultPrinter= A{State= Idle};Printer= B[ x||]{OpPolicy= x}";
    QTest::newRow("policy outside a section")
        << "OpPolicy default\n<Printer P>\n</Printer>\nMacLabelMax s1\n"
        << "OpPolicy= default;Printer= P;MacLabelMax= s1";
    QTest::newRow("later directive wins")
        << "<Class C>\nOpPolicy a\nOpPolicy b\nMember P\n</Class>\n"
        << "Class= C[ b||]{OpPolicy= a;OpPolicy= b;Member= P}";
    QTest::newRow("innermost section takes the setting")
        << "<Printer P>\n<Extra x>\nOpPolicy inner\n</Extra>\nMacLabelMin low\n</Printer>\n"
        << "Printer= P[| low|]{Extra= x[ inner||]{OpPolicy= inner};MacLabelMin= low}";
    QTest::newRow("names are exact") << "<Printer P>\noppolicy x\n</Printer>\n"
                                     << "Printer= P{oppolicy= x}";
}

void TestCupsConfReader::printers()
{
    QFETCH(QString, text);
    QFETCH(QString, tree);

    const Nodes nodes = parse(text.toLocal8Bit(), Flavour::Printers);
    QVERIFY(nodes.summary.isEmpty());
    QCOMPARE(dumpNodes(nodes.topLevel), tree);
    std::function<void(TreeNode *)> check = [&](TreeNode *node) {
        QVERIFY(qobject_cast<PrintersTreeNode *>(node));
        for (TreeNode *child : node->childNodes())
            check(child);
    };
    for (TreeNode *node : nodes.topLevel)
        check(node);
    qDeleteAll(nodes.topLevel);
}

void TestCupsConfReader::printerNodeColumns()
{
    const Nodes nodes =
        parse("<Printer P>\nOpPolicy pol\nMacLabelMin lo\nMacLabelMax hi\n</Printer>\n",
              Flavour::Printers);
    QCOMPARE(nodes.topLevel.size(), 1);
    TreeNode *printer = nodes.topLevel.first();
    const QStringList expected{QStringLiteral("Printer"), QStringLiteral(" P"),
                               QStringLiteral(" pol"), QStringLiteral(" lo"),
                               QStringLiteral(" hi")};
    for (int column = 0; column < 5; ++column) {
        QCOMPARE(printer->data(column, Qt::DisplayRole).toString(), expected.at(column));
        QCOMPARE(printer->data(column, Qt::ToolTipRole).toString(), expected.at(column));
    }
    QVERIFY(!printer->data(5, Qt::DisplayRole).isValid());
    QVERIFY(!printer->data(0, Qt::EditRole).isValid());
    QVERIFY(!printer->data(0, Qt::DecorationRole).isValid());

    PrintersRootTreeNode root;
    QCOMPARE(root.columnCount(), 5);
    QStringList headers;
    for (int section = 0; section < 5; ++section)
        headers << root.headerData(section, Qt::Horizontal, Qt::DisplayRole).toString();
    QCOMPARE(headers,
             (QStringList{QStringLiteral("Name"), QStringLiteral("Value"), QStringLiteral("Policy"),
                          QStringLiteral("Min. label"), QStringLiteral("Max. label")}));
    QVERIFY(!root.headerData(5, Qt::Horizontal, Qt::DisplayRole).isValid());
    QVERIFY(!root.headerData(0, Qt::Vertical, Qt::DisplayRole).isValid());
    // The root deletes what it holds.
    root.loadTreeFromList(nodes.topLevel);
    QCOMPARE(root.childCount(), 1);
}

void TestCupsConfReader::deepNestingIsCapped()
{
    QByteArray text;
    const int depth = 500;
    for (int i = 0; i < depth; ++i)
        text += "<S" + QByteArray::number(i) + ">\n";
    text += "Deep 1\n";
    for (int i = depth - 1; i >= 0; --i)
        text += "</S" + QByteArray::number(i) + ">\n";
    text += "After 2\n";

    const Nodes nodes = parse(text, Flavour::Configuration);
    QCOMPARE(nodes.topLevel.size(), 2);
    QCOMPARE(qobject_cast<ConfTreeNode *>(nodes.topLevel.at(1))->name(), QStringLiteral("After"));
    int levels = 0;
    TreeNode *node = nodes.topLevel.first();
    TreeNode *deepest = node;
    while (node) {
        ++levels;
        deepest = node;
        TreeNode *next = nullptr;
        for (TreeNode *child : node->childNodes()) {
            if (child->childCount() > 0)
                next = child;
        }
        node = next;
    }
    QCOMPARE(levels, maxSectionDepth);
    // The sections past the limit are leaves of the deepest one, which holds their content.
    QCOMPARE(deepest->childCount(), depth - maxSectionDepth + 1);
    QCOMPARE(dumpNode(deepest->childNodes().last()), QStringLiteral("Deep= 1"));
    qDeleteAll(nodes.topLevel);
}

void TestCupsConfReader::deviceAndTextAgree()
{
    const QByteArray text = "# c\nListen localhost:631\n<Location />\nOrder allow,deny\n"
                            "</Location>\r\nPort 631";
    QBuffer buffer;
    buffer.setData(text);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    const Nodes fromDevice = parse(&buffer, Flavour::Configuration, summaryKeys());
    const Nodes fromText = parse(text, Flavour::Configuration, summaryKeys());
    QCOMPARE(dumpNodes(fromDevice.summary), dumpNodes(fromText.summary));
    QCOMPARE(dumpNodes(fromDevice.topLevel), dumpNodes(fromText.topLevel));
    QCOMPARE(dumpNodes(fromText.topLevel),
             QStringLiteral("Listen= localhost:631;Location= /{Order= allow,deny};Port= 631"));
    for (const Nodes &nodes : {fromDevice, fromText}) {
        qDeleteAll(nodes.summary);
        qDeleteAll(nodes.topLevel);
    }
}

void TestCupsConfReader::nulEndsTheLine_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("tree");

    QTest::newRow("rest of a value")
        << QByteArray("Info a\0b c\nPort 631\n", 20) << "Info= a;Port= 631";
    QTest::newRow("line of NULs") << QByteArray("\0\0\0\0\0\0\0\0", 8) << "";
    QTest::newRow("NUL before a tag") << QByteArray("\0<Printer P>\nInfo x\n", 20) << "Info= x";
    QTest::newRow("NUL inside a tag")
        << QByteArray("<Printer P\0>\nInfo x\n</Printer>\nB 1", 34) << "<Printer= P;Info= x;B= 1";
}

/*
 * A file holding NUL bytes (damaged, or binary): each line ends at its first NUL, whether
 * the bytes come from a file or as text, and no NUL reaches a node.
 */
void TestCupsConfReader::nulEndsTheLine()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, tree);

    QBuffer buffer;
    buffer.setData(text);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    const Nodes fromDevice = parse(&buffer, Flavour::Printers);
    const Nodes fromText = parse(text, Flavour::Printers);
    QCOMPARE(dumpNodes(fromDevice.topLevel), tree);
    QCOMPARE(dumpNodes(fromText.topLevel), tree);
    for (const Nodes &nodes : {fromDevice, fromText})
        qDeleteAll(nodes.topLevel);
}

void TestCupsConfReader::deviceThatFailsEndsTheReading()
{
    FailingDevice device("Port 631\n<Location />\n");
    QVERIFY(device.open(QIODevice::ReadOnly));
    const Nodes nodes = parse(&device, Flavour::Configuration, summaryKeys());
    QCOMPARE(dumpNodes(nodes.topLevel), QStringLiteral("Port= 631;Location= /"));
    qDeleteAll(nodes.summary);
    qDeleteAll(nodes.topLevel);
}

QTEST_GUILESS_MAIN(TestCupsConfReader)
#include "tst_cupsconfreader.moc"
