#include "servicepgsqlplugin.h"

#include "servicepgsqlmodule.h"
#include "servicepgsqlparser.h"

#include <hostconnection.h>
#include <packagecheck.h>
#include <translations.h>

OXA_REGISTER_CATALOGUE("oxa-service-pgsql-plugin")
OXA_PREPARE_PACKAGE_CHECKS(PackageCheck::standardShowFormat(), ServicePgsqlParser::packagePattern())

ServicePgsqlPlugin::ServicePgsqlPlugin(QObject *parent)
    : ServicePlugin(parent, Plugin::TypeService, tr("ServicePostgreSQLPlugin"),
                    tr("Service PostgreSQL plugin"), ServicePgsqlParser::packagePattern(),
                    ServicePgsqlParser::versionPattern(), {QStringLiteral("postgresql")})
{
    appendModule(new ServicePgsqlModule(this));
}

bool ServicePgsqlPlugin::isValid() const
{
    return !PackageCheck::firstCapture(*hostConnection(), package(), pattern()).isEmpty();
}
