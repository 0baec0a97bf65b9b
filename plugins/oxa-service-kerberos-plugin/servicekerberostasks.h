#pragma once

#include <servicefamily.h>
#include <serviceheavyreadtask.h>

/** The KDC's row of the service task family. */
inline constexpr ServiceFamily kerberosKdcFamily{
    "/etc/init.d/krb5-kdc",
    "force-reload",
    QT_TRANSLATE_NOOP("QObject", "Read Kerberos KDC service state"),
    QT_TRANSLATE_NOOP("QObject", "Start Kerberos KDC service"),
    QT_TRANSLATE_NOOP("QObject", "Stop Kerberos KDC service"),
    QT_TRANSLATE_NOOP("QObject", "Restart Kerberos KDC service"),
    QT_TRANSLATE_NOOP("QObject", "Reload Kerberos KDC service"),
    QT_TRANSLATE_NOOP("QObject", "Read Kerberos KDC service configuration"),
};

/** The administration server's row of the service task family. */
inline constexpr ServiceFamily kerberosKadminFamily{
    "/etc/init.d/krb5-admin-server",
    "force-reload",
    QT_TRANSLATE_NOOP("QObject", "Read Kerberos Kadmin service state"),
    QT_TRANSLATE_NOOP("QObject", "Start Kerberos Kadmin service"),
    QT_TRANSLATE_NOOP("QObject", "Stop Kerberos Kadmin service"),
    QT_TRANSLATE_NOOP("QObject", "Restart Kerberos Kadmin service"),
    QT_TRANSLATE_NOOP("QObject", "Reload Kerberos Kadmin service"),
    QT_TRANSLATE_NOOP("QObject", "Read Kerberos Kadmin service configuration"),
};

using ServiceKerberosKdcReadLightTask = FamilyReadLightTask<kerberosKdcFamily>;
using ServiceKerberosKdcStartTask = FamilyStartTask<kerberosKdcFamily>;
using ServiceKerberosKdcStopTask = FamilyStopTask<kerberosKdcFamily>;
using ServiceKerberosKdcRestartTask = FamilyRestartTask<kerberosKdcFamily>;
using ServiceKerberosKdcReloadTask = FamilyReloadTask<kerberosKdcFamily>;

using ServiceKerberosKadminReadLightTask = FamilyReadLightTask<kerberosKadminFamily>;
using ServiceKerberosKadminStartTask = FamilyStartTask<kerberosKadminFamily>;
using ServiceKerberosKadminStopTask = FamilyStopTask<kerberosKadminFamily>;
using ServiceKerberosKadminRestartTask = FamilyRestartTask<kerberosKadminFamily>;
using ServiceKerberosKadminReloadTask = FamilyReloadTask<kerberosKadminFamily>;

/** The KDC's state and its configuration file "/etc/krb5kdc/kdc.conf", whole. */
class ServiceKerberosKdcReadHeavyTask : public ConfigFileReadHeavyTask
{
public:
    static constexpr const char *configPath = "/etc/krb5kdc/kdc.conf";
    explicit ServiceKerberosKdcReadHeavyTask(Element *element);
};

/** The administration server's state and its access list "/etc/krb5kdc/kadm5.acl", whole. */
class ServiceKerberosKadminReadHeavyTask : public ConfigFileReadHeavyTask
{
public:
    static constexpr const char *configPath = "/etc/krb5kdc/kadm5.acl";
    explicit ServiceKerberosKadminReadHeavyTask(Element *element);
};
