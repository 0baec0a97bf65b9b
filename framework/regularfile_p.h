#pragma once

#include "oxaglobal.h"

#include <QString>

class QFile;

/**
 * Opens a file of the administered host for reading only when it is a regular file, judged
 * on what was opened (no window between a check and the opening in which the path may be
 * swapped), and without blocking on a FIFO or a device on the way. The framework's own
 * helper (the console's data, the in-process connection); plug-ins read through their host
 * connection, so it is not installed.
 */
namespace RegularFile {

enum Result
{
    Opened,
    Missing,    ///< nothing at the path (or a dangling link)
    NotRegular, ///< a directory, FIFO, device or socket
    Failed      ///< could not be opened: see the error text
};

/**
 * Opens @p path into @p file (read-only, links followed, close-on-exec). On anything but
 * Opened, @p errorText says why (errno's text, or "Not a regular file").
 */
OXA_EXPORT Result open(QFile *file, const QString &path, QString *errorText = nullptr);

} // namespace RegularFile
