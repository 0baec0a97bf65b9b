// A test program that lacks the private namespace on purpose: tst_testhost runs it to check
// that tests needing a TestHost then skip, or fail under CI, with the reason.

#include "testhost.h"

#include <QCoreApplication>
#include <QTest>

#include <condition_variable>
#include <mutex>
#include <thread>

/** The one test of the probe: needs a host it cannot have. */
class TestHostProbe : public QObject
{
    Q_OBJECT

private slots:
    void needsHost()
    {
        TestHost host;
        OXA_REQUIRE_TEST_HOST(host);
        QFAIL("a TestHost was available without a private namespace");
    }
};

int main(int argc, char *argv[])
{
    // OXA_PROBE_LATE: enter the namespace too late, with another thread running.
    if (qEnvironmentVariableIsSet("OXA_PROBE_LATE")) {
        std::mutex mutex;
        std::condition_variable done;
        bool entered = false;
        std::thread other([&] {
            std::unique_lock<std::mutex> lock(mutex);
            done.wait(lock, [&] { return entered; });
        });
        TestHost::enterPrivateNamespace();
        {
            std::lock_guard<std::mutex> lock(mutex);
            entered = true;
        }
        done.notify_one();
        other.join();
    }
    QCoreApplication app(argc, argv);
    TestHostProbe probe;
    return QTest::qExec(&probe, argc, argv);
}

#include "testhostprobe.moc"
