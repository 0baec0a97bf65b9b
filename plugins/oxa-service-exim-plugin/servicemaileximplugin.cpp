#include "servicemaileximplugin.h"

#include "servicemaileximmodule.h"

#include <packagecheck.h>
#include <servicerows.h>
#include <translations.h>

OXA_REGISTER_CATALOGUE("oxa-service-exim-plugin")
OXA_PREPARE_PACKAGE_CHECKS(PackageCheck::standardShowFormat(), eximFamily.package)

ServiceMailEximPlugin::ServiceMailEximPlugin(QObject *parent)
    : ServicePlugin(parent, tr("ServiceMailEximPlugin"), tr("Service Exim plugin"), eximFamily)
{
    m_module = new ServiceMailEximModule(this);
    appendModule(m_module);
}
