#include "servicelogplugin.h"

#include "servicelogmodule.h"
#include "servicelogsources.h"

#include <translations.h>

OXA_REGISTER_CATALOGUE("oxa-service-log-plugin")

ServiceLogPlugin::ServiceLogPlugin(QObject *parent) : Plugin(parent)
{
    setType(Plugin::TypeCore);
    setName(tr("ServiceLogPlugin"));
    setDescription(tr("Service log plugin"));
    auto *work = new ServiceLogModule(this);
    appendModule(work);
    for (const ServiceLogSources::Target &target : ServiceLogSources::targets()) {
        // "ServiceSamba" -> "ServiceSambaLogSupplementModule"
        appendModule(new SupplementModule(
            target.elementType + QLatin1String("LogSupplementModule"), target.level,
            target.parentModule, tr("Module for viewing the log of %1").arg(target.elementType),
            target.elementType, work, this));
    }
}

ServiceLogPlugin::~ServiceLogPlugin() = default;
