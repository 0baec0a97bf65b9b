#pragma once

#include "servicefamily.h"
#include "servicemodule.h"

/**
 * One service's row: its task family (init script, reload action, task descriptions), where
 * its configuration is, the package that makes its plug-in valid, the element type its family
 * serves, and the name and place of its module. The module's description is marked for
 * translation in the module's context (its object name).
 */
struct ServiceRow : ServiceFamily
{
    const char *configPath; ///< the file or directory the heavy read shows
    const char *package;
    const char *elementType;
    bool lightOnElement; ///< the element's own light read, besides the Services root's
    const char *moduleName;
    const char *moduleDescription;
    const char *parentModule;
    int moduleLevel;
    ServiceModule::Options moduleOptions;
    /// The service's systemd units, blank-separated; the first is the one whose boot state the
    /// element shows and changes (without systemd: its name less ".service" for update-rc.d).
    const char *units = nullptr;
    /// The log files the service writes itself, blank-separated (the current file of each);
    /// null when it logs only to the journal or syslog.
    const char *logFiles = nullptr;
};

// The services, one row each. A plug-in with two services (the Kerberos KDC and its
// administration server) has one module, described in its first row.

inline constexpr ServiceRow apacheFamily{
    {"/etc/init.d/apache2", nullptr, QT_TRANSLATE_NOOP("QObject", "Read Apache service state"),
     QT_TRANSLATE_NOOP("QObject", "Start Apache service"),
     QT_TRANSLATE_NOOP("QObject", "Stop Apache service"),
     QT_TRANSLATE_NOOP("QObject", "Restart Apache service"),
     QT_TRANSLATE_NOOP("QObject", "Reload Apache service configuration"),
     QT_TRANSLATE_NOOP("QObject", "Read Apache service configuration")},
    nullptr,
    "apache2",
    "ServiceApache",
    false,
    "ServiceApacheModule",
    QT_TRANSLATE_NOOP("ServiceApacheModule", "Service Apache HTTP module"),
    "ServiceServicesModule",
    2,
    ServiceModule::SetsAdministrator,
    "apache2.service",
    "/var/log/apache2/error.log"
};

inline constexpr ServiceRow cronFamily{
    {"/etc/init.d/cron", "force-reload", QT_TRANSLATE_NOOP("QObject", "Read Cron service state"),
     QT_TRANSLATE_NOOP("QObject", "Start Cron service"),
     QT_TRANSLATE_NOOP("QObject", "Stop Cron service"),
     QT_TRANSLATE_NOOP("QObject", "Restart Cron service"),
     QT_TRANSLATE_NOOP("QObject", "Reload Cron service"),
     QT_TRANSLATE_NOOP("QObject", "Read Cron service configuration")},
    nullptr,
    "cron",
    "ServiceCron",
    false,
    "ServiceCronModule",
    QT_TRANSLATE_NOOP("ServiceCronModule", "Service Cron module"),
    "ServiceServicesModule",
    2,
    ServiceModule::SetsAdministrator,
    "cron.service",
    nullptr
};

// Under systemd the scheduler's unit cannot reload: the script's "reload" signals a pid file
// cupsd -l never writes, says "failed!" and exits 0; "force-reload" makes systemd restart it.
// Without systemd both actions are the same signal.
inline constexpr ServiceRow cupsFamily{
    {"/etc/init.d/cups", "force-reload", QT_TRANSLATE_NOOP("QObject", "Read Cups service state"),
     QT_TRANSLATE_NOOP("QObject", "Start Cups service"),
     QT_TRANSLATE_NOOP("QObject", "Stop Cups service"),
     QT_TRANSLATE_NOOP("QObject", "Restart Cups service"),
     QT_TRANSLATE_NOOP("QObject", "Reload Cups service configuration"),
     QT_TRANSLATE_NOOP("QObject", "Read Cups service configuration")},
    "/etc/cups",
    "cups-common",
    "ServiceCups",
    false,
    "ServiceCupsModule",
    QT_TRANSLATE_NOOP("ServiceCupsModule", "Service Cups module"),
    "ServiceServicesModule",
    2,
    ServiceModule::SetsAdministrator,
    "cups.service",
    "/var/log/cups/error_log"
};

inline constexpr ServiceRow dovecotFamily{
    {"/etc/init.d/dovecot", "force-reload",
     QT_TRANSLATE_NOOP("QObject", "Read Dovecot service state"),
     QT_TRANSLATE_NOOP("QObject", "Start Dovecot service"),
     QT_TRANSLATE_NOOP("QObject", "Stop Dovecot service"),
     QT_TRANSLATE_NOOP("QObject", "Restart Dovecot service"),
     QT_TRANSLATE_NOOP("QObject", "Reload Dovecot service"),
     QT_TRANSLATE_NOOP("QObject", "Read Dovecot service configuration")},
    nullptr,
    "dovecot-core",
    "ServiceMailDovecot",
    true,
    "ServiceMailDovecotModule",
    QT_TRANSLATE_NOOP("ServiceMailDovecotModule", "Service Mail Dovecot module"),
    "ServiceMailModule",
    3,
    ServiceModule::NoOptions,
    "dovecot.service",
    nullptr
};

