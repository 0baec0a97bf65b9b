#include "servicesambaelementwidget.h"

ServiceSambaElementWidget::ServiceSambaElementWidget(Module *module, QWidget *parent)
    : ServiceElementWidget(module, staticMetaObject.className(), QStringLiteral("ServiceSamba"),
                           QT_TR_NOOP("Samba"), PlainTextView, QStringLiteral("_configPlainEdit"),
                           parent)
{
}
