#include "bootstate.h"

#include "childprocess.h"
#include "hostconnection.h"
#include "taskmessages.h"

#include <QCoreApplication>
#include <QRegularExpression>

namespace {

const char systemctl[] = "systemctl";
const char updateRcD[] = "update-rc.d";

QString tr(const char *text)
{
    return QCoreApplication::translate("BootState", text);
}

/// A tool's line fit for a label: control characters as "?", at most 160 characters.
QString plainLine(const QString &text)
{
    QString line = text.section(QLatin1Char('\n'), 0, 0).trimmed();
    for (QChar &c : line) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            c = QLatin1Char('?');
    }
    if (line.size() > 160)
        line = line.left(159) + QChar(0x2026);
    return line;
}

} // namespace

QString BootState::systemdMarker()
{
    return QStringLiteral("/run/systemd/system");
}

QStringList BootState::rcDirectories()
{
    return {QStringLiteral("/etc/rc2.d"), QStringLiteral("/etc/rc3.d"),
            QStringLiteral("/etc/rc4.d"), QStringLiteral("/etc/rc5.d")};
}

QString BootState::enabledWord()
{
    return QStringLiteral("enabled");
}

QString BootState::disabledWord()
{
    return QStringLiteral("disabled");
}

QString BootState::notInstalledText()
{
    return tr("not installed");
}

OperationTypes BootState::changingOperations(const QString &state)
{
    if (state == disabledWord())
        return OperationEnableAtBoot;
    if (state == enabledWord())
        return OperationDisableAtBoot;
    return OperationNone;
}

QString BootState::scriptName(const QString &unit)
{
    QString name = unit;
    if (name.endsWith(QLatin1String(".service")))
        name.chop(int(sizeof(".service")) - 1);
    return name;
}

BootState::Reading BootState::fromIsEnabled(const ProcessResult &result)
{
    Reading reading;
    const QString program = QString::fromLatin1(systemctl);
    if (!result.finished) {
        reading.error = TaskMessages::notFinished(program, result);
        return reading;
    }
    const QString output = result.outputText().trimmed();
    if (!output.isEmpty()) {
        // One lower-case word such as "enabled-runtime"; anything else is not systemctl's.
        static const QRegularExpression word(QStringLiteral("^[a-z][a-z-]{0,31}$"));
        const QString first = output.section(QLatin1Char('\n'), 0, 0).trimmed();
        if (word.match(first).hasMatch())
            reading.state = first;
        else
            reading.error = tr("\"%1 is-enabled\" printed no state: \"%2\"")
                                .arg(program, plainLine(output));
        return reading;
    }
    // Nothing on standard output: the unit is unknown, or the tool says why it cannot tell.
    const QString message = plainLine(result.errorText());
    static const QRegularExpression missing(
        QStringLiteral("No such file|not found|does not exist|not loaded"),
        QRegularExpression::CaseInsensitiveOption);
    if (message.isEmpty() || missing.match(message).hasMatch())
        reading.state = notInstalledText();
    else
        reading.state = message;
    return reading;
}

QString BootState::fromRcLinks(const QString &script, const QStringList &names)
{
    static const QRegularExpression link(QStringLiteral("^([SK])[0-9][0-9](.+)$"));
    bool stops = false;
    for (const QString &name : names) {
        const QRegularExpressionMatch match = link.match(name);
        if (!match.hasMatch() || match.captured(2) != script)
            continue;
        if (match.captured(1) == QLatin1String("S"))
            return enabledWord();
        stops = true;
    }
    return stops ? disabledWord() : notInstalledText();
}

QStringList BootState::changeCommand(bool systemd, const QString &unit, bool enable)
{
    const QString verb = enable ? QStringLiteral("enable") : QStringLiteral("disable");
    if (systemd)
        return {QString::fromLatin1(systemctl), verb, unit};
    return {QString::fromLatin1(updateRcD), scriptName(unit), verb};
}

bool BootState::isSystemd(const HostConnection &host)
{
    return host.pathInfo(systemdMarker()).isDir();
}

BootState::Reading BootState::read(const HostConnection &host, const QString &unit)
{
    if (isSystemd(host))
        return fromIsEnabled(host.run(QString::fromLatin1(systemctl),
                                      {QStringLiteral("is-enabled"), unit}));
    Reading reading;
    QStringList names;
    for (const QString &directory : rcDirectories()) {
        const HostDirectoryListing listing = host.listDirectory(directory);
        // A runlevel without a directory has no links.
        if (listing.code == HostFileStatus::Missing)
            continue;
        if (!listing.ok()) {
            reading.error = tr("Cannot list \"%1\": %2").arg(directory, listing.errorText);
            return reading;
        }
        for (const HostDirectoryEntry &entry : listing.entries)
            names << entry.name;
    }
    reading.state = fromRcLinks(scriptName(unit), names);
    return reading;
}
