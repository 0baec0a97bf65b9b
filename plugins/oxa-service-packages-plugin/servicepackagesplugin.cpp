#include "servicepackagesplugin.h"

#include "servicepackagesmodule.h"

#include <translations.h>

#include <QObject>

OXA_REGISTER_CATALOGUE("oxa-service-packages-plugin")

namespace {

/// One supplement module: where it hangs and which service element it reaches.
struct Supplement
{
    const char *objectName;
    int level;
    const char *parentModule;
    const char *parentElement;
    /// Filled into the description template; null where the row has a text of its own.
    const char *service;
    const char *ownDescription;
};

// Object names are other plug-ins' interface as they were published, spelling included.
const Supplement supplements[] = {
    {"ServiceTarnServerPackagesSupplimentModule", 3, "ServiceTarnModule", "ServiceTarnServer",
     nullptr,
     QT_TRANSLATE_NOOP("QObject",
                       "Module for viewing installed packages of Tarn service (server)")},
    {"ServiceTarnClientPackagesSupplimentModule", 3, "ServiceTarnModule", "ServiceTarnClient",
     nullptr,
     QT_TRANSLATE_NOOP("QObject",
                       "Module for viewing installed packages of Tarn service (client)")},
    {"ServiceApachePackagesSupplimentModule", 3, "ServiceApacheModule", "ServiceApache", "Apache 2",
     nullptr},
    {"ServiceCronPackagesSupplimentModule", 3, "ServiceCronModule", "ServiceCron", "Cron", nullptr},
    {"ServiceCupsPackageSupplementModule", 3, "ServiceCupsModule", "ServiceCups", "Cups", nullptr},
    {"ServiceKerberosPackagesSupplimentModule", 3, "ServiceKerberosModule", "ServiceKerberosKdc",
     "Kerberos", nullptr},
    {"ServiceSambaPackagesSupplimentModule", 3, "ServiceSambaModule", "ServiceSamba", "Samba",
     nullptr},
    {"ServiceSlapdPackagesSupplimentModule", 3, "ServiceSlapdModule", "ServiceSlapd", "Slapd",
     nullptr},
    {"ServiceMailDovecotPackagesSupplimentModule", 4, "ServiceMailDovecotModule",
     "ServiceMailDovecot", "Dovecot", nullptr},
    {"ServiceMailEximPackagesSupplimentModule", 4, "ServiceMailEximModule", "ServiceMailExim",
     "Exim", nullptr},
    {"ServicePgsqlClusterPackagesSupplimentModule", 3, "ServicePgsqlModule", "ServicePgsqlCluster",
     "PostgreSQL cluster", nullptr},
};

QString supplementDescription(const Supplement &row)
{
    if (row.ownDescription)
        return QObject::tr(row.ownDescription);
    return QObject::tr("Module for viewing installed packages of %1 service")
        .arg(QLatin1String(row.service));
}

} // namespace

ServicePackagesPlugin::ServicePackagesPlugin(QObject *parent) : Plugin(parent)
{
    setType(Plugin::TypeCore);
    setName(tr("ServicePackagesPlugin"));
    setDescription(tr("Service installed packages plugin"));
    auto *work = new ServicePackagesModule(this);
    appendModule(work);
    for (const Supplement &row : supplements) {
        appendModule(new SupplementModule(
            QLatin1String(row.objectName), row.level, QLatin1String(row.parentModule),
            supplementDescription(row), QLatin1String(row.parentElement), work, this));
    }
}

ServicePackagesPlugin::~ServicePackagesPlugin() = default;
