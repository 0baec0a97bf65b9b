#include "servicemaildovecottasks.h"

#include "doveconfparser.h"

#include <childprocess.h>
#include <elementdata.h>
#include <hostconnection.h>
#include <readlimits.h>
#include <taskmessages.h>

ServiceMailDovecotReadHeavyTask::ServiceMailDovecotReadHeavyTask(Element *element)
    : ServiceHeavyReadTask(element, dovecotFamily)
{
}

void ServiceMailDovecotReadHeavyTask::readConfiguration(ServiceHeavyElementData *record)
{
    const QString doveconf = QString::fromLatin1(program);
    // "-a": every setting. Dovecot 2.4 prints only the changed ones without it; 2.3 and
    // older print the same with it as without, so no version needs to be asked first.
    const ProcessResult result = host().run(doveconf, {QStringLiteral("-a")});
    if (!result.finished) {
        fail(TaskMessages::notFinished(doveconf, result));
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