// Exim's reload keeps the framework's action; its module carries the plug-in flag.
inline constexpr ServiceRow eximFamily{
    {"/etc/init.d/exim4", nullptr, QT_TRANSLATE_NOOP("QObject", "Read Exim service state"),
     QT_TRANSLATE_NOOP("QObject", "Start Exim service"),
     QT_TRANSLATE_NOOP("QObject", "Stop Exim service"),
     QT_TRANSLATE_NOOP("QObject", "Restart Exim service"),
     QT_TRANSLATE_NOOP("QObject", "Reload Exim service"),
     QT_TRANSLATE_NOOP("QObject", "Read Exim service configuration")},
    "/etc/exim4/update-exim4.conf.conf",
    "exim4-base",
    "ServiceMailExim",
    true,
    "ServiceMailEximModule",
    QT_TRANSLATE_NOOP("ServiceMailEximModule", "Service Mail Exim module"),
    "ServiceMailModule",
    3,
    ServiceModule::PluginFlag,
    "exim4.service",
    "/var/log/exim4/mainlog"
};

inline constexpr ServiceRow kerberosKdcFamily{
    {"/etc/init.d/krb5-kdc", "force-reload",
     QT_TRANSLATE_NOOP("QObject", "Read Kerberos KDC service state"),
     QT_TRANSLATE_NOOP("QObject", "Start Kerberos KDC service"),
     QT_TRANSLATE_NOOP("QObject", "Stop Kerberos KDC service"),
     QT_TRANSLATE_NOOP("QObject", "Restart Kerberos KDC service"),
     QT_TRANSLATE_NOOP("QObject", "Reload Kerberos KDC service"),
     QT_TRANSLATE_NOOP("QObject", "Read Kerberos KDC service configuration")},
    "/etc/krb5kdc/kdc.conf",
    "krb5-kdc",
    "ServiceKerberosKdc",
    false,
    "ServiceKerberosModule",
    QT_TRANSLATE_NOOP("ServiceKerberosModule", "Service Kerberos module"),
    "ServiceServicesModule",
    2,
    ServiceModule::SetsAdministrator,
    "krb5-kdc.service",
    nullptr
};

// The administration server's state is read only when it is asked itself.
inline constexpr ServiceRow kerberosKadminFamily{
    {"/etc/init.d/krb5-admin-server", "force-reload",
     QT_TRANSLATE_NOOP("QObject", "Read Kerberos Kadmin service state"),
     QT_TRANSLATE_NOOP("QObject", "Start Kerberos Kadmin service"),
     QT_TRANSLATE_NOOP("QObject", "Stop Kerberos Kadmin service"),
     QT_TRANSLATE_NOOP("QObject", "Restart Kerberos Kadmin service"),
     QT_TRANSLATE_NOOP("QObject", "Reload Kerberos Kadmin service"),
     QT_TRANSLATE_NOOP("QObject", "Read Kerberos Kadmin service configuration")},
    "/etc/krb5kdc/kadm5.acl",
    "krb5-kdc",
    "ServiceKerberosKadmin",
    true,
    nullptr,
    nullptr,
    nullptr,
    0,
    ServiceModule::NoOptions,
    "krb5-admin-server.service",
    nullptr
};

inline constexpr ServiceRow sambaFamily{
    {"/etc/init.d/smbd", "force-reload", QT_TRANSLATE_NOOP("QObject", "Read Samba service state"),
     QT_TRANSLATE_NOOP("QObject", "Start Samba service"),
     QT_TRANSLATE_NOOP("QObject", "Stop Samba service"),
     QT_TRANSLATE_NOOP("QObject", "Restart Samba service"),
     QT_TRANSLATE_NOOP("QObject", "Reload Samba service"),
     QT_TRANSLATE_NOOP("QObject", "Read Samba service configuration")},
    "/etc/samba/smb.conf",
    "samba",
    "ServiceSamba",
    false,
    "ServiceSambaModule",
    QT_TRANSLATE_NOOP("ServiceSambaModule", "Service Samba module"),
    "ServiceServicesModule",
    2,
    ServiceModule::SetsAdministrator,
    "smbd.service",
    "/var/log/samba/log.smbd"
};

// Slapd's configuration is a directory, listed by the widget itself.
inline constexpr ServiceRow slapdFamily{
    {"/etc/init.d/slapd", "force-reload", QT_TRANSLATE_NOOP("QObject", "Read Slapd service state"),
     QT_TRANSLATE_NOOP("QObject", "Start Slapd service"),
     QT_TRANSLATE_NOOP("QObject", "Stop Slapd service"),
     QT_TRANSLATE_NOOP("QObject", "Restart Slapd service"),
     QT_TRANSLATE_NOOP("QObject", "Reload Slapd service"),
     QT_TRANSLATE_NOOP("QObject", "Read Slapd service configuration")},
    "/etc/ldap/slapd.d",
    "slapd",
    "ServiceSlapd",
    false,
    "ServiceSlapdModule",
    QT_TRANSLATE_NOOP("ServiceSlapdModule", "Service Slapd module"),
    "ServiceServicesModule",
    2,
    ServiceModule::SetsAdministrator,
    "slapd.service",
    nullptr
};

// The directory daemon, below the directory service's module.
inline constexpr ServiceRow tarndFamily{
    {"/etc/init.d/tarnd", "force-reload", QT_TRANSLATE_NOOP("QObject", "Read Tarnd service state"),
     QT_TRANSLATE_NOOP("QObject", "Start Tarnd service"),
     QT_TRANSLATE_NOOP("QObject", "Stop Tarnd service"),
     QT_TRANSLATE_NOOP("QObject", "Restart Tarnd service"),
     QT_TRANSLATE_NOOP("QObject", "Reload Tarnd service"),
     QT_TRANSLATE_NOOP("QObject", "Read Tarnd service configuration")},
    nullptr,
    "tarn-client",
    "ServiceTarnTarnd",
    true,
    "ServiceTarnTarndModule",
    QT_TRANSLATE_NOOP("ServiceTarnTarndModule", "Service Tarnd module"),
    "ServiceTarnModule",
    3,
    ServiceModule::NoOptions,
    "tarnd.service",
    nullptr
};
