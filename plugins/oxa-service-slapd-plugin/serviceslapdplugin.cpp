#include "serviceslapdplugin.h"

#include "serviceslapdmodule.h"

#include <packagecheck.h>
#include <translations.h>

OXA_REGISTER_CATALOGUE("oxa-service-slapd-plugin")
OXA_PREPARE_PACKAGE_CHECKS(PackageCheck::standardShowFormat(), "slapd")

ServiceSlapdPlugin::ServiceSlapdPlugin(QObject *parent)
    : ServicePlugin(parent, Plugin::TypeService, tr("ServiceSlapdPlugin"),
                    tr("Service Slapd plugin"), QStringLiteral("slapd"),
                    QStringLiteral("ii\\sslapd"))
{
    appendModule(new ServiceSlapdModule(this));
}
