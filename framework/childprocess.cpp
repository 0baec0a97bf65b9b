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
            process.kill();
            process.waitForFinished(5000);
        }
        return result;
    }
    const qint64 pid = process.processId();
    const int left = int(qMax<qint64>(0, timeoutMs - clock.elapsed()));
    const bool done = process.waitForFinished(left);
    if (!done) {
        result.error = QProcess::Timedout;
        if (pid > 0)
            ::kill(-pid_t(pid), SIGKILL);
        process.kill();
        process.waitForFinished(5000); // reap
        result.standardOutput = process.readAllStandardOutput();
        result.standardError = process.readAllStandardError();
        return result;
    }
    result.standardOutput = process.readAllStandardOutput();
    result.standardError = process.readAllStandardError();
    if (process.exitStatus() != QProcess::NormalExit) {
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
