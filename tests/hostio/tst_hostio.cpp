// The Qt-free host I/O library on its own: files read, tailed, listed, removed and written,
// paths looked at, with the bounds and refusals the console and the helper rely on.

#include <hostiofiles.h>
#include <hostioprocess.h>

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

Q_DECLARE_METATYPE(hostio::Status)
Q_DECLARE_METATYPE(hostio::FileType)

namespace {

std::string bytes(const QByteArray &array)
{
    return array.toStdString();
}

QByteArray array(const std::string &bytes)
{
    return QByteArray::fromStdString(bytes);
}

bool writeFile(const QString &path, const QByteArray &content, int mode = 0644)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0)
        return false;
    const bool written =
        ::write(fd, content.constData(), size_t(content.size())) == ssize_t(content.size());
    return ::close(fd) == 0 && written && ::chmod(name.constData(), mode_t(mode)) == 0;
}

bool symlink(const QString &target, const QString &path)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()) ==
           0;
}

QByteArray fileContent(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

/// Every name in @p directory, hidden ones too, sorted.
QStringList namesIn(const QString &directory)
{
    return QDir(directory).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

const char *typeName(hostio::FileType type)
{
    static const char *const names[] = {"none",   "file",    "dir",      "fifo",
                                        "socket", "chardev", "blockdev", "unknown"};
    return names[int(type)];
}

const char binaryBytes[] = "\x00\x01text\xff\xfe\n\x00tail";
const QByteArray binary(binaryBytes, int(sizeof binaryBytes) - 1);

} // namespace

/**
 * One tree in a temporary directory for every case: a text file, a binary one, a huge sparse
 * one, a directory, a FIFO, a socket, and links to each kind (and to nothing).
 */
class TestHostio : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void readFile_data();
    void readFile();
    void tailStart_data();
    void tailStart();
    void readTail_data();
    void readTail();
    void listDirectory_data();
    void listDirectory();
    void removePlainEntries_data();
    void removePlainEntries();
    void writeFileAtomically_data();
    void writeFileAtomically();
    void pathInfo_data();
    void pathInfo();
    void manyThreadsAtOnce();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
    QTemporaryDir m_scratch;
};

