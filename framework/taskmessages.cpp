#include "taskmessages.h"

#include "childprocess.h"

// Multi-argument arg() throughout: a path or tool output holding "%2" must stay as it is.

#include <QObject>

namespace TaskMessages {

QString notFinished(const QString &program, int errorCode)
{
    return QObject::tr("\"%1 ...\" not finished\nError code: %2")
        .arg(program, QString::number(errorCode));
}

QString notFinished(const QString &program, int errorCode, const QString &why)
{
    const QString message = notFinished(program, errorCode);
    return why.isEmpty() ? message : message + QLatin1Char('\n') + why;
}

QString notFinished(const QString &program, const ProcessResult &result)
{
    return notFinished(program, result.error, result.failure);
}

QString exitCode(const QString &program, int exitCode, const QString &standardError)
{
    return QObject::tr("\"%1 ...\"\nExit code: %2\n\"%3\"")
        .arg(program, QString::number(exitCode), standardError);
}

QString fileError(const QString &path, int errorCode, const QString &errorText)
{
    return QObject::tr("\"%1\" error %2\n%3").arg(path, QString::number(errorCode), errorText);
}

QString fileNotExist(const QString &path)
{
    return QObject::tr("\"%1\" not exist").arg(path);
}

QString failedToReadConfig(const QString &path)
{
    return QObject::tr("Failed to read config file %1").arg(path);
}

QString notFinishedReadFile(const QString &program, const QString &file, const QString &errorText)
{
    return QObject::tr("\"%1 ...\" not finished\nCould not read file %2: %3")
        .arg(program, file, errorText);
}

QString packageNotInstalled(const QString &package)
{
    return QObject::tr("Package \"%1\" is not installed in system.\nTo install it, run "
                       "\"apt-get install %2\".")
        .arg(package, package);
}

namespace {
/// Whole seconds, or tenths below ten seconds (a short limit must not read "0 s").
QString seconds(qint64 milliseconds)
{
    return milliseconds >= 10000 ? QString::number(milliseconds / 1000)
                                 : QString::number(double(milliseconds) / 1000, 'f', 1);
}
} // namespace

QString stillRunning(const QString &program, qint64 milliseconds)
{
    return QObject::tr("\"%1 ...\" still running after %2 s; waiting for it to finish")
        .arg(program, seconds(milliseconds));
}

QString leftRunning(const QString &program, qint64 milliseconds)
{
    return QObject::tr("\"%1 ...\" still running after %2 s: left running, not stopped; its "
                       "outcome is unknown")
        .arg(program, seconds(milliseconds));
}

QString undefinedTarget()
{
    return QObject::tr("Internal error: undefined target");
}

} // namespace TaskMessages
