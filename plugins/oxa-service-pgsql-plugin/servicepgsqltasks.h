#pragma once

#include <element.h>
#include <elementdata.h>
#include <packagecheckedcontroltask.h>
#include <servicetasks.h>
#include <tasks.h>

#include <QObject>
#include <QSet>
#include <QVector>

#include <atomic>

/**
 * Reads the installed server versions (dpkg-query) and the clusters (pg_lsclusters) of the
 * PostgreSQL container; afterRun() replaces the container's children with one element per
 * cluster and hands the versions to the container's versions model. Only with "paranoid" is
 * each cluster then read again.
 */
class ServicePgsqlClustersReadTask : public ReadContentTask
{
public:
    ServicePgsqlClustersReadTask(Element *element, ElementData *data);

    void run() override;
    void afterRun() override;
    QList<FollowUp> followUps() const override;

    const QSet<QString> &versions() const { return m_versions; }
    const QVector<ElementData> &records() const { return m_records; }

private:
    QSet<QString> m_versions;
    QVector<ElementData> m_records;
};

/** Reads one cluster's port, state and directories; the target is a copy of its record. */
class ServicePgsqlClusterReadTask : public ReadPropertyHeavyTask
{
public:
    explicit ServicePgsqlClusterReadTask(Element *element);

    void run() override;
    void afterRun() override;
};

/** Creates a cluster with pg_createcluster from the record the cluster form exported. */
class ServicePgsqlClusterCreateTask : public CreateTask
{
public:
    ServicePgsqlClusterCreateTask(Element *clusters, ElementData *data);

    /// `[-p port] version name`: no port option for port 0.
    QStringList arguments() const;
    void run() override;
    /// Adds the new cluster's element itself, unless "paranoid" reads the container again.
    void afterRun() override;
};

/** Drops a cluster, stopping it first: `pg_dropcluster version name --stop`. */
class ServicePgsqlClusterDeleteTask : public DeleteTask
{
public:
    explicit ServicePgsqlClusterDeleteTask(Element *element);

    QStringList arguments() const;
    void run() override;
};

/**
 * Sets a cluster's start mode the way the PostgreSQL tools read it: its start.conf gets "auto"
 * (enable) or "manual" (disable) on its value line, every comment kept, written through the
 * host connection (owner and mode kept; a missing file is made 0644). The cluster is read
 * again afterwards, however it ended.
 */
class ServicePgsqlClusterBootTask : public UpdateTask
{
public:
    ServicePgsqlClusterBootTask(Element *element, bool enable);

    /// The start.conf of the cluster, or empty for a record that names none it may touch.
    QString startConf() const;
    void run() override;

private:
    bool m_enable;
};

namespace ServicePgsqlTaskDetail {
/**
 * Reads the start mode of @p record's cluster into its "bootState" (see
 * ServicePgsqlParser::startConfValue; "auto" without a file); false, with @p error, when the
 * file cannot be read or holds no start mode, "bootState" then "unknown" or "invalid".
 */
bool readStartMode(const HostConnection &host, ElementData &record, QString *error);

/// Makes @p task run `pg_ctlcluster version name action` for @p element's cluster.
void setUpClusterTask(ServiceTask *task, Element *element, const char *description);

inline constexpr char startDescription[] = QT_TRANSLATE_NOOP("QObject", "Start PostgreSQL cluster");
inline constexpr char stopDescription[] = QT_TRANSLATE_NOOP("QObject", "Stop PostgreSQL cluster");
inline constexpr char restartDescription[] =
    QT_TRANSLATE_NOOP("QObject", "Restart PostgreSQL cluster");
inline constexpr char reloadDescription[] =
    QT_TRANSLATE_NOOP("QObject", "Reload PostgreSQL cluster");
} // namespace ServicePgsqlTaskDetail

/**
 * A cluster state change through pg_ctlcluster: the framework's service task @p Base with the
 * cluster's version and name before the action word.
 *
 * Unlike an init script, pg_ctlcluster refuses to start a running cluster or to stop a stopped
 * one (exit code 2). The console offers only the action that changes the state it knows, so a
 * refusal means the cluster changed behind its back: the framework reads the cluster again
 * after every action, failed ones too, and the state shown is the one the tool found.
 */
template <class Base, const char *Description> class PgsqlClusterServiceTask : public Base
{
public:
    explicit PgsqlClusterServiceTask(Element *element) : Base(element)
    {
        ServicePgsqlTaskDetail::setUpClusterTask(this, element, Description);
    }
};

using ServicePgsqlClusterStartTask =
    PgsqlClusterServiceTask<StartServiceTask, ServicePgsqlTaskDetail::startDescription>;
using ServicePgsqlClusterStopTask =
    PgsqlClusterServiceTask<StopServiceTask, ServicePgsqlTaskDetail::stopDescription>;
using ServicePgsqlClusterRestartTask =
    PgsqlClusterServiceTask<RestartServiceTask, ServicePgsqlTaskDetail::restartDescription>;
using ServicePgsqlClusterReloadTask =
    PgsqlClusterServiceTask<ReloadServiceTask, ServicePgsqlTaskDetail::reloadDescription>;

/**
 * Starts the graphical administration program pgadmin3, once its package was found installed;
 * a found package is remembered for the life of the process.
 */
class ServicePgsqlClusterControlTask : public PackageCheckedControlTask
{
public:
    explicit ServicePgsqlClusterControlTask(Element *element);

    /// Whether the package was found installed by an earlier control task.
    static bool isPackageFound();
    /// Forgets that the package was found (tests start from a clean process state).
    static void resetPackageFound();

private:
    static std::atomic<bool> s_packageFound;
};
