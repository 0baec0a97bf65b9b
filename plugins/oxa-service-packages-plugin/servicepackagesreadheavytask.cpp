#include "servicepackagesreadheavytask.h"

#include "packagelist.h"
#include "servicepackagesheavyelementdata.h"

#include <childprocess.h>
#include <consoledata.h>
#include <element.h>
#include <hostconnection.h>
#include <serviceheavyreadtask.h>
#include <taskmessages.h>

#include <QObject>

namespace {
const QString dpkgQuery = QStringLiteral("dpkg-query");
}

ServicePackagesReadHeavyTask::ServicePackagesReadHeavyTask(Element *element)
    : ReadPropertyHeavyTask(element, new ServicePackagesHeavyElementData)
{
    // The list is named on the GUI thread, while the service element surely exists.
    QString name;
    if (Element *service = element ? qobject_cast<Element *>(element->parentNode()) : nullptr)
        name = PackageList::listName(service->id(), service->elementType(), service->elementData());
    m_listPath = PackageList::listPath(name);
    taskDescription().setDescription(
        QObject::tr("Read information about installed packages of service"));
}

ServicePackagesReadHeavyTask::~ServicePackagesReadHeavyTask() = default;

ServicePackagesHeavyElementData *ServicePackagesReadHeavyTask::record() const
{
    return dynamic_cast<ServicePackagesHeavyElementData *>(data());
}

void ServicePackagesReadHeavyTask::run()
{
    ServicePackagesHeavyElementData *packages = record();
    // The list is the console's own data: read here, not on the administered host.
    QByteArray bytes;
    if (!packages || !ConsoleData::readFile(m_listPath, maxListBytes + 1, &bytes)) {
        fail(QObject::tr("Failed to open file %1").arg(m_listPath));
        return;
    }
    bool cut = bytes.size() > maxListBytes;
    if (cut) // the last name may be cut: it is dropped
        bytes.truncate(bytes.left(maxListBytes).lastIndexOf('\n') + 1);
    QList<PackageList::Entry> entries = PackageList::parse(ChildProcess::decodeLocal8Bit(bytes));
    // Each alternative costs a run, so the bound counts them all, not the lines.
    int names = 0;
    for (int i = 0; i < entries.size(); ++i) {
        QStringList &alternatives = entries[i].alternatives;
        if (names + alternatives.size() <= maxPackages) {
            names += alternatives.size();
            continue;
        }
        alternatives.erase(alternatives.begin() + (maxPackages - names), alternatives.end());
        entries.erase(entries.begin() + (alternatives.isEmpty() ? i : i + 1), entries.end());
        cut = true;
        break;
    }

    QString missing;
    for (const PackageList::Entry &entry : entries) {
        if (!queryEntry(packages, entry, &missing))
            return;
    }
    if (missing.isEmpty() && !cut) {
        succeed();
        return;
    }
    QStringList messages;
    if (cut)
        messages << listCutMessage(m_listPath);
    if (!missing.isEmpty()) {
        messages
            << QObject::tr("Found not installed packages: %1").arg(QLatin1String("\n\n") + missing);
    }
    succeedPartly(messages.join(QLatin1Char('\n')));
}

QString ServicePackagesReadHeavyTask::listCutMessage(const QString &path)
{
    return QObject::tr("Only the first %1 packages of %2 are read").arg(maxPackages).arg(path);
}

bool ServicePackagesReadHeavyTask::queryEntry(ServicePackagesHeavyElementData *record,
                                              const PackageList::Entry &entry, QString *missing)
{
    bool known = false;   // dpkg knows an alternative that is not installed
    bool unknown = false; // dpkg has no information on an alternative
    for (const QString &name : entry.alternatives) {
        const ProcessResult result =
            host().run(dpkgQuery, {QStringLiteral("-W"), PackageList::queryFormat(), name});
        if (!result.finished) {
            fail(TaskMessages::notFinished(dpkgQuery, result));
            return false;
        }
        // The exit code says nothing here: dpkg-query fails for a package it does not know.
        const PackageList::Record parsed = PackageList::parseRecord(result.outputText());
        switch (parsed.kind) {
        case PackageList::Record::Unknown:
            unknown = true;
            break;
        case PackageList::Record::Malformed:
            break;
        case PackageList::Record::Installed:
            record->packages().insert(name, parsed.version);
            return true;
        case PackageList::Record::NotInstalled:
            known = true;
            break;
        }
    }
    // None installed: the line as written, "not installed" when dpkg knows one of its
    // packages (removed, say), else unknown, which an optional line may be.
    const QString line = QStringLiteral("    %1\n").arg(entry.name);
    if (known) {
        missing->append(line);
        record->packages().insert(entry.name, QObject::tr("not installed"));
    } else if (unknown && !entry.optional) {
        missing->append(line);
        record->packages().insert(entry.name, QObject::tr("unknown package"));
    }
    return true;
}

void ServicePackagesReadHeavyTask::afterRun()
{
    showServiceRead(this, record(), ElementCopy::Whole);
}
