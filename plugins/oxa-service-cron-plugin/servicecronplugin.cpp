#include "servicecronplugin.h"

#include "servicecronmodule.h"

#include <packagecheck.h>
#include <translations.h>

OXA_REGISTER_CATALOGUE("oxa-service-cron-plugin")
OXA_PREPARE_PACKAGE_CHECKS(PackageCheck::standardShowFormat(), "cron")

ServiceCronPlugin::ServiceCronPlugin(QObject *parent)
    : ServicePlugin(parent, Plugin::TypeService, tr("ServiceCronPlugin"), tr("Service Cron plugin"),
                    QStringLiteral("cron"), QStringLiteral("ii\\scron"))
{
    appendModule(new ServiceCronModule(this));
}
