#pragma once

#include "hostoptions.h"

#include <QString>

/**
 * What main() does, kept in the library: chooses the platform before the application object
 * exists, then loads the plug-ins and runs the window or the batch script.
 */
class HostApplication
{
public:
    /**
     * Before QApplication: batch mode without a display uses the offscreen platform; the
     * window without a display cannot start, and @p error says so. True when it may go on.
     */
    static bool preparePlatform(const HostOptions &options, QString *error);
    /// Runs the console (QApplication must exist); returns the process's exit code.
    static int exec(const HostOptions &options);

private:
    static int execBatch(const HostOptions &options);
    static int execWindow(const HostOptions &options);
};
