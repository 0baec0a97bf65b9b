#include "servicekerberostasks.h"

ServiceKerberosKdcReadHeavyTask::ServiceKerberosKdcReadHeavyTask(Element *element)
    : ConfigFileReadHeavyTask(element, kerberosKdcFamily, QString::fromLatin1(configPath))
{
}

ServiceKerberosKadminReadHeavyTask::ServiceKerberosKadminReadHeavyTask(Element *element)
    : ConfigFileReadHeavyTask(element, kerberosKadminFamily, QString::fromLatin1(configPath))
{
}
