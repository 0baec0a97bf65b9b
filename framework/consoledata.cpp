#include "consoledata.h"

#include "regularfile.h"

#include <QFile>
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

bool ConsoleData::readFile(const QString &path, qint64 maxBytes, QByteArray *bytes)
{
    // A directory opens for reading too, and a FIFO would block: only a plain file is data.
    QFile file;
    if (RegularFile::open(&file, path) != RegularFile::Opened)
        return false;
    *bytes = file.read(qMax<qint64>(0, maxBytes));
    return file.error() == QFileDevice::NoError;
}