void TestHostio::initTestCase()
{
    QVERIFY(m_dir.isValid() && m_scratch.isValid());
    QVERIFY(writeFile(path("text"), "one\ntwo\nthree\n"));
    QVERIFY(writeFile(path("binary"), binary));
    QVERIFY(writeFile(path("empty"), QByteArray()));
    QByteArray log;
    for (int i = 1; i <= 1000; ++i)
        log += "line " + QByteArray::number(i) + '\n';
    QVERIFY(writeFile(path("log"), log));
    // Huge, but sparse: 8 GiB of nothing that takes no room and would take a read all day.
    QVERIFY(writeFile(path("huge"), QByteArray()));
    QCOMPARE(::truncate(QFile::encodeName(path("huge")).constData(), off_t(8) << 30), 0);
    QVERIFY(QDir().mkdir(path("dir")));
    QVERIFY(writeFile(path("dir/inner"), "inner\n"));
    QCOMPARE(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    QVERIFY(sock >= 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const QByteArray socketPath = QFile::encodeName(path("socket"));
    QVERIFY(size_t(socketPath.size()) < sizeof address.sun_path);
    qstrcpy(address.sun_path, socketPath.constData());
    QCOMPARE(::bind(sock, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ::close(sock);
    QVERIFY(symlink(path("text"), path("link-file")));
    QVERIFY(symlink(path("dir"), path("link-dir")));
    QVERIFY(symlink(path("fifo"), path("link-fifo")));
    QVERIFY(symlink("/dev/zero", path("link-device")));
    QVERIFY(symlink(path("gone"), path("dangling")));
}

void TestHostio::readFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("maxBytes");
    QTest::addColumn<hostio::Status>("status");
    QTest::addColumn<int>("error");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("cut");

    using S = hostio::Status;
    QTest::newRow("whole file") << "text" << 100 << S::Ok << 0 << QByteArray("one\ntwo\nthree\n")
                                << false;
    QTest::newRow("exactly the bound")
        << "text" << 14 << S::Ok << 0 << QByteArray("one\ntwo\nthree\n") << false;
    QTest::newRow("past the bound") << "text" << 5 << S::Ok << 0 << QByteArray("one\nt") << true;
    QTest::newRow("binary, byte for byte") << "binary" << 100 << S::Ok << 0 << binary << false;
    QTest::newRow("link to a file")
        << "link-file" << 100 << S::Ok << 0 << QByteArray("one\ntwo\nthree\n") << false;
    QTest::newRow("huge file, bounded")
        << "huge" << 4096 << S::Ok << 0 << QByteArray(4096, '\0') << true;
    QTest::newRow("missing") << "gone" << 100 << S::Missing << ENOENT << QByteArray() << false;
    QTest::newRow("dangling link")
        << "dangling" << 100 << S::Missing << ENOENT << QByteArray() << false;
    QTest::newRow("directory") << "dir" << 100 << S::NotRegular << 0 << QByteArray() << false;
    // Opening a FIFO without a writer would wait for one: it must not.
    QTest::newRow("FIFO") << "fifo" << 100 << S::NotRegular << 0 << QByteArray() << false;
    QTest::newRow("socket") << "socket" << 100 << S::NotRegular << ENXIO << QByteArray() << false;
    QTest::newRow("device that never ends")
        << "link-device" << 100 << S::NotRegular << 0 << QByteArray() << false;
    QTest::newRow("NUL in the path")
        << QStringLiteral("text\0x") << 100 << S::Failed << EINVAL << QByteArray() << false;
}

void TestHostio::readFile()
{
    QFETCH(QString, name);
    QFETCH(int, maxBytes);
    QFETCH(hostio::Status, status);
    QFETCH(int, error);
    const hostio::FileContent content =
        hostio::readFile(bytes(QFile::encodeName(path(name))), size_t(maxBytes));
    QCOMPARE(content.status, status);
    // A socket cannot even be opened: the system's refusal says why.
    if (status != hostio::Status::Ok && error)
        QCOMPARE(content.error, error);
    QTEST(array(content.data), "data");
    QTEST(content.cut, "cut");
}

void TestHostio::tailStart_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("maxBytes");
    QTest::addColumn<bool>("atFileStart");
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<bool>("cut");

    QTest::newRow("last lines") << QByteArray("a\nb\nc\n") << 2 << 100 << true
                                << QByteArray("b\nc\n") << false;
    QTest::newRow("last line without a line feed")
        << QByteArray("a\nb\nc") << 1 << 100 << true << QByteArray("c") << false;
    QTest::newRow("fewer lines than asked")
        << QByteArray("a\nb\n") << 5 << 100 << true << QByteArray("a\nb\n") << false;
    QTest::newRow("empty lines count")
        << QByteArray("a\n\n\nb\n") << 2 << 100 << true << QByteArray("\nb\n") << false;
    QTest::newRow("no lines asked")
        << QByteArray("a\nb\n") << 0 << 100 << true << QByteArray() << false;
    QTest::newRow("lines fit exactly")
        << QByteArray("aa\nbb\ncc\n") << 2 << 6 << true << QByteArray("bb\ncc\n") << false;
    QTest::newRow("bound drops lines")
        << QByteArray("aaaa\nbb\ncc\n") << 3 << 6 << true << QByteArray("bb\ncc\n") << true;
    QTest::newRow("one line longer than the bound")
        << QByteArray("xxxxxxxxxx") << 1 << 4 << true << QByteArray("xxxx") << true;
    QTest::newRow("nothing fits") << QByteArray("a\n") << 1 << 0 << true << QByteArray() << true;
    // The data begins inside the file: its first piece may be the end of an earlier line.
    QTest::newRow("mid-file, lines found")
        << QByteArray("xx\nb\nc\n") << 2 << 100 << false << QByteArray("b\nc\n") << false;
    QTest::newRow("mid-file, lines run out")
        << QByteArray("partial\nfull\n") << 5 << 100 << false << QByteArray("full\n") << true;
    QTest::newRow("binary-safe") << QByteArray("a\0b\nc\0\n", 7) << 1 << 100 << true
                                 << QByteArray("c\0\n", 3) << false;
}

void TestHostio::tailStart()
{
    QFETCH(QByteArray, data);
    QFETCH(int, lines);
    QFETCH(int, maxBytes);
    QFETCH(bool, atFileStart);
    bool cut = !atFileStart;
    const size_t start = hostio::tailStart(data.constData(), size_t(data.size()), size_t(lines),
                                           size_t(maxBytes), atFileStart, &cut);
    QVERIFY(start <= size_t(data.size()));
    QTEST(data.mid(int(start)), "tail");
    QTEST(cut, "cut");
}

void TestHostio::readTail_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("maxBytes");
    QTest::addColumn<hostio::Status>("status");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("cut");

    using S = hostio::Status;
    QTest::newRow("last lines of a log")
        << "log" << 3 << 4096 << S::Ok << QByteArray("line 998\nline 999\nline 1000\n") << false;
    // The last three lines take 28 bytes.
    QTest::newRow("bound at a line start")
        << "log" << 100 << 28 << S::Ok << QByteArray("line 998\nline 999\nline 1000\n") << true;
    QTest::newRow("bound inside a line: it is left out")
        << "log" << 100 << 27 << S::Ok << QByteArray("line 999\nline 1000\n") << true;
    QTest::newRow("whole small file")
        << "text" << 10 << 4096 << S::Ok << QByteArray("one\ntwo\nthree\n") << false;
    QTest::newRow("huge file without lines")
        << "huge" << 10 << 100 << S::Ok << QByteArray(100, '\0') << true;
    QTest::newRow("missing") << "gone" << 10 << 100 << S::Missing << QByteArray() << false;
    QTest::newRow("FIFO") << "fifo" << 10 << 100 << S::NotRegular << QByteArray() << false;
    QTest::newRow("device") << "link-device" << 10 << 100 << S::NotRegular << QByteArray() << false;
}

void TestHostio::readTail()
{
    QFETCH(QString, name);
    QFETCH(int, lines);
    QFETCH(int, maxBytes);
    const hostio::FileContent content =
        hostio::readTail(bytes(QFile::encodeName(path(name))), size_t(lines), size_t(maxBytes));
    QTEST(content.status, "status");
    QTEST(array(content.data), "data");
    QTEST(content.cut, "cut");
}

void TestHostio::listDirectory_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("maxEntries");
    QTest::addColumn<hostio::Status>("status");
    QTest::addColumn<QStringList>("entries"); // "name type", "name -> type" for a link
    QTest::addColumn<bool>("cut");

    using S = hostio::Status;
    QTest::newRow("every kind, sorted") << "" << 100 << S::Ok
                                        << QStringList{"binary file",
                                                       "dangling -> none",
                                                       "dir dir",
                                                       "empty file",
                                                       "fifo fifo",
                                                       "huge file",
                                                       "link-device -> chardev",
                                                       "link-dir -> dir",
                                                       "link-fifo -> fifo",
                                                       "link-file -> file",
                                                       "log file",
                                                       "socket socket",
                                                       "text file"}
                                        << false;
    QTest::newRow("through a link to a directory")
        << "link-dir" << 100 << S::Ok << QStringList{"inner file"} << false;
    QTest::newRow("bounded") << "dir" << 0 << S::Ok << QStringList() << true;
    QTest::newRow("missing") << "gone" << 100 << S::Missing << QStringList() << false;
    QTest::newRow("dangling link") << "dangling" << 100 << S::Missing << QStringList() << false;
    QTest::newRow("a file") << "text" << 100 << S::NotDirectory << QStringList() << false;
    QTest::newRow("a FIFO, not opened")
        << "fifo" << 100 << S::NotDirectory << QStringList() << false;
}

