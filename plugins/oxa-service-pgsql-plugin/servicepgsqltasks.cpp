#include "servicepgsqltasks.h"

#include "servicepgsqlclusterelement.h"
#include "servicepgsqlclusterselement.h"
#include "servicepgsqlparser.h"

#include <childprocess.h>
#include <element.h>
#include <hostconnection.h>
#include <module.h>
#include <serviceheavyreadtask.h>
#include <taskmessages.h>

#include <QRegularExpression>
#include <QStringListModel>

namespace {

const QString keyName = QStringLiteral("name");
const QString keyVersion = QStringLiteral("version");

/**
 * The version and cluster name as positional arguments: after "--" when one of them begins
 * with "-", so the tools (which read options anywhere in their arguments) never take a name
 * for an option. Their option parser drops the "--" and keeps what follows as arguments.
 */
QStringList positional(const QString &version, const QString &name, bool *ended = nullptr)
{
    const bool optionLike =
        version.startsWith(QLatin1Char('-')) || name.startsWith(QLatin1Char('-'));
    if (ended)
        *ended = optionLike;
    if (optionLike)
        return {QStringLiteral("--"), version, name};
    return {version, name};
}

/// A copy of @p element's record, or none.
ElementData *copyOfRecord(Element *element)
{
    const ElementData *record = element ? element->elementData() : nullptr;
    return record ? new ElementData(*record) : nullptr;
}

/// The start.conf of @p record's cluster; empty when its version or name could lead elsewhere.
QString startConfOf(const ElementData &record)
{
    static const QRegularExpression version(QStringLiteral("^[0-9]+(\\.[0-9]+)*$"));
    const QString v = record.property(keyVersion).toString();
    const QString n = record.property(keyName).toString();
    if (!version.match(v).hasMatch() || n.isEmpty() || n.contains(QLatin1Char('/')) ||
        n == QLatin1String(".") || n == QLatin1String(".."))
        return QString();
    return ServicePgsqlParser::startConfPath(v, n);
}

/// A start.conf takes a line or two: anything past this is no start.conf.
const qint64 startConfBytes = 64 * 1024;

ServicePgsqlClusterElement *newClusterElement(Module *module, const ElementData &record)
{
    auto *cluster = new ServicePgsqlClusterElement(module);
    cluster->setTitle(ServicePgsqlParser::clusterTitle(record.property(keyName).toString(),
                                                       record.property(keyVersion).toString()));
    cluster->setElementData(new ElementData(record));
    return cluster;
}

} // namespace

// ---- clusters read ----

ServicePgsqlClustersReadTask::ServicePgsqlClustersReadTask(Element *element, ElementData *data)
    : ReadContentTask(element, data)
{
    taskDescription().setDescription(QObject::tr("Read PostgreSQL clusters"));
}

void ServicePgsqlClustersReadTask::run()
{
    ProcessResult result;
    if (runTool(this, QStringLiteral("dpkg-query"), ServicePgsqlParser::versionQueryArguments(),
                &result)) {
        m_versions = ServicePgsqlParser::installedVersions(result.outputLines());
        if (runTool(this, QStringLiteral("pg_lsclusters"), {QStringLiteral("--no-header")},
                    &result)) {
            m_records = ServicePgsqlParser::clusterRecords(result.outputLines());
            QStringList problems;
            for (ElementData &record : m_records) {
                QString error;
                if (!ServicePgsqlTaskDetail::readStartMode(host(), record, &error))
                    problems << error;
            }
            if (problems.isEmpty())
                succeed();
            else
                succeedPartly(problems.join(QLatin1Char('\n')));
        }
    }
}

void ServicePgsqlClustersReadTask::afterRun()
{
    if (taskDescription().isFailed())
        return;
    Element *clusters = element();
    if (!clusters)
        return;
    if (auto *owner = qobject_cast<ServicePgsqlClustersElement *>(clusters))
        owner->versionsModel()->setStringList(m_versions.values());
    QList<TreeNode *> children;
    children.reserve(m_records.size());
    for (const ElementData &record : std::as_const(m_records))
        children.append(newClusterElement(clusters->module(), record));
    clusters->clearDelete();
    clusters->append(children);
}

