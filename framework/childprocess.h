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
    /// What the program wrote, at most ChildProcess::MaxOutputBytes and MaxErrorBytes.
    QByteArray standardOutput;
    QByteArray standardError;
    /// The program wrote more than was kept: the rest was read and dropped.
    bool outputCut = false;
    bool errorCut = false;

    bool succeeded() const { return finished && exitCode == 0; }
    /// Standard output decoded as local 8-bit text up to the first NUL.
    QString outputText() const;
    QString errorText() const;
    /// outputText() split at line feeds, empty lines dropped.
    QStringList outputLines() const;
};

/**
 * Runs a program with an argument list (no shell), stdin closed, in a process group of its
 * own, waiting at most the given time; a program that outlives it, or crashes, is killed with
 * its whole group and reaped. Its output is read while it runs and kept up to a bound, so a
 * program that floods its pipes neither blocks nor fills the console's memory.
 */
class OXA_EXPORT ChildProcess
{
public:
    static const int DefaultTimeoutMs = 30000;
    /// Standard output kept of one run; what the largest host's tools print fits many times.
    static const int MaxOutputBytes = 32 * 1024 * 1024;
    /// Standard error kept of one run: it ends up in messages, a screenful is plenty.
    static const int MaxErrorBytes = 64 * 1024;

    static ProcessResult run(const QString &program, const QStringList &arguments,
                             int timeoutMs = DefaultTimeoutMs);

    /// @p bytes as local 8-bit text, up to the first NUL byte.
    static QString decodeLocal8Bit(const QByteArray &bytes);
    /// @p text split at '\n', empty parts dropped.
    static QStringList splitLines(const QString &text);
};
