#include "servicelog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>

#include <algorithm>

namespace ServiceLog {

namespace {

QString hexEscape(uchar byte)
{
    return QStringLiteral("\\x%1").arg(uint(byte), 2, 16, QLatin1Char('0'));
}

bool isContinuation(uchar byte)
{
    return (byte & 0xc0) == 0x80;
}

/// The length of the valid UTF-8 sequence at @p at (0 when there is none) and its code point.
int sequenceAt(const QByteArray &bytes, int at, uint *codePoint)
{
    const auto byte = [&bytes](int i) { return uchar(bytes.at(i)); };
    const uchar lead = byte(at);
    int length = 0;
    uchar low = 0x80, high = 0xbf; // the bounds of the second byte
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        if (lead == 0xe0)
            low = 0xa0; // overlong
        else if (lead == 0xed)
            high = 0x9f; // surrogates
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        if (lead == 0xf0)
            low = 0x90; // overlong
        else if (lead == 0xf4)
            high = 0x8f; // past U+10FFFF
    } else {
        return 0;
    }
    if (at + length > bytes.size() || byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    uint value = lead & (0xff >> (length + 1));
    for (int i = 1; i < length; ++i) {
        if (!isContinuation(byte(at + i)))
            return 0;
        value = (value << 6) | (byte(at + i) & 0x3f);
    }
    *codePoint = value;
    return length;
}

/// What a code point of valid UTF-8 becomes: itself, or an escape when it is no plain text.
QString showCodePoint(const QByteArray &bytes, int at, int length, uint codePoint)
{
    if (codePoint < 0xa0) { // C1 controls: as their bytes
        QString escaped;
        for (int i = 0; i < length; ++i)
            escaped += hexEscape(uchar(bytes.at(at + i)));
        return escaped;
    }
    const QChar::Category category = QChar::category(codePoint);
    if (category == QChar::Other_Format || category == QChar::Separator_Line ||
        category == QChar::Separator_Paragraph || category == QChar::Other_PrivateUse) {
        return QStringLiteral("\\u%1").arg(codePoint, 4, 16, QLatin1Char('0'));
    }
    return QString::fromUtf8(bytes.constData() + at, length);
}

QByteArray fieldBytes(const QJsonValue &value, bool *present = nullptr)
{
    if (present)
        *present = !value.isUndefined() && !value.isNull();
    if (value.isString())
        return value.toString().toUtf8();
    if (!value.isArray())
        return QByteArray();
    // A field that is not text is an array of its bytes.
    QByteArray bytes;
    const QJsonArray array = value.toArray();
    bytes.reserve(array.size());
    for (const QJsonValue &element : array) {
        const int byte = element.toInt(-1);
        if (byte < 0 || byte > 255 || !element.isDouble())
            return QByteArray("?");
        bytes.append(char(byte));
    }
    return bytes;
}

QString timeText(qint64 microseconds)
{
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(microseconds / 1000);
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
}

} // namespace

QString escapeLine(const QByteArray &bytes)
{
    QString line;
    line.reserve(qMin(bytes.size(), maxLineChars) + 16);
    bool cut = false;
    for (int at = 0; at < bytes.size();) {
        const uchar byte = uchar(bytes.at(at));
        QString piece;
        int length = 1;
        uint codePoint = 0;
        if (byte < 0x80) {
            const bool control = (byte < 0x20 && byte != '\t') || byte == 0x7f;
            piece = control ? hexEscape(byte) : QString(QLatin1Char(char(byte)));
        } else if ((length = sequenceAt(bytes, at, &codePoint)) > 0) {
            piece = showCodePoint(bytes, at, length, codePoint);
        } else {
            length = 1;
            piece = hexEscape(byte);
        }
        if (line.size() + piece.size() > maxLineChars) {
            cut = true;
            break;
        }
        line += piece;
        at += length;
    }
    if (cut)
        line += QCoreApplication::translate("ServiceLog", " [line cut]");
    return line;
}

Journal parseJournal(const QByteArray &output)
{
    Journal journal;
    struct Timed
    {
        qint64 time;
        Line line;
    };
    QVector<Timed> records;
    int from = 0;
    while (from < output.size()) {
        int end = output.indexOf('\n', from);
        if (end < 0)
            end = output.size();
        const QByteArray text = output.mid(from, end - from);
        from = end + 1;
        if (text.trimmed().isEmpty())
            continue;
        const QJsonDocument document = QJsonDocument::fromJson(text);
        if (!document.isObject()) {
            ++journal.unreadable;
            continue;
        }
        const QJsonObject record = document.object();
        bool timed = false;
        const qint64 time =
            record.value(QLatin1String("__REALTIME_TIMESTAMP")).toString().toLongLong(&timed);
        bool known = false;
        const int priority = record.value(QLatin1String("PRIORITY")).toString().toInt(&known);
        Line line;
        if (known && priority >= 0 && priority <= 3)
            line.mark = Mark::Error;
        else if (known && priority == 4)
            line.mark = Mark::Warning;

        QByteArray identifier = fieldBytes(record.value(QLatin1String("SYSLOG_IDENTIFIER")));
        if (identifier.isEmpty())
            identifier = fieldBytes(record.value(QLatin1String("_COMM")));
        const QByteArray pid = fieldBytes(record.value(QLatin1String("_PID")));
        bool hasMessage = false;
        const QJsonValue messageValue = record.value(QLatin1String("MESSAGE"));
        const QByteArray message = fieldBytes(messageValue, &hasMessage);
        QByteArray rest = identifier;
        if (!pid.isEmpty())
            rest += '[' + pid + ']';
        if (!rest.isEmpty())
            rest += ": ";
        rest += message;
        line.text = escapeLine(rest);
        // journalctl leaves out a field longer than it shows (null in its output).
        if (messageValue.isNull())
            line.text += QCoreApplication::translate("ServiceLog", "[message too long to show]");
        if (timed && time >= 0)
            line.text.prepend(timeText(time) + QLatin1Char(' '));
        records.append({timed && time >= 0 ? time : -1, line});
    }
    // journalctl already interleaves its units by time; sorted here all the same, so that
    // the newest line is last whatever the journal's files hold.
    std::stable_sort(records.begin(), records.end(),
                     [](const Timed &a, const Timed &b) { return a.time < b.time; });
    journal.lines.reserve(records.size());
    for (const Timed &record : std::as_const(records))
        journal.lines.append(record.line);
    return journal;
}

QVector<Line> parseFile(const QByteArray &data)
{
    QVector<Line> lines;
    int from = 0;
    while (from < data.size()) {
        int end = data.indexOf('\n', from);
        if (end < 0)
            end = data.size();
        int last = end;
        if (last > from && data.at(last - 1) == '\r') // a line ended the DOS way
            --last;
        lines.append({Mark::None, escapeLine(data.mid(from, last - from))});
        from = end + 1;
    }
    return lines;
}

bool boundSource(QVector<Line> *lines)
{
    qint64 total = 0;
    int keep = lines->size();
    while (keep > 0 && total + lines->at(keep - 1).text.size() + 1 <= maxSourceChars) {
        --keep;
        total += lines->at(keep).text.size() + 1;
    }
    if (keep == 0)
        return false;
    lines->remove(0, keep);
    return true;
}

QString markWord(Mark mark)
{
    switch (mark) {
    case Mark::Error:
        return QCoreApplication::translate("ServiceLog", "ERROR");
    case Mark::Warning:
        return QCoreApplication::translate("ServiceLog", "WARNING");
    case Mark::Notice:
        return QCoreApplication::translate("ServiceLog", "NOTE");
    case Mark::Source:
    case Mark::None:
        break;
    }
    return QString();
}

QString lineText(const Line &line)
{
    if (line.mark == Mark::Source)
        return QStringLiteral("==> %1").arg(line.text);
    return markWord(line.mark).leftJustified(7, QLatin1Char(' ')) + QLatin1Char(' ') + line.text;
}

bool matches(const Line &line, const QString &filter)
{
    return filter.isEmpty() || line.mark == Mark::Source ||
           lineText(line).contains(filter, Qt::CaseInsensitive);
}

QString text(const QVector<Line> &lines, const QString &filter)
{
    QStringList shown;
    for (const Line &line : lines) {
        if (matches(line, filter))
            shown << lineText(line);
    }
    return shown.join(QLatin1Char('\n'));
}

} // namespace ServiceLog
