// The console in batch mode with the Services root, Samba and log plug-ins loaded from their
// libraries, on a disposable host running "systemd" (a /run of the test's own) with a fake
// journalctl and Samba's own log file.

#include "consolebatch.h"
#include "testhost.h"

#include <QFile>
#include <QTest>

#include <memory>

#include <sys/mount.h>
#include <sys/stat.h>

namespace {
const QString argsFile = QStringLiteral("/var/tmp/journalctl.args");
}

class TestLogBatch : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void readOnlyWhenShown();

private:
    std::unique_ptr<TestHost> m_host;
    bool m_runMounted = false;
};

void TestLogBatch::init()
{
    m_host = std::make_unique<TestHost>();
    m_runMounted = m_host->isAvailable() &&
                   ::mount("tmpfs", "/run", "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755") == 0 &&
                   ::mkdir("/run/systemd", 0755) == 0 && ::mkdir("/run/systemd/system", 0755) == 0;
}

void TestLogBatch::cleanup()
{
    if (m_runMounted)
        ::umount2("/run", MNT_DETACH);
    m_runMounted = false;
    m_host.reset();
}

void TestLogBatch::readOnlyWhenShown()
{
    OXA_REQUIRE_TEST_HOST(*m_host);
    QVERIFY(m_runMounted);
    QVERIFY(m_host->installPackage(QStringLiteral("samba"), QStringLiteral("2:4.17.12")));
    QVERIFY(m_host->writeStatusScript(QStringLiteral("/etc/init.d/smbd"), 0));
    QVERIFY(m_host->writeFile(QStringLiteral("/etc/samba/smb.conf"), "[global]\n"));
    QVERIFY(m_host->writeFile(QStringLiteral("/var/log/samba/log.smbd"), "smbd own line\n"));
    QVERIFY(m_host->writeTool(
        QStringLiteral("journalctl"),
        QStringLiteral("echo \"$*\" > %1\n"
                       "echo '{\"__REALTIME_TIMESTAMP\":\"1765242000000000\",\"PRIORITY\":\"3\","
                       "\"_COMM\":\"smbd\",\"MESSAGE\":\"cannot bind\"}'")
            .arg(argsFile)));
    ConsoleBatch console({QStringLiteral(OXA_SERVICES_PLUGIN_FILE),
                          QStringLiteral(OXA_SAMBA_PLUGIN_FILE),
                          QStringLiteral(OXA_LOG_PLUGIN_FILE)});
    console.setEnvironment(QStringLiteral("TZ"), QStringLiteral("UTC"));
    QVERIFY2(console.isValid(), qPrintable(console.errorString()));

    // The tree holds the log, but nothing reads it while it is not shown.
    ConsoleBatchResult result = console.run("perform read-light ServiceServices\n");
    QVERIFY2(result.ran && result.exitCode == 0, result.errors.constData());
    const QJsonObject samba =
        ConsoleBatch::elementById(result.tree(), QStringLiteral("ServiceSamba"));
    QVERIFY(!ConsoleBatch::elementByTitle(samba.value(QStringLiteral("children")).toArray(),
                                          QStringLiteral("Log"))
                 .isEmpty());
    QVERIFY(!QFile::exists(argsFile));

    // Shown: read, and the dump holds the lines, the error marked in words.
    result = console.run("show ServiceSamba/Log\n");
    QVERIFY2(result.ran && result.exitCode == 0, result.errors.constData());
    QVERIFY(QFile::exists(argsFile));
    const QJsonObject widget =
        ConsoleBatch::widgetOf(result.report, QStringLiteral("ServiceSamba/Log"));
    const QJsonObject view = ConsoleBatch::widgetChild(widget, QStringLiteral("_logTextEdit"));
    QCOMPARE(view.value(QStringLiteral("text")).toString(),
             QStringLiteral("==> journal: smbd.service\n"
                            "ERROR   2025-12-09T01:00:00Z smbd: cannot bind\n"
                            "==> file: /var/log/samba/log.smbd\n"
                            "        smbd own line"));
    QVERIFY(!ConsoleBatch::widgetChild(widget, QStringLiteral("_filterLineEdit")).isEmpty());
}

OXA_TEST_MAIN(TestLogBatch)
#include "tst_logbatch.moc"
