#pragma once

#include "servicelog.h"
#include "servicelogsources.h"

#include <tasks.h>

class ServiceLogHeavyElementData;

/**
 * Reads the log of the service a log element hangs under: under systemd the journal of its
 * units (journalctl), then the tail of each file it writes itself. A source that cannot be
 * read becomes a line saying so; the read then ends with a warning, never as a failure.
 */
class ServiceLogReadHeavyTask : public ReadPropertyHeavyTask
{
public:
    /// @p element is a log element; its parent node, the service element, names the sources.
    explicit ServiceLogReadHeavyTask(Element *element);
    ~ServiceLogReadHeavyTask() override;

    const ServiceLogSources::Sources &sources() const { return m_sources; }
    ServiceLogHeavyElementData *record() const;

    void run() override;
    void afterRun() override;

private:
    void readJournal(QVector<ServiceLog::Line> *lines, QStringList *troubles);
    void readFile(const QString &path, QVector<ServiceLog::Line> *lines, QStringList *troubles);

    ServiceLogSources::Sources m_sources;
};
