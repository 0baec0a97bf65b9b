#pragma once

#include <servicetasks.h>

#include <QObject>

#include <type_traits>

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

/**
 * The task of a family for @p type on @p element: the heavy read @p HeavyTask, start, stop,
 * restart, reload, and, when @p lightOnElement, the light read (most services only read their
 * state through the Services root). Null for any other operation.
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
    default:
        return nullptr;
    }
}
