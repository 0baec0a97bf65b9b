#include "hostfiles.h"
#include "packagecheckedcontroltask.h"
#include "servicefamily.h"
#include "serviceheavyreadtask.h"
#include "testhost.h"

#include <element.h>
#include <localhostconnection.h>
#include <module.h>

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <mutex>

#include <sys/stat.h>
#include <unistd.h>

/**
 * The shared tasks reach the host through the connection their module was given, never on
 * their own; and a listing through it keeps the files, filters and order a directory listing
 * of the local disk gave.
 */
class TestHostSeam : public QObject
{
    Q_OBJECT

private slots:
    void tasksGoThroughTheModulesConnection_data();
    void tasksGoThroughTheModulesConnection();
    void filesAsTheLocalListingGaveThem_data();
    void filesAsTheLocalListingGaveThem();
    void directoryThatCannotBeListed();
    void helpersCauseReachesTheMessage_data();
    void helpersCauseReachesTheMessage();
};

namespace {

/// The local machine, noting every call that reaches it.
class RecordingConnection : public LocalHostConnection
{
public:
    QStringList calls() const
    {
        const std::lock_guard<std::mutex> locker(m_lock);
        return m_calls;
    }

    ProcessResult run(const QString &program, const QStringList &arguments,
                      int timeoutMs) const override
    {
        note(QStringList{QStringLiteral("run"), program} + arguments);
        return LocalHostConnection::run(program, arguments, timeoutMs);
    }
    ProcessResult runChange(const QString &program, const QStringList &arguments,
                            const ChildProcess::ChangeWait &wait) const override
    {
        note(QStringList{QStringLiteral("change"), program} + arguments);
        return LocalHostConnection::runChange(program, arguments, wait);
    }
    HostFileContent readFile(const QString &path, qint64 maxBytes) const override
    {
        note({QStringLiteral("read"), path});
        return LocalHostConnection::readFile(path, maxBytes);
    }
    HostDirectoryListing listDirectory(const QString &path, int maxEntries) const override
    {
        note({QStringLiteral("list"), path});
        return LocalHostConnection::listDirectory(path, maxEntries);
    }

private:
    void note(const QStringList &call) const
    {
        const std::lock_guard<std::mutex> locker(m_lock);
        m_calls.append(call.join(QLatin1Char(' ')));
    }

    mutable std::mutex m_lock;
    mutable QStringList m_calls;
};

/// A host behind a helper that ended: no run is done, and the connection says why.
class EndedHelper : public LocalHostConnection
{
public:
    static QString cause() { return QStringLiteral("The helper ended: killed by signal 9"); }

    ProcessResult run(const QString &, const QStringList &, int) const override
    {
        ProcessResult result;
        result.error = ProcessResult::FailedToStart;
        result.failure = cause();
        return result;
    }
    ProcessResult runChange(const QString &, const QStringList &,
                            const ChildProcess::ChangeWait &) const override
    {
        // The request went out, no answer came back.
        ProcessResult result;
        result.leftRunning = true;
        result.failure = cause();
        return result;
    }
};

const char script[] = "/etc/init.d/oxa-seam";
const char config[] = "/etc/oxa-seam/oxa-seam.conf";

inline constexpr ServiceFamily seamFamily{script, nullptr,   "read light", "start",
                                          "stop", "restart", "reload",     "read heavy"};

bool grant(const Module *)
{
    return true;
}

std::atomic<bool> packageFound{false};

} // namespace

void TestHostSeam::tasksGoThroughTheModulesConnection_data()
{
    QTest::addColumn<QString>("task");
    QTest::addColumn<QStringList>("calls");
    const QString status = QStringLiteral("run %1 status").arg(QLatin1String(script));
    QTest::newRow("state read") << "read light" << QStringList{status};
    // A change, then the state it left.
    QTest::newRow("start") << "start"
                           << QStringList{
                                  QStringLiteral("change %1 start").arg(QLatin1String(script)),
                                  status};
    QTest::newRow("configuration read")
        << "read heavy"
        << QStringList{status, QStringLiteral("read %1").arg(QLatin1String(config))};
    // The package is asked for on the host before any tool starts there.
    QTest::newRow("control") << "control"
                             << QStringList{QStringLiteral("run dpkg-query "
                                                           "--showformat=${db:Status-Abbrev}${"
                                                           "binary:Package}\n --show oxa-seam")};
}

void TestHostSeam::tasksGoThroughTheModulesConnection()
{
    QFETCH(QString, task);
    QFETCH(QStringList, calls);
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeStatusScript(QString::fromLatin1(script), 0));
    QVERIFY(host.writeFile(QString::fromLatin1(config), "setting = value\n"));

    // The connection goes to the top module; the tasks of a child module reach it as well.
    Module top(QStringLiteral("Top"));
    Module child(QStringLiteral("Child"));
    top.addChildModule(&child);
    const QSharedPointer<RecordingConnection> connection(new RecordingConnection);
    top.setHostConnection(connection);
    ServiceElement element(&child, grant);

    std::unique_ptr<AbstractTask> made;
    if (task == QLatin1String("read light"))
        made.reset(new FamilyReadLightTask<seamFamily>(&element));
    else if (task == QLatin1String("start"))
        made.reset(new FamilyStartTask<seamFamily>(&element));
    else if (task == QLatin1String("read heavy"))
        made.reset(new ConfigFileReadHeavyTask(&element, seamFamily, QString::fromLatin1(config)));
    else
        made.reset(new PackageCheckedControlTask(&element, QStringLiteral("oxa-seam"),
                                                 QStringLiteral("oxa-seam"), packageFound));
    QCOMPARE(&made->host(), connection.data());
    made->run();
    QCOMPARE(connection->calls(), calls);
    // What came through the connection is what the task reports.
    if (auto *heavy = dynamic_cast<ConfigFileReadHeavyTask *>(made.get())) {
        QCOMPARE(heavy->record()->configData(), QStringLiteral("setting = value\n"));
        QVERIFY(heavy->record()->state());
    }
}

