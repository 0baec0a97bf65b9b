#include "consolehost.h"
#include "hostapplication.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    // Before anything reads the environment: Qt reads its plug-in paths when it starts.
    HostApplication::dropCallersCodePaths();
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const HostOptions options = HostOptions::parse(arguments);
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "vell-admin-service: %s\nTry \"vell-admin-service --help\".\n",
                     qPrintable(options.error));
        return HostApplication::ExitBadArguments;
    }
    if (options.help) {
        std::fputs(qPrintable(HostOptions::helpText()), stdout);
        return HostApplication::ExitSuccess;
    }
    QString error;
    if (!HostApplication::chooseDataDirectory(options, &error)) {
        std::fprintf(stderr, "vell-admin-service: %s\n", qPrintable(error));
        return HostApplication::ExitBadArguments;
    }
    if (options.isFleet()) {
        // One child console per host does the work: this process loads no plug-in.
        int qtArgc = 1;
        QCoreApplication application(qtArgc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("vell-admin-service"));
        return HostApplication::execFleet(options);
    }
    if (!HostApplication::preparePlatform(options, &error)) {
        std::fprintf(stderr, "vell-admin-service: %s\n", qPrintable(error));
        return HostApplication::ExitCannotStart;
    }
    // The plug-in libraries' preparations (questions to tools) run while Qt starts up, when
    // they are to ask this machine; a remote host's wait for its connection.
    ConsoleHost::preloadLibraries(ConsoleHost::defaultSearchPath(options.pluginDirectories),
                                  options.hosts.isEmpty());
    // Qt reads its own options (-platformpluginpath, -style, ...) from the arguments it is
    // given, even from an option's value ("--title -platformpluginpath ..."): it gets none.
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("vell-admin-service"));
    return HostApplication::exec(options);
}
