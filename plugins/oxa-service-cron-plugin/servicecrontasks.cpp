#include "servicecrontasks.h"

#include "crontabreader.h"

#include <elementdata.h>
#include <taskmessages.h>

ServiceCronReadHeavyTask::ServiceCronReadHeavyTask(Element *element)
    : ServiceHeavyReadTask(element, cronFamily)
{
}

void ServiceCronReadHeavyTask::readConfiguration(ServiceHeavyElementData *record)
{
    QString error;
    const QList<TreeNode *> nodes = CronTabReader::readTree(&error);
    if (!error.isNull()) {
        fail(TaskMessages::notFinishedReadFile(initScript(), CronTabReader::crontabPath(), error));
        return;
    }
    record->setConfigFile(CronTabReader::crontabPath());
    record->data() = nodes;
    succeed();
}

std::atomic<bool> ServiceCronControlTask::s_packageFound{false};

ServiceCronControlTask::ServiceCronControlTask(Element *element) : ControlServiceTask(element)
{
    setProgramName(QStringLiteral("vell-admin-cron"));
    setPackageName(QStringLiteral("vell-admin-cron"));
    taskDescription().setDescription(QObject::tr("Control Cron service"));
}

void ServiceCronControlTask::run()
{
    // A package once found stays found; a missing one is asked for again next time.
    if (!s_packageFound.load())
        s_packageFound.store(existPackage(packageName()));
    if (!s_packageFound.load()) {
        taskDescription().setStatus(TaskDescription::TaskStatusFailed);
        taskDescription().setMessage(TaskMessages::packageNotInstalled(packageName()));
        AbstractTask::run();
        return;
    }
    ControlServiceTask::run();
}
