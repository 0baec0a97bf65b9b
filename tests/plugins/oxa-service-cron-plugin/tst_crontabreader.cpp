#include <crontabreader.h>
#include <crontreenode.h>
#include <localhostconnection.h>
#include <testicontheme.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QTemporaryDir>
#include <QTest>

namespace {

/// The bytes of a literal that holds NUL bytes, all of them but its terminating one.
template <int N> QByteArray literalBytes(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

QStringList texts(const QList<TreeNode *> &nodes)
{
    QStringList list;
    for (TreeNode *node : nodes)
        list << node->data(0, Qt::DisplayRole).toString();
    return list;
}

} // namespace

/** The crontab parser and the tree it builds, without files. */
class TestCronTabReader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(
            installIconTheme(m_theme, {QStringLiteral("text-plain"), QStringLiteral("folder")}));
    }
    void entries_data();
    void entries();
    void debianCrontab_data();
    void debianCrontab();
    void debianJobDirectories();
    void buildTree();
    void nodeData_data();
    void nodeData();
    void rootHeader();

private:
    QTemporaryDir m_theme;
};

void TestCronTabReader::entries_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("empty") << QByteArray() << QStringList();
    QTest::newRow("job")
        << QByteArray("17 * * * * root cd / && run-parts --report /etc/cron.hourly\n")
        << QStringList{"17 * * * * root cd / && run-parts --report /etc/cron.hourly"};
    QTest::newRow("comment line") << QByteArray("# m h dom mon dow user command\n")
                                  << QStringList();
    QTest::newRow("indented comment") << QByteArray("   \t# indented\n") << QStringList();
    // cron hands everything after the fifth field to the shell: the job runs, so it shows.
    QTest::newRow("job with trailing comment")
        << QByteArray("0 3 * * * root /usr/local/bin/backup # nightly\n")
        << QStringList{"0 3 * * * root /usr/local/bin/backup # nightly"};
    QTest::newRow("hash inside the command") << QByteArray("*/5 * * * * root echo '#1' > /tmp/x\n")
                                             << QStringList{"*/5 * * * * root echo '#1' > /tmp/x"};
    QTest::newRow("tabs become blanks") << QByteArray("0\t3\t*\t*\t*\troot\t/bin/true\n")
                                        << QStringList{"0 3 * * * root /bin/true"};
    QTest::newRow("two tabs, two blanks")
        << QByteArray("@reboot\t\troot /bin/true\n") << QStringList{"@reboot  root /bin/true"};
    QTest::newRow("blank lines") << QByteArray("\n   \n\t\n") << QStringList();
    QTest::newRow("SHELL and PATH dropped after trimming")
        << QByteArray("  SHELL=/bin/sh\nPATH=/usr/bin:/bin\n\tPATH=/sbin\n") << QStringList();
    QTest::newRow("MAILTO kept") << QByteArray("MAILTO=root\n") << QStringList{"MAILTO=root"};
    QTest::newRow("lower-case shell kept")
        << QByteArray("shell=/bin/sh\n") << QStringList{"shell=/bin/sh"};
    QTest::newRow("no final newline") << QByteArray("MAILTO=root\n@daily root /bin/true")
                                      << QStringList{"MAILTO=root", "@daily root /bin/true"};
    QTest::newRow("CRLF line ends")
        << QByteArray("MAILTO=root\r\n# c\r\n") << QStringList{"MAILTO=root"};
    QTest::newRow("NUL ends the line only")
        << literalBytes("@daily root /bin/true\0garbage\n@hourly root /bin/false\n")
        << QStringList{"@daily root /bin/true", "@hourly root /bin/false"};
    QTest::newRow("NUL first makes the line empty")
        << literalBytes("\0MAILTO=x\n") << QStringList();
    const QByteArray latin1("@daily root echo caf\xe9\n");
    QTest::newRow("local 8-bit decoding")
        << latin1 << QStringList{QString::fromLocal8Bit(latin1).trimmed()};
}

