#include "packagecheckedcontroltask.h"

#include <taskmessages.h>

PackageCheckedControlTask::PackageCheckedControlTask(Element *element, const QString &package,
                                                     const QString &program,
                                                     std::atomic<bool> &packageFound)
    : ControlServiceTask(element), m_packageFound(packageFound)
{
    setPackageName(package);
    setProgramName(program);
}

void PackageCheckedControlTask::run()
{
    if (!m_packageFound.load() && existPackage(host(), packageName()))
        m_packageFound.store(true);
    if (!m_packageFound.load()) {
        fail(TaskMessages::packageNotInstalled(packageName()));
        return;
    }
    ControlServiceTask::run();
}
