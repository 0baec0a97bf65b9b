// The connection through the helper, against a stand-in speaking its protocol through real
// pipes (fakebridge.cpp): answers by id in any order, long output in many frames, time limits
// with a cancel, and every way the helper can fail to serve or stop serving.

#include <bridgehostconnection.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>

#include <sys/stat.h>

namespace {
const QString fake = QStringLiteral(OXA_FAKE_BRIDGE);
} // namespace

/** One helper serving every case that keeps it alive; the others start their own. */
class TestBridgeHostConnection : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void files_data();
    void files();
    void runs_data();
    void runs();
    void removesPlainEntries();
    void manyThreadsAnswersOutOfOrder();
    void timeLimitSendsCancel();
    void changeStillRunningThenStopped();
    void helperDiesMidCall();
    void cannotServe_data();
    void cannotServe();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    std::unique_ptr<BridgeHostConnection> m_connection;
    int m_previousGrace = 0;
};

void TestBridgeHostConnection::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QFile file(path("file"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("a\0b\nlast\n", 9));
    file.close();
    QVERIFY(QDir().mkdir(path("dir")));
    QVERIFY(QFile::link(path("file"), path("link")));
    QVERIFY(QFile::link(path("gone"), path("dangling")));
    m_previousGrace = BridgeHostConnection::setAnswerGraceMs(0);
    m_connection.reset(new BridgeHostConnection({fake, "serve"}));
    QVERIFY2(m_connection->isConnected(), qPrintable(m_connection->errorText()));
    QVERIFY(m_connection->isPrivileged());
    QCOMPARE(m_connection->helperSoftware(), QString("fakebridge"));
}

void TestBridgeHostConnection::cleanupTestCase()
{
    m_connection.reset();
    BridgeHostConnection::setAnswerGraceMs(m_previousGrace);
}

void TestBridgeHostConnection::files_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("cut");

    using S = HostFileStatus;
    const QByteArray whole("a\0b\nlast\n", 9);
    QTest::newRow("read, binary") << "read"
                                  << "file" << int(S::Ok) << "" << whole << false;
    QTest::newRow("read, bounded") << "read3"
                                   << "file" << int(S::Ok) << "" << whole.left(3) << true;
    QTest::newRow("read, nothing wanted") << "read0"
                                          << "file" << int(S::Ok) << "" << QByteArray() << true;
    QTest::newRow("read, missing")
        << "read"
        << "gone" << int(S::Missing) << "No such file or directory" << QByteArray() << false;
    QTest::newRow("read, directory")
        << "read"
        << "dir" << int(S::NotRegular) << "Not a regular file" << QByteArray() << false;
    QTest::newRow("read, through a link") << "read"
                                          << "link" << int(S::Ok) << "" << whole << false;
    QTest::newRow("tail") << "tail"
                          << "file" << int(S::Ok) << "" << QByteArray("last\n") << false;
    QTest::newRow("list") << "list"
                          << "" << int(S::Ok) << "" << QByteArray("dangling@ dir/ file link")
                          << false;
    QTest::newRow("list, bounded") << "list1"
                                   << "" << int(S::Ok) << "" << QByteArray("dangling@") << true;
    QTest::newRow("list, not a directory")
        << "list"
        << "file" << int(S::NotDirectory) << "Not a directory" << QByteArray() << false;
    QTest::newRow("write, then read")
        << "write"
        << "written" << int(S::Ok) << "" << QByteArray("new\0text", 8) << false;
    QTest::newRow("write, too large")
        << "writeLarge"
        << "large" << int(S::TooLarge) << "Larger" << QByteArray() << false;
    QTest::newRow("path, file") << "info"
                                << "file" << int(S::Ok) << "" << QByteArray("file") << false;
    QTest::newRow("path, directory") << "info"
                                     << "dir" << int(S::Ok) << "" << QByteArray("dir/") << false;
    QTest::newRow("path, link followed")
        << "info"
        << "link" << int(S::Ok) << "" << QByteArray("link") << false;
    QTest::newRow("path, link leading nowhere")
        << "info"
        << "dangling" << int(S::Ok) << "" << QByteArray("@") << false;
    QTest::newRow("path, missing") << "info"
                                   << "gone" << int(S::Ok) << "" << QByteArray("none") << false;
}

