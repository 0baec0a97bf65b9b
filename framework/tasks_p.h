#pragma once

#include "taskdescription.h"

#include <QSharedPointer>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>

class AbstractTask;
class HostConnection;

/**
 * The state of an AbstractTask that its worker thread shares with the observer's: the
 * outcome, the wish to stop waiting, and how the running task goes. Not installed.
 */
class AbstractTaskPrivate
{
public:
    static AbstractTaskPrivate *get(AbstractTask *task);

    /// Called on the worker thread whenever the running task says how it goes (the observer
    /// passes it on to the window). Set before run().
    void setProgressHook(std::function<void()> hook) { progressHook = std::move(hook); }

    TaskDescription description;
    /// Never null: see AbstractTask::host().
    QSharedPointer<HostConnection> host;
    std::atomic<bool> stopWaiting{false};
    mutable std::mutex progressMutex;
    QString progressMessage;
    std::function<void()> progressHook;
};
