#pragma once

#include <childprocess.h>
#include <plugin.h>

class HostConnection;

#include <QString>
#include <QStringList>

/**
 * The package check behind every plug-in's isValid(): one dpkg-query for a package (or a
 * package pattern), its lines matched against a regular expression.
 */
namespace PackageCheck {

/// "--showformat=${db:Status-Abbrev}${binary:Package}\n": one line per package.
QString standardShowFormat();

/// Runs `dpkg-query <showFormat> --show <package>` on @p host (30 s at most) and returns how
/// it went; a question prepared ahead takes its answer from the console's common run.
ProcessResult run(const HostConnection &host, const QString &package,
                  const QString &showFormat = standardShowFormat());

/// Prepares the question for the console's common run (see PackageQueries); for a plug-in
/// library's preparation routine.
void prepare(const QString &package, const QString &showFormat = standardShowFormat());

/**
 * Runs `dpkg-query <showFormat> --show <package>` (30 s at most). False when it did not
 * finish, crashed or exited non-zero (dpkg-query does so for a package it does not know);
 * else true with the output's non-empty lines in @p lines.
 */
bool query(const HostConnection &host, const QString &package, QStringList *lines,
           const QString &showFormat = standardShowFormat());

/// True when the query succeeds and a line holds a match of @p pattern (QRegExp syntax).
bool isInstalled(const HostConnection &host, const QString &package, const QString &pattern);

/// Capture 1 of @p pattern in the first line where it is not empty; empty otherwise.
QString firstCapture(const HostConnection &host, const QString &package, const QString &pattern,
                     const QString &showFormat = standardShowFormat());

/// The same searches over lines already read (for tests and callers that query once).
bool anyLineMatches(const QStringList &lines, const QString &pattern);
QString firstCaptureIn(const QStringList &lines, const QString &pattern);

} // namespace PackageCheck

/**
 * Prepares, once the console has loaded the library, the package questions its plug-in's
 * check will ask (@p showFormat, then the packages), so that they go with the other plug-ins'
 * in one run. A question prepared but not asked costs a name in that run, nothing more.
 */
#define OXA_PREPARE_PACKAGE_CHECKS(showFormat, ...)                                                \
    namespace {                                                                                    \
    void oxaPreparePackageChecks()                                                                 \
    {                                                                                              \
        for (const QString &package : QStringList{__VA_ARGS__})                                    \
            PackageCheck::prepare(package, showFormat);                                            \
    }                                                                                              \
    }                                                                                              \
    OXA_REGISTER_PREPARATION(oxaPreparePackageChecks)
