#include "consolehost.h"
#include "hostapplication.h"
#include "hostoptions.h"
#include "hosttestenvironment.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
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
    void hosts_data();
    void hosts();
    void helpNamesTheOptions();
    void manualPageNamesTheOptions();
    void bridgeCommand_data();
    void bridgeCommand();
    void program_data();
    void program();
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
    QTest::addColumn<bool>("help");

    QTest::newRow("nothing") << QStringList{} << QStringList{} << false << false << QString()
                             << QString() << false << 600 << false;
    QTest::newRow("repeated dirs, both spellings")
        << QStringList{"--plugin-dir", "a", "--plugin-dir=b", "--plugin-dir", "a"}
        << QStringList{"a", "b", "a"} << false << false << QString() << QString() << false << 600
        << false;
    QTest::newRow("modes") << QStringList{"--viewer", "--paranoid"} << QStringList{} << true << true
                           << QString() << QString() << false << 600 << false;
    QTest::newRow("title with blanks")
        << QStringList{"--title", "Demo console"} << QStringList{} << false << false
        << QString("Demo console") << QString() << false << 600 << false;
    QTest::newRow("batch from stdin, json")
        << QStringList{"--batch", "-", "--json"} << QStringList{} << false << false << QString()
        << QString("-") << true << 600 << false;
    QTest::newRow("batch file") << QStringList{"--batch=/tmp/x.script"} << QStringList{} << false
                                << false << QString() << QString("/tmp/x.script") << false << 600
                                << false;
    QTest::newRow("change timeout, both spellings")
        << QStringList{"--batch", "-", "--change-timeout", "5", "--change-timeout=90"}
        << QStringList{} << false << false << QString() << QString("-") << false << 90 << false;
    QTest::newRow("change timeout in the window")
        << QStringList{"--change-timeout", "86400"} << QStringList{} << false << false << QString()
        << QString() << false << 86400 << false;
    QTest::newRow("-- ends the options")
        << QStringList{"--viewer", "--"} << QStringList{} << true << false << QString() << QString()
        << false << 600 << false;
    QTest::newRow("values that look like options")
        << QStringList{"--title", "--", "--plugin-dir", "-x", "--batch", "--json"}
        << QStringList{"-x"} << false << false << QString("--") << QString("--json") << false << 600
        << false;
    QTest::newRow("repeated value option: the last counts")
        << QStringList{"--title=a", "--title", "b", "--batch", "x", "--batch=-"} << QStringList{}
        << false << false << QString("b") << QString("-") << false << 600 << false;
    QTest::newRow("repeated switches")
        << QStringList{"--viewer", "--viewer", "--paranoid"} << QStringList{} << true << true
        << QString() << QString() << false << 600 << false;
    QTest::newRow("empty title") << QStringList{"--title="} << QStringList{} << false << false
                                 << QString() << QString() << false << 600 << false;
    QTest::newRow("help") << QStringList{"--help"} << QStringList{} << false << false << QString()
                          << QString() << false << 600 << true;
    QTest::newRow("help, short") << QStringList{"-h", "--viewer"} << QStringList{} << true << false
                                 << QString() << QString() << false << 600 << true;
    // QCommandLineParser's: a short name with two dashes, short switches run together.
    QTest::newRow("help, --h") << QStringList{"--h"} << QStringList{} << false << false << QString()
                               << QString() << false << 600 << true;
    QTest::newRow("help, -hh") << QStringList{"-hh"} << QStringList{} << false << false << QString()
                               << QString() << false << 600 << true;
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
    QTEST(options.help, "help");
}

