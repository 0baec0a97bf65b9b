#pragma once

#include <serviceelementwidget.h>

class CronRootTreeNode;

/** Cron's state, and the crontab with the job directories as a sorted tree of names. */
class ServiceCronElementWidget : public ServiceElementWidget
{
    Q_OBJECT
public:
    explicit ServiceCronElementWidget(Module *module, QWidget *parent = nullptr);

    CronRootTreeNode *cronRoot() const { return m_cronRoot; }

protected:
    void showConfiguration(ServiceHeavyElementData *record) override;

private:
    CronRootTreeNode *m_cronRoot = nullptr;
};
