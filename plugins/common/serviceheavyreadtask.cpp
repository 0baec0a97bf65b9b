#include "serviceheavyreadtask.h"

#include "hostfiles.h"
#include "readlimits.h"
#include "servicefamily.h"
#include "servicerows.h"

#include <bootstate.h>

#include <childprocess.h>
#include <element.h>
#include <hostconnection.h>
#include <taskmessages.h>

ServiceHeavyReadTask::ServiceHeavyReadTask(Element *element, const ServiceFamily &family,
                                           ServiceHeavyElementData *record)
    : ReadPropertyHeavyTask(element, record ? record : new ServiceHeavyElementData),
      m_initScript(QString::fromLocal8Bit(family.initScript))
{
    taskDescription().setDescription(QObject::tr(family.readHeavyDescription));
}

ServiceHeavyReadTask::ServiceHeavyReadTask(Element *element, const ServiceRow &row,
                                           ServiceHeavyElementData *record)
    : ServiceHeavyReadTask(element, static_cast<const ServiceFamily &>(row), record)
{
    m_bootUnit = firstUnit(row.units);
}

ServiceHeavyElementData *ServiceHeavyReadTask::record() const
{
    return dynamic_cast<ServiceHeavyElementData *>(data());
}

void ServiceHeavyReadTask::run()
{
    ServiceHeavyElementData *heavy = record();
    if (!heavy) {
        fail(TaskMessages::undefinedTarget());
        return;
    }
    const ProcessResult status = host().run(m_initScript, {QStringLiteral("status")});
    if (!status.finished) {
        fail(TaskMessages::notFinished(m_initScript, status));
        return;
    }
    // A non-zero status is no failure: the service is stopped.
    heavy->setState(status.exitCode == 0);
    QString bootError;
    if (!m_bootUnit.isEmpty()) {
        const BootState::Reading boot = BootState::read(host(), m_bootUnit);
        heavy->setBootState(boot.ok() ? boot.state : QObject::tr("unknown"));
        bootError = boot.error;
    }
    readConfiguration(heavy);
    // A boot state that could not be read only warns, after what the configuration said.
    if (!bootError.isEmpty() && !taskDescription().isFailed())
        succeedPartly(taskDescription().message().isEmpty()
                          ? bootError
                          : taskDescription().message() + QLatin1Char('\n') + bootError);
}

bool runTool(AbstractTask *task, const QString &program, const QStringList &arguments,
             ProcessResult *result)
{
    const ProcessResult r = task->host().run(program, arguments);
    if (!r.finished)
        task->fail(TaskMessages::notFinished(program, r));
    else if (r.exitCode != 0)
        task->fail(TaskMessages::exitCode(program, r.exitCode, r.errorText()));
    if (result)
        *result = r;
    return r.succeeded();
}

void showServiceRead(ReadPropertyHeavyTask *task, const ServiceLightElementData *read,
                     ElementCopy copy)
{
    if (task->taskDescription().isFailed())
        return;
    Element *e = task->element();
    if (!e)
        return;
    if (ServiceLightElementData *light = e->serviceData()) {
        if (read && copy == ElementCopy::Whole) {
            *light = *read;
        } else if (read) {
            light->setState(read->state(), read->textState());
            if (!read->bootState().isEmpty())
                light->setBootState(read->bootState());
        }
        e->emitNodeDataChanged();
    }
    task->ReadPropertyHeavyTask::afterRun();
}

void ServiceHeavyReadTask::afterRun()
{
    showServiceRead(this, record(), ElementCopy::State);
}

ConfigFileReadHeavyTask::ConfigFileReadHeavyTask(Element *element, const ServiceFamily &family,
                                                 const QString &file)
    : ServiceHeavyReadTask(element, family), m_file(file)
{
}

ConfigFileReadHeavyTask::ConfigFileReadHeavyTask(Element *element, const ServiceRow &row,
                                                 const QString &file)
    : ServiceHeavyReadTask(element, row), m_file(file)
{
}

void ConfigFileReadHeavyTask::readConfiguration(ServiceHeavyElementData *record)
{
    // Only a regular file (the connection refuses a FIFO, which would block this worker for
    // good, and a device such as /dev/zero, which never ends), and no more than a read takes.
    const HostFileContent content = host().readFile(m_file, ReadLimits::maxFileBytes);
    if (!content.ok()) {
        fail(TaskMessages::failedToReadConfig(m_file));
        return;
    }
    record->setConfigFile(m_file);
    // Only so much is shown: a text view takes minutes to lay out a huge text or line.
    bool cut = content.cut;
    HostFiles::ContentDevice bytes(content.data);
    record->setConfigData(ChildProcess::decodeLocal8Bit(ReadLimits::readText(&bytes, &cut)));
    if (cut)
        succeedPartly(ReadLimits::textCut(m_file));
    else
        succeed();
}
