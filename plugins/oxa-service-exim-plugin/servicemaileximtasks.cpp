#include "servicemaileximtasks.h"

#include "eximconfreader.h"

#include <elementdata.h>
#include <hostconnection.h>
#include <readlimits.h>

ServiceMailEximReadHeavyTask::ServiceMailEximReadHeavyTask(Element *element)
    : ServiceHeavyReadTask(element, eximFamily)
{
}

void ServiceMailEximReadHeavyTask::readConfiguration(ServiceHeavyElementData *record)
{
    QString error;
    bool cut = false;
    const QString path = QString::fromLatin1(configPath);
    if (!EximConfReader::readFile(path, host().readFile(path, EximConfReader::readBound()),
                                  &record->data(), &error, &cut)) {
        fail(error);
        return;
    }
    if (cut)
        succeedPartly(ReadLimits::fileCut(path));
    else
        succeed();
}