void TestHostSeam::filesAsTheLocalListingGaveThem_data()
{
    QTest::addColumn<QStringList>("filters");
    QTest::newRow("every file") << QStringList();
    QTest::newRow("module files") << QStringList{QStringLiteral("*.load")};
    QTest::newRow("scheduler files") << QStringList{QStringLiteral("cups*.conf")};
    QTest::newRow("two filters") << QStringList{QStringLiteral("*.conf"), QStringLiteral("z*")};
}

void TestHostSeam::filesAsTheLocalListingGaveThem()
{
    QFETCH(QStringList, filters);
    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    const QString path = directory.path();
    auto file = [&path](const QString &name) {
        QFile f(path + QLatin1Char('/') + name);
        return f.open(QIODevice::WriteOnly) && f.write("x\n") == 2;
    };
    auto link = [&path](const QString &target, const QString &name) {
        return QFile::link(target, path + QLatin1Char('/') + name);
    };
    // Names in several cases (none equal but for case: their order is the file system's),
    // hidden ones, links of every kind, and things that are no file.
    for (const char *name : {"b.load", "A.LOAD", "c.conf", "cupsd.conf", "Cups-files.conf",
                             "cupsd.conf.O", ".hidden.load", ".cups.conf", "zeta", "Yacht.load",
                             "\xc3\x84rger.load", "_under.conf", "1.load"})
        QVERIFY(file(QString::fromUtf8(name)));
    QVERIFY(QDir(path).mkdir(QStringLiteral("dir.load")));
    QVERIFY(link(QStringLiteral("b.load"), QStringLiteral("link-to-file.load")));
    QVERIFY(link(QStringLiteral("nowhere"), QStringLiteral("dangling.load")));
    QVERIFY(link(QStringLiteral("dir.load"), QStringLiteral("link-to-dir.load")));
    QVERIFY(link(QStringLiteral("cupsd.conf"), QStringLiteral("cups-link.conf")));
    QCOMPARE(::mkfifo(QFile::encodeName(path + QStringLiteral("/fifo.load")).constData(), 0600), 0);
    QCOMPARE(
        ::mkfifo(QFile::encodeName(path + QStringLiteral("/cups-fifo.conf")).constData(), 0600), 0);

    const HostFiles::Files files = HostFiles::regularFiles(LocalHostConnection(), path, filters);
    QVERIFY(files.ok());
    QVERIFY(!files.cut);
    const QStringList expected = QDir(path).entryList(filters, QDir::Files | QDir::NoDotAndDotDot);
    QVERIFY(!expected.isEmpty());
    QCOMPARE(files.names, expected);
    // Unordered, the same names.
    QStringList listed =
        HostFiles::regularFiles(LocalHostConnection(), path, filters, HostFiles::Order::AsListed)
            .names;
    QStringList sorted = expected;
    listed.sort();
    sorted.sort();
    QCOMPARE(listed, sorted);
}

void TestHostSeam::directoryThatCannotBeListed()
{
    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    const QString file = directory.filePath(QStringLiteral("file"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    const LocalHostConnection local;
    const HostFiles::Files missing =
        HostFiles::regularFiles(local, directory.filePath(QStringLiteral("none")));
    QCOMPARE(missing.code, HostFileStatus::Missing);
    QVERIFY(missing.names.isEmpty());
    QCOMPARE(HostFiles::regularFiles(local, file).code, HostFileStatus::NotDirectory);
}

void TestHostSeam::helpersCauseReachesTheMessage_data()
{
    QTest::addColumn<QString>("task");
    QTest::addColumn<int>("status");
    QTest::newRow("state read") << "read light" << int(TaskDescription::TaskStatusFailed);
    QTest::newRow("configuration read") << "read heavy" << int(TaskDescription::TaskStatusFailed);
    // Whether the start happened is not known: the message says so, and why.
    QTest::newRow("start") << "start" << int(TaskDescription::TaskStatusUnknown);
}

void TestHostSeam::helpersCauseReachesTheMessage()
{
    QFETCH(QString, task);
    QFETCH(int, status);
    Module module(QStringLiteral("Module"));
    module.setHostConnection(QSharedPointer<HostConnection>(new EndedHelper));
    ServiceElement element(&module, grant);

    std::unique_ptr<AbstractTask> made;
    if (task == QLatin1String("read light"))
        made.reset(new FamilyReadLightTask<seamFamily>(&element));
    else if (task == QLatin1String("start"))
        made.reset(new FamilyStartTask<seamFamily>(&element));
    else
        made.reset(new ConfigFileReadHeavyTask(&element, seamFamily, QString::fromLatin1(config)));
    made->run();
    QCOMPARE(int(made->status()), status);
    const QString message = made->taskDescription().message();
    QVERIFY2(message.startsWith(QLatin1Char('"') + QLatin1String(script)), qPrintable(message));
    QVERIFY2(message.endsWith(QLatin1Char('\n') + EndedHelper::cause()), qPrintable(message));
}

OXA_TEST_MAIN(TestHostSeam)
#include "tst_hostseam.moc"
