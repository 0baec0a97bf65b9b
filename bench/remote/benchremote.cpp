// Times the console on remote hosts over ssh against the test fleet (remotetesthost.h: each
// host a network namespace of this machine with its own sshd), at 0 and 20 ms added round-trip
// time (the delaying relay in the ProxyCommand), each figure beside its target:
//
//   one remote host: a batch run (the tree and one state read) with --host, against
//     the same run of a local console inside that host + the ssh handshake alone (`ssh HOST
//     true` through the same ProxyCommand) + 2 round trips;
//   10 and 50 hosts: one batch run with --host repeated, against 1.5 x the larger of one
//     host's time and the processor floor: the processor time of everything the run made
//     (the consoles, ssh and the proxies, counted by getrusage(RUSAGE_CHILDREN); sshd, its
//     sessions and the helper on the hosts' side, counted by each host's sshd) / 2 cores.
//
// Needs root (network namespaces) and the service packages (scripts/install-services).
//   bench-remote [--runs N] [--hosts 10,50] [--delays 0,20]
// Every figure is the median of N runs (default 3).

#include "consolebatch.h"
#include "remotetesthost.h"
#include "testhost.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace {

/// The tree and one state read: what an administrator's smallest look at a host costs.
const QByteArray script = "perform read-light ServiceCron\n";

QStringList benchPlugins()
{
    return QString::fromLocal8Bit(OXA_BENCH_PLUGIN_FILES)
        .split(QLatin1Char(':'), Qt::SkipEmptyParts);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

double childrenCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

/// Processor seconds of @p pid and its reaped children (/proc/PID/stat utime..cstime).
double processTreeCpuSeconds(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0.0;
    const QByteArray stat = file.readAll();
    // The fields after the command's closing parenthesis: state is field 3, utime 14.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 15)
        return 0.0;
    const double ticks = double(sysconf(_SC_CLK_TCK));
    return (fields.at(11).toDouble() + fields.at(12).toDouble() + fields.at(13).toDouble() +
            fields.at(14).toDouble()) /
           ticks;
}

/// The sshd listening in the host whose process is @p hostPid (its child).
qint64 serverOf(qint64 hostPid)
{
    QFile file(QStringLiteral("/proc/%1/task/%1/children").arg(hostPid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &word : file.readAll().simplified().split(' ')) {
        QFile comm(QStringLiteral("/proc/%1/comm").arg(QString::fromLatin1(word)));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "sshd")
            return word.toLongLong();
    }
    return 0;
}

struct Fleet
{
    RemoteTestFleet fleet;
    QList<qint64> servers;
};

double hostsSideCpu(const Fleet &fleet)
{
    double total = 0.0;
    for (qint64 pid : fleet.servers)
        total += processTreeCpuSeconds(pid);
    return total;
}

/// Milliseconds the program took; false when it failed.
bool timeProgram(QStringList command, double *ms)
{
    QProcess process;
    // ssh's and the proxy's words (nc -v says it connected) are no figure.
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.setStandardInputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(command.takeFirst(), command);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return false;
    *ms = double(timer.nsecsElapsed()) / 1e6;
    return true;
}

/// Milliseconds of one console batch run on @p hosts remote hosts (0: a local console);
/// false, saying why, when it failed or did not serve them all.
bool timeConsole(const ConsoleBatch &console, int hosts, double *ms)
{
    QElapsedTimer timer;
    timer.start();
    const ConsoleBatchResult result = console.run(script, 600000);
    *ms = double(timer.nsecsElapsed()) / 1e6;
    if (!result.ran || !result.reportParsed || result.exitCode != 0) {
        std::fprintf(stderr, "bench-remote: the console failed (exit %d): %s\n", result.exitCode,
                     result.errors.right(2000).constData());
        return false;
    }
    // A console that ignored --host would time this machine, not the hosts.
    QList<QJsonObject> served;
    if (hosts == 1) {
        served << result.report;
    } else {
        for (const QJsonValue &value : result.report.value(QStringLiteral("hosts")).toArray())
            served << value.toObject();
    }
    int connected = 0;
    for (const QJsonObject &host : served) {
        if (host.value(QStringLiteral("connected")).toBool() &&
            !host.value(QStringLiteral("host")).toString().isEmpty() &&
            !host.value(QStringLiteral("tree")).toArray().isEmpty())
            ++connected;
    }
    if (hosts > 0 && connected != hosts) {
        std::fprintf(stderr, "bench-remote: %d of %d hosts served\n", connected, hosts);
        return false;
    }
    return true;
}

QList<int> parseList(const char *text)
{
    QList<int> values;
    for (const QByteArray &word : QByteArray(text).split(',')) {
        bool ok = false;
        const int value = word.toInt(&ok);
        if (!ok || value < 0)
            return {};
        values << value;
    }
    return values;
}

/// The load average of the last minute, and a warning when others use the processors: the
/// figures then include waiting for them, while the floor counts this run's processor time.
void reportLoad(const char *when)
{
    double load[1] = {0.0};
    if (getloadavg(load, 1) != 1)
        return;
    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    std::printf("load average %s: %.1f on %ld cores%s\n", when, load[0], cores,
                load[0] > double(cores) ? " (busy: the times include waiting for processors "
                                          "others use)"
                                        : "");
}

QString aliasOf(int host, int rttMs)
{
    return rttMs == 0 ? QStringLiteral("h%1").arg(host)
                      : QStringLiteral("h%1-d%2").arg(host).arg(rttMs);
}

} // namespace