void TestHostOptions::hosts_data()
{
    // A hosts file's contents (written for the row when not empty), the arguments, and the
    // hosts as user|host|port, or the refusal.
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("hosts");
    QTest::addColumn<QString>("error");
    const QByteArray none;
    const QString ok;
    QTest::newRow("name") << none << QStringList{"--host", "db1"} << QStringList{"|db1|0"} << ok;
    QTest::newRow("user, port") << none << QStringList{"--host=admin@db1.example.org:2222"}
                                << QStringList{"admin|db1.example.org|2222"} << ok;
    QTest::newRow("IPv6 with port") << none << QStringList{"--host", "root@[fd00::5]:22"}
                                    << QStringList{"root|fd00::5|22"} << ok;
    QTest::newRow("IPv6 alone") << none << QStringList{"--host", "::1"} << QStringList{"|::1|0"}
                                << ok;
    QTest::newRow("repeated, file after, repeats dropped")
        << QByteArray("# web servers\n  web1  \n\n\t# old\nweb2:2200\ndb1\n")
        << QStringList{"--batch",      "-",    "--host",      "db1", "--host", "db2",
                       "--hosts-file", "FILE", "--max-hosts", "3"}
        << QStringList{"|db1|0", "|db2|0", "|web1|0", "|web2|2200"} << ok;
    QTest::newRow("a host beginning with a dash")
        << none << QStringList{"--host", "-oProxyCommand=x"} << QStringList{}
        << "option --host: a host name cannot begin with \"-\": \"-oProxyCommand=x\"";
    QTest::newRow("user beginning with a dash")
        << none << QStringList{"--host", "-l@db1"} << QStringList{}
        << "option --host: \"-l\" is not a user name";
    QTest::newRow("blank in the name") << none << QStringList{"--host", "db1 -v"} << QStringList{}
                                       << "option --host: \"db1 -v\" is not a host name or address";
    QTest::newRow("port out of range")
        << none << QStringList{"--host", "db1:65536"} << QStringList{}
        << "option --host: \"65536\" is not a port (1 to 65535)";
    QTest::newRow("empty port") << none << QStringList{"--host", "db1:"} << QStringList{}
                                << "option --host: no port after the colon in \"db1:\"";
    QTest::newRow("no host") << none << QStringList{"--host", "root@"} << QStringList{}
                             << "option --host: no host in \"root@\"";
    QTest::newRow("brackets around a name")
        << none << QStringList{"--host", "[db1]:22"} << QStringList{}
        << "option --host: \"db1\" in brackets is not an IPv6 address";
    QTest::newRow("unclosed bracket") << none << QStringList{"--host", "[::1:22"} << QStringList{}
                                      << "option --host: unclosed bracket in \"[::1:22\"";
    QTest::newRow("bad line in the file")
        << QByteArray("web1\n-bad\n") << QStringList{"--batch", "-", "--hosts-file", "FILE"}
        << QStringList{}
        << "the hosts file FILE: line 2: a host name cannot begin with \"-\": \"-bad\"";
    QTest::newRow("two hosts in the window")
        << none << QStringList{"--host", "a", "--host", "b"} << QStringList{}
        << "several hosts need --batch: a window serves one host";
    QTest::newRow("bridge with a host")
        << none << QStringList{"--host", "a", "--bridge", "sudo -n x"} << QStringList{}
        << "option --bridge serves this machine; it cannot go with --host";
    QTest::newRow("max hosts zero")
        << none << QStringList{"--max-hosts", "0"} << QStringList{}
        << "option --max-hosts needs a number from 1 to 1024, not \"0\"";
    QTest::newRow("empty ssh config") << none << QStringList{"--ssh-config="} << QStringList{}
                                      << "option --ssh-config needs a file name";
}

void TestHostOptions::hosts()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, arguments);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("hosts"));
    if (!file.isEmpty()) {
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(file);
    }
    arguments.replaceInStrings(QStringLiteral("FILE"), path);
    arguments.prepend(QStringLiteral("vell-admin-service"));
    const HostOptions options = HostOptions::parse(arguments);
    QString error;
    error = options.error;
    error.replace(path, QStringLiteral("FILE"));
    QTEST(error, "error");
    QStringList hosts;
    for (const SshTarget &target : options.hosts)
        hosts.append(QStringLiteral("%1|%2|%3").arg(target.user, target.host).arg(target.port));
    if (error.isEmpty())
        QTEST(hosts, "hosts");
    if (arguments.contains(QStringLiteral("--max-hosts")) && error.isEmpty())
        QCOMPARE(options.maxHosts, 3);
}

