// The in-process host connection: the library's answers in the framework's terms, with
// messages a task can show as they are.

#include <localhostconnection.h>
#include <module.h>

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

/** One temporary tree for every case: a file, a directory, a FIFO, a link to a directory. */
class TestLocalHostConnection : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void statusAndMessage_data();
    void statusAndMessage();
    void namesThatAreNoText();
    void modulesShareTheConnection();

private:
    QTemporaryDir m_dir;
    LocalHostConnection m_connection;
};

void TestLocalHostConnection::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QFile file(m_dir.filePath("file"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("a\0b\nlast\n", 9));
    file.close();
    QVERIFY(QDir().mkdir(m_dir.filePath("dir")));
    QCOMPARE(::mkfifo(QFile::encodeName(m_dir.filePath("fifo")).constData(), 0600), 0);
    QVERIFY(QFile::link(m_dir.filePath("dir"), m_dir.filePath("link")));
}

void TestLocalHostConnection::statusAndMessage_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("data");

    using S = HostFileStatus;
    QTest::newRow("read, binary") << "read"
                                  << "file" << int(S::Ok) << "" << QByteArray("a\0b\nlast\n", 9);
    QTest::newRow("tail") << "tail"
                          << "file" << int(S::Ok) << "" << QByteArray("last\n");
    QTest::newRow("read, missing")
        << "read"
        << "gone" << int(S::Missing) << "No such file or directory" << QByteArray();
    QTest::newRow("read, FIFO") << "read"
                                << "fifo" << int(S::NotRegular) << "Not a regular file"
                                << QByteArray();
    QTest::newRow("tail, directory")
        << "tail"
        << "dir" << int(S::NotRegular) << "Not a regular file" << QByteArray();
    QTest::newRow("list, a file") << "list"
                                  << "file" << int(S::NotDirectory) << "Not a directory"
                                  << QByteArray();
    QTest::newRow("write over a link")
        << "write"
        << "link" << int(S::Link) << "Is a symbolic link" << QByteArray();
    QTest::newRow("write, too large")
        << "write-large"
        << "new" << int(S::TooLarge) << "Larger than 1048576 bytes" << QByteArray();
    QTest::newRow("remove in a link")
        << "remove"
        << "link" << int(S::Link) << "Is a symbolic link" << QByteArray();
    QTest::newRow("remove, missing")
        << "remove"
        << "gone" << int(S::Missing) << "No such file or directory" << QByteArray();
}

void TestLocalHostConnection::statusAndMessage()
{
    QFETCH(QString, operation);
    QFETCH(QString, name);
    const QString path = m_dir.filePath(name);
    HostFileContent result;
    if (operation == QLatin1String("read")) {
        result = m_connection.readFile(path, 1024);
    } else if (operation == QLatin1String("tail")) {
        result = m_connection.readTail(path, 1, 1024);
    } else if (operation == QLatin1String("list")) {
        static_cast<HostFileStatus &>(result) = m_connection.listDirectory(path);
    } else if (operation == QLatin1String("remove")) {
        static_cast<HostFileStatus &>(result) = m_connection.removePlainEntries(path);
    } else {
        const QByteArray contents(operation == QLatin1String("write") ? 3 : 1024 * 1024 + 1, 'x');
        static_cast<HostFileStatus &>(result) = m_connection.writeFile(path, contents);
    }
    QTEST(int(result.code), "code");
    QTEST(result.errorText, "message");
    QTEST(result.data, "data");
    QVERIFY(!m_connection.pathInfo(m_dir.filePath("new")).exists());
}

void TestLocalHostConnection::namesThatAreNoText()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray raw = QFile::encodeName(dir.path()) + "/\xff\xfe job";
    const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT, 0600);
    QVERIFY(fd >= 0);
    ::close(fd);
    const HostDirectoryListing listing = m_connection.listDirectory(dir.path());
    QVERIFY(listing.ok());
    QCOMPARE(listing.entries.size(), 1);
    // The raw name reaches the file; the text one is for people.
    QCOMPARE(listing.entries.first().rawName, QByteArray("\xff\xfe job"));
    QCOMPARE(listing.entries.first().type, HostFileType::Regular);
    const HostRemoval removal = m_connection.removePlainEntries(dir.path());
    QVERIFY(removal.ok());
    QCOMPARE(removal.removed.size(), 1);
    QVERIFY(QDir(dir.path()).isEmpty());
}

namespace {
/// The machine, seen without administrator rights whoever runs the test.
class ViewerConnection : public LocalHostConnection
{
public:
    bool isPrivileged() const override { return false; }
};
} // namespace

void TestLocalHostConnection::modulesShareTheConnection()
{
    Module top(QStringLiteral("Top")), child(QStringLiteral("Child"));
    top.addChildModule(&child);
    // Outside a console a module works on the local host.
    QCOMPARE(child.hostConnection(), LocalHostConnection::outsideConsole());
    QCOMPARE(Module::hostConnectionOf(nullptr), LocalHostConnection::outsideConsole());
    QCOMPARE(Module::isAdministrator(&child), ::geteuid() == 0);
    // Rights a module stated while it was made, before the console gave it the connection,
    // are stated again: the connection's, whoever runs the console.
    top.setData(QStringLiteral("administrator"), true);
    const QSharedPointer<HostConnection> connection(new ViewerConnection);
    top.setHostConnection(connection);
    QCOMPARE(top.getData(QStringLiteral("administrator")), QVariant(false));
    QVERIFY(!Module::isAdministratorHierarchy(&child));
    // A child module made without one reaches its parent's; rights follow the connection.
    QCOMPARE(child.hostConnection(), connection);
    QVERIFY(!Module::isAdministrator(&child));
    const QSharedPointer<HostConnection> local(new LocalHostConnection);
    child.setHostConnection(local);
    QCOMPARE(child.hostConnection(), local);
    QCOMPARE(Module::isAdministrator(&child), ::geteuid() == 0);
    QCOMPARE(top.hostConnection(), connection);
    const ProcessResult echo = child.hostConnection()->run(QStringLiteral("echo"), {"seam"});
    QVERIFY(echo.succeeded());
    QCOMPARE(echo.outputLines(), QStringList{"seam"});
}

QTEST_GUILESS_MAIN(TestLocalHostConnection)
#include "tst_localhostconnection.moc"
