#include "servicekerberoselementwidgets.h"

ServiceKerberosKdcElementWidget::ServiceKerberosKdcElementWidget(Module *module, QWidget *parent)
    : ServiceElementWidget(module, staticMetaObject.className(),
                           QStringLiteral("ServiceKerberosKdc"), QT_TR_NOOP("Kerberos KDC"),
                           PlainTextView, QStringLiteral("_configPlainEdit"), parent)
{
}

ServiceKerberosKadminElementWidget::ServiceKerberosKadminElementWidget(Module *module,
                                                                       QWidget *parent)
    : ServiceElementWidget(module, staticMetaObject.className(),
                           QStringLiteral("ServiceKerberosKadmin"), QT_TR_NOOP("Kerberos Kadmin"),
                           PlainTextView, QStringLiteral("_configPlainEdit"), parent)
{
    setSecondElementType(QStringLiteral("ServiceKerberosKdc"));
}
