#include "packagelist.h"

#include <consoledata.h>
#include <elementdata.h>

#include <QVector>

namespace PackageList {

QString directory()
{
    return ConsoleData::path(QStringLiteral("data/oxa-service-packages-plugin"));
}

QList<Entry> parse(const QString &text)
{
    QList<Entry> entries;
    const QVector<QStringRef> lines = text.splitRef(QLatin1Char('\n'), Qt::SkipEmptyParts);
    entries.reserve(lines.size());
    const QChar marker = QLatin1Char('!');
    const QChar bar = QLatin1Char('|');
    for (const QStringRef &line : lines) {
        Entry entry;
        if (line.startsWith(marker)) {
            entry.optional = true;
            entry.name = line.toString();
            entry.name.remove(marker);
        } else {
            entry.name = line.toString();
        }
        if (entry.name.contains(bar)) {
            for (const QStringRef &alternative : entry.name.splitRef(bar)) {
                const QStringRef trimmed = alternative.trimmed();
                if (!trimmed.isEmpty())
                    entry.alternatives.append(trimmed.toString());
            }
            if (entry.alternatives.isEmpty())
                continue;
        } else {
            entry.alternatives.append(entry.name);
        }
        entries.append(entry);
    }
    return entries;
}

QString listName(const QString &id, const QString &elementType, const ElementData *data)
{
    // Database clusters are made at run time without an id; their element type names them,
    // as it does for the supplement that reaches them.
    const QString key = id.isEmpty() ? elementType : id;
    QString name = key.section(QLatin1Char('_'), 0, 0);
    static const QString versionKey = QStringLiteral("version");
    if (data && data->hasProperty(versionKey))
        name += QStringLiteral("-%1").arg(data->property(versionKey).toString());
    return name;
}

QString listPath(const QString &listName)
{
    return QStringLiteral("%1/%2").arg(directory(), listName);
}

QString queryFormat()
{
    return QStringLiteral("-f=${binary:Package}\t${Version}\t${Status}");
}

Record parseRecord(const QString &output)
{
    Record record;
    if (output.isEmpty())
        return record;
    const QVector<QStringRef> fields = output.splitRef(QLatin1Char('\t'));
    if (fields.size() != 3) {
        record.kind = Record::Malformed;
        return record;
    }
    // dpkg's status is "want flag state". "unknown ok not-installed" is what dpkg keeps of a
    // package apt only ever mentioned: no version, never selected; dpkg itself has "no
    // information" on it, so it counts as unknown (an optional package is then left out).
    const QVector<QStringRef> status = fields.at(2).split(QLatin1Char(' '));
    const QStringRef state = status.size() == 3 ? status.at(2) : QStringRef();
    if (status.size() == 3 && status.at(0) == QLatin1String("unknown") &&
        state == QLatin1String("not-installed")) {
        record.kind = Record::Unknown;
        return record;
    }
    // Wanted and in use: installed, unpacked, half-configured, awaiting triggers. A package
    // wanted but not (or no longer) on the host is not installed, whatever is wanted.
    if (fields.at(2).startsWith(QLatin1String("install ok")) &&
        state != QLatin1String("not-installed") && state != QLatin1String("config-files")) {
        record.kind = Record::Installed;
        record.version = fields.at(1).toString();
    } else {
        record.kind = Record::NotInstalled;
    }
    return record;
}

QString htmlReport(const QMap<QString, QString> &packages, const QString &nameHeader,
                   const QString &versionHeader)
{
    QString html;
    html.reserve(64 + packages.size() * 64);
    html += QLatin1String("<table border=\"1\">");
    html += QStringLiteral("<tr><th>%1</th><th>%2</th></tr>")
                .arg(nameHeader.toHtmlEscaped(), versionHeader.toHtmlEscaped());
    for (auto it = packages.cbegin(); it != packages.cend(); ++it) {
        html += QLatin1String("<tr><td>");
        html += it.key().toHtmlEscaped();
        html += QLatin1String("</td><td>");
        html += it.value().toHtmlEscaped();
        html += QLatin1String("</td></tr>");
    }
    html += QLatin1String("</table>");
    return html;
}

} // namespace PackageList
