// vell-admin-demo: starts the console on a disposable demo host. The console sees the demo's
// files and tools at their real paths and its packages in dpkg's database; the machine
// itself is never changed (see demo/README.md).

#include "hostlayout.h"
#include "testhost.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QVector>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

const char usage[] =
    "Usage: vell-admin-demo --layout DIR --console PROGRAM [--copy SOURCE=TARGET]...\n"
    "                       [--title TEXT] [--] [console arguments...]\n"
    "Starts PROGRAM in a private view of this machine: DIR/root laid over /etc, /var and\n"
    "/usr/share, the programs of DIR/bin in /usr/bin (or /usr/sbin, where the real one is),\n"
    "the packages of DIR/packages as dpkg's whole database, and every SOURCE directory\n"
    "copied to TARGET. PROGRAM gets --title TEXT\n"
    "(default \"vell-admin-service (demo)\") unless its own arguments hold --title.\n";

int fail(const QString &message)
{
    fprintf(stderr, "vell-admin-demo: %s\n", qPrintable(message));
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    // First of all, while the process has a single thread.
    const bool entered = TestHost::enterPrivateNamespace();
    QCoreApplication app(argc, argv);

    QString layout;
    QString console;
    QString title = QStringLiteral("vell-admin-service (demo)");
    QStringList copies;
    QStringList consoleArguments;
    const QStringList arguments = QCoreApplication::arguments();
    for (int i = 1; i < arguments.size(); ++i) {
        const QString argument = arguments.at(i);
        const bool hasValue = i + 1 < arguments.size();
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            fputs(usage, stdout);
            return 0;
        } else if (argument == QLatin1String("--")) {
            consoleArguments = arguments.mid(i + 1);
            break;
        } else if (argument == QLatin1String("--layout") && hasValue) {
            layout = arguments.at(++i);
        } else if (argument == QLatin1String("--console") && hasValue) {
            console = arguments.at(++i);
        } else if (argument == QLatin1String("--copy") && hasValue) {
            copies.append(arguments.at(++i));
        } else if (argument == QLatin1String("--title") && hasValue) {
            title = arguments.at(++i);
        } else {
            // The rest belongs to the console.
            consoleArguments = arguments.mid(i);
            break;
        }
    }
    if (layout.isEmpty() || console.isEmpty()) {
        fputs(usage, stderr);
        return 2;
    }
    if (!QFileInfo(console).isExecutable())
        return fail(
            QStringLiteral("%1 is not an executable program (build it first)").arg(console));

    // The console stays in this process's namespace when it replaces the launcher below, so
    // the host must outlive this scope: it is never destroyed, and its mounts go away with
    // the last process of the namespace (the console, or a program it left running).
    auto *host = new TestHost;
    if (!entered || !host->isAvailable())
        return fail(QStringLiteral("cannot make the disposable demo host: %1")
                        .arg(host->unavailableReason()));
    QString error;
    if (!HostLayout::apply(*host, layout, &error))
        return fail(error);
    for (const QString &copy : copies) {
        const int eq = copy.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return fail(QStringLiteral("--copy wants SOURCE=TARGET, not %1").arg(copy));
        const QString source = copy.left(eq);
        if (!QFileInfo(source).isDir())
            continue; // not built (or not written) yet: the console copes without it
        if (!host->copyTree(source, copy.mid(eq + 1)))
            return fail(host->errorString());
    }

    const bool hasTitle = std::any_of(consoleArguments.cbegin(), consoleArguments.cend(),
                                      [](const QString &argument) {
                                          return argument == QLatin1String("--title") ||
                                                 argument.startsWith(QLatin1String("--title="));
                                      });
    if (!hasTitle)
        consoleArguments = QStringList{QStringLiteral("--title"), title} + consoleArguments;

    // exec rather than a child: Ctrl+C, the exit code and the terminal are the console's own.
    QList<QByteArray> storage{QFile::encodeName(console)};
    for (const QString &argument : consoleArguments)
        storage.append(argument.toLocal8Bit());
    QVector<char *> argvOut;
    for (QByteArray &argument : storage)
        argvOut.append(argument.data());
    argvOut.append(nullptr);
    fflush(stdout);
    fflush(stderr);
    execv(argvOut.first(), argvOut.data());
    return fail(QStringLiteral("cannot start %1: %2")
                    .arg(console, QString::fromLocal8Bit(strerror(errno))));
}
