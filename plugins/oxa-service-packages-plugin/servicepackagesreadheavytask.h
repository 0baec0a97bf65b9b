#pragma once

#include "packagelist.h"

#include <tasks.h>

#include <QString>

class ServicePackagesHeavyElementData;

/**
 * Reads the package list of the service a packages element hangs under and asks dpkg-query
 * for each listed package, one after the other; of a line naming alternatives, the first
 * installed one is shown.
 */
class ServicePackagesReadHeavyTask : public ReadPropertyHeavyTask
{
public:
    /// @p element is a packages element; its parent node, the service element, names the list.
    explicit ServicePackagesReadHeavyTask(Element *element);
    ~ServicePackagesReadHeavyTask() override;

    QString listPath() const { return m_listPath; }

    /// A list names a service's few packages, and each name costs one dpkg-query run: of a
    /// longer file only this many bytes and package names (alternatives included) are read,
    /// and the read warns.
    static constexpr int maxListBytes = 64 * 1024;
    static constexpr int maxPackages = 100;
    /// The warning of a list cut to those bounds.
    static QString listCutMessage(const QString &path);
    ServicePackagesHeavyElementData *record() const;

    void run() override;
    void afterRun() override;

private:
    /// False when dpkg-query did not finish (the status and message are then set).
    bool queryEntry(ServicePackagesHeavyElementData *record, const PackageList::Entry &entry,
                    QString *missing);

    QString m_listPath;
};