void TestHostio::listDirectory()
{
    QFETCH(QString, name);
    QFETCH(int, maxEntries);
    const QString directory = name.isEmpty() ? m_dir.path() : path(name);
    const hostio::DirectoryListing listing =
        hostio::listDirectory(bytes(QFile::encodeName(directory)), size_t(maxEntries));
    QTEST(listing.status, "status");
    QStringList entries;
    for (const hostio::DirectoryEntry &entry : listing.entries) {
        entries.append(QFile::decodeName(array(entry.name)) +
                       QLatin1String(entry.link ? " -> " : " ") +
                       QLatin1String(typeName(entry.type)));
    }
    QTEST(entries, "entries");
    QTEST(listing.cut, "cut");
}

void TestHostio::removePlainEntries_data()
{
    QTest::addColumn<QString>("shape"); // what stands at the directory's path
    QTest::addColumn<hostio::Status>("status");
    QTest::addColumn<QStringList>("removed");
    QTest::addColumn<QStringList>("left");

    using S = hostio::Status;
    // Hidden names, directories, links to anything but a file, FIFOs and sockets stay; a link
    // to a file loses only itself.
    QTest::newRow("a directory") << "directory" << S::Ok
                                 << QStringList{"-rf", "B-job", "a job", "link-to-file"}
                                 << QStringList{".hidden",     "dangling",     "fifo",
                                                "link-to-dir", "link-to-fifo", "subdir"};
    QTest::newRow("a link to a directory")
        << "link" << S::Link << QStringList() << QStringList{"a job"};
    QTest::newRow("nothing there") << "missing" << S::Missing << QStringList() << QStringList();
    QTest::newRow("a file") << "file" << S::NotDirectory << QStringList() << QStringList();
}

