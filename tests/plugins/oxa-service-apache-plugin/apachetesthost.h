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

#include <QDir>
#include <QFile>
#include <QStringList>

#include <memory>

namespace ApacheTestHost {

/// Where the recording init script (writeRecordingInitScript) keeps its log and state.
inline const QString stateDirectory = QStringLiteral("/var/lib/oxa-apache-test");
inline const QString initLog = stateDirectory + QStringLiteral("/init.log");
inline const QString runningFlag = stateDirectory + QStringLiteral("/running");

/**
 * Apache's configuration as a fresh install of the package leaves it, whatever the machine's
 * administrator has enabled or added since: the site files the package ships, its default site
 * enabled, and the modules its maintainer scripts enabled (Debian records those in
 * /var/lib/apache2/module/enabled_by_maint).
 */
inline bool resetToFreshInstall(TestHost &host)
{
    const QString etc = QStringLiteral("/etc/apache2");
    QFile list(QStringLiteral("/var/lib/dpkg/info/apache2.list"));
    if (!QDir(etc).exists() || !list.open(QIODevice::ReadOnly))
        return true; // no apache2 here: the suites lay what they need
    const QStringList shipped = QString::fromLocal8Bit(list.readAll()).split(QLatin1Char('\n'));
    const QString available = etc + QStringLiteral("/sites-available/");
    for (const QString &name : QDir(available).entryList(QDir::Files | QDir::System)) {
        if (!shipped.contains(available + name) && !host.removePath(available + name))
            return false;
    }
    for (const char *enabled : {"/sites-enabled", "/mods-enabled"}) {
        const QString directory = etc + QLatin1String(enabled);
        if (!host.removePath(directory) || !host.mkdir(directory))
            return false;
    }
    if (QFile::exists(available + QStringLiteral("000-default.conf")) &&
        !host.writeSymlink(etc + QStringLiteral("/sites-enabled/000-default.conf"),
                           QStringLiteral("../sites-available/000-default.conf")))
        return false;
    const QDir byMaintainer(QStringLiteral("/var/lib/apache2/module/enabled_by_maint"));
    for (const QString &module : byMaintainer.entryList(QDir::Files)) {
        for (const QString &suffix : {QStringLiteral(".load"), QStringLiteral(".conf")}) {
            const QString file = module + suffix;
            if (QFile::exists(etc + QStringLiteral("/mods-available/") + file) &&
                !host.writeSymlink(etc + QStringLiteral("/mods-enabled/") + file,
                                   QStringLiteral("../mods-available/") + file))
                return false;
        }
    }
    return true;
}

/**
 * apache2ctl makes its run and lock directories under /var/run and /var/lock, links to the
 * machine's /run; as directories of the overlay they stay inside the host. The configuration
 * starts as a fresh install leaves it.
 */
inline bool prepare(TestHost &host)
{
    return host.removePath(QStringLiteral("/var/run")) && host.mkdir(QStringLiteral("/var/run")) &&
           host.removePath(QStringLiteral("/var/lock")) &&
           host.mkdir(QStringLiteral("/var/lock")) && host.mkdir(stateDirectory) &&
           resetToFreshInstall(host);
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
