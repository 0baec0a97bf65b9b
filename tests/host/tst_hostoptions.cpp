#include "consolehost.h"
#include "hostoptions.h"

#include <QTest>

/** The command line and the plug-in search path. */
class TestHostOptions : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void refused_data();
    void refused();
    void helpNamesTheOptions();
    void needsDisplay_data();
    void needsDisplay();
    void searchPath_data();
    void searchPath();
};

void TestHostOptions::parse_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("dirs");
    QTest::addColumn<bool>("viewer");
    QTest::addColumn<bool>("paranoid");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("batch");
    QTest::addColumn<bool>("json");
    QTest::addColumn<int>("changeTimeout");

    QTest::newRow("nothing") << QStringList{} << QStringList{} << false << false << QString()
                             << QString() << false << 600;
    QTest::newRow("repeated dirs, both spellings")
        << QStringList{"--plugin-dir", "a", "--plugin-dir=b", "--plugin-dir", "a"}
        << QStringList{"a", "b", "a"} << false << false << QString() << QString() << false << 600;
    QTest::newRow("modes") << QStringList{"--viewer", "--paranoid"} << QStringList{} << true << true
                           << QString() << QString() << false << 600;
    QTest::newRow("title with blanks")
        << QStringList{"--title", "Demo console"} << QStringList{} << false << false
        << QString("Demo console") << QString() << false << 600;
    QTest::newRow("batch from stdin, json")
        << QStringList{"--batch", "-", "--json"} << QStringList{} << false << false << QString()
        << QString("-") << true << 600;
    QTest::newRow("batch file") << QStringList{"--batch=/tmp/x.script"} << QStringList{} << false
                                << false << QString() << QString("/tmp/x.script") << false << 600;
    QTest::newRow("change timeout, both spellings")
        << QStringList{"--batch", "-", "--change-timeout", "5", "--change-timeout=90"}
        << QStringList{} << false << false << QString() << QString("-") << false << 90;
    QTest::newRow("change timeout in the window")
        << QStringList{"--change-timeout", "86400"} << QStringList{} << false << false << QString()
        << QString() << false << 86400;
}

void TestHostOptions::parse()
{
    QFETCH(QStringList, arguments);
    arguments.prepend(QStringLiteral("vell-admin-service"));
    const HostOptions options = HostOptions::parse(arguments);
    QVERIFY2(options.error.isEmpty(), qPrintable(options.error));
    QTEST(options.pluginDirectories, "dirs");
    QTEST(options.viewer, "viewer");
    QTEST(options.paranoid, "paranoid");
    QTEST(options.title, "title");
    QTEST(options.batchFile, "batch");
    QTEST(options.json, "json");
    QTEST(options.changeTimeout, "changeTimeout");
}

void TestHostOptions::refused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("unknown option") << QStringList{"--frobnicate"};
    QTest::newRow("stray word") << QStringList{"samba"};
    QTest::newRow("dir without value") << QStringList{"--plugin-dir"};
    QTest::newRow("empty dir") << QStringList{"--plugin-dir="};
    QTest::newRow("data dir without value") << QStringList{"--data-dir"};
    QTest::newRow("batch without file") << QStringList{"--batch"};
    QTest::newRow("json without batch") << QStringList{"--json"};
    QTest::newRow("value for a flag") << QStringList{"--viewer=yes"};
    QTest::newRow("change timeout without value") << QStringList{"--change-timeout"};
    QTest::newRow("change timeout zero") << QStringList{"--change-timeout=0"};
    QTest::newRow("change timeout negative") << QStringList{"--change-timeout", "-5"};
    QTest::newRow("change timeout not a number") << QStringList{"--change-timeout", "10m"};
    QTest::newRow("change timeout beyond a day") << QStringList{"--change-timeout", "86401"};
}

void TestHostOptions::refused()
{
    QFETCH(QStringList, arguments);
    arguments.prepend(QStringLiteral("vell-admin-service"));
    QVERIFY(!HostOptions::parse(arguments).error.isEmpty());
}

void TestHostOptions::helpNamesTheOptions()
{
    const QString help = HostOptions::helpText();
    QVERIFY(help.contains(QStringLiteral("--change-timeout SECONDS")));
    QVERIFY(help.contains(QStringLiteral("default 600")));
}

void TestHostOptions::needsDisplay_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("display");
    QTest::newRow("window") << QStringList{"--viewer"} << true;
    QTest::newRow("batch") << QStringList{"--batch", "-"} << false;
    QTest::newRow("help") << QStringList{"--help"} << false;
    QTest::newRow("bad option") << QStringList{"--nope"} << false;
}

void TestHostOptions::needsDisplay()
{
    QFETCH(QStringList, arguments);
    arguments.prepend(QStringLiteral("vell-admin-service"));
    QTEST(HostOptions::parse(arguments).needsDisplay(), "display");
}

void TestHostOptions::searchPath_data()
{
    QTest::addColumn<QStringList>("dirs");
    QTest::addColumn<QString>("environment");
    QTest::addColumn<QStringList>("expected");
    const QString installed = QStringLiteral("/usr/lib/vell/plugins");
    QTest::newRow("installed only") << QStringList{} << QString() << QStringList{installed};
    QTest::newRow("command line, then environment, then installed")
        << QStringList{"/a", "/b"} << QString("/c:/d")
        << QStringList{"/a", "/b", "/c", "/d", installed};
    QTest::newRow("empty entries and repeats dropped")
        << QStringList{"/a/", "/a"} << QString("::/a:/c/../c:")
        << QStringList{"/a", "/c", installed};
    QTest::newRow("installed named earlier keeps its first place")
        << QStringList{installed} << QString("/x") << QStringList{installed, "/x"};
}

void TestHostOptions::searchPath()
{
    QFETCH(QStringList, dirs);
    QFETCH(QString, environment);
    QTEST(ConsoleHost::searchPath(dirs, environment, QStringLiteral("/usr/lib/vell/plugins")),
          "expected");
}

QTEST_GUILESS_MAIN(TestHostOptions)
#include "tst_hostoptions.moc"
