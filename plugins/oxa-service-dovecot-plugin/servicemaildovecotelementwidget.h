#pragma once

#include <serviceelementwidget.h>

/** Dovecot's state and the configuration `doveconf` prints, as a sortable tree. */
class ServiceMailDovecotElementWidget : public ServiceElementWidget
{
    Q_OBJECT
public:
    explicit ServiceMailDovecotElementWidget(Module *module, QWidget *parent = nullptr);
};
