#pragma once

#include <serviceelementwidget.h>

/** Exim's state and its Debian settings as a sortable two-column tree (name, value). */
class ServiceMailEximElementWidget : public ServiceElementWidget
{
    Q_OBJECT
public:
    explicit ServiceMailEximElementWidget(Module *module, QWidget *parent = nullptr);
};
