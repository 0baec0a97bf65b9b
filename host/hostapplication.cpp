#include "hostapplication.h"

#include "batchreport.h"
#include "batchrunner.h"
#include "consolehost.h"
#include "fleetrunner.h"
#include "icontheme.h"
#include "mainwindow.h"
#include "remotehostconnection.h"

#include <bridgehostconnection_p.h>
#include <childprocess.h>
#include <consoledata.h>
#include <localhostconnection.h>
#include <module.h>
#include <taskobserver.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QProcessEnvironment>

#include <cstdio>
#include <functional>

#include <unistd.h>

namespace {
void printError(const QString &text)
{
    std::fprintf(stderr, "vell-admin-service: %s\n", qPrintable(text));
    std::fflush(stderr);
}

/// A batch report on standard output: @p report's JSON with --json, else @p text's words (only
/// the one printed is made).
void printReport(const HostOptions &options, const std::function<QJsonObject()> &report,
                 const std::function<QString()> &text)
{
    const QByteArray out = options.json ? QJsonDocument(report()).toJson(QJsonDocument::Indented)
                                        : text().toLocal8Bit();
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    std::fflush(stdout);
}

/// --title, else the window's own title, after the host's name for a remote host.
void setTitle(MainWindow &window, const HostOptions &options, const QString &remoteHost)
{
    if (!options.title.isEmpty())
        window.setWindowTitle(options.title);
    else if (!remoteHost.isEmpty())
        window.setWindowTitle(remoteHost + QStringLiteral(" - ") + window.windowTitle());
}

/// Loads the plug-ins in viewer mode as asked; failures go to standard error as they come.
void loadPlugins(ConsoleHost &host, const HostOptions &options)
{
    QObject::connect(
        &host, &ConsoleHost::issueReported, &host, [](const QString &file, const QString &message) {
            printError(
                QApplication::translate("HostApplication", "skipped %1: %2").arg(file, message));
        });
    // A plug-in that takes long to load (one that asks a tool about the host while it is
    // made) must not hold up the checks of the others.
    host.setCheckWhileLoading(true);
    host.loadPlugins(ConsoleHost::defaultSearchPath(options.pluginDirectories));
}
} // namespace

QStringList HostApplication::dropCallersCodePaths()
{
    if (!ConsoleHost::trustedFilesOnly())
        return {};
    // Each names a path (or a plug-in found on one) that Qt, GTK through a platform theme,
    // GIO or glibc's iconv would load code from.
    static const char *const names[] = {"QT_PLUGIN_PATH",
                                        "QT_QPA_PLATFORM_PLUGIN_PATH",
                                        "QT_QPA_PLATFORMTHEME",
                                        "QT_QPA_GENERIC_PLUGINS",
                                        "QT_XCB_GL_INTEGRATION",
                                        "QT_QPA_EGLFS_INTEGRATION",
                                        "QML_IMPORT_PATH",
                                        "QML2_IMPORT_PATH",
                                        "GCONV_PATH",
                                        "GETCONF_DIR"};
    static const char *const prefixes[] = {"LD_",  "GTK_",        "GTK2_", "GTK3_",
                                           "GIO_", "GDK_PIXBUF_", "GST_",  "GSETTINGS_"};
    QStringList dropped;
    for (const QString &entry : QProcessEnvironment::systemEnvironment().keys()) {
        const QByteArray name = entry.toLocal8Bit();
        bool drop = false;
        for (const char *exact : names)
            drop = drop || name == exact;
        for (const char *prefix : prefixes)
            drop = drop || name.startsWith(prefix);
        if (drop) {
            qunsetenv(name.constData());
            dropped.append(entry);
        }
    }
    return dropped;
}

bool HostApplication::chooseDataDirectory(const HostOptions &options, QString *error)
{
    if (options.dataDirectory.isEmpty())
        return true;
    const QString directory = QDir(options.dataDirectory).absolutePath();
    if (!QFileInfo(directory).isDir()) {
        *error = QApplication::translate("HostApplication", "the data directory %1 does not exist")
                     .arg(directory);
        return false;
    }
    if (ConsoleHost::trustedFilesOnly()) {
        const QString why = ConsoleHost::untrustedReason(directory);
        if (!why.isEmpty()) {
            *error = QApplication::translate("HostApplication",
                                             "the data directory is refused as root: %1")
                         .arg(why);
            return false;
        }
    }
    ConsoleData::setDirectory(QDir::cleanPath(directory));
    return true;
}

