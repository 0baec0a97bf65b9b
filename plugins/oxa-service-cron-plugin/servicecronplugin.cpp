#include "servicecronplugin.h"

#include "servicecronmodule.h"

#include <translations.h>

OXA_REGISTER_CATALOGUE("oxa-service-cron-plugin")

ServiceCronPlugin::ServiceCronPlugin(QObject *parent)
    : ServicePlugin(parent, 5, tr("ServiceCronPlugin"), tr("Service Cron plugin"),
                    QStringLiteral("cron"), QStringLiteral("ii\\scron"))
{
    appendModule(new ServiceCronModule(this));
}
