// The CUPS plug-in against files no scheduler writes: 100,000 nested sections, a file of
// 100 MB, a line of a megabyte, NUL bytes and bytes that are no text, and spool files whose
// names hold blanks, line feeds, a leading "-" or bytes that are no text.

#include "cupstestutil.h"
#include "hostiletext.h"

#include <cupsconfreader.h>
#include <servicecupselementwidget.h>
#include <servicecupsmodule.h>
#include <servicecupstasks.h>
#include <taskrunner.h>
#include <testhost.h>

#include <element.h>
#include <readlimits.h>
#include <treenodemodel.h>

#include <QDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QString initScript = QStringLiteral("/etc/init.d/cups");
const QString cupsd = QStringLiteral("/etc/cups/cupsd.conf");

/// The deepest level below @p nodes and their number, walked without recursion.
void measure(const QList<TreeNode *> &nodes, int *depth, int *count)
{
    *depth = 0;
    *count = 0;
    QList<QPair<const TreeNode *, int>> open;
    for (const TreeNode *node : nodes)
        open.append({node, 1});
    while (!open.isEmpty()) {
        const auto [node, level] = open.takeLast();
        ++*count;
        *depth = qMax(*depth, level);
        for (const TreeNode *child : node->childNodes())
            open.append({child, level + 1});
    }
}

/** The CUPS module with its service widget showing the service element. */
struct Cups
{
    Cups()
    {
        module.setData(QStringLiteral("administrator"), true);
        element = module.elements().first();
        widget = qobject_cast<ServiceCupsElementWidget *>(
            module.elementWidget(QStringLiteral("ServiceCups")));
        widget->setElement(element, ElementWidgetRoleView);
    }

    TaskReport readHeavy()
    {
        TaskRunner runner;
        return runner.perform(new ServiceCupsReadHeavyTask(element));
    }

    ServiceCupsModule module{nullptr};
    Element *element = nullptr;
    ServiceCupsElementWidget *widget = nullptr;
};

} // namespace

class TestCupsHostile : public QObject
{
    Q_OBJECT

private slots:
    void hundredThousandNestedSections_data();
    void hundredThousandNestedSections();
    void hundredMegabyteConfigurationIsCut();
    void megabyteLineAndGarbage();
    void entriesPastTheBoundAreDropped();
    void spoolNamesOfEveryShapeAreRemoved();
};

void TestCupsHostile::hundredThousandNestedSections_data()
{
    QTest::addColumn<bool>("closed");
    QTest::newRow("never closed") << false;
    QTest::newRow("all closed") << true;
}

void TestCupsHostile::hundredThousandNestedSections()
{
    QFETCH(bool, closed);
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeStatusScript(initScript, 0));
    QVERIFY(host.removePath(QStringLiteral("/etc/cups")));
    QByteArray text("Listen localhost:631\n");
    for (int i = 0; i < 100000; ++i)
        text += "<Location /l" + QByteArray::number(i) + ">\n";
    text += "Order allow,deny\n";
    if (closed) {
        for (int i = 0; i < 100000; ++i)
            text += "</Location>\n";
        text += "Port 631\n";
    }
    QVERIFY(host.writeFile(cupsd, text));

    Cups cups;
    const TaskReport report = cups.readHeavy();
    QCOMPARE(report.status, TaskDescription::TaskStatusDone);
    // The tree the widget took over stays as shallow as the reader keeps it, whatever the
    // file's depth: models, views and deletion walk it recursively.
    TreeNodeModel *model = cups.widget->treeModel();
    QVERIFY(model->rowCount() >= 2);
    QList<TreeNode *> top;
    for (int row = 0; row < model->rowCount(); ++row)
        top << static_cast<TreeNode *>(model->index(row, 0).internalPointer());
    int depth = 0;
    int count = 0;
    measure(top, &depth, &count);
    QVERIFY2(depth <= CupsConfReader::maxSectionDepth + 3, qPrintable(QString::number(depth)));
    QVERIFY(count >= CupsConfReader::maxSectionDepth);
    // The summary nodes come first: Listen always, Port once every section was closed.
    QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("Listen"));
    QCOMPARE(model->index(1, 0).data().toString(),
             closed ? QStringLiteral("Port") : QStringLiteral("cupsd.conf"));
}

