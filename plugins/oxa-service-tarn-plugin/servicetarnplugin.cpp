#include "servicetarnplugin.h"

#include "servicetarnmodule.h"
#include "servicetarntarndmodule.h"

#include <translations.h>

OXA_REGISTER_CATALOGUE("oxa-service-tarn-plugin")

ServiceTarnPlugin::ServiceTarnPlugin(QObject *parent)
    : ServicePlugin(parent, 5, tr("ServiceTarnPlugin"), tr("Service Tarn plugin"),
                    QStringLiteral("tarn-client"), QStringLiteral("ii\\starn-client"))
{
    m_tarnModule = new ServiceTarnModule(this);
    appendModule(m_tarnModule);
    appendModule(new ServiceTarnTarndModule(this));
}

ServiceTarnModule *ServiceTarnPlugin::tarnModule() const
{
    return m_tarnModule;
}
