#pragma once

#include <serviceelementwidget.h>

class CronRootTreeNode;

/** Cron's state, and the crontab with the job directories as a sorted tree of names. */
class ServiceCronElementWidget : public ServiceElementWidget
{
    Q_OBJECT
public:
    explicit ServiceCronElementWidget(Module *module, QWidget *parent = nullptr);

    /// The shared form's tree root, which is the cron tree's.
    CronRootTreeNode *cronRoot() const;

protected:
    void showConfiguration(ServiceHeavyElementData *record) override;
};
