#include "consoledata.h"

#include <QReadWriteLock>

namespace {
QReadWriteLock lock;
QString chosen;
} // namespace

QString ConsoleData::directory()
{
    QReadLocker reader(&lock);
    return chosen.isEmpty() ? QStringLiteral("/usr/share/vell") : chosen;
}

QString ConsoleData::path(const QString &sub)
{
    return directory() + QLatin1Char('/') + sub;
}

void ConsoleData::setDirectory(const QString &directory)
{
    QWriteLocker writer(&lock);
    chosen = directory;
}