void TestCupsHostile::hundredMegabyteConfigurationIsCut()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeStatusScript(initScript, 0));
    QVERIFY(host.removePath(QStringLiteral("/etc/cups")));
    const QByteArray comment("# a comment line of the kind that fills this file to the brim\n");
    QByteArray text = HostileText::filledTo("Listen localhost:631\n", comment);
    text += "Port 631\n";
    QVERIFY(host.writeFile(cupsd, text));
    text.clear();
    text.squeeze();
    QVERIFY(host.writeFile(QStringLiteral("/etc/cups/cups-files.conf"), "LogFileGroup adm\n"));

    Cups cups;
    const TaskReport report = cups.readHeavy();
    QCOMPARE(report.status, TaskDescription::TaskStatusWarning);
    QCOMPARE(report.message, ReadLimits::fileCut(cupsd));
    // The file past its bound shows its beginning (no Port), the other file is whole.
    TreeNodeModel *model = cups.widget->treeModel();
    QStringList rows;
    for (int row = 0; row < model->rowCount(); ++row)
        rows << model->index(row, 0).data().toString();
    QCOMPARE(rows, (QStringList{"cups-files.conf", "Listen", "cupsd.conf"}));
}

void TestCupsHostile::megabyteLineAndGarbage()
{
    const QByteArray word(1024 * 1024, 'w');
    static const char raw[] = "Listen a\0b\n"
                              "\xff\xfe \xc3\x28\n"
                              "<\x01\x02 x>\n"
                              "\0\0\n"
                              "Inside yes\n"
                              "</\x01\x02>\n"
                              "Port 631";
    const QByteArray text = "<" + word + ">\n</" + word + ">\nLogLevel " + word + "\n" +
                            QByteArray(raw, sizeof(raw) - 1);
    const CupsConfReader::Nodes nodes =
        CupsConfReader::parse(text, CupsConfReader::Flavour::Configuration,
                              CupsConfReader::summaryKeys());
    QVERIFY(!nodes.cut);
    // A NUL ends its line's text; the 1 MB tag and directive stay whole.
    QCOMPARE(dumpNodes(nodes.topLevel),
             QString::fromLatin1(word) + "=;LogLevel= " + QString::fromLatin1(word) +
                 ";Listen= a;" + QString::fromLocal8Bit("\xff\xfe= \xc3\x28") + ";" +
                 QString::fromLocal8Bit("\x01\x02= x{Inside= yes}") + ";Port= 631");
    qDeleteAll(nodes.summary);
    qDeleteAll(nodes.topLevel);
}

void TestCupsHostile::entriesPastTheBoundAreDropped()
{
    QByteArray text;
    for (int i = 0; i < ReadLimits::maxEntries + 5; ++i)
        text += "Printer" + QByteArray::number(i) + " x\n";
    const CupsConfReader::Nodes nodes =
        CupsConfReader::parse(text, CupsConfReader::Flavour::Printers);
    QVERIFY(nodes.cut);
    QCOMPARE(nodes.topLevel.size(), ReadLimits::maxEntries);
    qDeleteAll(nodes.topLevel);
}

void TestCupsHostile::spoolNamesOfEveryShapeAreRemoved()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    const QString spool = QString::fromLatin1(ClearCacheTask::spoolDirectory);
    QVERIFY(host.removePath(spool) && host.mkdir(spool));
    const QList<QByteArray> names{"with blank", "line\nfeed", "-rf", "--", "-", "*",
                                  "\xff\xfe not text", "c00001", "d00001-001"};
    for (const QByteArray &name : names) {
        // Written by byte name: some of these have no text form at all.
        const QByteArray path = QFile::encodeName(spool) + '/' + name;
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        QVERIFY2(fd >= 0, path.constData());
        QCOMPARE(::write(fd, "job\n", 4), ssize_t(4));
        ::close(fd);
    }
    QVERIFY(host.mkdir(spool + QStringLiteral("/-subdir")));
    QVERIFY(host.writeFile(spool + QStringLiteral("/.hidden"), "stays\n"));

    ServiceCupsModule module(nullptr);
    ClearCacheTask task(module.elements().first());
    task.run();
    QCOMPARE(task.status(), TaskDescription::TaskStatusDone);
    QCOMPARE(QDir(spool).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                   QDir::NoDotAndDotDot, QDir::Name),
             (QStringList{"-subdir", ".hidden"}));
}

OXA_TEST_MAIN(TestCupsHostile)
#include "tst_cupshostile.moc"
