#pragma once

#include <serviceelementwidget.h>

/** Samba's state and "/etc/samba/smb.conf" as read-only text. */
class ServiceSambaElementWidget : public ServiceElementWidget
{
    Q_OBJECT
public:
    explicit ServiceSambaElementWidget(Module *module, QWidget *parent = nullptr);
};
