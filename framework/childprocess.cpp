#include "childprocess.h"

#include <QElapsedTimer>
#include <QProcess>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace {
// A process that leads a process group of its own, so that a program that hangs can be
// killed together with whatever it started.
class GroupLeaderProcess : public QProcess
{
protected:
    void setupChildProcess() override { ::setsid(); }
};
} // namespace

QString ProcessResult::outputText() const
{
    return ChildProcess::decodeLocal8Bit(standardOutput);
}

QString ProcessResult::errorText() const
{
    return ChildProcess::decodeLocal8Bit(standardError);
}

QStringList ProcessResult::outputLines() const
{
    return ChildProcess::splitLines(outputText());
}

namespace {

// How long one wait lasts before the pipes are emptied into the bounded buffers: what a
// flooding program can add to QProcess's own buffers in that time stays small.
const int DrainSliceMs = 20;

void keep(QByteArray *into, bool *cut, const QByteArray &bytes, int limit)
{
    if (bytes.isEmpty())
        return;
    const int room = limit - into->size();
    if (bytes.size() > room) {
        *cut = true;
        if (room > 0)
            into->append(bytes.constData(), room);
        return;
    }
    into->append(bytes);
}

void drain(QProcess &process, ProcessResult *result)
{
    keep(&result->standardOutput, &result->outputCut, process.readAllStandardOutput(),
         ChildProcess::MaxOutputBytes);
    keep(&result->standardError, &result->errorCut, process.readAllStandardError(),
         ChildProcess::MaxErrorBytes);
}

/// Kills the process group @p pid leads (the leader and whatever it started and left there).
void killGroup(qint64 pid)
{
    if (pid > 0)
        ::kill(-pid_t(pid), SIGKILL);
}

} // namespace

ProcessResult ChildProcess::run(const QString &program, const QStringList &arguments, int timeoutMs)
{
    ProcessResult result;
    GroupLeaderProcess process;
    QElapsedTimer clock;
    clock.start();
    // A tool that reads its input must meet its end at once, not wait out the time limit.
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments, QIODevice::ReadOnly);
    if (!process.waitForStarted(timeoutMs)) {
        result.error = process.error();
        if (process.state() != QProcess::NotRunning) {
            // Started too slowly: treat as a time-out and leave nothing behind.
            result.error = QProcess::Timedout;
            killGroup(process.processId());
            process.kill();
            process.waitForFinished(5000);
        }
        return result;
    }
    const qint64 pid = process.processId();
    bool done = false;
    for (;;) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0)
            break;
        // Finished, or crashed: either way the leader is gone and reaped.
        done = process.waitForFinished(int(qMin<qint64>(left, DrainSliceMs))) ||
               process.state() == QProcess::NotRunning;
        drain(process, &result);
        if (done)
            break;
    }
    if (!done) {
        result.error = QProcess::Timedout;
        killGroup(pid);
        process.kill();
        process.waitForFinished(5000); // reap
        drain(process, &result);
        return result;
    }
    drain(process, &result);
    if (process.exitStatus() != QProcess::NormalExit) {
        // What a crashed program started is left without its parent: end it too. The group
        // outlives its leader while a member lives, so its id still names only them.
        killGroup(pid);
        result.error = QProcess::Crashed;
        return result;
    }
    result.finished = true;
    result.exitCode = process.exitCode();
    return result;
}

QString ChildProcess::decodeLocal8Bit(const QByteArray &bytes)
{
    const int nul = bytes.indexOf('\0');
    return QString::fromLocal8Bit(nul < 0 ? bytes : bytes.left(nul));
}

QStringList ChildProcess::splitLines(const QString &text)
{
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
