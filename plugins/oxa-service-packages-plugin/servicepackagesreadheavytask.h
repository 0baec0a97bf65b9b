#pragma once

#include <tasks.h>

#include <QString>

class ServicePackagesHeavyElementData;

/**
 * Reads the package list of the service a packages element hangs under and asks dpkg-query
 * for each listed package, one after the other.
 */
class ServicePackagesReadHeavyTask : public ReadPropertyHeavyTask
{
public:
    /// @p element is a packages element; its parent node, the service element, names the list.
    explicit ServicePackagesReadHeavyTask(Element *element);
    ~ServicePackagesReadHeavyTask() override;

    QString listPath() const { return m_listPath; }
    ServicePackagesHeavyElementData *record() const;

    void run() override;
    void afterRun() override;

private:
    /// False when dpkg-query did not finish (the status and message are then set).
    bool queryPackage(ServicePackagesHeavyElementData *record, const QString &name, bool optional,
                      QString *missing);

    QString m_listPath;
};
