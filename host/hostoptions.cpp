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
    options.title = parser.value(QStringLiteral("title"));
    options.viewer = parser.isSet(QStringLiteral("viewer"));
    options.paranoid = parser.isSet(QStringLiteral("paranoid"));
    options.json = parser.isSet(QStringLiteral("json"));
    options.help = parser.isSet(QStringLiteral("help"));
    if (options.json && !options.isBatch())
        options.error = tr("option --json needs --batch");
    return options;
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
