#include "servicecupsplugin.h"

#include "servicecupsmodule.h"

#include <packagecheck.h>
#include <translations.h>

OXA_REGISTER_CATALOGUE("oxa-service-cups-plugin")
OXA_PREPARE_PACKAGE_CHECKS(PackageCheck::standardShowFormat(), "cups-common")

ServiceCupsPlugin::ServiceCupsPlugin(QObject *parent)
    : ServicePlugin(parent, Plugin::TypeService, tr("ServiceCupsPlugin"), tr("Service Cups plugin"),
                    QStringLiteral("cups-common"), QStringLiteral("ii\\scups-common"))
{
    appendModule(new ServiceCupsModule(this));
}
