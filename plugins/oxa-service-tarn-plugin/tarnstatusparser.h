#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

/** One "KEY = value" setting that "tarn-client" reports. */
struct TarnSetting
{
    QString key;
    QString value;

    bool operator==(const TarnSetting &other) const
    {
        return key == other.key && value == other.value;
    }
};

/**
 * Reads the "KEY = value" lines that "tarn-client status" prints: the domain, the settings
 * of the directory server and the daemon's few settings. Plain functions of the output, so
 * that they can be tested and fuzzed without the tool; each is linear in the output's length.
 */
namespace TarnStatusParser {

/// What the server's status report holds: its domain and the known settings, in order.
struct ServerReport
{
    bool hasDomain = false; ///< a "DOMAIN" line was seen (its value may be empty)
    QString domain;         ///< the value of the last "DOMAIN" line
    QVector<TarnSetting> settings;
};

/**
 * The first "KEY = value" of @p line: the key is a run of characters that are neither "=" nor
 * blank, followed by optional blanks and "="; the value is the rest after the blanks that
 * follow "=", up to its last non-blank character (inner blanks kept, may be empty). False
 * when the line holds no such key.
 */
bool matchSetting(const QString &line, TarnSetting *setting);

/**
 * The same, but the value is only the first word after "=" and must not be empty; a key
 * whose "=" is followed by nothing does not count.
 */
bool matchFirstWordSetting(const QString &line, TarnSetting *setting);

/// The keys of the directory server's report that are shown, "DOMAIN" among them.
bool isServerKey(const QString &key);
/// The keys of the report that belong to the daemon.
bool isDaemonKey(const QString &key);

/// The value of the last "DOMAIN" line of @p lines; null when none reports it.
QString domain(const QStringList &lines, bool *found = nullptr);

/// The domain and the settings of the server's keys (but "DOMAIN"), in output order; a key
/// reported twice gives two settings; unknown keys are dropped.
ServerReport parseServerReport(const QStringList &lines);

/// The daemon's settings (first word of each value), in output order; other keys dropped.
QVector<TarnSetting> parseDaemonSettings(const QStringList &lines);

} // namespace TarnStatusParser
