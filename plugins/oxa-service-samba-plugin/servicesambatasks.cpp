#include "servicesambatasks.h"

ServiceSambaReadHeavyTask::ServiceSambaReadHeavyTask(Element *element)
    : ConfigFileReadHeavyTask(element, sambaFamily, QString::fromLatin1(configPath))
{
}
