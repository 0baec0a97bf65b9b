#include "servicemaildovecottasks.h"

#include "doveconfparser.h"

#include <childprocess.h>
#include <readlimits.h>
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
    bool cut = false;
    record->data().append(DoveconfParser::parse(result.standardOutput, &cut));
    if (cut)
        succeedPartly(ReadLimits::entriesCut(doveconf));
    else if (result.outputCut)
        succeedPartly(ReadLimits::bytesCut(doveconf, ChildProcess::MaxOutputBytes));
    else
        succeed();
}
