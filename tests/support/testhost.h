#pragma once

#include "dpkgstatus.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTest>

/**
 * A disposable view of this machine for a test case: copy-on-write overlays on /etc, /var,
 * /usr/share and the program directories /usr/bin and /usr/sbin (/bin and /sbin lead there
 * on a merged /usr), all thrown away by the destructor. A fake program goes where the real
 * one is (writeTool()): the console's children look programs up on a fixed PATH only.
 *
 * The process must have entered its private mount namespace first (OXA_TEST_MAIN does, as
 * its first act), so that nothing a test writes ever reaches the real machine. Only one
 * TestHost may be alive at a time. Helpers write only inside the overlays: a path outside
 * them, or one whose directories lead out of them through a symbolic link, is refused.
 *
 * A fresh host starts with an empty package database: dpkg-query knows exactly the packages
 * the test installs. MachinePackageDatabase starts from the machine's database instead, for
 * tests that run real Debian tools whose packages must look installed.
 *
 * Mind: a program a test started must end before its host is destroyed; one still running
 * afterwards sees the real trees again. Mounts below the overlaid trees (bind mounts of a
 * container, say) are not part of the overlays. Without root, the host lives in a user
 * namespace: the test is "root" there, and the machine's files belong to "nobody".
 */
class TestHost
{
public:
    enum PackageDatabase
    {
        EmptyPackageDatabase,
        MachinePackageDatabase
    };
    /// What the real machine, seen from outside this process's namespace, has at a path.
    enum MachinePathState
    {
        MachinePathUnknown,
        MachinePathMissing,
        MachinePathExists
    };

    /**
     * The read limit suites give the framework's tools (ChildProcess::setReadLimitMs; the
     * TaskRunner sets it): a fake tool made to hang ends its case in seconds rather than the
     * console's 30, and a real tool on a test host still has ample time.
     */
    static const int ReadLimitMs = 10000;

    explicit TestHost(PackageDatabase packages = EmptyPackageDatabase);
    ~TestHost();
    TestHost(const TestHost &) = delete;
    TestHost &operator=(const TestHost &) = delete;

    /**
     * Gives the process its own mount namespace (as root; otherwise in a new user namespace
     * where the kernel allows it) with every mount private. Call it first in main, before
     * any thread exists: threads and child processes inherit the namespace of the thread
     * that creates them. Returns whether it worked; a TestHost is unavailable otherwise.
     */
    static bool enterPrivateNamespace();
    /// Whether tests that need a TestHost must fail rather than skip (CI=true or CI=1).
    static bool mustRun();
    /**
     * What the real machine has at @p path, looked up through the mounts of the namespace
     * the process started in, so a test can prove that nothing leaked. With @p content, a
     * regular file's content is read too.
     */
    static MachinePathState machinePathState(const QString &path, QByteArray *content = nullptr);
    /// The directories that get an overlay: "/etc", "/var", "/usr/share", "/usr/bin",
    /// "/usr/sbin".
    static QStringList overlaidDirectories();
    /// The newest PostgreSQL server major version installed on the machine (its initdb is
    /// there: 15 on Debian 12, 17 on Debian 13), the one the real tools make clusters of; empty
    /// when there is none.
    static QString newestPgsqlServer();

    bool isAvailable() const { return m_available; }
    QString unavailableReason() const { return m_unavailableReason; }
    /// Why the last helper returned false.
    QString errorString() const { return m_errorString; }

    /// Where the program @p name is, or goes: the first of /usr/sbin/NAME and /usr/bin/NAME
    /// that exists, else /usr/bin/NAME (empty for a name that is no program name).
    QString toolPath(const QString &name) const;

