#pragma once

#include <QString>
#include <QStringList>

/**
 * The command line of vell-admin-service: plug-in directories, viewer and paranoid modes, the
 * window title, batch mode with its report format, and how long changes are waited for.
 */
class HostOptions
{
public:
    /// The longest --change-timeout taken: a day.
    static const int MaxChangeTimeout = 86400;

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
    bool help = false;
    /// Why the command line was refused; empty when it was understood.
    QString error;

    bool isBatch() const { return !batchFile.isEmpty(); }

    /**
     * Parses @p arguments (the program name first) with QCommandLineParser. Needs no
     * application object: main() parses before Qt starts, since the options decide the
     * platform and where the console's data comes from.
     */
    static HostOptions parse(const QStringList &arguments);
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
