#include "servicemaileximplugin.h"

#include "servicemaileximmodule.h"

#include <packagecheck.h>
#include <translations.h>

OXA_REGISTER_CATALOGUE("oxa-service-exim-plugin")
OXA_PREPARE_PACKAGE_CHECKS(PackageCheck::standardShowFormat(), "exim4-base")

ServiceMailEximPlugin::ServiceMailEximPlugin(QObject *parent)
    : ServicePlugin(parent, Plugin::TypeService, tr("ServiceMailEximPlugin"),
                    tr("Service Exim plugin"), QStringLiteral("exim4-base"),
                    QStringLiteral("ii\\sexim4-base"))
{
    m_module = new ServiceMailEximModule(this);
    appendModule(m_module);
}
