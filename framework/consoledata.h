#pragma once

#include "oxaglobal.h"

#include <QByteArray>
#include <QString>

/**
 * Where the console's own data lies (package lists, translations): /usr/share/vell for an
 * installed console, the build tree's copy for one started from there. Always read locally,
 * never from the administered host.
 */
namespace ConsoleData {

/// The top directory: "/usr/share/vell" unless setDirectory() chose another.
OXA_EXPORT QString directory();
/// @p sub below directory().
OXA_EXPORT QString path(const QString &sub);
/// Chooses the top directory; before the plug-ins are loaded.
OXA_EXPORT void setDirectory(const QString &directory);
/**
 * The first @p maxBytes bytes of the console's own file @p path (one below path()), read
 * here, on the console's machine, whatever host the console administers. False when it is
 * missing, no regular file, or cannot be read.
 */
OXA_EXPORT bool readFile(const QString &path, qint64 maxBytes, QByteArray *bytes);

} // namespace ConsoleData
