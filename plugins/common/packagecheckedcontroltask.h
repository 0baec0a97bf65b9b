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

/**
 * The control task of the administration program @p Program, which its package of the same
 * name installs; the flag that the package was found is this class's own.
 */
template <const char *Program> class ProgramControlTask : public PackageCheckedControlTask
{
public:
    explicit ProgramControlTask(Element *element)
        : PackageCheckedControlTask(element, QString::fromLatin1(Program),
                                    QString::fromLatin1(Program), s_packageFound)
    {
    }

    /// Whether a control task has found the program's package installed (kept for the process).
    static bool packageFound() { return s_packageFound.load(); }

private:
    inline static std::atomic<bool> s_packageFound{false};
};
