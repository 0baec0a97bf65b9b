#include "servicesambaplugin.h"

#include "servicesambamodule.h"

#include <packagecheck.h>
#include <translations.h>

OXA_REGISTER_CATALOGUE("oxa-service-samba-plugin")
OXA_PREPARE_PACKAGE_CHECKS(PackageCheck::standardShowFormat(), "samba")

ServiceSambaPlugin::ServiceSambaPlugin(QObject *parent)
    : ServicePlugin(parent, Plugin::TypeService, tr("ServiceSambaPlugin"),
                    tr("Service Samba plugin"), QStringLiteral("samba"),
                    QStringLiteral("ii\\ssamba"))
{
    appendModule(new ServiceSambaModule(this));
}