void TestBridgeHostConnection::files()
{
    QFETCH(QString, operation);
    QFETCH(QString, name);
    QFETCH(int, code);
    QFETCH(QString, message);
    QFETCH(QByteArray, data);
    QFETCH(bool, cut);

    const BridgeHostConnection &c = *m_connection;
    const QString target = name.isEmpty() ? m_dir.path() : path(name);
    HostFileStatus status;
    QByteArray got;
    bool gotCut = false;
    if (operation.startsWith("read") || operation == "tail") {
        const qint64 bound = operation == "read3" ? 3 : operation == "read0" ? 0 : 1024;
        const HostFileContent content =
            operation == "tail" ? c.readTail(target, 1, bound) : c.readFile(target, bound);
        status = content;
        got = content.data;
        gotCut = content.cut;
    } else if (operation.startsWith("list")) {
        const HostDirectoryListing listing =
            c.listDirectory(target, operation == "list1" ? 1 : HostConnection::DefaultMaxEntries);
        status = listing;
        QStringList names;
        for (const HostDirectoryEntry &entry : listing.entries) {
            names.append(entry.name + (entry.link                              ? "@"
                                       : entry.type == HostFileType::Directory ? "/"
                                                                               : ""));
        }
        got = names.join(' ').toUtf8();
        gotCut = listing.cut;
    } else if (operation.startsWith("write")) {
        const QByteArray contents =
            operation == "writeLarge" ? QByteArray(2 * 1024 * 1024, 'x') : data;
        status = c.writeFile(target, contents);
        if (status.ok())
            got = c.readFile(target, 1024).data;
    } else {
        const HostPathInfo info = c.pathInfo(target);
        status.code = HostFileStatus::Ok;
        got = info.link       ? "@"
              : info.isDir()  ? name.toUtf8() + "/"
              : info.isFile() ? name.toUtf8()
              : info.exists() ? "other"
                              : "none";
    }
    QCOMPARE(int(status.code), code);
    QVERIFY2(status.errorText.contains(message), qPrintable(status.errorText));
    if (code == HostFileStatus::Ok) {
        QCOMPARE(got, data);
        QCOMPARE(gotCut, cut);
    }
}

void TestBridgeHostConnection::runs_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("finished");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("error");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QString>("failure");

    QTest::newRow("output and exit code")
        << "/fake/echo" << QStringList{"a b", "c"} << true << 0 << int(ProcessResult::NoError)
        << QByteArray("a b c\n") << "";
    QTest::newRow("failing") << "/fake/exit" << QStringList{"3"} << true << 3
                             << int(ProcessResult::NoError) << QByteArray() << "";
    QTest::newRow("refused") << "/usr/bin/id" << QStringList{"-u"} << false << -1
                             << int(ProcessResult::FailedToStart) << QByteArray()
                             << "no rule admits: run /usr/bin/id -u";
    QTest::newRow("no such program by name")
        << "no-such-program-here" << QStringList{} << false << -1
        << int(ProcessResult::FailedToStart) << QByteArray() << "no-such-program-here";
}

void TestBridgeHostConnection::runs()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(bool, finished);
    QFETCH(int, exitCode);
    QFETCH(int, error);
    QFETCH(QByteArray, output);
    QFETCH(QString, failure);

    const ProcessResult result = m_connection->run(program, arguments);
    QCOMPARE(result.finished, finished);
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(result.error, error);
    QCOMPARE(result.standardOutput, output);
    QVERIFY2(result.failure.contains(failure), qPrintable(result.failure));
    if (finished)
        QCOMPARE(result.standardError, QByteArray(program == "/fake/echo" ? "err" : ""));
}