QList<FollowUp> ServicePgsqlClustersReadTask::followUps() const
{
    // The new cluster elements came from the same read: only "paranoid" reads each again.
    if (!isParanoid())
        return {};
    return ReadContentTask::followUps();
}

// ---- cluster read ----

ServicePgsqlClusterReadTask::ServicePgsqlClusterReadTask(Element *element)
    : ReadPropertyHeavyTask(element, copyOfRecord(element))
{
    taskDescription().setDescription(QObject::tr("Read PostgreSQL cluster"));
}

void ServicePgsqlClusterReadTask::run()
{
    if (!data()) {
        fail(TaskMessages::undefinedTarget());
        return;
    }
    ProcessResult result;
    if (runTool(this, QStringLiteral("pg_lsclusters"), {QStringLiteral("--no-header")}, &result)) {
        // A cluster that is gone meanwhile leaves the record as it was.
        QString error;
        if (!ServicePgsqlParser::updateCluster(*data(), result.outputLines()) ||
            ServicePgsqlTaskDetail::readStartMode(host(), *data(), &error))
            succeed();
        else
            succeedPartly(error);
    }
}

void ServicePgsqlClusterReadTask::afterRun()
{
    if (taskDescription().isFailed())
        return;
    Element *cluster = element();
    if (cluster && cluster->elementData() && data())
        cluster->elementData()->importFrom(*data());
    ReadPropertyHeavyTask::afterRun();
    if (cluster)
        cluster->emitNodeDataChanged();
}

// ---- create ----

ServicePgsqlClusterCreateTask::ServicePgsqlClusterCreateTask(Element *clusters, ElementData *data)
    : CreateTask(clusters, data)
{
    taskDescription().setDescription(QObject::tr("Create PostgreSQL cluster"));
}

QStringList ServicePgsqlClusterCreateTask::arguments() const
{
    QStringList arguments;
    if (!data())
        return arguments;
    const int port = data()->property(QStringLiteral("port"), 0).toInt();
    if (port != 0)
        arguments << QStringLiteral("-p") << QString::number(port);
    arguments << positional(data()->property(keyVersion).toString(),
                            data()->property(keyName).toString());
    return arguments;
}

void ServicePgsqlClusterCreateTask::run()
{
    if (!data()) {
        fail(TaskMessages::undefinedTarget());
        return;
    }
    const QString name = data()->property(keyName).toString();
    const QString version = data()->property(keyVersion).toString();
    data()->setProperty(QStringLiteral("state"), false);
    data()->setProperty(QStringLiteral("textState"), QString());
    data()->setProperty(QStringLiteral("configureParam"),
                        ServicePgsqlParser::configureParam(name, version));
    if (runChangeTool(QStringLiteral("pg_createcluster"), arguments()))
        succeed();
}

void ServicePgsqlClusterCreateTask::afterRun()
{
    Element *clusters = element();
    // Only a cluster known to be made is added as it was asked for; otherwise the container
    // reads what there is (CreateTask).
    if (isParanoid() || !taskDescription().isSucceeded() || !clusters || !data())
        return;
    ServicePgsqlClusterElement *cluster = newClusterElement(clusters->module(), *data());
    clusters->append(cluster);
    cluster->emitSetCurrentNode();
}

// ---- delete ----

ServicePgsqlClusterDeleteTask::ServicePgsqlClusterDeleteTask(Element *element)
    : DeleteTask(element, copyOfRecord(element))
{
    taskDescription().setDescription(QObject::tr("Remove PostgreSQL cluster"));
}

QStringList ServicePgsqlClusterDeleteTask::arguments() const
{
    if (!data())
        return QStringList();
    bool ended = false;
    const QStringList names = positional(data()->property(keyVersion).toString(),
                                         data()->property(keyName).toString(), &ended);
    // After "--" an option would be a name: it goes first then.
    if (ended)
        return QStringList{QStringLiteral("--stop")} + names;
    return names + QStringList{QStringLiteral("--stop")};
}