void TestHostOptions::refused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    const QString timeout =
        QStringLiteral("option --change-timeout needs a number of seconds from 1 to 86400, not ");
    QTest::newRow("unknown option")
        << QStringList{"--frobnicate"} << "unknown option \"--frobnicate\"";
    QTest::newRow("stray word") << QStringList{"samba"} << "unexpected argument \"samba\"";
    QTest::newRow("dir without value")
        << QStringList{"--plugin-dir"} << "option --plugin-dir needs a value";
    QTest::newRow("empty dir") << QStringList{"--plugin-dir="}
                               << "option --plugin-dir needs a directory";
    QTest::newRow("data dir without value")
        << QStringList{"--data-dir"} << "option --data-dir needs a value";
    QTest::newRow("batch without file") << QStringList{"--batch"} << "option --batch needs a value";
    QTest::newRow("json without batch") << QStringList{"--json"} << "option --json needs --batch";
    QTest::newRow("value for a flag")
        << QStringList{"--viewer=yes"} << "option --viewer takes no value";
    QTest::newRow("change timeout without value")
        << QStringList{"--change-timeout"} << "option --change-timeout needs a value";
    QTest::newRow("change timeout zero") << QStringList{"--change-timeout=0"} << timeout + "\"0\"";
    QTest::newRow("change timeout negative")
        << QStringList{"--change-timeout", "-5"} << timeout + "\"-5\"";
    QTest::newRow("change timeout not a number")
        << QStringList{"--change-timeout", "10m"} << timeout + "\"10m\"";
    QTest::newRow("change timeout beyond a day")
        << QStringList{"--change-timeout", "86401"} << timeout + "\"86401\"";

    // Where QCommandLineParser differs from a plain reading, or says it in its own words.
    QTest::newRow("empty data dir")
        << QStringList{"--data-dir="} << "option --data-dir needs a directory";
    QTest::newRow("empty batch file")
        << QStringList{"--batch="} << "option --batch needs a file name, or - for standard input";
    QTest::newRow("unknown option with a value")
        << QStringList{"--frobnicate=3"} << "unknown option \"--frobnicate=3\"";
    QTest::newRow("unknown short option") << QStringList{"-x"} << "unknown option \"-x\"";
    QTest::newRow("short switches with an unknown one")
        << QStringList{"-hx"} << "unknown option \"-hx\"";
    QTest::newRow("no name") << QStringList{"--=x"} << "unknown option \"--=x\"";
    QTest::newRow("lone dash") << QStringList{"-"} << "unexpected argument \"-\"";
    QTest::newRow("value for help") << QStringList{"--help=x"} << "option --help takes no value";
    QTest::newRow("value for -h") << QStringList{"-h=x"} << "option -h takes no value";
    QTest::newRow("word after --") << QStringList{"--", "samba"} << "unexpected argument \"samba\"";
    QTest::newRow("option after --")
        << QStringList{"--batch", "-", "--", "--json"} << "unexpected argument \"--json\"";
    // Qt's own options never pass: as root they would load code from where the caller says.
    QTest::newRow("Qt's option") << QStringList{"-platform", "offscreen"}
                                 << "unknown option \"-platform\"";
    QTest::newRow("Qt's option, two dashes")
        << QStringList{"--platformpluginpath", "/tmp"} << "unknown option \"--platformpluginpath\"";
    // The first fault in order, although the parser reports unknown options first.
    QTest::newRow("stray word before an unknown option")
        << QStringList{"samba", "--frobnicate"} << "unexpected argument \"samba\"";
    QTest::newRow("flag value before an unknown option")
        << QStringList{"--viewer=1", "--frobnicate"} << "option --viewer takes no value";
    QTest::newRow("unknown option before a missing value")
        << QStringList{"--frobnicate", "--batch"} << "unknown option \"--frobnicate\"";
    QTest::newRow("missing value after repeated options")
        << QStringList{"--title", "a", "--title"} << "option --title needs a value";
    QTest::newRow("bad value of a repeated option")
        << QStringList{"--change-timeout", "5", "--change-timeout", "x"} << timeout + "\"x\"";
    QTest::newRow("empty repeated dir") << QStringList{"--plugin-dir", "a", "--plugin-dir", ""}
                                        << "option --plugin-dir needs a directory";
}

void TestHostOptions::refused()
{
    QFETCH(QStringList, arguments);
    arguments.prepend(QStringLiteral("vell-admin-service"));
    const HostOptions options = HostOptions::parse(arguments);
    QTEST(options.error, "message");
    QVERIFY(!options.needsDisplay());
}

void TestHostOptions::bridgeCommand_data()
{
    // The command the console starts the helper with, as far as it is built; "!" before a
    // message: the command line is refused.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("root");
    QTest::addColumn<QStringList>("command");

    const QString bridge = HostApplication::bridgeProgram();
    QTest::newRow("user: pkexec") << QStringList{} << false
                                  << QStringList{"/usr/bin/pkexec", bridge};
    QTest::newRow("user, batch: pkexec")
        << QStringList{"--batch", "-"} << false << QStringList{"/usr/bin/pkexec", bridge};
    QTest::newRow("root: in-process") << QStringList{} << true << QStringList{};
    QTest::newRow("user, viewer: in-process") << QStringList{"--viewer"} << false << QStringList{};
    QTest::newRow("sudo")
        << QStringList{"--bridge", "sudo -n /usr/libexec/vell-admin-service/vell-admin-bridge"}
        << false << QStringList{"sudo", "-n", "/usr/libexec/vell-admin-service/vell-admin-bridge"};
    QTest::newRow("root, given") << QStringList{"--bridge=/opt/b"} << true << QStringList{"/opt/b"};
    QTest::newRow("quotes and escapes")
        << QStringList{"--bridge", " ssh\t-o 'ProxyCommand=nc %h 22' \"a \\\"b\\\\ $x\" c\\ d '' "}
        << false << QStringList{"ssh", "-o", "ProxyCommand=nc %h 22", "a \"b\\ $x", "c d", ""};
    QTest::newRow("the last counts")
        << QStringList{"--bridge", "a", "--bridge", "b c"} << false << QStringList{"b", "c"};
    QTest::newRow("unclosed quote")
        << QStringList{"--bridge", "sudo 'x"} << false
        << QStringList{"!option --bridge: unclosed quote in \"sudo 'x\""};
    QTest::newRow("only blanks") << QStringList{"--bridge", " \t "} << false
                                 << QStringList{"!option --bridge: needs a command"};
    QTest::newRow("empty program") << QStringList{"--bridge", "'' x"} << false
                                   << QStringList{"!option --bridge: needs a command"};
    QTest::newRow("trailing backslash")
        << QStringList{"--bridge", "a\\"} << false
        << QStringList{"!option --bridge: a backslash ends \"a\\\""};
}