int main(int argc, char *argv[])
{
    // The namespaces' names and the hosts' mounts stay in this process's own mount namespace.
    TestHost::enterPrivateNamespace();
    QCoreApplication application(argc, argv);
    int runs = 3;
    QList<int> fleetSizes = {10, 50};
    QList<int> delays = {0, 20};
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument = argv[i];
        bool ok = i + 1 < argc;
        if (ok && argument == "--runs")
            ok = (runs = QByteArray(argv[++i]).toInt()) > 0;
        else if (ok && argument == "--hosts")
            ok = !(fleetSizes = parseList(argv[++i])).isEmpty();
        else if (ok && argument == "--delays")
            ok = !(delays = parseList(argv[++i])).isEmpty();
        else
            ok = false;
        if (!ok) {
            std::fprintf(stderr, "usage: %s [--runs N] [--hosts 10,50] [--delays 0,20]\n", argv[0]);
            return 2;
        }
    }
    const int hostCount = std::max(1, *std::max_element(fleetSizes.begin(), fleetSizes.end()));

    Fleet fleet;
    if (!fleet.fleet.isAvailable()) {
        std::fprintf(stderr, "bench-remote: no test fleet: %s\n",
                     qPrintable(fleet.fleet.unavailableReason()));
        return 1;
    }
    QElapsedTimer setup;
    setup.start();
    for (int i = 1; i <= hostCount; ++i) {
        RemoteTestHost *host = fleet.fleet.addHost(QStringLiteral("h%1").arg(i));
        if (!host) {
            std::fprintf(stderr, "bench-remote: %s\n", qPrintable(fleet.fleet.errorString()));
            return 1;
        }
        fleet.servers << serverOf(host->pid());
        for (int rtt : delays) {
            if (rtt == 0)
                continue;
            RemoteAlias alias;
            alias.alias = aliasOf(i, rtt);
            alias.host = host->name();
            alias.delayMs = rtt / 2; // held once each way
            if (!fleet.fleet.addAlias(alias)) {
                std::fprintf(stderr, "bench-remote: %s\n", qPrintable(fleet.fleet.errorString()));
                return 1;
            }
        }
    }
    std::printf("bench-remote: %d test hosts ready in %.1f s; %d runs per figure (median); "
                "script: %s",
                hostCount, double(setup.elapsed()) / 1000.0, runs, script.constData());
    std::printf("the hosts' side (sshd, sessions, helper) runs on this machine too: its "
                "processor time counts in the floor\n");
    reportLoad("before");
    std::printf("\n");

    ConsoleBatch local(benchPlugins());
    local.setRunAs(fleet.fleet.host(QStringLiteral("h1"))->enterCommand());
    std::vector<double> localTimes;
    for (int run = 0; run < runs; ++run) {
        double ms = 0;
        if (!timeConsole(local, 0, &ms))
            return 1;
        localTimes.push_back(ms);
    }
    const double localMs = median(localTimes);
    std::printf("local console inside host h1                %8.1f ms\n\n", localMs);

    for (int rtt : delays) {
        std::printf("added round-trip time %d ms:\n", rtt);
        std::vector<double> handshakes;
        std::vector<double> ones;
        ConsoleBatch one(benchPlugins());
        one.setArguments({QStringLiteral("--host"), aliasOf(1, rtt), QStringLiteral("--ssh-config"),
                          fleet.fleet.sshConfig()});
        for (int run = 0; run < runs; ++run) {
            double ms = 0;
            if (!timeProgram(fleet.fleet.sshCommand(aliasOf(1, rtt), {QStringLiteral("true")}),
                             &ms)) {
                std::fprintf(stderr, "bench-remote: ssh %s true failed\n",
                             qPrintable(aliasOf(1, rtt)));
                return 1;
            }
            handshakes.push_back(ms);
            if (!timeConsole(one, 1, &ms))
                return 1;
            ones.push_back(ms);
        }
        const double handshakeMs = median(handshakes);
        const double oneMs = median(ones);
        const double oneTarget = localMs + handshakeMs + 2.0 * rtt;
        std::printf("  ssh handshake alone (ssh HOST true)       %8.1f ms\n", handshakeMs);
        std::printf("  one remote host                           %8.1f ms   target %8.1f ms "
                    "(local + handshake + 2 round trips)  %s\n",
                    oneMs, oneTarget, oneMs <= oneTarget ? "met" : "MISSED");

        for (int size : fleetSizes) {
            if (size < 2)
                continue;
            ConsoleBatch many(benchPlugins());
            QStringList arguments = {QStringLiteral("--ssh-config"), fleet.fleet.sshConfig()};
            for (int i = 1; i <= size; ++i)
                arguments << QStringLiteral("--host") << aliasOf(i, rtt);
            many.setArguments(arguments);
            std::vector<double> times;
            std::vector<double> cpus;
            for (int run = 0; run < runs; ++run) {
                const double cpuBefore = childrenCpuSeconds() + hostsSideCpu(fleet);
                double ms = 0;
                if (!timeConsole(many, size, &ms))
                    return 1;
                times.push_back(ms);
                cpus.push_back(childrenCpuSeconds() + hostsSideCpu(fleet) - cpuBefore);
            }
            const double ms = median(times);
            const double cpu = median(cpus);
            const double floorMs = cpu * 1000.0 / 2.0;
            const double target = 1.5 * std::max(oneMs, floorMs);
            std::printf("  %2d hosts                                  %8.1f ms   target %8.1f ms "
                        "(1.5 x max(one host, floor %.1f ms = %.2f s processor / 2 cores))  %s\n",
                        size, ms, target, floorMs, cpu, ms <= target ? "met" : "MISSED");
        }
        std::printf("\n");
    }
    reportLoad("after");
    return 0;
}
