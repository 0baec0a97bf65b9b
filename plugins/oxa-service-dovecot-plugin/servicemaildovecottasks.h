#pragma once

#include <serviceheavyreadtask.h>
#include <servicerows.h>

/**
 * Dovecot's state, then its effective configuration as `doveconf` prints it: the "DOVECOT"
 * node with the full tree, then the summary nodes.
 */
class ServiceMailDovecotReadHeavyTask : public ServiceHeavyReadTask
{
public:
    static constexpr const char *program = "doveconf";

    explicit ServiceMailDovecotReadHeavyTask(Element *element);

protected:
    /// Runs "doveconf -a" (30 s at most); its exit code says nothing about what it printed.
    void readConfiguration(ServiceHeavyElementData *record) override;
};
