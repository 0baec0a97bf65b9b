#include "tarnstatusparser.h"

#include <QSet>

namespace {

bool isKeyChar(QChar c)
{
    return c != QLatin1Char('=') && !c.isSpace();
}

/**
 * Finds the leftmost key that is followed, after optional blanks, by "=": @p keyBegin and
 * @p keyEnd bound the key, @p afterSign is the position after "=". Every character is looked
 * at a bounded number of times: a key run that is not followed by "=" ends where the next
 * candidate begins.
 */
bool findKey(const QString &line, int *keyBegin, int *keyEnd, int *afterSign)
{
    const int n = line.size();
    int i = 0;
    while (i < n) {
        while (i < n && !isKeyChar(line.at(i)))
            ++i;
        const int begin = i;
        while (i < n && isKeyChar(line.at(i)))
            ++i;
        if (begin == i)
            return false;
        const int end = i;
        while (i < n && line.at(i).isSpace())
            ++i;
        if (i < n && line.at(i) == QLatin1Char('=')) {
            *keyBegin = begin;
            *keyEnd = end;
            *afterSign = i + 1;
            return true;
        }
    }
    return false;
}

// The settings a directory server prints, and those of them that concern its daemon.
const QSet<QString> serverKeys{
    QStringLiteral("VERSION"),
    QStringLiteral("DOMAIN"),
    QStringLiteral("SERVER"),
    QStringLiteral("SERVER_ID"),
    QStringLiteral("DESCRIPTION"),
    QStringLiteral("MINIMUM_UID"),
    QStringLiteral("DEFAULT_LOGIN_SHELL"),
    QStringLiteral("DEFAULT_LOCAL_GROUPS"),
    QStringLiteral("ALLOWED_LOCAL_GROUPS"),
    QStringLiteral("TICKET_MAX_LIFE"),
    QStringLiteral("TICKET_MAX_RENEWABLE_LIFE"),
    QStringLiteral("NETWORK_FS_TYPE"),
    QStringLiteral("SERVER_EXPORT_DIR"),
    QStringLiteral("SERVER_ARCHIVE_DIR"),
    QStringLiteral("CLIENT_MOUNT_DIR"),
    QStringLiteral("SERVER_FS_KRB_MODES"),
    QStringLiteral("CLIENT_FS_KRB_MODE"),
    QStringLiteral("SERVER_POLLING_PERIOD"),
    QStringLiteral("SERVER_PROPAGATE_PERIOD"),
    QStringLiteral("CACHE_REFRESH_PERIOD"),
    QStringLiteral("UTF8_GECOS"),
};

const QSet<QString> daemonKeys{
    QStringLiteral("SERVER_ARCHIVE_DIR"),
    QStringLiteral("SERVER_EXPORT_DIR"),
    QStringLiteral("SERVER_POLLING_PERIOD"),
    QStringLiteral("SERVER_PROPAGATE_PERIOD"),
};

const QString domainKey = QStringLiteral("DOMAIN");

} // namespace

namespace TarnStatusParser {

bool matchSetting(const QString &line, TarnSetting *setting)
{
    int keyBegin = 0;
    int keyEnd = 0;
    int valueBegin = 0;
    if (!findKey(line, &keyBegin, &keyEnd, &valueBegin))
        return false;
    const int n = line.size();
    while (valueBegin < n && line.at(valueBegin).isSpace())
        ++valueBegin;
    int valueEnd = n;
    while (valueEnd > valueBegin && line.at(valueEnd - 1).isSpace())
        --valueEnd;
    setting->key = line.mid(keyBegin, keyEnd - keyBegin);
    setting->value = line.mid(valueBegin, valueEnd - valueBegin);
    return true;
}

bool matchFirstWordSetting(const QString &line, TarnSetting *setting)
{
    TarnSetting whole;
    // Only blanks after the first "=": no later key can have a value either.
    if (!matchSetting(line, &whole) || whole.value.isEmpty())
        return false;
    int end = 0;
    while (end < whole.value.size() && !whole.value.at(end).isSpace())
        ++end;
    whole.value.truncate(end);
    *setting = whole;
    return true;
}

bool isServerKey(const QString &key)
{
    return serverKeys.contains(key);
}

bool isDaemonKey(const QString &key)
{
    return daemonKeys.contains(key);
}

QString domain(const QStringList &lines, bool *found)
{
    QString value;
    bool seen = false;
    TarnSetting setting;
    for (const QString &line : lines) {
        if (matchSetting(line, &setting) && setting.key == domainKey) {
            value = setting.value;
            seen = true;
        }
    }
    if (found)
        *found = seen;
    return value;
}

ServerReport parseServerReport(const QStringList &lines)
{
    ServerReport report;
    TarnSetting setting;
    for (const QString &line : lines) {
        if (!matchSetting(line, &setting) || !isServerKey(setting.key))
            continue;
        if (setting.key == domainKey) {
            report.hasDomain = true;
            report.domain = setting.value;
        } else {
            report.settings.append(setting);
        }
    }
    return report;
}

QVector<TarnSetting> parseDaemonSettings(const QStringList &lines)
{
    QVector<TarnSetting> settings;
    TarnSetting setting;
    for (const QString &line : lines) {
        if (matchFirstWordSetting(line, &setting) && isDaemonKey(setting.key))
            settings.append(setting);
    }
    return settings;
}

} // namespace TarnStatusParser
