#include "servicepgsqlparser.h"

#include <QHash>
#include <QObject>
#include <QRegExp>

namespace ServicePgsqlParser {

namespace {

const QString keyVersion = QStringLiteral("version");
const QString keyName = QStringLiteral("name");
const QString keyPort = QStringLiteral("port");
const QString keyState = QStringLiteral("state");
const QString keyTextState = QStringLiteral("textState");
const QString keyConfigureParam = QStringLiteral("configureParam");
const QString keyDirectories = QStringLiteral("directories");

/// Port, state and state text of a line's fields 3 and 4.
void setStatusFields(ElementData &record, const QStringList &f)
{
    bool ok = false;
    const int port = f.at(2).toInt(&ok, 10);
    record.setProperty(keyPort, ok ? port : 0);
    record.setProperty(keyState, isOnline(f.at(3)));
    record.setProperty(keyTextState, statusText(f.at(3)));
}

} // namespace

QString packagePattern()
{
    return QStringLiteral("postgresql-[0123456789]*");
}

QString versionPattern()
{
    return QStringLiteral("ii\\spostgresql-(\\d+\\.?\\d+)");
}

QStringList versionQueryArguments()
{
    return {QStringLiteral("--showformat=${db:Status-Abbrev}${binary:Package}\n"),
            QStringLiteral("--show"), packagePattern()};
}

QSet<QString> installedVersions(const QStringList &lines)
{
    QSet<QString> versions;
    QRegExp rx(versionPattern(), Qt::CaseSensitive, QRegExp::RegExp);
    for (const QString &line : lines) {
        if (rx.indexIn(line) >= 0) {
            const QString version = rx.cap(1);
            if (!version.isEmpty())
                versions.insert(version);
        }
    }
    return versions;
}

QStringList fields(const QString &line)
{
    return line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

bool isOnline(const QString &status)
{
    return status.section(QLatin1Char(','), 0, 0) == QLatin1String("online");
}

QString statusText(const QString &status)
{
    // Built once, on first use, by whichever task gets here first; read-only afterwards.
    static const QHash<QString, QString> texts{
        {QStringLiteral("online"), QObject::tr("online")},
        {QStringLiteral("down"), QObject::tr("down")},
        {QStringLiteral("down,recovery"), QObject::tr("down,recovery")},
        {QStringLiteral("online,recovery"), QObject::tr("online,recovery")},
    };
    return texts.value(status);
}

QString configureParam(const QString &name, const QString &version)
{
    return QStringLiteral("cluster=%1/version=%2").arg(name, version);
}

QString clusterTitle(const QString &name, const QString &version)
{
    return QStringLiteral("%1-%2").arg(name, version);
}

QString configDirectory(const QString &version, const QString &name)
{
    return QStringLiteral("/etc/postgresql/%1/%2").arg(version, name);
}

QVector<ElementData> clusterRecords(const QStringList &lines)
{
    QVector<ElementData> records;
    records.reserve(lines.size());
    for (const QString &line : lines) {
        const QStringList f = fields(line);
        if (f.size() < 4)
            continue;
        ElementData record;
        record.setProperty(keyVersion, f.at(0));
        record.setProperty(keyName, f.at(1));
        setStatusFields(record, f);
        record.setProperty(keyConfigureParam, configureParam(f.at(1), f.at(0)));
        records.append(record);
    }
    return records;
}

QString startConfPath(const QString &version, const QString &name)
{
    return configDirectory(version, name) + QStringLiteral("/start.conf");
}

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

/// Where the first word of @p line begins and ends, when the line holds one before any
/// comment; false for a blank or comment line.
bool valueWord(const QByteArray &line, int *begin, int *end)
{
    int i = 0;
    while (i < line.size() && isBlank(line.at(i)))
        ++i;
    if (i == line.size() || line.at(i) == '#')
        return false;
    int j = i;
    while (j < line.size() && !isBlank(line.at(j)) && line.at(j) != '#')
        ++j;
    *begin = i;
    *end = j;
    return true;
}

} // namespace

QString startConfValue(const QByteArray &text)
{
    for (const QByteArray &line : text.split('\n')) {
        int begin = 0;
        int end = 0;
        if (!valueWord(line, &begin, &end))
            continue;
        const QByteArray word = line.mid(begin, end - begin);
        if (word == "auto" || word == "manual" || word == "disabled")
            return QString::fromLatin1(word);
        return QString();
    }
    return QStringLiteral("auto");
}

QByteArray rewriteStartConf(const QByteArray &text, const QString &value)
{
    QList<QByteArray> lines = text.split('\n');
    for (QByteArray &line : lines) {
        int begin = 0;
        int end = 0;
        if (valueWord(line, &begin, &end)) {
            line = value.toLatin1() + line.mid(end);
            return lines.join('\n');
        }
    }
    QByteArray out = text;
    if (!out.isEmpty() && !out.endsWith('\n'))
        out += '\n';
    return out + value.toLatin1() + '\n';
}

OperationTypes startConfOperations(const QString &value)
{
    if (value == QLatin1String("auto"))
        return OperationDisableAtBoot;
    if (value == QLatin1String("manual") || value == QLatin1String("disabled"))
        return OperationEnableAtBoot;
    return OperationNone;
}

bool updateCluster(ElementData &record, const QStringList &lines)
{
    const QString version = record.property(keyVersion).toString();
    const QString name = record.property(keyName).toString();
    if (version.isEmpty() || name.isEmpty())
        return false;
    for (const QString &line : lines) {
        const QStringList f = fields(line);
        if (f.size() < 7 || f.at(0) != version || f.at(1) != name)
            continue;
        setStatusFields(record, f);
        record.setProperty(keyDirectories,
                           QStringList{configDirectory(version, name), f.at(5), f.at(6)});
        return true;
    }
    return false;
}

} // namespace ServicePgsqlParser
