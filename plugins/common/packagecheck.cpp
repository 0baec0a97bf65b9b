#include "packagecheck.h"

#include <hostconnection.h>
#include <packagequeries.h>

#include <QRegExp>

namespace PackageCheck {

QString standardShowFormat()
{
    return QStringLiteral("--showformat=${db:Status-Abbrev}${binary:Package}\n");
}

ProcessResult run(const HostConnection &host, const QString &package, const QString &showFormat)
{
    ProcessResult result;
    if (PackageQueries::take(package, showFormat, &result))
        return result;
    return host.run(QStringLiteral("dpkg-query"), {showFormat, QStringLiteral("--show"), package});
}

void prepare(const QString &package, const QString &showFormat)
{
    PackageQueries::prepare(package, showFormat);
}

bool query(const HostConnection &host, const QString &package, QStringList *lines,
           const QString &showFormat)
{
    const ProcessResult result = run(host, package, showFormat);
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

bool isInstalled(const HostConnection &host, const QString &package, const QString &pattern)
{
    QStringList lines;
    return query(host, package, &lines) && anyLineMatches(lines, pattern);
}

QString firstCapture(const HostConnection &host, const QString &package, const QString &pattern,
                     const QString &showFormat)
{
    QStringList lines;
    if (!query(host, package, &lines, showFormat))
        return QString();
    return firstCaptureIn(lines, pattern);
}

} // namespace PackageCheck
