#include "servicecronplugin.h"

#include "servicecronmodule.h"

#include <packagecheck.h>
#include <servicerows.h>
#include <translations.h>

OXA_REGISTER_CATALOGUE("oxa-service-cron-plugin")
OXA_PREPARE_PACKAGE_CHECKS(PackageCheck::standardShowFormat(), cronFamily.package)

ServiceCronPlugin::ServiceCronPlugin(QObject *parent)
    : ServicePlugin(parent, tr("ServiceCronPlugin"), tr("Service Cron plugin"), cronFamily)
{
    appendModule(new ServiceCronModule(this));
}
