#include "servicekerberosplugin.h"

#include "servicekerberosmodule.h"

#include <packagecheck.h>
#include <servicerows.h>
#include <translations.h>

OXA_REGISTER_CATALOGUE("oxa-service-kerberos-plugin")
OXA_PREPARE_PACKAGE_CHECKS(PackageCheck::standardShowFormat(), kerberosKdcFamily.package)

ServiceKerberosPlugin::ServiceKerberosPlugin(QObject *parent)
    : ServicePlugin(parent, tr("ServiceKerberosPlugin"), tr("Service Kerberos plugin"),
                    kerberosKdcFamily)
{
    appendModule(new ServiceKerberosModule(this));
}
