#include "packagecheck.h"

#include <childprocess.h>
#include <packagequeries.h>

#include <QRegExp>

namespace PackageCheck {

QString standardShowFormat()
{
    return QStringLiteral("--showformat=${db:Status-Abbrev}${binary:Package}\n");
}

ProcessResult run(const QString &package, const QString &showFormat)
{
    ProcessResult result;
    if (PackageQueries::take(package, showFormat, &result))
        return result;
    return ChildProcess::run(QStringLiteral("dpkg-query"),
                             {showFormat, QStringLiteral("--show"), package});
}

void prepare(const QString &package, const QString &showFormat)
{
    PackageQueries::prepare(package, showFormat);
}

bool query(const QString &package, QStringList *lines, const QString &showFormat)
{
    const ProcessResult result = run(package, showFormat);
    if (!result.succeeded())
        return false;
    if (lines)
        *lines = result.outputLines();
    return true;
}

bool anyLineMatches(const QStringList &lines, const QString &pattern)
{
    const QRegExp rx(pattern, Qt::CaseSensitive, QRegExp::RegExp);
    for (const QString &line : lines) {
        if (rx.indexIn(line) >= 0)
            return true;
    }
    return false;
}

QString firstCaptureIn(const QStringList &lines, const QString &pattern)
{
    QRegExp rx(pattern, Qt::CaseSensitive, QRegExp::RegExp);
    for (const QString &line : lines) {
        if (rx.indexIn(line) >= 0 && !rx.cap(1).isEmpty())
            return rx.cap(1);
    }
    return QString();
}

bool isInstalled(const QString &package, const QString &pattern)
{
    QStringList lines;
    return query(package, &lines) && anyLineMatches(lines, pattern);
}

QString firstCapture(const QString &package, const QString &pattern, const QString &showFormat)
{
    QStringList lines;
    if (!query(package, &lines, showFormat))
        return QString();
    return firstCaptureIn(lines, pattern);
}

} // namespace PackageCheck
