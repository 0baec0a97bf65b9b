#pragma once

#include <serviceelementwidget.h>

/** The KDC's state and "/etc/krb5kdc/kdc.conf" as read-only text. */
class ServiceKerberosKdcElementWidget : public ServiceElementWidget
{
    Q_OBJECT
public:
    explicit ServiceKerberosKdcElementWidget(Module *module, QWidget *parent = nullptr);
};

/** The administration server's state and "/etc/krb5kdc/kadm5.acl" as read-only text. */
class ServiceKerberosKadminElementWidget : public ServiceElementWidget
{
    Q_OBJECT
public:
    explicit ServiceKerberosKadminElementWidget(Module *module, QWidget *parent = nullptr);
};
