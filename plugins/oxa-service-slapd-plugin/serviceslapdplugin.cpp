#include "serviceslapdplugin.h"

#include "serviceslapdmodule.h"

#include <translations.h>

OXA_REGISTER_CATALOGUE("oxa-service-slapd-plugin")

ServiceSlapdPlugin::ServiceSlapdPlugin(QObject *parent)
    : ServicePlugin(parent, 5, tr("ServiceSlapdPlugin"), tr("Service Slapd plugin"),
                    QStringLiteral("slapd"), QStringLiteral("ii\\sslapd"))
{
    appendModule(new ServiceSlapdModule(this));
}
