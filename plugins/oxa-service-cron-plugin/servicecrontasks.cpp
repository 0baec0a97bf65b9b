#include "servicecrontasks.h"

#include "crontabreader.h"

#include <elementdata.h>
#include <readlimits.h>
#include <taskmessages.h>

ServiceCronReadHeavyTask::ServiceCronReadHeavyTask(Element *element)
    : ServiceHeavyReadTask(element, cronFamily)
{
}

void ServiceCronReadHeavyTask::readConfiguration(ServiceHeavyElementData *record)
{
    QString error;
    bool cut = false;
    const QList<TreeNode *> nodes = CronTabReader::readTree(host(), &error, &cut);
    if (!error.isNull()) {
        fail(TaskMessages::notFinishedReadFile(initScript(), CronTabReader::crontabPath(), error));
        return;
    }
    record->setConfigFile(CronTabReader::crontabPath());
    record->data() = nodes;
    if (cut)
        succeedPartly(ReadLimits::fileCut(CronTabReader::crontabPath()));
    else
        succeed();
}

ServiceCronControlTask::ServiceCronControlTask(Element *element) : ProgramControlTask(element)
{
    taskDescription().setDescription(QObject::tr("Control Cron service"));
}
