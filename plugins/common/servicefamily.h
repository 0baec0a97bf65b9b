#pragma once

#include <servicetasks.h>

#include <QObject>

/**
 * One service's row of the task family: its init script, its reload action word and the
 * descriptions of its tasks. Plug-ins define one as an `inline constexpr` object and name their
 * task classes after it, e.g.
 * `using ServiceSambaStartTask = FamilyStartTask<sambaFamily>;`
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

namespace ServiceFamilyDetail {
inline void setUp(ServiceTask *task, const char *script, const char *description)
{
    task->setScriptPath(QString::fromLocal8Bit(script));
    task->taskDescription().setDescription(QObject::tr(description));
}
} // namespace ServiceFamilyDetail

/** The state read of a family: `initScript status`. */
template <const ServiceFamily &F> class FamilyReadLightTask : public ReadPropertyLightServiceTask
{
public:
    explicit FamilyReadLightTask(Element *element) : ReadPropertyLightServiceTask(element)
    {
        ServiceFamilyDetail::setUp(this, F.initScript, F.readLightDescription);
    }
};

template <const ServiceFamily &F> class FamilyStartTask : public StartServiceTask
{
public:
    explicit FamilyStartTask(Element *element) : StartServiceTask(element)
    {
        ServiceFamilyDetail::setUp(this, F.initScript, F.startDescription);
    }
};

template <const ServiceFamily &F> class FamilyStopTask : public StopServiceTask
{
public:
    explicit FamilyStopTask(Element *element) : StopServiceTask(element)
    {
        ServiceFamilyDetail::setUp(this, F.initScript, F.stopDescription);
    }
};

template <const ServiceFamily &F> class FamilyRestartTask : public RestartServiceTask
{
public:
    explicit FamilyRestartTask(Element *element) : RestartServiceTask(element)
    {
        ServiceFamilyDetail::setUp(this, F.initScript, F.restartDescription);
    }
};

template <const ServiceFamily &F> class FamilyReloadTask : public ReloadServiceTask
{
public:
    explicit FamilyReloadTask(Element *element) : ReloadServiceTask(element)
    {
        ServiceFamilyDetail::setUp(this, F.initScript, F.reloadDescription);
        if (F.reloadAction)
            setAction(QString::fromLatin1(F.reloadAction));
    }
};

/**
 * The task of a family for @p type on @p element: the heavy read @p HeavyTask, start, stop,
 * restart, reload, and, when @p lightOnElement, the light read (most services only read their
 * state through the Services root). Null for any other operation.
 */
template <const ServiceFamily &F, class HeavyTask>
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
