#include "hostoptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("HostOptions", text);
}

/// One option: its names (the long one first), the value it takes (none for a switch), and
/// its lines in --help. The parser and the help text both come from this table.
struct KnownOption
{
    const char *name;
    const char *shortName;
    const char *valueName;
    const char *help;
};

const KnownOption knownOptions[] = {
    {"plugin-dir", nullptr, "DIR",
     QT_TRANSLATE_NOOP("HostOptions", "look for plug-ins in DIR first (repeatable); then in\n"
                                      "VELL_ADMIN_PLUGIN_PATH (directories separated by colons),\n"
                                      "then in the installed plug-in directory")},
    {"data-dir", nullptr, "DIR",
     QT_TRANSLATE_NOOP("HostOptions", "the console's own data (package lists, translations) in\n"
                                      "DIR instead of /usr/share/vell (a build tree's)")},
    {"viewer", nullptr, nullptr,
     QT_TRANSLATE_NOOP("HostOptions", "run without administrator rights: only reading")},
    {"paranoid", nullptr, nullptr,
     QT_TRANSLATE_NOOP("HostOptions",
                       "read again after every change instead of patching the tree")},
    {"title", nullptr, "TEXT", QT_TRANSLATE_NOOP("HostOptions", "the window title")},
    {"batch", nullptr, "FILE",
     QT_TRANSLATE_NOOP("HostOptions", "run the steps in FILE (- for standard input) without a\n"
                                      "window, print a report and exit: 0 when no task failed,\n"
                                      "1 when a task failed, 2 for a bad script or element")},
    {"json", nullptr, nullptr, QT_TRANSLATE_NOOP("HostOptions", "print the batch report as JSON")},
    {"change-timeout", nullptr, "SECONDS",
     QT_TRANSLATE_NOOP("HostOptions", "wait at most SECONDS (default 600) for a tool that changes\n"
                                      "something (a start, a new cluster); then leave it running,\n"
                                      "never killed half-way, and report its outcome as unknown,\n"
                                      "which counts as a failed task")},
    {"bridge", nullptr, "COMMAND",
     QT_TRANSLATE_NOOP("HostOptions", "start the privileged helper with COMMAND (words as a shell\n"
                                      "splits them, without one), e.g. \"sudo -n /usr/libexec/\n"
                                      "vell-admin-service/vell-admin-bridge\"; by default pkexec\n"
                                      "starts it, and as root the console needs none")},
    {"help", "h", nullptr, QT_TRANSLATE_NOOP("HostOptions", "show this help")},
};

/// The option called @p name (long or short, without dashes), or null.
const KnownOption *findOption(const QString &name)
{
    for (const KnownOption &known : knownOptions) {
        if (name == QLatin1String(known.name) ||
            (known.shortName && name == QLatin1String(known.shortName)))
            return &known;
    }
    return nullptr;
}

/**
 * The first argument, in order, that QCommandLineParser cannot take, said as the console
 * always said it: the parser itself names only the option, in its own words, and reports
 * unknown options before anything that came earlier. Empty when every argument is an option.
 */
QString refusal(const QStringList &arguments)
{
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--")) {
            if (i + 1 < arguments.size())
                return tr("unexpected argument \"%1\"").arg(arguments.at(i + 1));
            break;
        }
        if (!argument.startsWith(QLatin1Char('-')) || argument == QLatin1String("-"))
            return tr("unexpected argument \"%1\"").arg(argument);
        const int eq = argument.indexOf(QLatin1Char('='));
        const QString name = eq < 0 ? argument : argument.left(eq);
        const KnownOption *known = nullptr;
        if (name.startsWith(QLatin1String("--"))) {
            known = findOption(name.mid(2));
        } else {
            // A single dash holds short switches run together ("-h"); only switches have
            // short names.
            const QString letters = name.mid(1);
            for (const QChar letter : letters) {
                known = findOption(QString(letter));
                if (!known || known->valueName) {
                    known = nullptr;
                    break;
                }
            }
        }
        if (!known)
            return tr("unknown option \"%1\"").arg(argument);
        if (!known->valueName && eq >= 0)
            return tr("option %1 takes no value").arg(name);
        if (known->valueName && eq < 0 && ++i >= arguments.size())
            return tr("option %1 needs a value").arg(name);
    }
    return {};
}
} // namespace

