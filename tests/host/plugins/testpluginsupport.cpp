#include "testpluginsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

namespace TestPluginSupport {

QString scriptDirectory()
{
    const QString dir = qEnvironmentVariable("OXA_HOST_TEST_DIR");
    return dir.isEmpty() ? QStringLiteral("/nonexistent/oxa-host-test") : dir;
}

QString scriptPath(const QString &name)
{
    return scriptDirectory() + QLatin1Char('/') + name;
}

bool barrier(const QString &name)
{
    const QString directory = qEnvironmentVariable("OXA_HOST_TEST_BARRIER_DIR");
    const int count = qEnvironmentVariableIntValue("OXA_HOST_TEST_BARRIER_COUNT");
    if (directory.isEmpty() || count <= 0)
        return true;
    QFile mark(directory + QLatin1Char('/') + name);
    if (!mark.open(QIODevice::WriteOnly))
        return false;
    mark.close();
    const int waitMs = qEnvironmentVariableIsSet("OXA_HOST_TEST_BARRIER_WAIT_MS")
                           ? qEnvironmentVariableIntValue("OXA_HOST_TEST_BARRIER_WAIT_MS")
                           : 20000;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < waitMs) {
        if (QDir(directory).entryList(QDir::Files).size() >= count)
            return true;
        QThread::msleep(20);
    }
    return false;
}

} // namespace TestPluginSupport
