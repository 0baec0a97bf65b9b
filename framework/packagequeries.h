#pragma once

#include "childprocess.h"
#include "oxaglobal.h"

#include <QList>
#include <QSharedPointer>
#include <QString>
#include <QStringList>

/**
 * Questions to the package database asked ahead, together. Every plug-in asks dpkg-query
 * about its own package when the console starts: a dozen runs, each of which starts a program
 * and reads the whole database (megabytes on a full host) to answer for one name. A plug-in
 * library prepares its question when the console has loaded the libraries (a preparation, see
 * plugin.h); the console then asks every prepared question in one run per show format, while
 * it makes the plug-in objects, and each check takes its answer from there. A question nobody
 * prepared, or asked a second time, runs on its own as before.
 */
class HostConnection;

namespace PackageQueries {

/// Adds `dpkg-query <showFormat> --show <package>` to the questions of the next start().
/// Names with an architecture qualifier, and formats of more than one line, are left out.
OXA_EXPORT void prepare(const QString &package, const QString &showFormat);

/// Asks the questions prepared since the last call, in the background, on @p host (the
/// console's connection).
OXA_EXPORT void start(const QSharedPointer<HostConnection> &host);
/// The same on the local host, for code outside a console.
OXA_EXPORT void start();

/**
 * The answer to a prepared question, waiting for its run when it is still on its way; false
 * (and nothing waited for) when none is there. Each preparation is answered once.
 */
OXA_EXPORT bool take(const QString &package, const QString &showFormat, ProcessResult *result);

/// Drops the answers prepared and not taken (the console's checks are over): a later question
/// must see the database as it is then.
OXA_EXPORT void forget();

/**
 * Asks dpkg-query about several packages (names or patterns) of one format in one run; each
 * gets what `dpkg-query <showFormat> --show <package>` alone would have said: its lines, exit
 * code 0, or 1 when none of its names is known. A run that fails is the answer of every
 * question in it. A name with an architecture qualifier, a format of several lines, or a
 * question without company runs alone.
 */
OXA_EXPORT QList<ProcessResult> askTogether(const HostConnection &host, const QStringList &packages,
                                            const QString &showFormat);
/// The same on the local host, for code outside a console.
OXA_EXPORT QList<ProcessResult> askTogether(const QStringList &packages, const QString &showFormat);

} // namespace PackageQueries
