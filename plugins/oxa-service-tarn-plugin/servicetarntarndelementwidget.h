#pragma once

#include <serviceelementwidget.h>

/** The daemon's state and its settings (with its log file) as a sorted tree. */
class ServiceTarnTarndElementWidget : public ServiceElementWidget
{
    Q_OBJECT
public:
    explicit ServiceTarnTarndElementWidget(Module *module, QWidget *parent = nullptr);
};