HostOptions HostOptions::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    // Single-dash words are short switches run together, never long options: Qt's own
    // options (-platform, -platformpluginpath, ...) stay unknown here.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    for (const KnownOption &known : knownOptions) {
        QStringList names{QString::fromLatin1(known.name)};
        if (known.shortName)
            names.prepend(QString::fromLatin1(known.shortName));
        parser.addOption(
            QCommandLineOption(names, tr(known.help), QString::fromLatin1(known.valueName)));
    }

    HostOptions options;
    const bool parsed = parser.parse(arguments);
    if (!parsed || !parser.positionalArguments().isEmpty()) {
        options.error = refusal(arguments);
        if (options.error.isEmpty()) // cannot be: the parser refused something
            options.error = parser.errorText();
        return options;
    }
    // Repeated options: every value is checked, the last one counts (--plugin-dir: all).
    const auto values = [&parser](const char *name) {
        return parser.values(QString::fromLatin1(name));
    };
    for (const QString &dir : values("plugin-dir")) {
        if (dir.isEmpty()) {
            options.error = tr("option --plugin-dir needs a directory");
            return options;
        }
        options.pluginDirectories.append(dir);
    }
    for (const QString &dir : values("data-dir")) {
        if (dir.isEmpty()) {
            options.error = tr("option --data-dir needs a directory");
            return options;
        }
        options.dataDirectory = dir;
    }
    for (const QString &file : values("batch")) {
        if (file.isEmpty()) {
            options.error = tr("option --batch needs a file name, or - for standard input");
            return options;
        }
        options.batchFile = file;
    }
    for (const QString &value : values("change-timeout")) {
        bool ok = false;
        const int seconds = value.toInt(&ok);
        if (!ok || seconds < 1 || seconds > MaxChangeTimeout) {
            options.error = tr("option --change-timeout needs a number of seconds from 1 to %1, "
                               "not \"%2\"")
                                .arg(MaxChangeTimeout)
                                .arg(value);
            return options;
        }
        options.changeTimeout = seconds;
    }
    for (const QString &value : values("bridge")) {
        QString why;
        options.bridgeCommand = splitCommand(value, &why);
        if (!why.isEmpty()) {
            options.error = tr("option --bridge: %1").arg(why);
            return options;
        }
    }
    options.title = parser.value(QStringLiteral("title"));
    options.viewer = parser.isSet(QStringLiteral("viewer"));
    options.paranoid = parser.isSet(QStringLiteral("paranoid"));
    options.json = parser.isSet(QStringLiteral("json"));
    options.help = parser.isSet(QStringLiteral("help"));
    if (options.json && !options.isBatch())
        options.error = tr("option --json needs --batch");
    return options;
}

QStringList HostOptions::splitCommand(const QString &command, QString *error)
{
    QStringList words;
    QString word;
    bool inWord = false;
    enum
    {
        Plain,
        Single,
        Double
    } quote = Plain;
    for (int i = 0; i < command.size(); ++i) {
        const QChar c = command.at(i);
        if (quote == Single) {
            if (c == QLatin1Char('\''))
                quote = Plain;
            else
                word += c;
            continue;
        }
        if (quote == Double) {
            if (c == QLatin1Char('"')) {
                quote = Plain;
            } else if (c == QLatin1Char('\\') && i + 1 < command.size() &&
                       QStringLiteral("\\\"$`\n").contains(command.at(i + 1))) {
                if (command.at(++i) != QLatin1Char('\n'))
                    word += command.at(i);
            } else {
                word += c;
            }
            continue;
        }
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n')) {
            if (inWord)
                words.append(word);
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == QLatin1Char('\'')) {
            quote = Single;
        } else if (c == QLatin1Char('"')) {
            quote = Double;
        } else if (c == QLatin1Char('\\')) {
            if (++i >= command.size()) {
                *error = tr("a backslash ends \"%1\"").arg(command);
                return {};
            }
            if (command.at(i) != QLatin1Char('\n'))
                word += command.at(i);
        } else {
            word += c;
        }
    }
    if (quote != Plain) {
        *error = tr("unclosed quote in \"%1\"").arg(command);
        return {};
    }
    if (inWord)
        words.append(word);
    if (words.isEmpty() || words.first().isEmpty()) {
        *error = tr("needs a command");
        return {};
    }
    error->clear();
    return words;
}

QStringList HostOptions::optionNames()
{
    QStringList names;
    for (const KnownOption &known : knownOptions) {
        names.append(QLatin1String("--") + QLatin1String(known.name));
        if (known.shortName)
            names.append(QLatin1Char('-') + QLatin1String(known.shortName));
    }
    return names;
}

QString HostOptions::helpText()
{
    // The descriptions start in this column; a longer option stands on a line of its own.
    const int column = 21;
    QString text = tr("Usage: vell-admin-service [options]\n"
                      "Administers the network services of this host through its plug-ins.\n"
                      "\n"
                      "Options:\n");
    for (const KnownOption &known : knownOptions) {
        QString option = QLatin1String("  --") + QLatin1String(known.name);
        if (known.valueName)
            option += QLatin1Char(' ') + QLatin1String(known.valueName);
        text += option.size() < column - 1
                    ? option.leftJustified(column)
                    : option + QLatin1Char('\n') + QString(column, QLatin1Char(' '));
        text +=
            tr(known.help)
                .replace(QLatin1Char('\n'), QLatin1Char('\n') + QString(column, QLatin1Char(' ')));
        text += QLatin1Char('\n');
    }
    return text;
}
