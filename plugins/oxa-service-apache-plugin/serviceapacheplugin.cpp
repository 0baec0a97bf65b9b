#include "serviceapacheplugin.h"

#include "serviceapachemodule.h"

#include <hostconnection.h>
#include <packagecheck.h>
#include <translations.h>

OXA_REGISTER_CATALOGUE("oxa-service-apache-plugin")

namespace {
const char versionPattern[] = "ii\\sapache2\\s(\\d+\\.\\d+)";
const QString versionFormat =
    QStringLiteral("--showformat=${db:Status-Abbrev}${binary:Package} ${Version}\n");
} // namespace

OXA_PREPARE_PACKAGE_CHECKS(versionFormat, "apache2")

ServiceApachePlugin::ServiceApachePlugin(QObject *parent)
    : ServicePlugin(parent, Plugin::TypeService, tr("ServiceApachePlugin"),
                    tr("Service Apache plugin"), QStringLiteral("apache2"),
                    QString::fromLatin1(versionPattern))
{
    m_module = new ServiceApacheModule(this);
    appendModule(m_module);
}

QString ServiceApachePlugin::versionIn(const QStringList &lines)
{
    return PackageCheck::firstCaptureIn(lines, QString::fromLatin1(versionPattern));
}

bool ServiceApachePlugin::isValid() const
{
    QStringList lines;
    if (!PackageCheck::query(*hostConnection(), QStringLiteral("apache2"), &lines, versionFormat))
        return false;
    const QString version = versionIn(lines);
    if (version.isEmpty())
        return false;
    if (m_module)
        m_module->setData(QStringLiteral("version"), version);
    return true;
}
