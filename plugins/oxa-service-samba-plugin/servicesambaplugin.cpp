#include "servicesambaplugin.h"

#include "servicesambamodule.h"

#include <packagecheck.h>
#include <servicerows.h>
#include <translations.h>

OXA_REGISTER_CATALOGUE("oxa-service-samba-plugin")
OXA_PREPARE_PACKAGE_CHECKS(PackageCheck::standardShowFormat(), sambaFamily.package)

ServiceSambaPlugin::ServiceSambaPlugin(QObject *parent)
    : ServicePlugin(parent, tr("ServiceSambaPlugin"), tr("Service Samba plugin"), sambaFamily)
{
    appendModule(new ServiceSambaModule(this));
}
