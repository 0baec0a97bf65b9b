#include "servicetarnplugin.h"

#include "servicetarnelement.h"
#include "servicetarnmodule.h"
#include "servicetarntarndmodule.h"

#include <packagecheck.h>
#include <servicerows.h>
#include <translations.h>

OXA_REGISTER_CATALOGUE("oxa-service-tarn-plugin")
OXA_PREPARE_PACKAGE_CHECKS(PackageCheck::standardShowFormat(), tarndFamily.package)
// The host's role is asked while the console makes the other plug-ins.
OXA_REGISTER_PREPARATION(ServiceTarnElement::prepareRole)

ServiceTarnPlugin::ServiceTarnPlugin(QObject *parent)
    : ServicePlugin(parent, tr("ServiceTarnPlugin"), tr("Service Tarn plugin"), tarndFamily)
{
    m_tarnModule = new ServiceTarnModule(this);
    appendModule(m_tarnModule);
    appendModule(new ServiceTarnTarndModule(this));
}

ServiceTarnModule *ServiceTarnPlugin::tarnModule() const
{
    return m_tarnModule;
}
