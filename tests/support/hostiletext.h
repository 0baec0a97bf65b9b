#pragma once

// Input no sane file or tool holds, for the hostile-input suites of the plug-ins.

#include <QByteArray>
#include <QRandomGenerator>
#include <QString>

namespace HostileText {

/// The size of the file a reader must cut rather than read whole: 100 MiB.
constexpr int hugeFileBytes = 100 * 1024 * 1024;

/// @p head, then whole copies of @p filler until at least @p bytes are reached.
inline QByteArray filledTo(const QByteArray &head, const QByteArray &filler,
                           int bytes = hugeFileBytes)
{
    QByteArray text(head);
    text.reserve(bytes + filler.size());
    while (text.size() < bytes)
        text += filler;
    return text;
}

/// A line of 1 to @p maxLength characters drawn from @p alphabet.
inline QString randomLine(QRandomGenerator &random, const QString &alphabet, int maxLength)
{
    QString line;
    const int length = 1 + random.bounded(maxLength);
    for (int i = 0; i < length; ++i)
        line += alphabet.at(random.bounded(alphabet.size()));
    return line;
}

} // namespace HostileText