void TestHostio::removePlainEntries()
{
    QFETCH(QString, shape);
    QFETCH(hostio::Status, status);
    QFETCH(QStringList, left);
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const QString outside = scratch.filePath("outside");
    const QString spool = scratch.filePath("spool");
    QVERIFY(QDir().mkdir(outside));
    QVERIFY(writeFile(outside + "/target", "must stay\n"));
    QVERIFY(QDir().mkdir(outside + "/directory"));
    QVERIFY(writeFile(outside + "/directory/inner", "must stay\n"));
    if (shape == QLatin1String("directory")) {
        QVERIFY(QDir().mkdir(spool));
        for (const char *name : {"a job", "B-job", "-rf", ".hidden"})
            QVERIFY(writeFile(spool + '/' + QLatin1String(name), "job\n"));
        QVERIFY(QDir().mkdir(spool + "/subdir"));
        QVERIFY(writeFile(spool + "/subdir/inner", "kept\n"));
        QCOMPARE(::mkfifo(QFile::encodeName(spool + "/fifo").constData(), 0600), 0);
        QVERIFY(symlink(outside + "/target", spool + "/link-to-file"));
        QVERIFY(symlink(outside + "/directory", spool + "/link-to-dir"));
        QVERIFY(symlink(spool + "/fifo", spool + "/link-to-fifo"));
        QVERIFY(symlink(outside + "/none", spool + "/dangling"));
    } else if (shape == QLatin1String("link")) {
        QVERIFY(writeFile(outside + "/a job", "job\n"));
        QVERIFY(symlink(outside, spool));
    } else if (shape == QLatin1String("file")) {
        QVERIFY(writeFile(spool, "a file\n"));
    }

    const hostio::Removal removal = hostio::removePlainEntries(bytes(QFile::encodeName(spool)));
    QCOMPARE(removal.status, status);
    QStringList removed;
    for (const std::string &name : removal.removed)
        removed.append(QFile::decodeName(array(name)));
    QTEST(removed, "removed");
    QVERIFY(removal.failed.empty());
    if (shape == QLatin1String("directory")) {
        QCOMPARE(namesIn(spool), left);
        QCOMPARE(fileContent(spool + "/subdir/inner"), QByteArray("kept\n"));
    } else if (shape == QLatin1String("link")) {
        // Nothing through the link went.
        QVERIFY(QFileInfo(spool).isSymLink());
        QVERIFY(namesIn(outside).contains(left.first()));
    }
    QCOMPARE(fileContent(outside + "/target"), QByteArray("must stay\n"));
    QCOMPARE(fileContent(outside + "/directory/inner"), QByteArray("must stay\n"));
}

void TestHostio::writeFileAtomically_data()
{
    QTest::addColumn<QString>("before"); // "", "file", "link", "directory", "no directory"
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<hostio::Status>("status");
    QTest::addColumn<int>("mode"); // of the file afterwards

    using S = hostio::Status;
    QTest::newRow("new file") << "" << QByteArray("auto\n") << S::Ok << 0640;
    QTest::newRow("replaced, mode and owner kept")
        << "file" << QByteArray("manual\n") << S::Ok << 0600;
    QTest::newRow("binary contents") << "file" << binary << S::Ok << 0600;
    QTest::newRow("too large, old kept")
        << "file" << QByteArray(int(hostio::MaxWriteBytes) + 1, 'x') << S::TooLarge << 0600;
    QTest::newRow("a link is not replaced") << "link" << QByteArray("x\n") << S::Link << 0;
    QTest::newRow("a directory is not replaced")
        << "directory" << QByteArray("x\n") << S::NotRegular << 0;
    QTest::newRow("no directory") << "no directory" << QByteArray("x\n") << S::Missing << 0;
}

