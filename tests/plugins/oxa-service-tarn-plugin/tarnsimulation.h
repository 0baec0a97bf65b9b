#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class TestHost;

/**
 * The Tarn directory's tools as the demo host simulates them (demo/bin/tarn-client,
 * tarn-init, tarn-simulation and demo/root/etc/init.d/tarnd), laid onto a test host and
 * steered through their state files, so that the tests and the demo run the same stand-ins.
 */
class TarnSimulation
{
public:
    enum Role
    {
        Server,
        Client
    };

    explicit TarnSimulation(TestHost &host) : m_host(host) {}

    /// Installs the stand-ins: a directory server, everything running, nothing reported.
    bool install();
    /// Removes a tool from the host ("tarn-client", "tarn-init"): the program is gone.
    bool removeTool(const QString &name);

    bool setRole(Role role);
    /// What "tarn-client status --server" (Server) or "--client" (Client) prints.
    bool setReport(Role role, const QByteArray &text);
    /// Stops or starts "server", "client" or "tarnd" (their status then exits 3 or 0).
    bool setRunning(const QString &name, bool running);
    bool isRunning(const QString &name) const;
    /// Makes @p call ("client-status-server", "init-start", "tarnd-status", ...) misbehave:
    /// "hang", "crash", "fail N [text]" or "exit N".
    bool setFault(const QString &call, const QString &behaviour);

    /// Every command line the stand-ins were called with, in order.
    QStringList calls() const;
    bool clearCalls();

    /// Where the stand-ins keep their state on the host.
    static QString stateDirectory();
    /// The demo layout the stand-ins come from.
    static QString demoDirectory();

    QString errorString() const { return m_error; }

private:
    bool copyFromDemo(const QString &source, const QString &target);

    TestHost &m_host;
    QString m_error;
};