void ServicePgsqlClusterDeleteTask::run()
{
    if (!data())
        fail(TaskMessages::undefinedTarget());
    else if (runChangeTool(QStringLiteral("pg_dropcluster"), arguments()))
        succeed();
}

// ---- start mode ----

bool ServicePgsqlTaskDetail::readStartMode(const HostConnection &host, ElementData &record,
                                           QString *error)
{
    const QString path = startConfOf(record);
    if (path.isEmpty()) {
        record.setProperty(QStringLiteral("bootState"), QObject::tr("unknown"));
        *error = TaskMessages::undefinedTarget();
        return false;
    }
    const HostFileContent content = host.readFile(path, startConfBytes);
    if (!content.ok() && content.code != HostFileStatus::Missing) {
        record.setProperty(QStringLiteral("bootState"), QObject::tr("unknown"));
        *error = TaskMessages::failedToReadConfig(path) + QLatin1Char('\n') + content.errorText;
        return false;
    }
    const QString value = ServicePgsqlParser::startConfValue(content.ok() ? content.data
                                                                           : QByteArray());
    if (value.isEmpty()) {
        record.setProperty(QStringLiteral("bootState"), QObject::tr("invalid"));
        *error = QObject::tr("%1 holds no start mode (auto, manual or disabled).").arg(path);
        return false;
    }
    record.setProperty(QStringLiteral("bootState"), value);
    return true;
}

ServicePgsqlClusterBootTask::ServicePgsqlClusterBootTask(Element *element, bool enable)
    : UpdateTask(element, copyOfRecord(element)), m_enable(enable)
{
    taskDescription().setDescription(enable
                                         ? QObject::tr("Enable PostgreSQL cluster at boot")
                                         : QObject::tr("Disable PostgreSQL cluster at boot"));
}

QString ServicePgsqlClusterBootTask::startConf() const
{
    return data() ? startConfOf(*data()) : QString();
}

void ServicePgsqlClusterBootTask::run()
{
    const QString path = startConf();
    if (path.isEmpty()) {
        fail(TaskMessages::undefinedTarget());
        return;
    }
    const HostFileContent current = host().readFile(path, startConfBytes);
    if (!current.ok() && current.code != HostFileStatus::Missing) {
        fail(TaskMessages::failedToReadConfig(path) + QLatin1Char('\n') + current.errorText);
        return;
    }
    // Only a whole file is rewritten: what was not read would be lost.
    if (current.cut) {
        fail(QObject::tr("%1 is too large to be a start mode file.").arg(path));
        return;
    }
    const QByteArray text = ServicePgsqlParser::rewriteStartConf(
        current.ok() ? current.data : QByteArray(),
        m_enable ? QStringLiteral("auto") : QStringLiteral("manual"));
    const HostFileStatus written = host().writeFile(path, text, 0644);
    if (written.ok())
        succeed();
    else
        fail(TaskMessages::fileError(path, int(written.code), written.errorText));
}

// ---- state changes ----

void ServicePgsqlTaskDetail::setUpClusterTask(ServiceTask *task, Element *element,
                                              const char *description)
{
    task->setScriptPath(QStringLiteral("pg_ctlcluster"));
    if (const ElementData *record = element ? element->elementData() : nullptr) {
        // The action follows these (actionFirst false), after a "--" too.
        task->setExtraArguments(positional(record->property(keyVersion).toString(),
                                           record->property(keyName).toString()));
    }
    task->setActionFirst(false);
    task->taskDescription().setDescription(QObject::tr(description));
}

// ---- control ----

std::atomic<bool> ServicePgsqlClusterControlTask::s_packageFound{false};

ServicePgsqlClusterControlTask::ServicePgsqlClusterControlTask(Element *element)
    : PackageCheckedControlTask(element, QStringLiteral("pgadmin3"), QStringLiteral("pgadmin3"),
                                s_packageFound)
{
    taskDescription().setDescription(QObject::tr("Control PostgreSQL cluster"));
}

bool ServicePgsqlClusterControlTask::isPackageFound()
{
    return s_packageFound.load();
}

void ServicePgsqlClusterControlTask::resetPackageFound()
{
    s_packageFound.store(false);
}
