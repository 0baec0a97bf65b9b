#pragma once

#include "oxaglobal.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

/** The outcome of one child process run by ChildProcess::run(). */
struct OXA_EXPORT ProcessResult
{
    /// Started, and exited normally within the time limit.
    bool finished = false;
    int exitCode = -1;
    /// QProcess::ProcessError of a run that did not finish (0 failed to start, 1 crashed,
    /// 2 timed out); 5 (unknown) otherwise.
    int error = 5;
    QByteArray standardOutput;
    QByteArray standardError;

    bool succeeded() const { return finished && exitCode == 0; }
    /// Standard output decoded as local 8-bit text up to the first NUL.
    QString outputText() const;
    QString errorText() const;
    /// outputText() split at line feeds, empty lines dropped.
    QStringList outputLines() const;
};

/**
 * Runs a program with an argument list (no shell), stdin closed, in a process group of its
 * own, waiting at most the given time; a program that outlives it is killed with its whole
 * group and reaped.
 */
class OXA_EXPORT ChildProcess
{
public:
    static const int DefaultTimeoutMs = 30000;

    static ProcessResult run(const QString &program, const QStringList &arguments,
                             int timeoutMs = DefaultTimeoutMs);

    /// @p bytes as local 8-bit text, up to the first NUL byte.
    static QString decodeLocal8Bit(const QByteArray &bytes);
    /// @p text split at '\n', empty parts dropped.
    static QStringList splitLines(const QString &text);
};
