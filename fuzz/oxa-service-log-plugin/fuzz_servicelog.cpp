// libFuzzer target for the log element's reading of journalctl's JSON output and of a log
// file's tail: the input is read both ways. Nothing may crash, and no line shown may hold a
// control character other than a tab, nor be longer than a line is shown.

#include <servicelog.h>

#include <QByteArray>
#include <QVector>

#include <cstddef>
#include <cstdint>

namespace {
void check(const QVector<ServiceLog::Line> &lines)
{
    for (const ServiceLog::Line &line : lines) {
        // The bound, the time before a journal line and the cut marker.
        if (line.text.size() > ServiceLog::maxLineChars + 80)
            __builtin_trap();
        for (const QChar c : line.text) {
            if ((c.unicode() < 0x20 && c != QLatin1Char('\t')) ||
                (c.unicode() >= 0x7f && c.unicode() < 0xa0))
                __builtin_trap();
        }
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));
    check(ServiceLog::parseJournal(input).lines);
    QVector<ServiceLog::Line> lines = ServiceLog::parseFile(input);
    check(lines);
    ServiceLog::boundSource(&lines);
    ServiceLog::text(lines, QStringLiteral("a"));
    return 0;
}