void TestCronTabReader::entries()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, expected);
    QCOMPARE(CronTabReader::entries(content), expected);
}

void TestCronTabReader::debianCrontab_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("expected");

    // The crontab the cron package installs, as shipped (Debian 12, in part).
    QTest::newRow("debian 12")
        << QByteArray("# /etc/crontab: system-wide crontab\n"
                      "# Unlike any other crontab you don't have to run the `crontab'\n"
                      "SHELL=/bin/sh\n"
                      "PATH=/usr/local/sbin:/usr/local/bin:/sbin:/bin:/usr/sbin:/usr/bin\n"
                      "\n"
                      "# Example of job definition:\n"
                      "# .---------------- minute (0 - 59)\n"
                      "# *  *  *  *  * user-name command to be executed\n"
                      "17 *\t* * *\troot\tcd / && run-parts --report /etc/cron.hourly\n"
                      "25 6\t* * *\troot\ttest -x /usr/sbin/anacron || { cd / && run-parts "
                      "--report /etc/cron.daily; }\n"
                      "#\n")
        << QStringList{"17 * * * * root cd / && run-parts --report /etc/cron.hourly",
                       "25 6 * * * root test -x /usr/sbin/anacron || { cd / && run-parts "
                       "--report /etc/cron.daily; }"};
    // Debian 13's cron 3.0pl1-197, whole, as installed.
    QFile file(QStringLiteral(OXA_CRON_TEST_DATA "/trixie/crontab"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QTest::newRow("debian 13")
        << file.readAll()
        << QStringList{"17 * * * * root cd / && run-parts --report /etc/cron.hourly",
                       "25 6 * * * root test -x /usr/sbin/anacron || { cd / && run-parts "
                       "--report /etc/cron.daily; }",
                       "47 6 * * 7 root test -x /usr/sbin/anacron || { cd / && run-parts "
                       "--report /etc/cron.weekly; }",
                       "52 6 1 * * root test -x /usr/sbin/anacron || { cd / && run-parts "
                       "--report /etc/cron.monthly; }"};
}

void TestCronTabReader::debianCrontab()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, expected);
    QCOMPARE(CronTabReader::entries(content), expected);
}

void TestCronTabReader::debianJobDirectories()
{
    // The job directories of a Debian 13 host (every name, ".placeholder" too) laid out
    // anew: each shows the jobs run-parts --list named there.
    QTemporaryDir root;
    QVERIFY(root.isValid());
    QFile listing(QStringLiteral(OXA_CRON_TEST_DATA "/trixie/cron-directories.txt"));
    QVERIFY(listing.open(QIODevice::ReadOnly));
    for (const QByteArray &name : listing.readAll().split('\n')) {
        if (name.isEmpty())
            continue;
        const QString path = root.filePath(QString::fromLocal8Bit(name));
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QFile job(path);
        QVERIFY(job.open(QIODevice::WriteOnly));
    }
    QFile runParts(QStringLiteral(OXA_CRON_TEST_DATA "/trixie/run-parts-list.txt"));
    QVERIFY(runParts.open(QIODevice::ReadOnly));
    const QStringList run =
        QString::fromLocal8Bit(runParts.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &directory : CronTabReader::jobDirectories()) {
        QStringList shown =
            CronTabReader::directoryFiles(LocalHostConnection(), root.path() + directory.mid(4));
        shown.sort();
        QStringList listed;
        for (const QString &job : run) {
            if (job.startsWith(directory + QLatin1Char('/')))
                listed << job.mid(directory.size() + 1);
        }
        QCOMPARE(shown, listed);
    }
}

