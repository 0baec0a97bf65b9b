#include "serviceslapdplugin.h"

#include "serviceslapdmodule.h"

#include <packagecheck.h>
#include <servicerows.h>
#include <translations.h>

OXA_REGISTER_CATALOGUE("oxa-service-slapd-plugin")
OXA_PREPARE_PACKAGE_CHECKS(PackageCheck::standardShowFormat(), slapdFamily.package)

ServiceSlapdPlugin::ServiceSlapdPlugin(QObject *parent)
    : ServicePlugin(parent, tr("ServiceSlapdPlugin"), tr("Service Slapd plugin"), slapdFamily)
{
    appendModule(new ServiceSlapdModule(this));
}