bool HostApplication::preparePlatform(const HostOptions &options, QString *error)
{
    const bool hasDisplay =
        !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (hasDisplay || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return true;
    if (!options.needsDisplay()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return true;
    }
    *error = QApplication::translate(
        "HostApplication",
        "no display: DISPLAY and WAYLAND_DISPLAY are not set. Start the console in a "
        "graphical session, under xvfb-run, or run a script with --batch.");
    return false;
}

QString HostApplication::askpassProgram()
{
    return askpassProgram(QCoreApplication::applicationDirPath());
}

RemoteHostConnection::Settings HostApplication::remoteSettings(const HostOptions &options)
{
    RemoteHostConnection::Settings settings;
    settings.target = options.hosts.value(0);
    settings.sshConfig = options.sshConfig;
    settings.batch = options.isBatch();
    settings.askpassProgram = askpassProgram();
    // A batch run never waits for a password: the greeting comes soon or not at all.
    if (settings.batch)
        settings.handshakeTimeoutMs = 120000;
    return settings;
}

int HostApplication::exec(const HostOptions &options)
{
    // Before any plug-in is loaded: modules ask for their rights while they are built.
    Module::setViewerMode(options.viewer);
    ChildProcess::setChangeLimitMs(options.changeTimeout * 1000);
    // Before any plug-in is loaded too: some create their icons when loaded.
    IconTheme::setUp();
    TaskObserver::instance();
    QString notice;
    const QSharedPointer<HostConnection> connection = connectHost(options, &notice);
    return options.isBatch() ? execBatch(options, connection, notice)
                             : execWindow(options, connection, notice);
}

int HostApplication::execFleet(const HostOptions &options)
{
    FleetRunner runner(options);
    const int code = runner.run();
    if (!runner.errorString().isEmpty())
        printError(runner.errorString());
    printReport(
        options, [&runner] { return runner.report(); }, [&runner] { return runner.textReport(); });
    return code;
}

QString HostApplication::bridgeProgram()
{
    return QStringLiteral(OXA_BRIDGE_PROGRAM);
}

QString HostApplication::installedAskpassProgram()
{
    return QStringLiteral(OXA_ASKPASS_PROGRAM);
}

QString HostApplication::askpassProgram(const QString &consoleDirectory)
{
    const QString installed = installedAskpassProgram();
    const QString directory = QDir::cleanPath(consoleDirectory);
    if (directory.isEmpty() || directory == QStringLiteral(OXA_CONSOLE_BIN_DIR))
        return installed;
    const QFileInfo beside(QDir(directory).filePath(QFileInfo(installed).fileName()));
    if (!beside.isFile() || !beside.isExecutable())
        return installed;
    if (ConsoleHost::trustedFilesOnly() &&
        !ConsoleHost::untrustedReason(beside.absoluteFilePath()).isEmpty())
        return installed;
    return beside.absoluteFilePath();
}

QStringList HostApplication::consoleArguments(const HostOptions &options, const SshTarget &target)
{
    // The new console starts where this one did: relative paths stay right, but absolute
    // ones say plainly what it got.
    const auto path = [](const QString &name, const QString &value) {
        return QStringLiteral("--%1=%2").arg(name, QDir(value).absolutePath());
    };
    QStringList arguments{QStringLiteral("--host=") + target.given};
    if (!options.sshConfig.isEmpty())
        arguments.append(path(QStringLiteral("ssh-config"), options.sshConfig));
    for (const QString &directory : options.pluginDirectories)
        arguments.append(path(QStringLiteral("plugin-dir"), directory));
    if (!options.dataDirectory.isEmpty())
        arguments.append(path(QStringLiteral("data-dir"), options.dataDirectory));
    return arguments;
}

bool HostApplication::startConsole(const HostOptions &options, const SshTarget &target,
                                   QString *error)
{
    QProcess process;
    process.setProgram(QCoreApplication::applicationFilePath());
    process.setArguments(consoleArguments(options, target));
    process.setStandardInputFile(QProcess::nullDevice());
    if (process.startDetached())
        return true;
    *error = process.errorString();
    return false;
}

QStringList HostApplication::bridgeCommand(const HostOptions &options, bool root)
{
    if (!options.bridgeCommand.isEmpty())
        return options.bridgeCommand;
    if (root || options.viewer)
        return {};
    // pkexec by its path: the caller's PATH does not choose what asks for the password.
    return {QStringLiteral("/usr/bin/pkexec"), bridgeProgram()};
}

QSharedPointer<HostConnection> HostApplication::connectHost(const HostOptions &options,
                                                            QString *notice)
{
    if (options.isRemote()) {
        // A host that cannot be reached is never replaced by this machine: the console stays
        // connected to nothing and says why.
        QSharedPointer<RemoteHostConnection> remote(
            new RemoteHostConnection(remoteSettings(options)));
        if (!remote->connectHost() && notice)
            *notice = remote->errorText();
        return remote;
    }
    const QStringList command = bridgeCommand(options, ::geteuid() == 0);
    if (command.isEmpty())
        return QSharedPointer<HostConnection>(new LocalHostConnection);
    QSharedPointer<BridgeHostConnection> bridge(new BridgeHostConnection(command));
    if (bridge->isConnected())
        return bridge;
    // Without the helper the console still serves, only reading, whoever runs it.
    Module::setViewerMode(true);
    if (notice) {
        *notice = QApplication::translate("HostApplication",
                                          "Only reading, without administrator rights: %1")
                      .arg(bridge->errorText());
    }
    return QSharedPointer<HostConnection>(new LocalHostConnection);
}

int HostApplication::execBatch(const HostOptions &options,
                               const QSharedPointer<HostConnection> &connection,
                               const QString &notice)
{
    const QString remoteHost = connection->remoteHost();
    const auto *remote = dynamic_cast<const RemoteHostConnection *>(connection.data());
    if (remote && !remote->isConnected()) {
        // No tree of this machine in its place: the report says which host failed, and why.
        const QJsonObject report = BatchReport::unconnected(remoteHost, notice);
        printReport(
            options, [&report] { return report; },
            [&report] { return BatchReport::toText(report); });
        return BatchRunner::ExitTaskFailed;
    }
    ConsoleHost host(nullptr, connection);
    loadPlugins(host, options);
    MainWindow window(&host);
    window.setStartupReads(false);
    window.setDiscardEditsWithoutAsking(true);
    setTitle(window, options, remoteHost);
    BatchRunner runner(&host, &window);
    runner.setHost(remoteHost);
    runner.setConnectionNotice(notice);
    host.waitForChecks();
    host.build(options.paranoid);
    const int code = runner.runFile(options.batchFile);
    if (!runner.errorString().isEmpty())
        printError(runner.errorString());
    printReport(
        options, [&runner] { return runner.report(); }, [&runner] { return runner.textReport(); });
    return code;
}

int HostApplication::execWindow(const HostOptions &options,
                                const QSharedPointer<HostConnection> &connection,
                                const QString &notice)
{
    const QString remoteHost = connection->remoteHost();
    const QSharedPointer<RemoteHostConnection> remote =
        connection.dynamicCast<RemoteHostConnection>();
    ConsoleHost host(nullptr, connection);
    // A host that was not reached gets no plug-ins: nothing of this machine is shown for it.
    // They come once Reconnect reaches it.
    bool pluginsLoaded = !remote || remote->isConnected();
    if (pluginsLoaded)
        loadPlugins(host, options);
    MainWindow window(&host);
    if (remote && !remote->isConnected())
        window.showConnectionFailure(notice);
    else
        window.setConnectionNotice(notice);
    setTitle(window, options, remoteHost);
    window.setConsoleStarter([&options](const SshTarget &target, QString *error) {
        return startConsole(options, target, error);
    });
    if (remote) {
        window.setReconnector([remote](QString *error) {
            if (remote->reconnect())
                return true;
            *error = remote->errorText();
            return false;
        });
        remote->setLostHandler(MainWindow::lostHandler(&window));
        QObject::connect(&window, &MainWindow::reconnected, &host,
                         [&host, &options, &pluginsLoaded] {
                             if (pluginsLoaded)
                                 return;
                             pluginsLoaded = true;
                             loadPlugins(host, options);
                             host.checkPlugins();
                         });
    }
    QObject::connect(&host, &ConsoleHost::pluginsChecked, &host,
                     [&host, &options] { host.build(options.paranoid); });
    window.show();
    // The checks may take up to 30 s each: the window is up and responsive meanwhile.
    if (pluginsLoaded)
        host.checkPlugins();
    const int code = qApp->exec();
    // The window goes: a connection that ends from now on has nobody to tell.
    if (remote)
        remote->setLostHandler({});
    return code;
}
