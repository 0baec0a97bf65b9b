#include "servicekerberoselements.h"

ServiceKerberosKdcElement::ServiceKerberosKdcElement(Module *module)
    : CommonServiceElement(module, QStringLiteral("ServiceKerberosKdc"),
                           QStringLiteral("ServiceServices"), 2, tr("Kerberos KDC"),
                           tr("Kerberos KDC"))
{
}

ServiceKerberosKadminElement::ServiceKerberosKadminElement(Module *module)
    : CommonServiceElement(module, QStringLiteral("ServiceKerberosKadmin"),
                           QStringLiteral("ServiceKerberosKdc"), 3, tr("Kerberos Kadmin"),
                           tr("Kerberos Kadmin"))
{
}
