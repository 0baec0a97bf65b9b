// libFuzzer target for the boot state readers: the input is taken as what systemctl is-enabled
// printed (its first line on standard output, the rest on standard error) and as the names in
// the rc directories. Nothing may crash, and a state shown is one line of bounded length.

#include <bootstate.h>
#include <childprocess.h>

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    ProcessResult result;
    result.finished = true;
    result.exitCode = size % 2;
    const int newline = bytes.indexOf('\n');
    result.standardOutput = newline < 0 ? bytes : bytes.left(newline);
    result.standardError = newline < 0 ? QByteArray() : bytes.mid(newline + 1);
    const BootState::Reading reading = BootState::fromIsEnabled(result);
    if (reading.state.contains(QLatin1Char('\n')) || reading.state.size() > 160)
        __builtin_trap();
    if (!reading.ok() && !reading.state.isEmpty())
        __builtin_trap();
    const QStringList names = ChildProcess::splitLines(ChildProcess::decodeLocal8Bit(bytes));
    const QString state = BootState::fromRcLinks(QStringLiteral("smbd"), names);
    if (BootState::changingOperations(state) == OperationNone &&
        state != BootState::notInstalledText())
        __builtin_trap();
    return 0;
}
