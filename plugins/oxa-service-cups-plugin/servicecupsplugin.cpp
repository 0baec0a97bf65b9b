#include "servicecupsplugin.h"

#include "servicecupsmodule.h"

#include <packagecheck.h>
#include <servicerows.h>
#include <translations.h>

OXA_REGISTER_CATALOGUE("oxa-service-cups-plugin")
OXA_PREPARE_PACKAGE_CHECKS(PackageCheck::standardShowFormat(), cupsFamily.package)

ServiceCupsPlugin::ServiceCupsPlugin(QObject *parent)
    : ServicePlugin(parent, tr("ServiceCupsPlugin"), tr("Service Cups plugin"), cupsFamily)
{
    appendModule(new ServiceCupsModule(this));
}
