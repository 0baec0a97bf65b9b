#pragma once

#include <servicetasks.h>

#include <QObject>

#include <type_traits>
#include <utility>

/**
 * One service's row of the task family: its init script, its reload action word and the
 * descriptions of its tasks. The services' rows (ServiceRow, built on this) stand in
 * servicerows.h; a task is named by its row, e.g. `FamilyStartTask<sambaFamily>`.
 * Descriptions are marked with QT_TRANSLATE_NOOP("QObject", ...) and translated when used.
 */
struct ServiceFamily
{
    const char *initScript;
    const char *reloadAction; ///< null: the framework's reload action
    const char *readLightDescription;
    const char *startDescription;
    const char *stopDescription;
    const char *restartDescription;
    const char *reloadDescription;
    const char *readHeavyDescription;
};

/// Whether the row @p Row names its systemd units (a ServiceRow does, a bare family does not).
template <class Row, class = void> struct HasBootUnits : std::false_type
{
};
template <class Row>
struct HasBootUnits<Row, std::void_t<decltype(std::declval<const Row &>().units)>>
    : std::true_type
{
};

/// The first of the blank-separated @p units (null: none), the one whose boot state counts.
inline QString firstUnit(const char *units)
{
    return units ? QString::fromLatin1(units).section(QLatin1Char(' '), 0, 0,
                                                      QString::SectionSkipEmpty)
                 : QString();
}

/// The unit whose boot state @p F's element shows and changes: the first of its units; empty
/// for a family without units.
template <const auto &F> QString bootUnitOf()
{
    if constexpr (HasBootUnits<std::decay_t<decltype(F)>>::value)
        return firstUnit(F.units);
    else
        return QString();
}

/**
 * A task of a family: @p Base (a service task) run with the family's init script and described
 * by the family's text @p Description; a reload takes the family's own action where it has one.
 * @p F is a ServiceFamily or a row built on one.
 */
template <const auto &F, class Base, const char *const ServiceFamily::*Description>
class FamilyTask : public Base
{
public:
    explicit FamilyTask(Element *element) : Base(element)
    {
        this->setScriptPath(QString::fromLocal8Bit(F.initScript));
        this->setBootUnit(bootUnitOf<F>());
        this->taskDescription().setDescription(QObject::tr(F.*Description));
        if constexpr (std::is_base_of_v<ReloadServiceTask, Base>) {
            if (F.reloadAction)
                this->setAction(QString::fromLatin1(F.reloadAction));
        }
    }
};

/** The state read of a family: `initScript status`. */
template <const auto &F>
using FamilyReadLightTask =
    FamilyTask<F, ReadPropertyLightServiceTask, &ServiceFamily::readLightDescription>;
template <const auto &F>
using FamilyStartTask = FamilyTask<F, StartServiceTask, &ServiceFamily::startDescription>;
template <const auto &F>
using FamilyStopTask = FamilyTask<F, StopServiceTask, &ServiceFamily::stopDescription>;
template <const auto &F>
using FamilyRestartTask = FamilyTask<F, RestartServiceTask, &ServiceFamily::restartDescription>;
template <const auto &F>
using FamilyReloadTask = FamilyTask<F, ReloadServiceTask, &ServiceFamily::reloadDescription>;

/** Enabling or disabling a family's start at boot: its first unit, then its state read. */
template <const auto &F> class FamilyBootTask : public BootServiceTask
{
public:
    FamilyBootTask(Element *element, bool enable)
        : BootServiceTask(element, bootUnitOf<F>(), enable)
    {
        setScriptPath(QString::fromLocal8Bit(F.initScript));
    }
};

/**
 * The task of a family for @p type on @p element: the heavy read @p HeavyTask, start, stop,
 * restart, reload, enabling and disabling at boot (a family with units), and, when
 * @p lightOnElement, the light read (most services only read their state through the
 * Services root). Null for any other operation.
 */
template <const auto &F, class HeavyTask>
AbstractTask *createFamilyTask(Element *element, OperationType type, bool lightOnElement = false)
{
    switch (type) {
    case OperationReadLight:
        return lightOnElement ? new FamilyReadLightTask<F>(element) : nullptr;
    case OperationReadHeavy:
        return new HeavyTask(element);
    case OperationStart:
        return new FamilyStartTask<F>(element);
    case OperationStop:
        return new FamilyStopTask<F>(element);
    case OperationRestart:
        return new FamilyRestartTask<F>(element);
    case OperationReload:
        return new FamilyReloadTask<F>(element);
    case OperationEnableAtBoot:
    case OperationDisableAtBoot:
        if (bootUnitOf<F>().isEmpty())
            return nullptr;
        return new FamilyBootTask<F>(element, type == OperationEnableAtBoot);
    default:
        return nullptr;
    }
}
