#pragma once

#include <serviceheavyreadtask.h>
#include <servicerows.h>

#include <QStringList>

class ServiceApacheHeavyElementData;
struct ProcessResult;

using ServiceApacheReadLightTask = FamilyReadLightTask<apacheFamily>;

/** Paths and programs of the Debian Apache layout. */
namespace ApachePaths {
inline constexpr const char *sitesEnabled = "/etc/apache2/sites-enabled";
inline constexpr const char *sitesAvailable = "/etc/apache2/sites-available";
inline constexpr const char *modsEnabled = "/etc/apache2/mods-enabled";
inline constexpr const char *modsAvailable = "/etc/apache2/mods-available";
inline constexpr const char *apache2ctl = "apache2ctl";
/// "\"%1\" - not exists": a site or module directory is missing.
QString directoryMissing(const QString &path);
} // namespace ApachePaths

/**
 * Apache's state, its sites and their virtual hosts: the enabled sites (ticked), every other
 * available site with the hosts `apache2ctl -S -f` finds in it, then the hosts of the running
 * configuration (`apache2ctl -S`).
 */
class ServiceApacheReadHeavyTask : public ServiceHeavyReadTask
{
public:
    explicit ServiceApacheReadHeavyTask(Element *element);

    ServiceApacheHeavyElementData *apacheRecord() const;
    void afterRun() override;

protected:
    void readConfiguration(ServiceHeavyElementData *record) override;
};

/** The loaded, static and available Apache modules (`apache2ctl -M` and mods-*). */
class ServiceApacheModulesReadTask : public ReadPropertyHeavyTask
{
public:
    explicit ServiceApacheModulesReadTask(Element *element);

    ServiceApacheHeavyElementData *apacheRecord() const;
    void run() override;
    void afterRun() override;
};

/**
 * An update that runs one enabling tool with every name to enable, then one disabling tool
 * with every name to disable, stopping at the first failure (or tool left running). However
 * it ended, the sites or modules are read again afterwards: what is shown is what is enabled.
 */
class ApacheEnableDisableTask : public UpdateTask
{
public:
    ApacheEnableDisableTask(Element *element, ElementData *data, const QString &enableTool,
                            const QString &disableTool);

    ServiceApacheHeavyElementData *apacheRecord() const;
    void run() override;

    /// The arguments for @p names: "--" first when a name could pass for an option.
    static QStringList toolArguments(const QStringList &names);
    /**
     * The first of @p names that the tools would not take as itself, or a null string: they
     * split each argument at blanks and expand it as a file pattern, so a name with blanks,
     * control or wildcard characters would reach other sites or modules (an empty one too).
     */
    static QString unsafeName(const QStringList &names);
    /// The message of a refused name.
    static QString unsafeNameMessage(const QString &name, const QString &tool);

protected:
    /// Whether a good update asked for the service to be reloaded or restarted.
    bool wantsApply() const;

private:
    bool runTool(const QString &tool, const QStringList &names);

    QString m_enableTool;
    QString m_disableTool;
};

/** Enables and disables sites (a2ensite, a2dissite); reloads a running Apache on request. */
class ServiceApacheSiteUpdateTask : public ApacheEnableDisableTask
{
public:
    ServiceApacheSiteUpdateTask(Element *element, ElementData *data);
    QList<FollowUp> followUps() const override;
};

/** Enables and disables modules (a2enmod, a2dismod); restarts a running Apache on request. */
class ServiceApacheModulesUpdateTask : public ApacheEnableDisableTask
{
public:
    ServiceApacheModulesUpdateTask(Element *element, ElementData *data);
    QList<FollowUp> followUps() const override;
};
