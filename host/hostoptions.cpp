#include "hostoptions.h"

#include <QCoreApplication>

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("HostOptions", text);
}

/// Splits "--name=value" into its parts; @p value stays untouched for "--name".
bool splitOption(const QString &argument, QString *name, QString *value, bool *hasValue)
{
    if (!argument.startsWith(QLatin1String("--")) && argument != QLatin1String("-h"))
        return false;
    const int eq = argument.indexOf(QLatin1Char('='));
    *hasValue = eq > 0;
    *name = *hasValue ? argument.left(eq) : argument;
    if (*hasValue)
        *value = argument.mid(eq + 1);
    return true;
}
} // namespace

HostOptions HostOptions::parse(const QStringList &arguments)
{
    HostOptions options;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString argument = arguments.at(i);
        QString name;
        QString value;
        bool hasValue = false;
        if (!splitOption(argument, &name, &value, &hasValue)) {
            options.error = tr("unexpected argument \"%1\"").arg(argument);
            return options;
        }
        const bool takesValue =
            name == QLatin1String("--plugin-dir") || name == QLatin1String("--title") ||
            name == QLatin1String("--data-dir") || name == QLatin1String("--batch") ||
            name == QLatin1String("--change-timeout");
        if (takesValue && !hasValue) {
            if (i + 1 >= arguments.size()) {
                options.error = tr("option %1 needs a value").arg(name);
                return options;
            }
            value = arguments.at(++i);
        } else if (!takesValue && hasValue) {
            options.error = tr("option %1 takes no value").arg(name);
            return options;
        }
        if (name == QLatin1String("--plugin-dir")) {
            if (value.isEmpty()) {
                options.error = tr("option --plugin-dir needs a directory");
                return options;
            }
            options.pluginDirectories.append(value);
        } else if (name == QLatin1String("--data-dir")) {
            if (value.isEmpty()) {
                options.error = tr("option --data-dir needs a directory");
                return options;
            }
            options.dataDirectory = value;
        } else if (name == QLatin1String("--title")) {
            options.title = value;
        } else if (name == QLatin1String("--batch")) {
            if (value.isEmpty()) {
                options.error = tr("option --batch needs a file name, or - for standard input");
                return options;
            }
            options.batchFile = value;
        } else if (name == QLatin1String("--change-timeout")) {
            bool ok = false;
            const int seconds = value.toInt(&ok);
            if (!ok || seconds < 1 || seconds > MaxChangeTimeout) {
                options.error =
                    tr("option --change-timeout needs a number of seconds from 1 to %1, "
                       "not \"%2\"")
                        .arg(MaxChangeTimeout)
                        .arg(value);
                return options;
            }
            options.changeTimeout = seconds;
        } else if (name == QLatin1String("--viewer")) {
            options.viewer = true;
        } else if (name == QLatin1String("--paranoid")) {
            options.paranoid = true;
        } else if (name == QLatin1String("--json")) {
            options.json = true;
        } else if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            options.help = true;
        } else {
            options.error = tr("unknown option \"%1\"").arg(argument);
            return options;
        }
    }
    if (options.json && !options.isBatch())
        options.error = tr("option --json needs --batch");
    return options;
}

QString HostOptions::helpText()
{
    return tr("Usage: vell-admin-service [options]\n"
              "Administers the network services of this host through its plug-ins.\n"
              "\n"
              "Options:\n"
              "  --plugin-dir DIR   look for plug-ins in DIR first (repeatable); then in\n"
              "                     VELL_ADMIN_PLUGIN_PATH (directories separated by colons),\n"
              "                     then in the installed plug-in directory\n"
              "  --data-dir DIR     the console's own data (package lists, translations) in\n"
              "                     DIR instead of /usr/share/vell (a build tree's)\n"
              "  --viewer           run without administrator rights: only reading\n"
              "  --paranoid         read again after every change instead of patching the tree\n"
              "  --title TEXT       the window title\n"
              "  --batch FILE       run the steps in FILE (- for standard input) without a\n"
              "                     window, print a report and exit: 0 when no task failed,\n"
              "                     1 when a task failed, 2 for a bad script or element\n"
              "  --json             print the batch report as JSON\n"
              "  --change-timeout SECONDS\n"
              "                     wait at most SECONDS (default 600) for a tool that changes\n"
              "                     something (a start, a new cluster); then leave it running,\n"
              "                     never killed half-way, and report its outcome as unknown,\n"
              "                     which counts as a failed task\n"
              "  --help             show this help\n");
}