void TestHostio::writeFileAtomically()
{
    QFETCH(QString, before);
    QFETCH(QByteArray, contents);
    QFETCH(hostio::Status, status);
    QFETCH(int, mode);
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const QString target =
        scratch.filePath(before == QLatin1String("no directory") ? QStringLiteral("none/start.conf")
                                                                 : QStringLiteral("start.conf"));
    const QByteArray old("old\n");
    // As root, the old file belongs to another user, whom the new one must belong to too.
    const uid_t owner = ::geteuid() == 0 ? 1 : ::geteuid();
    const gid_t group = ::geteuid() == 0 ? 1 : ::getegid();
    if (before == QLatin1String("file")) {
        QVERIFY(writeFile(target, old, 0600));
        QCOMPARE(::chown(QFile::encodeName(target).constData(), owner, group), 0);
    } else if (before == QLatin1String("link")) {
        QVERIFY(writeFile(scratch.filePath("elsewhere"), old));
        QVERIFY(symlink(scratch.filePath("elsewhere"), target));
    } else if (before == QLatin1String("directory")) {
        QVERIFY(QDir().mkdir(target));
    }
    const QStringList namesBefore = namesIn(scratch.path());

    const hostio::Outcome outcome = hostio::writeFileAtomically(
        bytes(QFile::encodeName(target)), bytes(contents), mode_t(mode ? mode : 0644));
    QCOMPARE(outcome.status, status);
    struct stat st;
    if (status == hostio::Status::Ok) {
        QCOMPARE(fileContent(target), contents);
        QCOMPARE(::lstat(QFile::encodeName(target).constData(), &st), 0);
        QVERIFY(S_ISREG(st.st_mode));
        QCOMPARE(int(st.st_mode & 07777), mode);
        if (before == QLatin1String("file")) {
            QCOMPARE(st.st_uid, owner);
            QCOMPARE(st.st_gid, group);
        }
    } else if (before == QLatin1String("file")) {
        QCOMPARE(fileContent(target), old);
    } else if (before == QLatin1String("link")) {
        QVERIFY(QFileInfo(target).isSymLink());
        QCOMPARE(fileContent(scratch.filePath("elsewhere")), old);
    }
    // No temporary file is left behind, whatever happened.
    QStringList expected = namesBefore;
    if (before.isEmpty() && status == hostio::Status::Ok)
        expected = QStringList{"start.conf"};
    QCOMPARE(namesIn(scratch.path()), expected);
}

void TestHostio::pathInfo_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<hostio::FileType>("type");
    QTest::addColumn<bool>("link");

    using T = hostio::FileType;
    QTest::newRow("file") << "text" << T::Regular << false;
    QTest::newRow("directory") << "dir" << T::Directory << false;
    QTest::newRow("FIFO") << "fifo" << T::Fifo << false;
    QTest::newRow("link to a file") << "link-file" << T::Regular << true;
    QTest::newRow("link to a device") << "link-device" << T::CharacterDevice << true;
    QTest::newRow("dangling link") << "dangling" << T::None << true;
    QTest::newRow("nothing") << "gone" << T::None << false;
    QTest::newRow("below a file") << "text/x" << T::None << false;
}

void TestHostio::pathInfo()
{
    QFETCH(QString, name);
    QFETCH(hostio::FileType, type);
    const hostio::PathInfo info = hostio::pathInfo(bytes(QFile::encodeName(path(name))));
    QCOMPARE(info.type, type);
    QTEST(info.link, "link");
    QCOMPARE(info.exists(), type != hostio::FileType::None);
    QCOMPARE(info.isRegular(), type == hostio::FileType::Regular);
    QCOMPARE(info.isDirectory(), type == hostio::FileType::Directory);
    QCOMPARE(info.error != 0, type == hostio::FileType::None);
}

void TestHostio::manyThreadsAtOnce()
{
    // The console's workers call in at once: programs started and reaped, files read and
    // listed, each thread getting its own answers.
    const int threads = 8;
    std::vector<int> good(threads, 0);
    std::vector<std::thread> workers;
    const std::string text = bytes(QFile::encodeName(path("text")));
    const std::string directory = bytes(QFile::encodeName(m_dir.path()));
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            for (int round = 0; round < 5; ++round) {
                const hostio::ProcessResult echo =
                    hostio::run("echo", {std::to_string(t), std::to_string(round)});
                const hostio::FileContent content = hostio::readFile(text, 100);
                const hostio::DirectoryListing listing = hostio::listDirectory(directory, 100);
                if (echo.succeeded() &&
                    echo.standardOutput == std::to_string(t) + ' ' + std::to_string(round) + '\n' &&
                    content.data == "one\ntwo\nthree\n" && listing.entries.size() == 13)
                    ++good[size_t(t)];
            }
        });
    }
    for (std::thread &worker : workers)
        worker.join();
    QCOMPARE(good, std::vector<int>(threads, 5));
}

QTEST_GUILESS_MAIN(TestHostio)
#include "tst_hostio.moc"
