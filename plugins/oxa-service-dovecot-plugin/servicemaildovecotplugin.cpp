#include "servicemaildovecotplugin.h"

#include "servicemaildovecotmodule.h"

#include <packagecheck.h>
#include <servicerows.h>
#include <translations.h>

OXA_REGISTER_CATALOGUE("oxa-service-dovecot-plugin")
OXA_PREPARE_PACKAGE_CHECKS(PackageCheck::standardShowFormat(), dovecotFamily.package)

ServiceMailDovecotPlugin::ServiceMailDovecotPlugin(QObject *parent)
    : ServicePlugin(parent, tr("ServiceMailDovecotPlugin"), tr("Service Dovecot plugin"),
                    dovecotFamily)
{
    appendModule(new ServiceMailDovecotModule(this));
}
