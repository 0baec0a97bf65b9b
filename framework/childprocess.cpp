#include "childprocess.h"

#include <hostioprocess.h>

#include <QFile>
#include <QProcess>

#include <atomic>

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

static_assert(int(ProcessResult::FailedToStart) == int(QProcess::FailedToStart) &&
                  int(ProcessResult::Crashed) == int(QProcess::Crashed) &&
                  int(ProcessResult::TimedOut) == int(QProcess::Timedout) &&
                  int(ProcessResult::NoError) == int(QProcess::UnknownError),
              "ProcessResult::Error keeps QProcess's numbers");
static_assert(int(ProcessResult::FailedToStart) == int(hostio::ProcessResult::FailedToStart) &&
                  int(ProcessResult::Crashed) == int(hostio::ProcessResult::Crashed) &&
                  int(ProcessResult::TimedOut) == int(hostio::ProcessResult::TimedOut) &&
                  int(ProcessResult::NoError) == int(hostio::ProcessResult::NoError),
              "ProcessResult::Error keeps the numbers of the process code");
static_assert(ChildProcess::MaxOutputBytes == hostio::DefaultMaxOutputBytes &&
                  ChildProcess::MaxErrorBytes == hostio::DefaultMaxErrorBytes &&
                  ChildProcess::DefaultKillWaitMs == hostio::DefaultKillWaitMs &&
                  ChildProcess::DefaultTimeoutMs == hostio::DefaultReadLimitMs &&
                  ChildProcess::DefaultChangeLimitMs == hostio::DefaultChangeLimitMs,
              "the console's limits are those of the process code");

namespace {

std::atomic<int> killWaitMs{ChildProcess::DefaultKillWaitMs};
std::atomic<int> g_readLimitMs{ChildProcess::DefaultTimeoutMs};
std::atomic<int> g_changeLimitMs{ChildProcess::DefaultChangeLimitMs};

std::string encodedProgram(const QString &program)
{
    return QFile::encodeName(program).toStdString();
}

std::vector<std::string> encodedArguments(const QStringList &arguments)
{
    std::vector<std::string> encoded;
    encoded.reserve(size_t(arguments.size()));
    for (const QString &argument : arguments)
        encoded.push_back(argument.toLocal8Bit().toStdString());
    return encoded;
}

hostio::OutputLimits outputLimits()
{
    hostio::OutputLimits limits;
    limits.output = ChildProcess::MaxOutputBytes;
    limits.error = ChildProcess::MaxErrorBytes;
    return limits;
}

ProcessResult fromHostio(const hostio::ProcessResult &from)
{
    ProcessResult result;
    result.finished = from.finished;
    result.exitCode = from.exitCode;
    result.error = int(from.error);
    result.standardOutput = QByteArray(from.standardOutput.data(), int(from.standardOutput.size()));
    result.standardError = QByteArray(from.standardError.data(), int(from.standardError.size()));
    result.outputCut = from.outputCut;
    result.errorCut = from.errorCut;
    result.leftRunning = from.leftRunning;
    return result;
}

QList<QByteArray> toByteArrays(const std::vector<std::string> &entries)
{
    QList<QByteArray> list;
    list.reserve(int(entries.size()));
    for (const std::string &entry : entries)
        list.append(QByteArray::fromStdString(entry));
    return list;
}

} // namespace

QString ChildProcess::fixedSearchPath()
{
    return QString::fromLatin1(hostio::fixedSearchPath());
}

QList<QByteArray> ChildProcess::fixedEnvironment()
{
    return toByteArrays(hostio::fixedEnvironment());
}

QList<QByteArray> ChildProcess::ownEnvironment()
{
    return toByteArrays(hostio::ownEnvironment());
}

QString ChildProcess::findProgram(const QString &program)
{
    const std::string found = hostio::findProgram(encodedProgram(program));
    if (found.empty())
        return QString();
    // A path is given back as the caller wrote it.
    if (program.contains(QLatin1Char('/')))
        return program;
    return QFile::decodeName(QByteArray::fromStdString(found));
}

int ChildProcess::setKillWaitMs(int ms)
{
    return killWaitMs.exchange(qMax(0, ms));
}

ProcessResult ChildProcess::run(const QString &program, const QStringList &arguments, int timeoutMs)
{
    hostio::RunOptions options;
    options.timeoutMs = timeoutMs < 0 ? readLimitMs() : timeoutMs;
    options.killWaitMs = killWaitMs.load();
    options.limits = outputLimits();
    return fromHostio(hostio::run(encodedProgram(program), encodedArguments(arguments), options));
}

DetachedStart ChildProcess::startDetached(const QString &program, const QStringList &arguments,
                                          const QList<QByteArray> &environment, int graceMs)
{
    std::vector<std::string> entries;
    entries.reserve(size_t(environment.size()));
    for (const QByteArray &entry : environment)
        entries.push_back(entry.toStdString());
    const hostio::DetachedStart started = hostio::startDetached(
        encodedProgram(program), encodedArguments(arguments), entries, graceMs);
    DetachedStart start;
    start.state = DetachedStart::State(int(started.state));
    start.code = started.code;
    return start;
}

static_assert(int(DetachedStart::NotStarted) == int(hostio::DetachedStart::NotStarted) &&
                  int(DetachedStart::Running) == int(hostio::DetachedStart::Running) &&
                  int(DetachedStart::Exited) == int(hostio::DetachedStart::Exited) &&
                  int(DetachedStart::Killed) == int(hostio::DetachedStart::Killed),
              "DetachedStart::State keeps the numbers of the process code");

QString ChildProcess::decodeLocal8Bit(const QByteArray &bytes)
{
    const int nul = bytes.indexOf('\0');
    return QString::fromLocal8Bit(nul < 0 ? bytes : bytes.left(nul));
}

QStringList ChildProcess::splitLines(const QString &text)
{
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

ProcessResult ChildProcess::runChange(const QString &program, const QStringList &arguments,
                                      const ChangeWait &wait)
{
    hostio::ChangeOptions options;
    options.readLimitMs = readLimitMs();
    options.ceilingMs = changeLimitMs();
    options.limits = outputLimits();
    options.stillRunning = wait.stillRunning;
    options.stop = wait.stop;
    return fromHostio(
        hostio::runChange(encodedProgram(program), encodedArguments(arguments), options));
}

int ChildProcess::readLimitMs()
{
    return g_readLimitMs.load();
}

void ChildProcess::setReadLimitMs(int milliseconds)
{
    g_readLimitMs.store(qMax(1, milliseconds));
}

int ChildProcess::changeLimitMs()
{
    return g_changeLimitMs.load();
}

void ChildProcess::setChangeLimitMs(int milliseconds)
{
    g_changeLimitMs.store(qMax(1, milliseconds));
}
