#pragma once

#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

/**
 * A scratch directory for one host test: the scripts the test plug-ins run (one generic
 * script under each service's name, keeping its state in files beside it), and the
 * environment that points the plug-ins at it.
 */
class HostTestEnvironment
{
public:
    /// Writes the scripts and sets OXA_HOST_TEST_DIR for this process.
    HostTestEnvironment();
    ~HostTestEnvironment();

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

    /// The directory the test plug-ins were built into.
    static QString pluginDirectory();
    /// The console program.
    static QString programPath();
    /// The framework library: a shared library that is no plug-in.
    static QString frameworkLibraryPath();
    /// A library that writes "loaded" to the file named by OXA_HOST_TEST_MARK when loaded.
    static QString markerPluginPath();

    /// Makes @p action of @p script fail (exit 1 with a message) from now on.
    bool failAction(const QString &script, const QString &action);
    /// Makes @p action of @p script take @p seconds (default one) from now on.
    bool slowAction(const QString &script, const QString &action,
                    const QString &seconds = QString());
    /// Makes @p script report its service as running.
    bool setRunning(const QString &script, bool running);
    /// Writes @p script's configuration as "show" prints it.
    bool writeConfig(const QString &script, const QString &text);
    /// Writes @p text to @p name below the directory, making its directories.
    bool writeFile(const QString &name, const QString &text);
    QString readFile(const QString &name) const;
    /// The actions @p script was called with, one line each ("update name=x ...").
    QStringList log(const QString &script) const;

    /// The process environment for the console run as a child process.
    QProcessEnvironment processEnvironment() const;

private:
    QTemporaryDir m_dir;
    QByteArray m_savedDir;
};
