#include "servicekerberosplugin.h"

#include "servicekerberosmodule.h"

#include <packagecheck.h>
#include <translations.h>

OXA_REGISTER_CATALOGUE("oxa-service-kerberos-plugin")
OXA_PREPARE_PACKAGE_CHECKS(PackageCheck::standardShowFormat(), "krb5-kdc")

ServiceKerberosPlugin::ServiceKerberosPlugin(QObject *parent)
    : ServicePlugin(parent, Plugin::TypeService, tr("ServiceKerberosPlugin"),
                    tr("Service Kerberos plugin"), QStringLiteral("krb5-kdc"),
                    QStringLiteral("ii\\skrb5-kdc"))
{
    appendModule(new ServiceKerberosModule(this));
}
