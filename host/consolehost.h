#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSharedPointer>
#include <QStringList>
#include <functional>

class ConsoleRegistry;
class HostConnection;
class QPluginLoader;
#include <plugin.h>
class QThreadPool;

/** A plug-in library that was loaded: where it came from, its object and its validity. */
struct PluginRecord
{
    QString file;
    QString className;
    QPointer<Plugin> plugin;
    /// Whether isValid() answered (or the wait for it was given up).
    bool checked = false;
    /// Whether isValid() was asked (it may still be running).
    bool checkStarted = false;
    bool valid = false;
    /// Why the plug-in counts as invalid without having said so (no answer in time).
    QString checkError;
};

/** A library in a plug-in directory (or a directory) that could not be used, and why. */
struct PluginLoadIssue
{
    QString file;
    QString message;
};

/**
 * The console's plug-in side, shared by the window and batch mode: finds and loads the
 * libraries, asks every plug-in at once whether it is valid (on worker threads), builds the
 * registry from the valid ones, and owns the plug-in objects until the end.
 */
class ConsoleHost : public QObject
{
    Q_OBJECT
public:
    /// How long the host waits for isValid() answers before it gives up on the rest.
    static const int DefaultCheckTimeoutMs = 60000;

    /// Serves the host behind @p connection; without one, the machine it runs on.
    explicit ConsoleHost(QObject *parent = nullptr, QSharedPointer<HostConnection> connection = {});
    /// Waits for running checks, releases the registry, then deletes the plug-in objects.
    ~ConsoleHost() override;

    /// The directory plug-ins are installed to (absolute, from the build configuration).
    static QString installedPluginDirectory();
    /**
     * The directories searched, in order: @p directories (--plugin-dir), then those of
     * @p environmentPath (VELL_ADMIN_PLUGIN_PATH, colon-separated), then @p installDirectory.
     * Empty entries and repeats are dropped.
     */
    static QStringList searchPath(const QStringList &directories, const QString &environmentPath,
                                  const QString &installDirectory);
    /// searchPath() with the process environment and the installed directory; the environment
    /// is not asked when trustedFilesOnly().
    static QStringList defaultSearchPath(const QStringList &directories);

    /**
     * Whether plug-in libraries are loaded only from files and directories that root owns and
     * nobody else may write (see PathTrust); on by default when the console runs as root.
     * Refused directories and files are reported with the reason.
     */
    static bool trustedFilesOnly();
    static void setTrustedFilesOnly(bool on);
    /// Why a root console must not load code from @p path; empty when it may.
    static QString untrustedReason(const QString &path);

    /**
     * Loads every library in @p directories whose metadata names the console's interface;
     * others are ignored, broken ones are reported (issues()) and skipped, and so is a missing
     * directory other than the installed one. A file name found again in a later directory is
     * skipped: the first directory wins.
     */
    void loadPlugins(const QStringList &directories);
    /**
     * Loads the plug-in libraries in @p directories and, with @p prepare, starts what they
     * prepare (see PluginPreparations) for this machine, ahead of everything else, before Qt
     * starts up even: the preparations then run while it does. Without @p prepare (a remote
     * host, whose connection does not exist yet) loadPlugins() starts them on the console's
     * connection. Says nothing about what it cannot load; loadPlugins() does.
     */
    static void preloadLibraries(const QStringList &directories, bool prepare = true);
    QList<PluginRecord> plugins() const { return m_records; }
    QList<PluginLoadIssue> issues() const { return m_issues; }

    /// Starts isValid() of every plug-in at once; pluginsChecked() follows when all answered.
    void checkPlugins();
    /**
     * With @p on, loadPlugins() asks each plug-in whether it is valid as soon as it is loaded,
     * while the next ones load, rather than all of them afterwards; checkPlugins() then only
     * waits for what is still running. Off by default.
     */
    void setCheckWhileLoading(bool on) { m_checkWhileLoading = on; }
    bool isChecking() const { return m_checking; }
    bool isChecked() const { return m_checked; }
    /// Processes events until the checks have ended (batch mode and tests only).
    bool waitForChecks();
    void setCheckTimeout(int milliseconds) { m_checkTimeoutMs = milliseconds; }

    /// Adds the plug-ins to the registry in load order and builds its trees (once).
    void build(bool paranoid);
    bool isBuilt() const { return m_built; }
    ConsoleRegistry *registry() const { return m_registry; }
    /// The one connection to the administered host, given to every module of every plug-in.
    QSharedPointer<HostConnection> hostConnection() const { return m_connection; }

signals:
    void issueReported(const QString &file, const QString &message);
    void pluginsChecked();
    void built();

private:
    /// Calls @p use with every plug-in file of @p directories in search order (the first of a
    /// name wins), @p missing with every directory that does not exist, @p refused with every
    /// directory or file that trustedFilesOnly() turns away, and why.
    static void
    forEachLibrary(const QStringList &directories, const std::function<void(const QString &)> &use,
                   const std::function<void(const QString &)> &missing,
                   const std::function<void(const QString &, const QString &)> &refused);
    /// Reads the plug-in metadata of @p path and loads the library; null if it is not one of
    /// ours or cannot be loaded (said through report()).
    QPluginLoader *openLibrary(const QString &path);
    /// Makes the plug-in object of a loaded library and starts its check.
    void makePlugin(QPluginLoader *loader);
    void report(const QString &file, const QString &message);
    void startCheck(int index);
    void onChecked(int index, bool valid);
    void finishChecks(bool timedOut);

    QSharedPointer<HostConnection> m_connection;
    QList<PluginRecord> m_records;
    QList<PluginLoadIssue> m_issues;
    QStringList m_seenNames;
    QStringList m_seenPaths;
    QThreadPool *m_pool;
    ConsoleRegistry *m_registry;
    int m_checkTimeoutMs = DefaultCheckTimeoutMs;
    int m_outstanding = 0;
    bool m_checkWhileLoading = false;
    bool m_checking = false;
    bool m_checked = false;
    bool m_built = false;
};
