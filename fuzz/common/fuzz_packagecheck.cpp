// libFuzzer target for the package check behind every plug-in's validity: the input is taken
// as dpkg-query's standard output (decoded and split as the check does) and searched with
// the patterns the plug-ins hand it: "ii\s<package>" for the plain services, and the ones
// that capture the Apache version and a PostgreSQL server version. Nothing may crash; no line is
// empty or holds a line feed or NUL; a plain pattern matches exactly when "ii", a blank and the
// package name stand in a line; a version found has the shape its pattern asks for.

#include <packagecheck.h>

#include <childprocess.h>

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace {

/// "ii", a blank, then @p package, anywhere in the line.
bool holdsInstalled(const QString &line, const QString &package)
{
    for (int at = line.indexOf(QLatin1String("ii")); at >= 0;
         at = line.indexOf(QLatin1String("ii"), at + 1)) {
        if (at + 2 < line.size() && line.at(at + 2).isSpace() &&
            line.midRef(at + 3).startsWith(package))
            return true;
    }
    return false;
}

/// Digits, optionally a dot and digits again (at least two digits then); with @p dot
/// required, the dot must be there.
bool isVersion(const QString &version, bool dotRequired)
{
    const int dot = version.indexOf(QLatin1Char('.'));
    if (dotRequired && dot < 0)
        return false;
    if (dot == 0 || dot == version.size() - 1 || version.size() < 2)
        return false;
    for (int i = 0; i < version.size(); ++i) {
        if (i != dot && !version.at(i).isDigit())
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ProcessResult result;
    result.finished = true;
    result.exitCode = 0;
    result.standardOutput = QByteArray(reinterpret_cast<const char *>(data), int(size));
    const QStringList lines = result.outputLines();
    for (const QString &line : lines) {
        if (line.isEmpty() || line.contains(QLatin1Char('\n')) || line.contains(QChar(0)))
            __builtin_trap();
    }

    static const char *const packages[] = {"samba",    "slapd", "exim4-base",  "dovecot-core",
                                           "krb5-kdc", "cron",  "cups-common", "tarn-client"};
    for (const char *name : packages) {
        const QString package = QString::fromLatin1(name);
        const bool matches = PackageCheck::anyLineMatches(lines, QStringLiteral("ii\\s") + package);
        bool expected = false;
        for (const QString &line : lines)
            expected = expected || holdsInstalled(line, package);
        if (matches != expected)
            __builtin_trap();
    }

    const QString apache =
        PackageCheck::firstCaptureIn(lines, QStringLiteral("ii\\sapache2\\s(\\d+\\.\\d+)"));
    if (!apache.isEmpty() && !isVersion(apache, true))
        __builtin_trap();
    const QString pgsql =
        PackageCheck::firstCaptureIn(lines, QStringLiteral("ii\\spostgresql-(\\d+\\.?\\d+)"));
    if (!pgsql.isEmpty() && !isVersion(pgsql, false))
        __builtin_trap();
    return 0;
}
