#pragma once

#include <serviceheavyreadtask.h>
#include <servicerows.h>

/** The KDC's state and its configuration file "/etc/krb5kdc/kdc.conf", whole. */
using ServiceKerberosKdcReadHeavyTask = FamilyConfigFileTask<kerberosKdcFamily>;

/** The administration server's state and its access list "/etc/krb5kdc/kadm5.acl", whole. */
using ServiceKerberosKadminReadHeavyTask = FamilyConfigFileTask<kerberosKadminFamily>;
