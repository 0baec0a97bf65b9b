#include "readlimits.h"

#include <QIODevice>
#include <QObject>

// Multi-argument arg() where the path comes first: a file named "job%2" must stay as it is.

namespace ReadLimits {

QString entriesCut(const QString &source)
{
    return QObject::tr("Only the first %1 entries of %2 are shown").arg(maxEntries).arg(source);
}

QString bytesCut(const QString &source, qint64 limit)
{
    return QObject::tr("Only the first %1 bytes of %2 are read").arg(limit).arg(source);
}

QString fileCut(const QString &path)
{
    return QObject::tr("Only the beginning of %1 is shown: it holds more than %2 entries or "
                       "%3 bytes")
        .arg(path, QString::number(maxEntries), QString::number(maxFileBytes));
}

QString textCut(const QString &path)
{
    return QObject::tr("%1 is too large to show whole: only its first %2 bytes are shown, and "
                       "lines longer than %3 characters are cut")
        .arg(path, QString::number(maxTextBytes), QString::number(maxTextLineLength));
}

QByteArray readText(QIODevice *device, bool *cut)
{
    QByteArray text;
    qint64 consumed = 0;
    int lineLength = 0; // of the current line, as kept
    while (true) {
        if (consumed >= maxFileBytes) {
            *cut = *cut || !device->atEnd();
            break;
        }
        // A piece of a line at most: a line of any length costs no more than its bound.
        const QByteArray chunk = device->readLine(maxTextLineLength + 1);
        if (chunk.isEmpty())
            break;
        consumed += chunk.size();
        const int nul = chunk.indexOf('\0');
        const bool endsLine = nul < 0 && chunk.endsWith('\n');
        int body = (nul >= 0 ? nul : chunk.size()) - (endsLine ? 1 : 0);
        if (body > maxTextLineLength - lineLength) {
            *cut = true;
            body = maxTextLineLength - lineLength;
        }
        if (text.size() + body + (endsLine ? 1 : 0) > maxTextBytes) {
            *cut = true;
            break;
        }
        text.append(chunk.constData(), body);
        lineLength += body;
        if (endsLine) {
            text.append('\n');
            lineLength = 0;
        }
        if (nul >= 0)
            break; // the text ends at a NUL
    }
    return text;
}

} // namespace ReadLimits
