#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

/**
 * The log plug-in's text handling, apart from files and processes: journal records to lines,
 * a log file's tail to lines, escaping and bounding, and the text form of the lines.
 */
namespace ServiceLog {

/// The longest line shown whole (in characters, escapes included) and what one source may fill.
constexpr int maxLineChars = 4096;
constexpr int maxSourceChars = 512 * 1024;
/// Lines asked of the journal and of each file.
constexpr int maxLines = 500;
/// Bytes of a file's tail read.
constexpr qint64 maxTailBytes = 1024 * 1024;

/// How a line is marked.
enum class Mark
{
    None,
    Warning, ///< journal priority 4
    Error,   ///< journal priority 0 to 3
    Source,  ///< the heading naming a source ("journal: smbd.service")
    Notice   ///< what the console says about a source (missing file, failed tool)
};

struct Line
{
    Mark mark = Mark::None;
    QString text;
};

/**
 * @p bytes as one line of plain text: valid UTF-8 kept; control characters (tabs excepted),
 * format characters (bidirectional overrides and the like) and every byte of invalid UTF-8
 * escaped as \xHH (\uHHHH for the format characters); longer than maxLineChars, cut and marked.
 */
QString escapeLine(const QByteArray &bytes);

/// The lines of a journal read: the records that could be read, and what could not.
struct Journal
{
    QVector<Line> lines;
    /// Lines of the output that were no journal record (garbage, a record cut short).
    int unreadable = 0;
};

/**
 * The lines of journalctl's JSON output (one object a line: PRIORITY, __REALTIME_TIMESTAMP,
 * MESSAGE as a string, a byte array or null, SYSLOG_IDENTIFIER or _COMM, _PID), oldest first
 * by their time (records without a time keep their place before the timed ones), each line
 * "TIME IDENTIFIER[PID]: MESSAGE" with the time in the console's local time zone.
 */
Journal parseJournal(const QByteArray &output);

/// The lines of a file's tail as they are in the file (a final CR of each dropped).
QVector<Line> parseFile(const QByteArray &data);

/// Keeps the newest of @p lines that fit in maxSourceChars; true when some were dropped.
bool boundSource(QVector<Line> *lines);

/// The word a mark adds in the text form ("ERROR", "WARNING"; blanks for none).
QString markWord(Mark mark);
/// One line in the text form: the mark's word in a fixed-width column, then the text.
QString lineText(const Line &line);
/// Whether @p line is shown under @p filter: a case-insensitive substring of its text form,
/// or a source's heading (so that every shown line still says where it comes from).
bool matches(const Line &line, const QString &filter);
/// The text form of the lines @p filter shows, one a line (no line feed after the last).
QString text(const QVector<Line> &lines, const QString &filter = QString());

} // namespace ServiceLog
