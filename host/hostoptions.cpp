#include "hostoptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>

#include <arpa/inet.h>

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("HostOptions", text);
}

bool isIpv6Address(const QString &text)
{
    in6_addr address;
    return ::inet_pton(AF_INET6, text.toLatin1().constData(), &address) == 1;
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
    {"host", nullptr, "[USER@]HOST[:PORT]",
     QT_TRANSLATE_NOOP("HostOptions", "administer HOST over ssh (an IPv6 address as [ADDR]:PORT);\n"
                                      "the helper runs there as USER when that is root, else\n"
                                      "through sudo -n; repeated in a batch run: one console per\n"
                                      "host, one merged report")},
    {"hosts-file", nullptr, "FILE",
     QT_TRANSLATE_NOOP("HostOptions", "the hosts of a batch run from FILE, one a line (# begins\n"
                                      "a comment line), after those of --host")},
    {"max-hosts", nullptr, "N",
     QT_TRANSLATE_NOOP("HostOptions", "serve at most N hosts of a batch run at once (default 32)")},
    {"ssh-config", nullptr, "FILE",
     QT_TRANSLATE_NOOP("HostOptions", "the ssh client's configuration file (ssh -F FILE)")},
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
    for (const QString &value : values("max-hosts")) {
        bool ok = false;
        const int count = value.toInt(&ok);
        if (!ok || count < 1 || count > MaxMaxHosts) {
            options.error = tr("option --max-hosts needs a number from 1 to %1, not \"%2\"")
                                .arg(QString::number(MaxMaxHosts), value);
            return options;
        }
        options.maxHosts = count;
    }
    for (const QString &value : values("ssh-config")) {
        if (value.isEmpty()) {
            options.error = tr("option --ssh-config needs a file name");
            return options;
        }
        options.sshConfig = value;
    }
    QList<SshTarget> hosts;
    for (const QString &value : values("host")) {
        SshTarget target;
        QString why;
        if (!SshTarget::parse(value, &target, &why)) {
            options.error = tr("option --host: %1").arg(why);
            return options;
        }
        hosts.append(target);
    }
    for (const QString &file : values("hosts-file")) {
        if (file.isEmpty()) {
            options.error = tr("option --hosts-file needs a file name");
            return options;
        }
        QFile in(file);
        if (!in.open(QIODevice::ReadOnly)) {
            options.error = tr("cannot read the hosts file %1: %2").arg(file, in.errorString());
            return options;
        }
        // A hosts file is a short list: a larger one is not what was meant.
        const QByteArray contents = in.read(1 << 20);
        QString why;
        if (!in.atEnd() || !parseHostsFile(contents, &hosts, &why)) {
            options.error = tr("the hosts file %1: %2")
                                .arg(file, why.isEmpty() ? tr("larger than 1 MiB") : why);
            return options;
        }
        options.hostsFile = file;
    }
    for (const SshTarget &target : std::as_const(hosts)) {
        bool seen = false;
        for (const SshTarget &kept : std::as_const(options.hosts))
            seen = seen || kept.given == target.given;
        if (!seen)
            options.hosts.append(target);
    }
    options.title = parser.value(QStringLiteral("title"));
    options.viewer = parser.isSet(QStringLiteral("viewer"));
    options.paranoid = parser.isSet(QStringLiteral("paranoid"));
    options.json = parser.isSet(QStringLiteral("json"));
    options.help = parser.isSet(QStringLiteral("help"));
    if (options.json && !options.isBatch())
        options.error = tr("option --json needs --batch");
    else if (options.isFleet() && !options.isBatch())
        options.error = tr("several hosts need --batch: a window serves one host");
    else if (!options.bridgeCommand.isEmpty() && !options.hosts.isEmpty())
        options.error = tr("option --bridge serves this machine; it cannot go with --host");
    return options;
}

bool SshTarget::parse(const QString &given, SshTarget *target, QString *error)
{
    SshTarget parsed;
    parsed.given = given;
    QString rest = given;
    const int at = rest.lastIndexOf(QLatin1Char('@'));
    if (at >= 0) {
        parsed.user = rest.left(at);
        rest = rest.mid(at + 1);
        // A user name ssh would take as an option, or one with blanks or control characters,
        // is no user name of a Debian host.
        static const QRegularExpression userName(QStringLiteral("^[A-Za-z0-9_.][A-Za-z0-9_.$-]*$"));
        if (!userName.match(parsed.user).hasMatch()) {
            *error = tr("\"%1\" is not a user name").arg(parsed.user);
            return false;
        }
    }
    QString portText;
    if (rest.startsWith(QLatin1Char('['))) {
        const int close = rest.indexOf(QLatin1Char(']'));
        if (close < 0) {
            *error = tr("unclosed bracket in \"%1\"").arg(given);
            return false;
        }
        parsed.host = rest.mid(1, close - 1);
        const QString after = rest.mid(close + 1);
        if (!after.isEmpty()) {
            if (!after.startsWith(QLatin1Char(':'))) {
                *error = tr("\"%1\" after the address in \"%2\"").arg(after, given);
                return false;
            }
            portText = after.mid(1);
            if (portText.isEmpty()) {
                *error = tr("no port after the colon in \"%1\"").arg(given);
                return false;
            }
        }
        if (!isIpv6Address(parsed.host)) {
            *error = tr("\"%1\" in brackets is not an IPv6 address").arg(parsed.host);
            return false;
        }
    } else if (rest.count(QLatin1Char(':')) > 1) {
        // An IPv6 address without a port.
        parsed.host = rest;
        if (!isIpv6Address(parsed.host)) {
            *error = tr("\"%1\" is not a host name or address").arg(rest);
            return false;
        }
    } else {
        const int colon = rest.indexOf(QLatin1Char(':'));
        parsed.host = colon < 0 ? rest : rest.left(colon);
        if (colon >= 0) {
            portText = rest.mid(colon + 1);
            if (portText.isEmpty()) {
                *error = tr("no port after the colon in \"%1\"").arg(given);
                return false;
            }
        }
    }
    if (parsed.host.isEmpty()) {
        *error = tr("no host in \"%1\"").arg(given);
        return false;
    }
    if (parsed.host.startsWith(QLatin1Char('-'))) {
        *error = tr("a host name cannot begin with \"-\": \"%1\"").arg(parsed.host);
        return false;
    }
    // Names and addresses as ssh and its configuration's Host patterns take them: nothing
    // that a shell, ssh's own % expansion or a terminal would read as something else.
    static const QRegularExpression hostName(QStringLiteral("^[A-Za-z0-9_.:-]+$"));
    if (!hostName.match(parsed.host).hasMatch()) {
        *error = tr("\"%1\" is not a host name or address").arg(parsed.host);
        return false;
    }
    if (!portText.isEmpty()) {
        bool ok = false;
        const int port = portText.toInt(&ok);
        if (!ok || port < 1 || port > 65535 || portText.startsWith(QLatin1Char('+'))) {
            *error = tr("\"%1\" is not a port (1 to 65535)").arg(portText);
            return false;
        }
        parsed.port = port;
    }
    *target = parsed;
    return true;
}

bool HostOptions::parseHostsFile(const QByteArray &contents, QList<SshTarget> *hosts,
                                 QString *error)
{
    const QList<QByteArray> lines = contents.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = QString::fromUtf8(lines.at(i)).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        SshTarget target;
        QString why;
        if (!SshTarget::parse(line, &target, &why)) {
            *error = tr("line %1: %2").arg(QString::number(i + 1), why);
            return false;
        }
        hosts->append(target);
    }
    return true;
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
