#pragma once

#include <servicetasks.h>

#include <atomic>

/**
 * A control task that starts its administration program only once the program's package is
 * known to be installed. A package once found stays found for the life of the process (the
 * flag is the subclass's, shared by all its tasks); a missing one is asked for again by the
 * next task, which fails with the package message meanwhile.
 */
class PackageCheckedControlTask : public ControlServiceTask
{
public:
    /// Starts @p program of @p package; @p packageFound is the process-wide flag.
    PackageCheckedControlTask(Element *element, const QString &package, const QString &program,
                              std::atomic<bool> &packageFound);

    void run() override;

private:
    std::atomic<bool> &m_packageFound;
};
