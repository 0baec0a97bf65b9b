#include "serviceslapdtasks.h"

ServiceSlapdReadHeavyTask::ServiceSlapdReadHeavyTask(Element *element)
    : ServiceHeavyReadTask(element, slapdFamily)
{
}

void ServiceSlapdReadHeavyTask::readConfiguration(ServiceHeavyElementData *record)
{
    // A missing or unreadable directory is no failure: the tree is simply empty.
    record->setConfigFile(QString::fromLatin1(configPath));
    succeed();
}