void TestHostOptions::bridgeCommand()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, root);
    QFETCH(QStringList, command);
    arguments.prepend(QStringLiteral("vell-admin-service"));
    const HostOptions options = HostOptions::parse(arguments);
    if (command.value(0).startsWith('!')) {
        QCOMPARE(options.error, command.first().mid(1));
        return;
    }
    QVERIFY2(options.error.isEmpty(), qPrintable(options.error));
    QCOMPARE(HostApplication::bridgeCommand(options, root), command);
}

void TestHostOptions::helpNamesTheOptions()
{
    const QString help = HostOptions::helpText();
    QVERIFY(help.contains(QStringLiteral("--change-timeout SECONDS")));
    QVERIFY(help.contains(QStringLiteral("default 600")));
    QVERIFY(help.contains(QStringLiteral("\n  --plugin-dir DIR   look for plug-ins")));
    for (const QString &name : HostOptions::optionNames()) {
        if (name.startsWith(QLatin1String("--")))
            QVERIFY2(help.contains(QLatin1String("\n  ") + name), qPrintable(name));
    }
}

void TestHostOptions::manualPageNamesTheOptions()
{
    // The tags of the OPTIONS section (".BR \-\-help ", " \-h") name what the parser knows.
    QFile file(QStringLiteral(OXA_HOST_MANUAL_PAGE));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    const QString page = QString::fromUtf8(file.readAll());
    const int start = page.indexOf(QLatin1String("\n.SH OPTIONS\n"));
    const int end = page.indexOf(QLatin1String("\n.SH "), start + 1);
    QVERIFY(start >= 0 && end > start);
    const QStringList lines = page.mid(start, end - start).split(QLatin1Char('\n'));
    static const QRegularExpression name(QStringLiteral(R"((\\-){1,2}[a-z]+(\\-[a-z]+)*)"));
    QSet<QString> documented;
    for (int i = 1; i < lines.size(); ++i) {
        if (lines.at(i - 1) != QLatin1String(".TP"))
            continue;
        auto it = name.globalMatch(lines.at(i));
        while (it.hasNext())
            documented.insert(it.next().captured().remove(QLatin1Char('\\')));
    }
    const QStringList known = HostOptions::optionNames();
    QCOMPARE(documented, QSet<QString>(known.cbegin(), known.cend()));
}

void TestHostOptions::program_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("errors");
    const QString tryHelp = QStringLiteral("\nTry \"vell-admin-service --help\".\n");
    QTest::newRow("help") << QStringList{"--help"} << 0 << QString();
    QTest::newRow("help, short") << QStringList{"-h"} << 0 << QString();
    QTest::newRow("unknown option")
        << QStringList{"--frobnicate"} << 2
        << "vell-admin-service: unknown option \"--frobnicate\"" + tryHelp;
    QTest::newRow("missing value") << QStringList{"--batch"} << 2
                                   << "vell-admin-service: option --batch needs a value" + tryHelp;
    QTest::newRow("Qt's option") << QStringList{"-platformpluginpath", "/tmp"} << 2
                                 << "vell-admin-service: unknown option \"-platformpluginpath\"" +
                                        tryHelp;
    QTest::newRow("bad value, with help") << QStringList{"--help", "--change-timeout=0"} << 2
                                          << "vell-admin-service: option --change-timeout needs "
                                             "a number of seconds from 1 to 86400, not \"0\"" +
                                                 tryHelp;
}

void TestHostOptions::program()
{
    // The program itself: its exit code, and exactly what it prints where.
    QFETCH(QStringList, arguments);
    QFETCH(QString, errors);
    QProcess process;
    process.start(HostTestEnvironment::programPath(), arguments);
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QTEST(process.exitCode(), "exitCode");
    QCOMPARE(QString::fromLocal8Bit(process.readAllStandardError()), errors);
    const QString output = QString::fromLocal8Bit(process.readAllStandardOutput());
    QCOMPARE(output, errors.isEmpty() ? HostOptions::helpText() : QString());
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
