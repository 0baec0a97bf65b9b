#pragma once

#include <serviceelement.h>

/** The Kerberos key distribution centre below the Services root. */
class ServiceKerberosKdcElement : public CommonServiceElement
{
    Q_OBJECT
public:
    explicit ServiceKerberosKdcElement(Module *module);
};

/** The Kerberos administration server, below the KDC element. */
class ServiceKerberosKadminElement : public CommonServiceElement
{
    Q_OBJECT
public:
    explicit ServiceKerberosKadminElement(Module *module);
};