    /// Writes a file (replacing a file or symbolic link there), creating its directories.
    bool writeFile(const QString &path, const QByteArray &content, int mode = 0644);
    /// Writes an executable "#!/bin/sh" script with @p shellBody at @p path.
    bool writeScript(const QString &path, const QString &shellBody);
    /// A script that prints nothing and exits with @p exitCode, whatever its arguments.
    bool writeStatusScript(const QString &path, int exitCode);
    /// A script that prints @p output byte for byte (NUL bytes included) and exits.
    bool writeOutputScript(const QString &path, const QByteArray &output, int exitCode = 0);
    /// A script that never ends on its own; it execs sleep, so killing it leaves nothing.
    bool writeHangingScript(const QString &path);
    /// A script that kills itself with SIGSEGV (without leaving a core file).
    bool writeCrashingScript(const QString &path);
    /// An executable script in place of the program @p name, at toolPath().
    bool writeTool(const QString &name, const QString &shellBody);
    /**
     * Makes the host look booted with systemd (/run/systemd/system a directory) or not (no
     * such path), whatever the machine is: /run/systemd is covered by an empty tmpfs (or, where
     * there is none, /run gets an overlay), thrown away with the overlays. A fresh host is not
     * booted with systemd, and its rc directories /etc/rc2.d to /etc/rc5.d are empty.
     */
    bool setSystemdBooted(bool booted);
    /// Creates (or replaces) a symbolic link at @p path pointing to @p target.
    bool writeSymlink(const QString &path, const QString &target);
    /// Creates a directory and its parents.
    bool mkdir(const QString &path, int mode = 0755);
    /// Removes a file, a symbolic link (not its target) or a directory tree.
    bool removePath(const QString &path);
    /**
     * Copies the tree under @p sourceDirectory (a real directory, e.g. in the source
     * checkout) to @p targetDirectory in the host, keeping the files' permission bits;
     * symbolic links are recreated as they are.
     */
    bool copyTree(const QString &sourceDirectory, const QString &targetDirectory);
    /**
     * Adds the user @p name, with a group of that name, to the host's /etc/passwd and
     * /etc/group: a user and group id no entry has (60100 or above, the same for both, in
     * @p uid), home /home/NAME (not created), shell /bin/sh.
     */
    bool addUser(const QString &name, uint *uid = nullptr);

    /// Marks the package installed ("ii") with @p version, or with another dpkg @p status.
    bool installPackage(const QString &name, const QString &version,
                        const QString &status = QStringLiteral("install ok installed"));
    /// Leaves the package as "dpkg --remove" does: "deinstall ok config-files" ("rc").
    bool removePackage(const QString &name);
    /// Gives a known package another dpkg status, e.g. "hold ok installed".
    bool setPackageStatus(const QString &name, const QString &status);
    /// Drops the package from the database: dpkg-query does not know it.
    bool forgetPackage(const QString &name);

private:
    struct Layer
    {
        QString directory;
        int lowerFd = -1; ///< the real directory, kept for remounting
        bool tmpfsMounted = false;
        bool overlayMounted = false;
    };

    bool mountLayer(Layer &layer);
    /// Lays the cover setSystemdBooted() changes /run/systemd in, once.
    bool coverRunSystemd();
    bool mountOverlay(Layer &layer);
    bool makeWritable(const QStringList &directories);
    void releaseLayers();
    void unmountLayer(Layer &layer);
    bool fail(const QString &message);
    /// The path to write for @p path, its directories checked (and made) inside the overlays;
    /// with @p missing, a missing directory is reported there instead of as a failure.
    bool resolveWritable(const QString &path, bool createParents, QString *resolved,
                         bool *missing = nullptr);
    bool ensurePackages();
    bool writePackages();
    static QByteArray nativeArchitecture();

    bool m_ownsHost = false;
    bool m_available = false;
    QString m_unavailableReason;
    QString m_errorString;
    QVector<Layer> m_layers;
    bool m_packagesLoaded = false;
    DpkgStatus m_packages;
};

/**
 * Sets an environment variable of the process (or, with a null value, unsets it) for the
 * scope, as the console's caller would have it (SUDO_USER, PKEXEC_UID, DISPLAY, PATH).
 */
class ScopedEnvironment
{
public:
    ScopedEnvironment(const char *name, const QByteArray &value)
        : m_name(name), m_wasSet(qEnvironmentVariableIsSet(name)), m_saved(qgetenv(name))
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~ScopedEnvironment()
    {
        if (m_wasSet)
            qputenv(m_name, m_saved);
        else
            qunsetenv(m_name);
    }
    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;

private:
    const char *m_name;
    bool m_wasSet;
    QByteArray m_saved;
};

/**
 * main() of a test that uses TestHost: enters the private mount namespace before anything
 * else (before QApplication, before any thread), then runs the test like QTEST_MAIN.
 */
#define OXA_TEST_MAIN(TestObject)                                                                  \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        TestHost::enterPrivateNamespace();                                                         \
        QTEST_MAIN_IMPL(TestObject)                                                                \
    }

/**
 * Skips the test function when @p host is unavailable, with the reason; under CI (CI=true)
 * fails it instead, so a green CI run means the host tests really ran.
 */
#define OXA_REQUIRE_TEST_HOST(host)                                                                \
    do {                                                                                           \
        if (!(host).isAvailable()) {                                                               \
            const QByteArray oxaReason_ = QStringLiteral("no disposable test host: %1")            \
                                              .arg((host).unavailableReason())                     \
                                              .toLocal8Bit();                                      \
            if (TestHost::mustRun())                                                               \
                QFAIL(oxaReason_.constData());                                                     \
            QSKIP(oxaReason_.constData());                                                         \
        }                                                                                          \
    } while (false)
