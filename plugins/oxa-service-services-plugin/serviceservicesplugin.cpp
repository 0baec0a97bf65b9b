#include "serviceservicesplugin.h"

#include "serviceservicesmodule.h"

#include <translations.h>

OXA_REGISTER_CATALOGUE("oxa-service-services-plugin")

ServiceServicesPlugin::ServiceServicesPlugin(QObject *parent)
    : ServicePlugin(parent, Plugin::TypeCore, tr("ServiceServicesPlugin"), tr("Services plugin"))
{
    appendModule(new ServiceServicesModule(this));
}
