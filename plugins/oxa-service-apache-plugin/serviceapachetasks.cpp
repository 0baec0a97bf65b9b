#include "serviceapachetasks.h"

#include "apacheoutputparser.h"
#include "moduletreenodes.h"
#include "serviceapacheheavyelementdata.h"
#include "sitetreenodes.h"

#include <childprocess.h>
#include <element.h>
#include <hostfiles.h>
#include <taskmessages.h>

#include <QFileDevice>

namespace {

/**
 * The files a Debian configuration directory lists (links to files included, hidden names
 * not), by name with case folded; false, with @p task failed, when the directory is not there
 * or cannot be listed.
 */
bool listFiles(AbstractTask *task, const QString &path, QStringList *names,
               const QStringList &nameFilters = QStringList())
{
    const HostFiles::Files files = HostFiles::regularFiles(task->host(), path, nameFilters);
    if (files.code == HostFileStatus::Missing || files.code == HostFileStatus::NotDirectory) {
        task->fail(ApachePaths::directoryMissing(path));
        return false;
    }
    if (!files.ok()) {
        task->fail(TaskMessages::fileError(path, QFileDevice::OpenError, files.errorText));
        return false;
    }
    *names = files.names;
    return true;
}

/**
 * Drops from @p record's list the nodes a tree took over, so the record's end does not touch
 * them again; nodes no widget loaded (none showed the element) stay and go with the record.
 */
void releaseLoadedNodes(ServiceHeavyElementData *record)
{
    if (!record)
        return;
    QList<TreeNode *> &nodes = record->data();
    QList<TreeNode *> kept;
    for (TreeNode *node : std::as_const(nodes)) {
        if (node && !node->parentNode())
            kept.append(node);
    }
    nodes = kept;
}

} // namespace

QString ApachePaths::directoryMissing(const QString &path)
{
    return QObject::tr("\"%1\" - not exists").arg(path);
}

// --- sites and hosts ---------------------------------------------------------------------

ServiceApacheReadHeavyTask::ServiceApacheReadHeavyTask(Element *element)
    : ServiceHeavyReadTask(element, apacheFamily, new ServiceApacheHeavyElementData)
{
}

ServiceApacheHeavyElementData *ServiceApacheReadHeavyTask::apacheRecord() const
{
    return dynamic_cast<ServiceApacheHeavyElementData *>(data());
}

void ServiceApacheReadHeavyTask::readConfiguration(ServiceHeavyElementData *heavy)
{
    auto *record = dynamic_cast<ServiceApacheHeavyElementData *>(heavy);
    if (!record) {
        fail(TaskMessages::undefinedTarget());
        return;
    }
    const QString ctl = QString::fromLatin1(ApachePaths::apache2ctl);

    const QString enabledPath = QString::fromLatin1(ApachePaths::sitesEnabled);
    QStringList enabledFiles;
    if (!listFiles(this, enabledPath, &enabledFiles))
        return;
    QSet<QString> enabled;
    for (const QString &entry : std::as_const(enabledFiles)) {
        const QString site = HostTreeNode::siteNameOfFile(entry);
        record->data().append(new SiteTreeNode(site));
        enabled.insert(site);
        record->checkedNames().insert(site);
    }

    const QString availablePath = QString::fromLatin1(ApachePaths::sitesAvailable);
    QStringList availableFiles;
    if (!listFiles(this, availablePath, &availableFiles))
        return;
    for (const QString &entry : std::as_const(availableFiles)) {
        if (enabled.contains(entry))
            continue;
        record->data().append(new SiteTreeNode(entry));
        const QString file = QStringLiteral("%1/%2").arg(availablePath, entry);
        const ProcessResult site =
            host().run(ctl, {QStringLiteral("-S"), QStringLiteral("-f"), file});
        if (!site.finished) {
            fail(TaskMessages::notFinished(ctl, site));
            return;
        }
        if (site.exitCode == 0) {
            ApacheOutput::parseVirtualHosts(site.outputText(), record);
        } else {
            // The site alone is no valid configuration: say so on its row, read on.
            const QString undefined = QObject::tr("undefined");
            record->data().append(new HostTreeNode(undefined, undefined, file));
            record->blockedNames().insert(undefined);
        }
    }

    ProcessResult running;
    if (!runTool(this, ctl, {QStringLiteral("-S")}, &running))
        return;
    ApacheOutput::parseVirtualHosts(running.outputText(), record);
    succeed();
}

void ServiceApacheReadHeavyTask::afterRun()
{
    ServiceHeavyReadTask::afterRun();
    if (!taskDescription().isFailed())
        releaseLoadedNodes(apacheRecord());
}

// --- modules -----------------------------------------------------------------------------

ServiceApacheModulesReadTask::ServiceApacheModulesReadTask(Element *element)
    : ReadPropertyHeavyTask(element, new ServiceApacheHeavyElementData)
{
    taskDescription().setDescription(QObject::tr("Read Apache modules configuration"));
}

ServiceApacheHeavyElementData *ServiceApacheModulesReadTask::apacheRecord() const
{
    return dynamic_cast<ServiceApacheHeavyElementData *>(data());
}

