#pragma once

// The test fleet: disposable remote Debian hosts reached over ssh without a routed address.
//
// Each host is a network namespace of its own (`ip netns add oxa-rN-<pid>`, loopback only)
// and a process, oxa-remote-testhost, that joins it, takes the system suites' disposable
// overlays (SystemHost: the machine's package database, a private /run) and runs sshd on
// 127.0.0.1:22 there, with the privileged helper at its package's path and its policy. ssh
// gets there through a ProxyCommand that enters the namespace (`ip netns exec NS nc 127.0.0.1
// 22`), or through oxa-delay-relay for a slow link. Keys are made per run; the fleet's
// ssh_config has one Host entry per alias, so that one host can be reached in several ways
// (another user, an unknown or changed host key, a key it does not take, a slow link).
//
// Everything goes when the fleet does: the host processes (which kill what runs in their
// hosts), the namespaces and the run directory; a host process also ends when its test dies.
// The test must run as root in its private mount namespace (OXA_SYSTEM_TEST_MAIN), where
// the namespaces' names live.

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

/// How a test host is made: the variants the connection tests need.
struct RemoteHostOptions
{
    /// The privileged helper installed (and its policy); false: "not installed".
    bool helper = true;
    /// sshd running; false: connections are refused.
    bool server = true;
    /// The loopback interface up; false: the host is unreachable.
    bool loopbackUp = true;
    /// The set-up the real services need (Kerberos realm, Dovecot's certificate, the
    /// console's package lists), for suites that start them.
    bool services = false;
};

/// Which host key the client's known_hosts holds for an alias.
enum class KnownHostKey
{
    Known,   ///< the host's own
    Unknown, ///< none: an empty known_hosts
    Changed  ///< another key: the host's key looks changed
};

/// One Host entry of the fleet's ssh_config.
struct RemoteAlias
{
    QString alias;
    /// The test host it leads to (RemoteTestFleet::addHost's name).
    QString host;
    /// The login ("root", "oxaadmin" with sudo -n, "oxapass" whose sudo asks a password).
    QString user = QStringLiteral("root");
    /// false: the client offers a key the host does not take.
    bool authorizedKey = true;
    KnownHostKey hostKey = KnownHostKey::Known;
    /// Milliseconds the relay holds each chunk in each direction; 0: no relay.
    int delayMs = 0;
};

/**
 * One remote test host: its process, namespace and control channel. Made by RemoteTestFleet.
 * The helpers write inside the host's overlays through the host's own TestHost, so they
 * obey its limits (nothing outside /etc, /var, /usr/share, /usr/bin, /usr/sbin).
 */
class RemoteTestHost
{
public:
    ~RemoteTestHost();
    RemoteTestHost(const RemoteTestHost &) = delete;
    RemoteTestHost &operator=(const RemoteTestHost &) = delete;

    QString name() const { return m_name; }
    /// The network namespace ("oxa-rN-<pid>").
    QString netns() const { return m_netns; }
    /// The pid of the host's process: its mount and network namespaces are the host's.
    qint64 pid() const;
    /// Why the last call failed.
    QString errorString() const { return m_error; }
    /// sshd's log of this host, for failure messages.
    QString serverLog() const { return m_log; }

    /// The command prefix that runs a program inside the host, as a local console there
    /// would run: nsenter into the host process's mount and network namespaces.
    QStringList enterCommand() const;

    bool writeFile(const QString &path, const QByteArray &content, int mode = 0644);
    /// An executable "#!/bin/sh" script.
    bool writeScript(const QString &path, const QString &shellBody);
    bool removePath(const QString &path);
    /// Marks a package installed in the host's package database.
    bool installPackage(const QString &name, const QString &version);
    /// The content of a file in the host (read through the host process's root).
    QByteArray readFile(const QString &path) const;
    bool exists(const QString &path) const;

    /// Kills sshd and everything running in the host: connections into it end at once.
    bool stopServer();
    bool startServer();
    bool setLoopbackUp(bool up);

private:
    friend class RemoteTestFleet;
    RemoteTestHost() = default;
    bool command(const QByteArray &line);
    /// Asks the host process to end and waits for it; kills it when it does not.
    void finish();

    QString m_name;
    QString m_netns;
    QString m_log;
    QString m_error;
    std::unique_ptr<QProcess> m_process;
};

/**
 * The fleet of a test: run directory, keys, the ssh_config and the hosts. One per test
 * process; hosts and aliases are added as the test needs them.
 */
class RemoteTestFleet
{
public:
    /// Makes the run directory and the client keys; check isAvailable().
    RemoteTestFleet();
    ~RemoteTestFleet();
    RemoteTestFleet(const RemoteTestFleet &) = delete;
    RemoteTestFleet &operator=(const RemoteTestFleet &) = delete;

    /// Whether hosts can be made here (root, ip, sshd, nc, ssh-keygen, the built programs).
    bool isAvailable() const { return m_unavailableReason.isEmpty(); }
    QString unavailableReason() const { return m_unavailableReason; }
    QString errorString() const { return m_error; }

    /**
     * Makes the host @p name (a short name: letters, digits, "-") and waits until its sshd
     * listens (or, without a server, until it is set up). Adds the alias @p name for root.
     * Returns the host, or nullptr with errorString().
     */
    RemoteTestHost *addHost(const QString &name, const RemoteHostOptions &options = {});
    /// Adds (or replaces) a Host entry and rewrites the ssh_config.
    bool addAlias(const RemoteAlias &alias);
    RemoteTestHost *host(const QString &name) const;
    /// The hosts' names, in the order they were made.
    QStringList hostNames() const;

    /// The fleet's ssh_config (--ssh-config).
    QString sshConfig() const;
    /// The known_hosts file of @p alias.
    QString knownHostsFile(const QString &alias) const;
    /// The run directory (keys, logs, known_hosts files).
    QString directory() const { return m_dir.path(); }

    /// The private key the hosts take, and one they do not.
    QString clientKey() const;
    QString strangerKey() const;

    /// The ssh command line that reaches @p alias through the fleet's configuration, batch
    /// mode, running @p command there (for `ssh HOST true`, say).
    QStringList sshCommand(const QString &alias, const QStringList &command) const;

    /// The built programs the fleet uses (set by the build; overridable for a benchmark).
    static QString hostProgram();
    static QString relayProgram();
    static QString bridgeProgram();
    static QString policyDirectory();

private:
    bool fail(const QString &message);
    bool keygen(const QString &file);
    bool writeConfig();
    bool writeKnownHosts(const RemoteAlias &alias);

    QTemporaryDir m_dir;
    QString m_unavailableReason;
    QString m_error;
    QMap<QString, RemoteTestHost *> m_hosts;
    QList<RemoteTestHost *> m_order;
    QList<RemoteAlias> m_aliases;
    int m_next = 1;
};

/**
 * Skips the test function when @p fleet is unavailable, with the reason; under CI (CI=true)
 * fails it instead.
 */
#define OXA_REQUIRE_FLEET(fleet)                                                                   \
    do {                                                                                           \
        if (!(fleet).isAvailable()) {                                                              \
            const QByteArray oxaReason_ = QStringLiteral("no test fleet: %1")                      \
                                              .arg((fleet).unavailableReason())                    \
                                              .toLocal8Bit();                                      \
            if (TestHost::mustRun())                                                               \
                QFAIL(oxaReason_.constData());                                                     \
            QSKIP(oxaReason_.constData());                                                         \
        }                                                                                          \
    } while (false)