void TestBridgeHostConnection::removesPlainEntries()
{
    // Files and links to them go; a hidden one and a directory stay; long output in many
    // frames and a lookup on the search path share the connection meanwhile.
    const QString spool = path("spool");
    QVERIFY(QDir().mkpath(spool + "/sub"));
    for (const char *name : {"c1", "B2", "a3", ".keep"}) {
        QFile f(spool + '/' + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QVERIFY(QFile::link(spool + "/c1", spool + "/link"));
    const HostRemoval removal = m_connection->removePlainEntries(spool);
    QVERIFY2(removal.ok(), qPrintable(removal.errorText));
    QCOMPARE(removal.removed, QStringList({"B2", "a3", "c1", "link"}));
    QCOMPARE(QDir(spool).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot |
                                   QDir::System),
             QStringList({".keep", "sub"}));
    QCOMPARE(int(m_connection->removePlainEntries(path("gone")).code),
             int(HostFileStatus::Missing));

    const int size = 3 * 1024 * 1024 + 17;
    const ProcessResult big = m_connection->run("/fake/big", {QString::number(size)});
    QVERIFY(big.succeeded());
    QCOMPARE(big.standardOutput.size(), size);
    bool pattern = true;
    for (int i = 0; i < size && pattern; i += 4099)
        pattern = big.standardOutput.at(i) == char(i % 251);
    QVERIFY(pattern);
    QCOMPARE(m_connection->findProgram("sh"), ChildProcess::findProgram("sh"));
}

void TestBridgeHostConnection::manyThreadsAnswersOutOfOrder()
{
    // The later a thread asks, the sooner its answer comes: each must get its own.
    const int count = 24;
    QVector<QByteArray> outputs(count);
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i) {
        threads.emplace_back([this, i, &outputs] {
            outputs[i] =
                m_connection
                    ->run("/fake/sleep", {QString::number((count - i) * 15), QString::number(i)})
                    .standardOutput;
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    for (int i = 0; i < count; ++i)
        QCOMPARE(outputs.at(i), QByteArray::number(i));
}

void TestBridgeHostConnection::timeLimitSendsCancel()
{
    const int before = m_connection->run("/fake/cancels", {}).outputText().toInt();
    const ProcessResult hung = m_connection->run("/fake/hang", {}, 200);
    QCOMPARE(hung.finished, false);
    QCOMPARE(hung.error, int(ProcessResult::TimedOut));
    QVERIFY2(hung.failure.contains("cancelled"), qPrintable(hung.failure));
    // The cancel went before the next request, and the connection still serves.
    QCOMPARE(m_connection->run("/fake/cancels", {}).outputText().toInt(), before + 1);
}

void TestBridgeHostConnection::changeStillRunningThenStopped()
{
    const int cancels = m_connection->run("/fake/cancels", {}).outputText().toInt();
    const int previous = ChildProcess::readLimitMs();
    ChildProcess::setReadLimitMs(100);
    std::atomic<bool> stop{false};
    int told = 0;
    ChildProcess::ChangeWait wait;
    wait.stop = &stop;
    wait.stillRunning = [&] {
        ++told;
        stop = true;
    };
    const ProcessResult result = m_connection->runChange("/fake/change", {"60000"}, wait);
    ChildProcess::setReadLimitMs(previous);
    QCOMPARE(told, 1);
    QVERIFY(result.leftRunning);
    QVERIFY(!result.finished);
    // A change is never cancelled: nothing was sent for it.
    QCOMPARE(m_connection->run("/fake/cancels", {}).outputText().toInt(), cancels);
    QVERIFY(m_connection->runChange("/fake/change", {"10", "done"}, {}).succeeded());
}

void TestBridgeHostConnection::helperDiesMidCall()
{
    BridgeHostConnection connection(QStringList{fake});
    QVERIFY(connection.isConnected());
    const int waiting = 6;
    std::vector<ProcessResult> results(waiting + 1);
    std::vector<std::thread> threads;
    for (int i = 0; i < waiting; ++i)
        threads.emplace_back([&, i] { results[i] = connection.run("/fake/hang", {}, 60000); });
    threads.emplace_back(
        [&] { results[waiting] = connection.runChange("/fake/change", {"60000"}, {}); });
    QTRY_COMPARE_WITH_TIMEOUT(connection.run("/fake/waiting", {}).outputText().toInt(), waiting + 1,
                              60000);
    connection.run("/fake/die", {});
    for (std::thread &thread : threads)
        thread.join();

    const QString reason = connection.errorText();
    for (const char *part : {"The helper ended", "exit code 3", "fake bridge: dying"})
        QVERIFY2(reason.contains(part), qPrintable(reason));
    for (int i = 0; i < waiting; ++i) {
        QCOMPARE(results[i].error, int(ProcessResult::Crashed));
        QCOMPARE(results[i].failure, reason);
    }
    QVERIFY(results[waiting].leftRunning);
    QVERIFY(results[waiting].failure.startsWith(reason));
    QVERIFY(results[waiting].failure.contains("unknown"));
    // Later calls fail at once, as named.
    QVERIFY(!connection.isConnected());
    QCOMPARE(connection.run("/fake/echo", {}).failure, reason);
    QCOMPARE(connection.readFile(path("file"), 10).errorText, reason);
    QCOMPARE(connection.pathInfo(path("file")).type, HostFileType::Unknown);
}

void TestBridgeHostConnection::cannotServe_data()
{
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<int>("handshakeMs");
    QTest::addColumn<QStringList>("parts");

    QTest::newRow("version mismatch")
        << QStringList{fake, "version", "7"} << 30000
        << QStringList{"The helper ended", "the console speaks version 1", "the bridge version 7"};
    QTest::newRow("hung before greeting")
        << QStringList{fake, "silent"} << 300 << QStringList{"did not answer within 0.3 s"};
    QTest::newRow("authorisation refused")
        << QStringList{fake, "refuse"} << 30000
        << QStringList{"The helper ended", "exit code 126", "Not authorized"};
    QTest::newRow("garbage after the greeting")
        << QStringList{fake, "garbage"} << 30000 << QStringList{"The helper ended", "malformed"};
    QTest::newRow("no such program")
        << QStringList{"no-such-bridge-program"} << 30000
        << QStringList{"could not be started", "no-such-bridge-program"};
}

void TestBridgeHostConnection::cannotServe()
{
    QFETCH(QStringList, command);
    QFETCH(int, handshakeMs);
    QFETCH(QStringList, parts);

    BridgeHostConnection connection(command, handshakeMs);
    if (command.contains("garbage")) {
        // It greeted: the garbage ends it at the first answer at the latest.
        connection.run("/fake/echo", {});
    }
    QVERIFY(!connection.isConnected());
    if (!command.contains("garbage"))
        QVERIFY(!connection.isPrivileged());
    const QString reason = connection.errorText();
    for (const QString &part : parts)
        QVERIFY2(reason.contains(part), qPrintable(reason));
    const ProcessResult result = connection.run("/fake/echo", {});
    QCOMPARE(result.error, int(ProcessResult::FailedToStart));
    QCOMPARE(result.failure, reason);
}

QTEST_GUILESS_MAIN(TestBridgeHostConnection)
#include "tst_bridgehostconnection.moc"
