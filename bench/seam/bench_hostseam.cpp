// A state read and a configuration read, 20 rounds each, in one run: through the host
// connection as the tasks make them (a ServiceTask's status run, a read through the task's
// LocalHostConnection) against the direct calls the code made before (ChildProcess::run,
// RegularFile). The tasks are made outside the clock, as the code before made them too. The rounds
// of both ways alternate, so that what the machine does meanwhile falls on both alike. Prints the
// median, the interquartile range and min-max of each, in microseconds. Runs in a disposable test
// host (root, or a user namespace): the status script and the configuration file are its own.
#include <childprocess.h>
#include <element.h>
#include <hostconnection.h>
#include <hostfiles.h>
#include <localhostconnection.h>
#include <module.h>
#include <readlimits.h>
#include <regularfile.h>
#include <servicetasks.h>
#include <testhost.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

const int rounds = 20;
const QString script = QStringLiteral("/etc/init.d/oxa-bench");
const QString configFile = QStringLiteral("/etc/oxa-bench/bench.conf");

/// A configuration of about 20 KiB, as a service's main file is.
QByteArray configuration()
{
    QByteArray text;
    for (int i = 0; i < 400; ++i)
        text += "# setting " + QByteArray::number(i) + "\nkey" + QByteArray::number(i) +
                " = some value of the setting\n";
    return text;
}

struct Series
{
    std::vector<qint64> us;
};

/// The value at fraction @p q of the sorted @p values (linear between neighbours).
double quantile(const std::vector<qint64> &values, double q)
{
    const double at = q * double(values.size() - 1);
    const std::size_t below = std::size_t(at);
    const std::size_t above = std::min(below + 1, values.size() - 1);
    return double(values[below]) + (at - double(below)) * double(values[above] - values[below]);
}

void print(QTextStream &out, const char *what, const char *way, Series series)
{
    std::sort(series.us.begin(), series.us.end());
    out << QString::asprintf("%-20s %-8s median %9.1f  IQR %9.1f - %9.1f  min-max %7lld - %7lld\n",
                             what, way, quantile(series.us, 0.5), quantile(series.us, 0.25),
                             quantile(series.us, 0.75), series.us.front(), series.us.back());
}

qint64 timed(const std::function<void()> &work)
{
    QElapsedTimer clock;
    clock.start();
    work();
    return clock.nsecsElapsed() / 1000;
}

} // namespace

int main(int argc, char *argv[])
{
    // Before any thread: the host's overlays must be this process's alone.
    const bool isolated = TestHost::enterPrivateNamespace();
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (!isolated) {
        err << "bench_hostseam: no private mount namespace (run as root)\n";
        return 2;
    }
    TestHost host;
    if (!host.isAvailable()) {
        err << "bench_hostseam: " << host.unavailableReason() << '\n';
        return 2;
    }
    if (!host.writeStatusScript(script, 3) || !host.writeFile(configFile, configuration())) {
        err << "bench_hostseam: " << host.errorString() << '\n';
        return 2;
    }

    // The module gets the connection as the console gives it; the tasks take it from there.
    Module module(QStringLiteral("Bench"));
    module.setHostConnection(QSharedPointer<HostConnection>(new LocalHostConnection));
    ServiceElement element(&module, [](const Module *) { return true; });

    Series stateSeam, stateDirect, readSeam, readDirect;
    int failures = 0;
    // Each read of one way, then of the other; which goes first alternates by round, so
    // that neither always follows a child process (which leaves the caches cold).
    const std::function<void()> ways[] = {
        [&] {
            // The task is made outside the clock: the code before made the same one.
            ServiceTask task(&element, script, ServiceTask::statusAction());
            stateSeam.us.push_back(timed([&] {
                task.run();
                failures += task.isStateRead() && !task.stateRecord().state() ? 0 : 1;
            }));
        },
        [&] {
            stateDirect.us.push_back(timed([&] {
                const ProcessResult result =
                    ChildProcess::run(script, {ServiceTask::statusAction()});
                failures += result.finished && result.exitCode == 3 ? 0 : 1;
            }));
        },
        [&] {
            ServiceTask task(&element);
            readSeam.us.push_back(timed([&] {
                const HostFileContent content =
                    task.host().readFile(configFile, ReadLimits::maxFileBytes);
                HostFiles::ContentDevice bytes(content.data);
                bool cut = content.cut;
                const QString text =
                    ChildProcess::decodeLocal8Bit(ReadLimits::readText(&bytes, &cut));
                failures += content.ok() && text.size() > 10000 ? 0 : 1;
            }));
        },
        [&] {
            readDirect.us.push_back(timed([&] {
                QFile file;
                if (RegularFile::open(&file, configFile) != RegularFile::Opened) {
                    ++failures;
                    return;
                }
                bool cut = false;
                const QString text =
                    ChildProcess::decodeLocal8Bit(ReadLimits::readText(&file, &cut));
                failures += text.size() > 10000 ? 0 : 1;
            }));
        },
    };
    for (int i = 0; i < rounds; ++i) {
        const int first = i % 2;
        ways[first]();
        ways[1 - first]();
        ways[2 + first]();
        ways[3 - first]();
    }
    out << rounds << " rounds each, microseconds\n";
    print(out, "state read", "seam", stateSeam);
    print(out, "state read", "direct", stateDirect);
    print(out, "configuration read", "seam", readSeam);
    print(out, "configuration read", "direct", readDirect);
    if (failures) {
        err << "bench_hostseam: " << failures << " reads did not give what was written\n";
        return 1;
    }
    return 0;
}
