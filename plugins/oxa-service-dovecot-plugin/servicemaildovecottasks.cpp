#include "servicemaildovecottasks.h"

#include "doveconfparser.h"

#include <childprocess.h>
#include <elementdata.h>
#include <taskmessages.h>

ServiceMailDovecotReadHeavyTask::ServiceMailDovecotReadHeavyTask(Element *element)
    : ServiceHeavyReadTask(element, dovecotFamily)
{
}

void ServiceMailDovecotReadHeavyTask::readConfiguration(ServiceHeavyElementData *record)
{
    const QString doveconf = QString::fromLatin1(program);
    const ProcessResult result = ChildProcess::run(doveconf, {});
    if (!result.finished) {
        fail(TaskMessages::notFinished(doveconf, result.error));
        return;
    }
    record->data().append(DoveconfParser::parse(result.standardOutput));
    succeed();
}
