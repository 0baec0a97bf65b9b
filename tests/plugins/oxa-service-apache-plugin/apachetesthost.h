#pragma once

// What the Apache suites share: a disposable host in which the real apache2ctl, a2ensite,
// a2dissite, a2enmod and a2dismod run, the module's elements as the console's tree holds
// them, and a readable form of the nodes a read builds.

#include "moduletreenodes.h"
#include "serviceapachemodule.h"
#include "sitetreenodes.h"
#include "testhost.h"

#include <element.h>
#include <taskobserver.h>

#include <QStringList>

#include <memory>

namespace ApacheTestHost {

/// Where the recording init script (writeRecordingInitScript) keeps its log and state.
inline const QString stateDirectory = QStringLiteral("/var/lib/oxa-apache-test");
inline const QString initLog = stateDirectory + QStringLiteral("/init.log");
inline const QString runningFlag = stateDirectory + QStringLiteral("/running");

/**
 * apache2ctl makes its run and lock directories under /var/run and /var/lock, links to the
 * machine's /run; as directories of the overlay they stay inside the host.
 */
inline bool prepare(TestHost &host)
{
    return host.removePath(QStringLiteral("/var/run")) && host.mkdir(QStringLiteral("/var/run")) &&
           host.removePath(QStringLiteral("/var/lock")) &&
           host.mkdir(QStringLiteral("/var/lock")) && host.mkdir(stateDirectory);
}

/**
 * An init script that logs each action and answers "status" from a flag file: the real one
 * would start a real server on restart, which no test may leave behind.
 */
inline bool writeRecordingInitScript(TestHost &host, bool running)
{
    if (running && !host.writeFile(runningFlag, QByteArray()))
        return false;
    return host.writeScript(
        QStringLiteral("/etc/init.d/apache2"),
        QStringLiteral("echo \"$*\" >> %1\n"
                       "if [ \"$1\" = status ]; then [ -e %2 ] && exit 0; exit 3; fi\n"
                       "exit 0\n")
            .arg(initLog, runningFlag));
}

/// The actions the recording init script was asked for, "status" left out.
inline QStringList controlActions()
{
    QFile file(initLog);
    QStringList actions;
    if (!file.open(QIODevice::ReadOnly))
        return actions;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (!line.isEmpty() && line != "status")
            actions << QString::fromLocal8Bit(line);
    }
    return actions;
}

/// Sites as "site:NAME", hosts as "host:NAME|ADDRESS|CONFIG", modules as "NAME|TYPE".
inline QStringList describe(const QList<TreeNode *> &nodes)
{
    QStringList rows;
    for (TreeNode *node : nodes) {
        if (auto *site = qobject_cast<SiteTreeNode *>(node))
            rows << QStringLiteral("site:") + site->name();
        else if (auto *host = qobject_cast<HostTreeNode *>(node))
            rows << QStringLiteral("host:%1|%2|%3")
                        .arg(host->name(), host->address(), host->config());
        else
            rows << node->data(0, Qt::DisplayRole).toString() + QLatin1Char('|') +
                        node->data(1, Qt::DisplayRole).toString();
    }
    return rows;
}

/**
 * A fresh disposable host and the module's two elements as the console's tree holds them,
 * for the suites that run the tasks: they derive from it, call setUpTree() in init() and
 * tearDownTree() in cleanup().
 */
class TaskFixture
{
protected:
    /// Whether the module has its service and modules elements.
    bool setUpTree()
    {
        m_host.reset(new TestHost);
        m_module.reset(new ServiceApacheModule(nullptr));
        m_service = m_module->elements().value(0);
        m_modules = m_module->elements().value(1);
        if (!m_service || !m_modules)
            return false;
        // As in the console's tree: the modules element hangs under the service element.
        m_service->append(m_modules);
        return true;
    }

    /// Waits for the tasks still running, then drops the module and the host.
    void tearDownTree()
    {
        TaskObserver::instance()->waitForIdle(60000);
        m_module.reset();
        m_host.reset();
    }

    std::unique_ptr<TestHost> m_host;
    std::unique_ptr<ServiceApacheModule> m_module;
    Element *m_service = nullptr;
    Element *m_modules = nullptr;
};

} // namespace ApacheTestHost

/** Fails the test function when the host cannot be made ready for Apache's tools. */
#define OXA_PREPARE_APACHE_HOST(host)                                                              \
    do {                                                                                           \
        OXA_REQUIRE_TEST_HOST(host);                                                               \
        QVERIFY2(ApacheTestHost::prepare(host), qPrintable((host).errorString()));                 \
    } while (false)
