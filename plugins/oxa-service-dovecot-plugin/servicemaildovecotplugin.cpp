#include "servicemaildovecotplugin.h"

#include "servicemaildovecotmodule.h"

#include <packagecheck.h>
#include <translations.h>

OXA_REGISTER_CATALOGUE("oxa-service-dovecot-plugin")
OXA_PREPARE_PACKAGE_CHECKS(PackageCheck::standardShowFormat(), "dovecot-core")

ServiceMailDovecotPlugin::ServiceMailDovecotPlugin(QObject *parent)
    : ServicePlugin(parent, Plugin::TypeService, tr("ServiceMailDovecotPlugin"),
                    tr("Service Dovecot plugin"), QStringLiteral("dovecot-core"),
                    QStringLiteral("ii\\sdovecot-core"))
{
    appendModule(new ServiceMailDovecotModule(this));
}
