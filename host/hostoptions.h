#pragma once

#include <QString>
#include <QStringList>

/**
 * A host as --host names it: [USER@]HOST[:PORT], an IPv6 address in brackets when it has a
 * port ([ADDR]:PORT). The name is handed to ssh, which resolves it through its configuration.
 */
struct SshTarget
{
    /// The text as given: the name the console shows and reports for the host.
    QString given;
    /// Empty: ssh's configuration (or the user's own name) decides.
    QString user;
    QString host;
    /// 0: ssh's configuration (or 22) decides.
    int port = 0;

    /// Parses @p given; false with @p error when it is not a host (a name beginning with "-"
    /// would be taken by ssh as an option, and is refused).
    static bool parse(const QString &given, SshTarget *target, QString *error);
};

/**
 * The command line of vell-admin-service: plug-in directories, viewer and paranoid modes, the
 * window title, batch mode with its report format, and how long changes are waited for.
 */
class HostOptions
{
public:
    /// The longest --change-timeout taken: a day.
    static const int MaxChangeTimeout = 86400;
    static const int DefaultMaxHosts = 32;
    /// The largest --max-hosts taken.
    static const int MaxMaxHosts = 1024;

    QStringList pluginDirectories;
    /// The console's own data (package lists, translations) when not under /usr/share/vell.
    QString dataDirectory;
    bool viewer = false;
    bool paranoid = false;
    QString title;
    /// The script of batch mode ("-" for standard input); empty without --batch.
    QString batchFile;
    bool json = false;
    /// How many seconds a tool that changes something is waited for before it is left
    /// running and its outcome reported as unknown.
    int changeTimeout = 600;
    /// --bridge: how the helper is started, split into words; empty without the option.
    QStringList bridgeCommand;
    /// The hosts to administer over ssh (--host, repeatable, then the lines of --hosts-file),
    /// in order, without repeats; empty: this machine.
    QList<SshTarget> hosts;
    /// --hosts-file as given; its hosts are in hosts already.
    QString hostsFile;
    /// --ssh-config: handed to ssh as -F.
    QString sshConfig;
    /// --max-hosts: how many hosts a batch run serves at once.
    int maxHosts = DefaultMaxHosts;
    bool help = false;
    /// Why the command line was refused; empty when it was understood.
    QString error;

    bool isBatch() const { return !batchFile.isEmpty(); }
    /// One remote host: this console process serves it.
    bool isRemote() const { return hosts.size() == 1; }
    /// Several hosts: a batch run of one child console per host.
    bool isFleet() const { return hosts.size() > 1; }

    /**
     * Parses @p arguments (the program name first) with QCommandLineParser. Needs no
     * application object: main() parses before Qt starts, since the options decide the
     * platform and where the console's data comes from.
     */
    static HostOptions parse(const QStringList &arguments);
    /**
     * The hosts of a hosts file: one [USER@]HOST[:PORT] a line, blanks around it ignored, empty
     * lines and lines beginning with # skipped (also after blanks). False with @p error naming
     * the line when one is not a host.
     */
    static bool parseHostsFile(const QByteArray &contents, QList<SshTarget> *hosts, QString *error);
    /**
     * @p command split into words as a POSIX shell splits a simple command, without running
     * one: blanks separate words; single quotes keep everything; double quotes keep all but a
     * backslash before \\, \", $ and `; a backslash elsewhere keeps the next character. An
     * unclosed quote or nothing at all is refused with @p error. Nothing is expanded.
     */
    static QStringList splitCommand(const QString &command, QString *error);
    /// The text --help prints.
    static QString helpText();
    /// Every option's name as written on the command line ("--viewer", "-h").
    static QStringList optionNames();
    /// Whether the program opens its window: batch mode, --help and a refused command line
    /// need no display.
    bool needsDisplay() const { return error.isEmpty() && !help && !isBatch(); }
};
