// libFuzzer target for the readers of "tarn-client status" output: the input is decoded as
// the tasks decode the tool's output and read as the server's report and as the daemon's
// settings. Nothing may crash; every key must be a run without "=" or blanks, values must
// not start or end with a blank (the daemon's: one word), only known keys may come out, and
// short lines must agree with the regular expressions the readers stand for.

#include "tarnstatusparser.h"

#include <childprocess.h>

#include <QByteArray>
#include <QRegExp>

#include <cstddef>
#include <cstdint>

namespace {

bool hasBlankAtEnds(const QString &text)
{
    return !text.isEmpty() && (text.front().isSpace() || text.back().isSpace());
}

bool isKey(const QString &key)
{
    if (key.isEmpty())
        return false;
    for (const QChar c : key) {
        if (c == QLatin1Char('=') || c.isSpace())
            return false;
    }
    return true;
}

QString dropLeadingBlanks(const QString &text)
{
    int i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    return text.mid(i);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const QStringList lines = ChildProcess::splitLines(ChildProcess::decodeLocal8Bit(bytes));

    const TarnStatusParser::ServerReport report = TarnStatusParser::parseServerReport(lines);
    for (const TarnSetting &setting : report.settings) {
        if (!isKey(setting.key) || !TarnStatusParser::isServerKey(setting.key) ||
            setting.key == QLatin1String("DOMAIN") || hasBlankAtEnds(setting.value))
            __builtin_trap();
    }
    bool found = false;
    const QString domain = TarnStatusParser::domain(lines, &found);
    if (found != report.hasDomain || domain != report.domain || hasBlankAtEnds(domain))
        __builtin_trap();

    for (const TarnSetting &setting : TarnStatusParser::parseDaemonSettings(lines)) {
        if (!isKey(setting.key) || !TarnStatusParser::isDaemonKey(setting.key) ||
            setting.value.isEmpty() || setting.value.contains(QRegExp(QStringLiteral("\\s"))))
            __builtin_trap();
    }

    // The expressions backtrack on long lines; the short ones are enough to compare.
    static QRegExp whole(QStringLiteral("([^=\\s]+)\\s*=\\s*((\\s*\\S+)*)"));
    static QRegExp firstWord(QStringLiteral("([^=\\s]+)\\s*=\\s*(\\S+)"));
    for (const QString &line : lines) {
        if (line.size() > 48)
            continue;
        TarnSetting setting;
        const bool matched = TarnStatusParser::matchSetting(line, &setting);
        if (matched != (whole.indexIn(line) >= 0) ||
            (matched &&
             (setting.key != whole.cap(1) || setting.value != dropLeadingBlanks(whole.cap(2)))))
            __builtin_trap();
        const bool matchedWord = TarnStatusParser::matchFirstWordSetting(line, &setting);
        if (matchedWord != (firstWord.indexIn(line) >= 0) ||
            (matchedWord && (setting.key != firstWord.cap(1) || setting.value != firstWord.cap(2))))
            __builtin_trap();
    }
    return 0;
}