void TestCronTabReader::buildTree()
{
    const QStringList directories = CronTabReader::jobDirectories();
    QCOMPARE(directories, (QStringList{"/etc/cron.d", "/etc/cron.daily", "/etc/cron.hourly",
                                       "/etc/cron.monthly"}));
    const QList<TreeNode *> nodes = CronTabReader::buildTree(
        CronTabReader::crontabPath(), {"MAILTO=root", "@daily root /bin/true"}, directories,
        {{"e2scrub_all"}, {"dpkg", "man-db"}, {}});
    QCOMPARE(texts(nodes), (QStringList{"/etc/crontab", "/etc/cron.d", "/etc/cron.daily",
                                        "/etc/cron.hourly", "/etc/cron.monthly"}));
    QCOMPARE(texts(nodes.at(0)->childNodes()),
             (QStringList{"MAILTO=root", "@daily root /bin/true"}));
    QCOMPARE(texts(nodes.at(1)->childNodes()), QStringList{"e2scrub_all"});
    QCOMPARE(texts(nodes.at(2)->childNodes()), (QStringList{"dpkg", "man-db"}));
    // Fewer file lists than directories: the rest are empty.
    QCOMPARE(nodes.at(3)->childCount(), 0);
    QCOMPARE(nodes.at(4)->childCount(), 0);

    const auto kind = [](TreeNode *node) { return qobject_cast<CronTreeNode *>(node)->kind(); };
    QCOMPARE(kind(nodes.at(0)), int(CronTreeNode::FileKind));
    QCOMPARE(kind(nodes.at(0)->child(0)), int(CronTreeNode::EntryKind));
    QCOMPARE(kind(nodes.at(2)), int(CronTreeNode::DirectoryKind));
    QCOMPARE(kind(nodes.at(2)->child(1)), int(CronTreeNode::FileKind));
    for (TreeNode *node : nodes) {
        QVERIFY(!node->parentNode());
        QVERIFY(node->parentId().isEmpty());
        QVERIFY(node->id().startsWith(QStringLiteral("Cron_")));
    }
    QCOMPARE(nodes.at(0)->child(1)->id(), QStringLiteral("Cron_@daily root /bin/true_1"));
    qDeleteAll(nodes);
}

void TestCronTabReader::nodeData_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("icon");

    QTest::newRow("entry") << int(CronTreeNode::EntryKind) << QString();
    QTest::newRow("file") << int(CronTreeNode::FileKind) << QStringLiteral("text-plain");
    QTest::newRow("directory") << int(CronTreeNode::DirectoryKind) << QStringLiteral("folder");
}

void TestCronTabReader::nodeData()
{
    QFETCH(int, kind);
    QFETCH(QString, icon);

    CronTreeNode node(QStringLiteral("/etc/cron.d"), kind);
    QCOMPARE(node.data(0, Qt::DisplayRole).toString(), QStringLiteral("/etc/cron.d"));
    QCOMPARE(node.data(0, Qt::ToolTipRole).toString(), QStringLiteral("/etc/cron.d"));
    const QVariant decoration = node.data(0, Qt::DecorationRole);
    if (icon.isEmpty()) {
        QVERIFY(!decoration.isValid());
    } else {
        QVERIFY(decoration.canConvert<QIcon>());
        QCOMPARE(decoration.value<QIcon>().name(), icon);
    }
    QVERIFY(!node.data(1, Qt::DisplayRole).isValid());
    QVERIFY(!node.data(0, Qt::EditRole).isValid());
}

void TestCronTabReader::rootHeader()
{
    CronRootTreeNode root;
    QCOMPARE(root.columnCount(), 1);
    QCOMPARE(root.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral("Name"));
    QVERIFY(!root.headerData(1, Qt::Horizontal, Qt::DisplayRole).isValid());
    QVERIFY(!root.headerData(0, Qt::Vertical, Qt::DisplayRole).isValid());
    QVERIFY(!root.headerData(0, Qt::Horizontal, Qt::ToolTipRole).isValid());
}

QTEST_MAIN(TestCronTabReader)
#include "tst_crontabreader.moc"
