#pragma once

#include "oxaglobal.h"

#include <QString>

struct ProcessResult;

/** The message formats every task shares (translated in the context "QObject"). */
namespace TaskMessages {
/// "\"%1 ...\" not finished\nError code: %2"
OXA_EXPORT QString notFinished(const QString &program, int errorCode);
/// notFinished(), and on a line of its own why, when the host connection said it
/// (ProcessResult::failure).
OXA_EXPORT QString notFinished(const QString &program, int errorCode, const QString &why);
/// notFinished() of a run's error code and, when the connection said it, its cause.
OXA_EXPORT QString notFinished(const QString &program, const ProcessResult &result);
/// "\"%1 ...\"\nExit code: %2\n\"%3\""
OXA_EXPORT QString exitCode(const QString &program, int exitCode, const QString &standardError);
/// "\"%1\" error %2\n%3"
OXA_EXPORT QString fileError(const QString &path, int errorCode, const QString &errorText);
/// "\"%1\" not exist"
OXA_EXPORT QString fileNotExist(const QString &path);
/// "Failed to read config file %1"
OXA_EXPORT QString failedToReadConfig(const QString &path);
/// "\"%1 ...\" not finished\nCould not read file %2: %3"
OXA_EXPORT QString notFinishedReadFile(const QString &program, const QString &file,
                                       const QString &errorText);
/// "Package \"%1\" is not installed in system.\nTo install it, run \"apt-get install %2\"."
OXA_EXPORT QString packageNotInstalled(const QString &package);
/// "\"%1 ...\" still running after %2 s; waiting for it to finish"
OXA_EXPORT QString stillRunning(const QString &program, qint64 milliseconds);
/// "\"%1 ...\" still running after %2 s: left running, not stopped; its outcome is unknown"
OXA_EXPORT QString leftRunning(const QString &program, qint64 milliseconds);
/// "Internal error: undefined target"
OXA_EXPORT QString undefinedTarget();
} // namespace TaskMessages