void ServiceApacheModulesReadTask::run()
{
    ServiceApacheHeavyElementData *record = apacheRecord();
    if (!record) {
        fail(TaskMessages::undefinedTarget());
        return;
    }
    const QString ctl = QString::fromLatin1(ApachePaths::apache2ctl);
    ProcessResult loaded;
    if (!runTool(this, ctl, {QStringLiteral("-M")}, &loaded))
        return;
    ApacheOutput::parseModules(loaded.outputText(), record);

    const QStringList loadFilter{QStringLiteral("*.load")};
    const QString availablePath = QString::fromLatin1(ApachePaths::modsAvailable);
    QStringList availableList;
    if (!listFiles(this, availablePath, &availableList, loadFilter))
        return;
    QSet<QString> available(availableList.cbegin(), availableList.cend());

    const QString enabledPath = QString::fromLatin1(ApachePaths::modsEnabled);
    QStringList enabledList;
    if (!listFiles(this, enabledPath, &enabledList, loadFilter))
        return;
    for (const QString &entry : std::as_const(enabledList))
        available.remove(entry);

    // Neither set: these show unticked, ready to be enabled.
    for (const QString &entry : std::as_const(available)) {
        QString name = entry;
        name.remove(QStringLiteral(".load"));
        record->data().append(new ModuleSharedTreeNode(name));
    }
    succeed();
}

void ServiceApacheModulesReadTask::afterRun()
{
    if (taskDescription().isFailed())
        return;
    ReadPropertyHeavyTask::afterRun();
    releaseLoadedNodes(apacheRecord());
}

// --- enabling and disabling --------------------------------------------------------------

ApacheEnableDisableTask::ApacheEnableDisableTask(Element *element, ElementData *data,
                                                 const QString &enableTool,
                                                 const QString &disableTool)
    : UpdateTask(element, data), m_enableTool(enableTool), m_disableTool(disableTool)
{
}

ServiceApacheHeavyElementData *ApacheEnableDisableTask::apacheRecord() const
{
    return dynamic_cast<ServiceApacheHeavyElementData *>(data());
}

QStringList ApacheEnableDisableTask::toolArguments(const QStringList &names)
{
    // The tools parse options first: a file named like an option must stay a name.
    for (const QString &name : names) {
        if (name.startsWith(QLatin1Char('-')))
            return QStringList{QStringLiteral("--")} + names;
    }
    return names;
}

QString ApacheEnableDisableTask::unsafeName(const QStringList &names)
{
    static const QString wildcards = QStringLiteral("*?[]{}~\\'\"");
    for (const QString &name : names) {
        if (name.isEmpty())
            return QStringLiteral("");
        for (const QChar c : name) {
            if (c.isSpace() || c.category() == QChar::Other_Control || wildcards.contains(c))
                return name;
        }
    }
    return QString();
}

QString ApacheEnableDisableTask::unsafeNameMessage(const QString &name, const QString &tool)
{
    return QObject::tr("\"%1\" not passed to %2: it holds blanks, control or wildcard "
                       "characters that the tool would take for other names; nothing was "
                       "changed")
        .arg(name, tool);
}

bool ApacheEnableDisableTask::runTool(const QString &tool, const QStringList &names)
{
    return runChangeTool(tool, toolArguments(names));
}

void ApacheEnableDisableTask::run()
{
    ServiceApacheHeavyElementData *record = apacheRecord();
    if (!record) {
        fail(TaskMessages::undefinedTarget());
        return;
    }
    // Every name is checked before any tool runs: a refused name changes nothing at all.
    const struct
    {
        const QSet<QString> &names;
        const QString &tool;
    } calls[] = {{record->checkedNames(), m_enableTool}, {record->blockedNames(), m_disableTool}};
    for (const auto &call : calls) {
        const QString unsafe = unsafeName(call.names.values());
        if (!unsafe.isNull()) {
            fail(unsafeNameMessage(unsafe, call.tool));
            return;
        }
    }
    // One run of each tool with all its names; nothing is disabled once enabling failed.
    if (!record->checkedNames().isEmpty() &&
        !runTool(m_enableTool, record->checkedNames().values()))
        return;
    if (!record->blockedNames().isEmpty() &&
        !runTool(m_disableTool, record->blockedNames().values()))
        return;
    succeed();
}

bool ApacheEnableDisableTask::wantsApply() const
{
    const ServiceApacheHeavyElementData *record = apacheRecord();
    return record && record->autoApply() && taskDescription().isSucceeded();
}

ServiceApacheSiteUpdateTask::ServiceApacheSiteUpdateTask(Element *element, ElementData *data)
    : ApacheEnableDisableTask(element, data, QStringLiteral("a2ensite"),
                              QStringLiteral("a2dissite"))
{
    taskDescription().setDescription(QObject::tr("Update Apache sites configuration"));
}

QList<FollowUp> ServiceApacheSiteUpdateTask::followUps() const
{
    QList<FollowUp> next = ApacheEnableDisableTask::followUps();
    // Only a running server is reloaded: the element offers reload only then.
    if (element() && wantsApply())
        next.append(FollowUp::perform(element(), OperationReload));
    return next;
}

ServiceApacheModulesUpdateTask::ServiceApacheModulesUpdateTask(Element *element, ElementData *data)
    : ApacheEnableDisableTask(element, data, QStringLiteral("a2enmod"), QStringLiteral("a2dismod"))
{
    taskDescription().setDescription(QObject::tr("Update Apache modules confuguration"));
}

QList<FollowUp> ServiceApacheModulesUpdateTask::followUps() const
{
    QList<FollowUp> next = ApacheEnableDisableTask::followUps();
    // The modules element hangs under the service element, which knows the server's state;
    // only a running server is restarted (it offers restart only then).
    Element *modules = element();
    auto *service = modules ? qobject_cast<Element *>(modules->parentNode()) : nullptr;
    if (service && wantsApply())
        next.append(FollowUp::perform(service, OperationRestart));
    return next;
}
