#include "servicemaileximtasks.h"

#include "eximconfreader.h"

#include <elementdata.h>

ServiceMailEximReadHeavyTask::ServiceMailEximReadHeavyTask(Element *element)
    : ServiceHeavyReadTask(element, eximFamily)
{
}

void ServiceMailEximReadHeavyTask::readConfiguration(ServiceHeavyElementData *record)
{
    QString error;
    if (!EximConfReader::readFile(QString::fromLatin1(configPath), &record->data(), &error)) {
        fail(error);
        return;
    }
    succeed();
}
