#include "testhost.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <linux/openat2.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

const char mountSource[] = "oxa-testhost";
const char statusPath[] = "/var/lib/dpkg/status";
const char availablePath[] = "/var/lib/dpkg/available";
const char updatesPath[] = "/var/lib/dpkg/updates";

/// The process-wide namespace state, set once by enterPrivateNamespace() in main.
struct NamespaceState
{
    bool entered = false;
    bool userNamespace = false;
    int originalRootFd = -1; ///< "/" as the machine's namespace shows it
    ino_t privateNamespaceInode = 0;
    QString reason =
        QStringLiteral("the process did not enter a private mount namespace at the start of main "
                       "(start the test with OXA_TEST_MAIN)");
};

NamespaceState &namespaceState()
{
    static NamespaceState state;
    return state;
}

std::atomic<bool> hostAlive{false};

QString errnoText(int error = errno)
{
    return QString::fromLocal8Bit(strerror(error));
}

int threadCount()
{
    DIR *dir = opendir("/proc/self/task");
    if (!dir)
        return -1;
    int count = 0;
    while (const dirent *entry = readdir(dir)) {
        if (entry->d_name[0] != '.')
            ++count;
    }
    closedir(dir);
    return count;
}

bool writeProcFile(const char *path, const QByteArray &text)
{
    const int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = write(fd, text.constData(), size_t(text.size())) == text.size();
    close(fd);
    return ok;
}

ino_t namespaceInode(const char *path)
{
    struct stat st;
    return stat(path, &st) == 0 ? st.st_ino : 0;
}

/// The overlaid directory that holds @p path, or an empty string.
QString rootOf(const QString &path)
{
    for (const QString &root : TestHost::overlaidDirectories()) {
        if (path == root || path.startsWith(root + QLatin1Char('/')))
            return root;
    }
    return QString();
}

/// How many of our own mounts are stacked on @p directory in this namespace.
int ownMountCount(const QString &directory)
{
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    int count = 0;
    const QByteArray dir = QFile::encodeName(directory);
    for (const QByteArray &line : file.readAll().split('\n')) {
        // id parent major:minor root mount-point options... - fstype source super-options
        const QList<QByteArray> fields = line.split(' ');
        const int dash = fields.indexOf("-");
        if (fields.size() > 4 && dash > 0 && dash + 2 < fields.size() && fields.at(4) == dir &&
            fields.at(dash + 2) == mountSource)
            ++count;
    }
    return count;
}

/// @p path with a link at its top ("/bin" -> "usr/bin" on a merged /usr) replaced by where
/// it leads, so that the overlay behind it is found.
QString throughTopLink(const QString &path)
{
    const int slash = path.indexOf(QLatin1Char('/'), 1);
    if (!path.startsWith(QLatin1Char('/')) || slash < 0)
        return path;
    const QFileInfo top(path.left(slash));
    const QString target = top.isSymLink() ? top.canonicalFilePath() : QString();
    return target.isEmpty() ? path : target + path.mid(slash);
}

bool validProgramName(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && name != QLatin1String(".") &&
           name != QLatin1String("..");
}

int removeEntry(const char *path, const struct stat *, int type, struct FTW *)
{
    return (type == FTW_DP ? rmdir(path) : unlink(path)) == 0 ? 0 : -1;
}

/// printf(1) format text that prints @p bytes exactly, inside single quotes.
QByteArray printfFormat(const QByteArray &bytes)
{
    QByteArray format;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '%') {
            format += "%%";
        } else if (u >= 0x20 && u < 0x7f && c != '\'' && c != '\\') {
            format += c;
        } else {
            format += '\\';
            format += char('0' + ((u >> 6) & 7));
            format += char('0' + ((u >> 3) & 7));
            format += char('0' + (u & 7));
        }
    }
    return format;
}

} // namespace

bool TestHost::enterPrivateNamespace()
{
    NamespaceState &state = namespaceState();
    if (state.entered)
        return true;

    // A mount namespace belongs to a thread; threads made earlier would stay outside.
    const int threads = threadCount();
    if (threads != 1) {
        state.reason = QStringLiteral("%1 threads were running when the test tried to enter its "
                                      "private mount namespace; it must be the first act of main")
                           .arg(threads);
        return false;
    }

    const int original = open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    QString rootError;
    bool entered = false;
    if (geteuid() == 0) {
        entered = unshare(CLONE_NEWNS) == 0;
        if (!entered)
            rootError = errnoText();
    } else {
        rootError = QStringLiteral("not running as root");
    }
    if (!entered) {
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0) {
            state.userNamespace = true;
            entered = writeProcFile("/proc/self/setgroups", "deny") &&
                      writeProcFile("/proc/self/uid_map", QByteArray::number(0) + ' ' +
                                                              QByteArray::number(uid) + " 1\n") &&
                      writeProcFile("/proc/self/gid_map",
                                    QByteArray::number(0) + ' ' + QByteArray::number(gid) + " 1\n");
            if (!entered) {
                state.reason = QStringLiteral("cannot map the user into a new user namespace: %1")
                                   .arg(errnoText());
                if (original >= 0)
                    close(original);
                return false;
            }
        } else {
            state.reason =
                QStringLiteral("cannot create a private mount namespace (%1) nor a user namespace "
                               "(%2); run the tests as root or allow unprivileged user namespaces")
                    .arg(rootError, errnoText());
            if (original >= 0)
                close(original);
            return false;
        }
    }

    // Without this, mounts could propagate back into the machine's namespace.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        state.reason = QStringLiteral("cannot make the mounts of the private namespace private: %1")
                           .arg(errnoText());
        if (original >= 0)
            close(original);
        return false;
    }
    state.originalRootFd = original;
    state.privateNamespaceInode = namespaceInode("/proc/self/ns/mnt");
    state.entered = true;
    state.reason.clear();
    return true;
}

QString TestHost::newestPgsqlServer()
{
    QString newest;
    const QDir lib(QStringLiteral("/usr/lib/postgresql"));
    for (const QString &version : lib.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (QFileInfo(lib.filePath(version + QStringLiteral("/bin/initdb"))).isExecutable() &&
            (newest.isEmpty() || version.toDouble() > newest.toDouble()))
            newest = version;
    }
    return newest;
}

bool TestHost::mustRun()
{
    const QByteArray ci = qgetenv("CI").trimmed().toLower();
    return ci == "true" || ci == "1" || ci == "yes";
}

QStringList TestHost::overlaidDirectories()
{
    return {QStringLiteral("/etc"), QStringLiteral("/var"), QStringLiteral("/usr/share"),
            QStringLiteral("/usr/bin"), QStringLiteral("/usr/sbin")};
}

TestHost::MachinePathState TestHost::machinePathState(const QString &path, QByteArray *content)
{
    const NamespaceState &state = namespaceState();
    const QString clean = QDir::cleanPath(path);
    if (!state.entered || state.originalRootFd < 0 || !clean.startsWith(QLatin1Char('/')) ||
        clean == QLatin1String("/"))
        return MachinePathUnknown;

    // A lookup that starts at a directory of the original namespace walks that namespace's
    // mounts, not this one's: it sees the machine, whatever is mounted here. RESOLVE_IN_ROOT
    // keeps absolute links in that view too.
    const int slash = clean.lastIndexOf(QLatin1Char('/'));
    const QByteArray parentPath = QFile::encodeName(QLatin1Char('.') + clean.left(slash));
    const QByteArray base = QFile::encodeName(clean.mid(slash + 1));
    open_how how = {};
    how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_IN_ROOT | RESOLVE_NO_MAGICLINKS;
    int parent =
        int(syscall(SYS_openat2, state.originalRootFd, parentPath.constData(), &how, sizeof how));
    if (parent < 0 && errno == ENOSYS)
        parent =
            openat(state.originalRootFd, parentPath.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0)
        return errno == ENOENT || errno == ENOTDIR ? MachinePathMissing : MachinePathUnknown;

    MachinePathState result = MachinePathUnknown;
    struct stat st;
    if (fstatat(parent, base.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        result = errno == ENOENT ? MachinePathMissing : MachinePathUnknown;
    } else if (!content || !S_ISREG(st.st_mode)) {
        result = MachinePathExists;
    } else {
        const int file = openat(parent, base.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (file >= 0) {
            QByteArray data;
            char buffer[8192];
            ssize_t n;
            while ((n = read(file, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
                if (n > 0)
                    data.append(buffer, int(n));
            }
            close(file);
            if (n == 0) {
                *content = data;
                result = MachinePathExists;
            }
        }
    }
    close(parent);
    return result;
}

TestHost::TestHost(PackageDatabase packages)
{
    const NamespaceState &state = namespaceState();
    if (!state.entered) {
        m_unavailableReason = state.reason;
        return;
    }
    // Mounting here from the machine's namespace would change the real machine.
    if (namespaceInode("/proc/thread-self/ns/mnt") != state.privateNamespaceInode) {
        m_unavailableReason =
            QStringLiteral("this thread is not in the test's private mount namespace");
        return;
    }
    if (hostAlive.exchange(true)) {
        m_unavailableReason = QStringLiteral("another TestHost is alive; only one at a time");
        return;
    }
    m_ownsHost = true;

    for (const QString &directory : overlaidDirectories()) {
        Layer layer;
        layer.directory = directory;
        const bool mounted = mountLayer(layer);
        if (layer.tmpfsMounted)
            m_layers.append(layer);
        if (!mounted) {
            m_unavailableReason = m_errorString;
            releaseLayers();
            return;
        }
    }

    // Whether and how the services start at boot is the test's to lay out: by default the
    // host was not booted with systemd and no script has rc links.
    bool bootCleared = setSystemdBooted(false);
    m_available = bootCleared;
    for (int level = 2; bootCleared && level <= 5; ++level) {
        const QString rc = QStringLiteral("/etc/rc%1.d").arg(level);
        bootCleared = removePath(rc) && mkdir(rc);
    }
    if (!bootCleared) {
        m_available = false;
        m_unavailableReason = m_errorString;
        releaseLayers();
        return;
    }
    if (packages == EmptyPackageDatabase) {
        m_packagesLoaded = true;
        const bool cleared =
            writePackages() && (!QFileInfo::exists(QString::fromLatin1(availablePath)) ||
                                writeFile(QString::fromLatin1(availablePath), QByteArray()));
        if (!cleared) {
            m_available = false;
            m_unavailableReason = m_errorString;
            releaseLayers();
            return;
        }
    }
}

TestHost::~TestHost()
{
    releaseLayers();
}

void TestHost::releaseLayers()
{
    m_available = false;
    for (int i = m_layers.size() - 1; i >= 0; --i)
        unmountLayer(m_layers[i]);
    m_layers.clear();
    if (m_ownsHost) {
        m_ownsHost = false;
        hostAlive = false;
    }
}

bool TestHost::mountLayer(Layer &layer)
{
    const QByteArray directory = QFile::encodeName(layer.directory);
    // The lower layer is the real directory, reached through a descriptor taken before the
    // tmpfs covers it; the tmpfs holds upper and work directories out of everybody's sight.
    layer.lowerFd = open(directory.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (layer.lowerFd < 0)
        return fail(QStringLiteral("cannot open %1: %2").arg(layer.directory, errnoText()));
    struct stat lowerStat;
    fstat(layer.lowerFd, &lowerStat);

    if (mount(mountSource, directory.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755") !=
        0) {
        const QString error = errnoText();
        close(layer.lowerFd);
        layer.lowerFd = -1;
        return fail(QStringLiteral("cannot mount a tmpfs on %1: %2").arg(layer.directory, error));
    }
    layer.tmpfsMounted = true;

    const QByteArray upper = directory + "/upper";
    const QByteArray work = directory + "/work";
    if (::mkdir(upper.constData(), lowerStat.st_mode & 07777) != 0 ||
        ::mkdir(work.constData(), 0700) != 0)
        return fail(QStringLiteral("cannot prepare the overlay of %1: %2")
                        .arg(layer.directory, errnoText()));
    // The merged directory shows the upper directory's owner and mode: keep the real ones.
    chmod(upper.constData(), lowerStat.st_mode & 07777);
    if (chown(upper.constData(), lowerStat.st_uid, lowerStat.st_gid) != 0) {
        // Unmapped owners in a user namespace: the directory stays ours, which is harmless.
    }
    return mountOverlay(layer);
}

bool TestHost::mountOverlay(Layer &layer)
{
    const QByteArray directory = QFile::encodeName(layer.directory);
    const QByteArray options = "lowerdir=/proc/self/fd/" + QByteArray::number(layer.lowerFd) +
                               ",upperdir=" + directory + "/upper,workdir=" + directory + "/work";
    // In a user namespace overlayfs may keep its bookkeeping (opaque directories, needed to
    // remove a directory of the lower layer) only in user.* attributes; older kernels
    // refuse that option, so try without it as well.
    bool mounted = false;
    if (namespaceState().userNamespace)
        mounted = mount(mountSource, directory.constData(), "overlay", 0,
                        (options + ",userxattr").constData()) == 0;
    if (!mounted)
        mounted = mount(mountSource, directory.constData(), "overlay", 0, options.constData()) == 0;
    if (!mounted)
        return fail(
            QStringLiteral("cannot mount an overlay on %1: %2").arg(layer.directory, errnoText()));
    layer.overlayMounted = true;
    return true;
}

void TestHost::unmountLayer(Layer &layer)
{
    const QByteArray directory = QFile::encodeName(layer.directory);
    // Overlay first, then the tmpfs under it; a busy mount (a process still working in it)
    // is detached lazily and goes away with its last user.
    for (int attempt = 0; attempt < 4 && ownMountCount(layer.directory) > 0; ++attempt) {
        if (umount2(directory.constData(), 0) != 0 &&
            umount2(directory.constData(), MNT_DETACH) != 0) {
            qWarning("TestHost: cannot unmount %s: %s", directory.constData(), strerror(errno));
            break;
        }
    }
    if (layer.lowerFd >= 0)
        close(layer.lowerFd);
    layer.lowerFd = -1;
    layer.overlayMounted = false;
    layer.tmpfsMounted = false;
}

bool TestHost::makeWritable(const QStringList &directories)
{
    // Root may write anywhere in the overlays. In a user namespace, directories of the lower
    // layer belong to unmapped users and stay read-only; a twin directory of ours in the
    // upper layer lends the merged directory our ownership (overlayfs takes a merged
    // directory's attributes from its upper part). The upper layer may only be changed
    // while the overlay is not mounted, hence the remount.
    if (!namespaceState().userNamespace)
        return true;
    const uid_t me = geteuid();
    for (Layer &layer : m_layers) {
        // Relative path and mode of every directory from the top to each wanted one.
        QMap<QString, mode_t> chain;
        bool needed = false;
        for (const QString &directory : directories) {
            if (rootOf(directory) != layer.directory || directory == layer.directory)
                continue;
            const QStringList parts =
                directory.mid(layer.directory.size() + 1).split(QLatin1Char('/'));
            QString relative;
            for (const QString &part : parts) {
                relative += (relative.isEmpty() ? QString() : QStringLiteral("/")) + part;
                struct stat st;
                if (lstat(QFile::encodeName(layer.directory + QLatin1Char('/') + relative)
                              .constData(),
                          &st) != 0 ||
                    !S_ISDIR(st.st_mode))
                    break;
                chain.insert(relative, st.st_mode & 07777);
                needed = needed || st.st_uid != me;
            }
        }
        if (!needed)
            continue;
        const QByteArray top = QFile::encodeName(layer.directory);
        if (umount2(top.constData(), 0) != 0)
            return fail(QStringLiteral("cannot make directories of %1 writable while a process "
                                       "uses it: %2")
                            .arg(layer.directory, errnoText()));
        layer.overlayMounted = false;
        // QMap's order puts every parent before its children.
        for (auto it = chain.cbegin(); it != chain.cend(); ++it) {
            const QByteArray twin = top + "/upper/" + QFile::encodeName(it.key());
            if (::mkdir(twin.constData(), 0700) == 0)
                chmod(twin.constData(), it.value() | S_IWUSR | S_IXUSR);
        }
        if (!mountOverlay(layer))
            return false;
    }
    return true;
}

bool TestHost::fail(const QString &message)
{
    m_errorString = message;
    qWarning("TestHost: %s", qPrintable(message));
    return false;
}

QString TestHost::toolPath(const QString &name) const
{
    if (!validProgramName(name))
        return QString();
    // Where the children's fixed search path finds it first: /usr/sbin before /usr/bin.
    const QString sbin = QStringLiteral("/usr/sbin/") + name;
    struct stat st;
    if (lstat(QFile::encodeName(sbin).constData(), &st) == 0)
        return sbin;
    return QStringLiteral("/usr/bin/") + name;
}

bool TestHost::addUser(const QString &name, uint *uid)
{
    static const QRegularExpression valid(QStringLiteral("^[a-z_][a-z0-9_-]{0,30}$"));
    if (!valid.match(name).hasMatch())
        return fail(QStringLiteral("\"%1\" is not a user name").arg(name));
    QByteArray files[2];
    QSet<QByteArray> names;
    QSet<uint> ids;
    const char *paths[2] = {"/etc/passwd", "/etc/group"};
    for (int i = 0; i < 2; ++i) {
        QFile file(QString::fromLatin1(paths[i]));
        if (file.exists() && !file.open(QIODevice::ReadOnly))
            return fail(
                QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString()));
        files[i] = file.readAll();
        for (const QByteArray &line : files[i].split('\n')) {
            const QList<QByteArray> fields = line.split(':');
            if (fields.size() > 2) {
                names.insert(fields.at(0));
                ids.insert(fields.at(2).toUInt());
            }
        }
        if (!files[i].isEmpty() && !files[i].endsWith('\n'))
            files[i] += '\n';
    }
    if (names.contains(name.toLatin1()))
        return fail(QStringLiteral("the user or group %1 exists already").arg(name));
    uint id = 60100;
    while (ids.contains(id))
        ++id;
    const QByteArray user = name.toLatin1();
    const QByteArray number = QByteArray::number(id);
    if (!writeFile(QStringLiteral("/etc/passwd"), files[0] + user + ":x:" + number + ':' + number +
                                                      "::/home/" + user + ":/bin/sh\n") ||
        !writeFile(QStringLiteral("/etc/group"), files[1] + user + ":x:" + number + ":\n"))
        return false;
    if (uid)
        *uid = id;
    return true;
}

bool TestHost::resolveWritable(const QString &path, bool createParents, QString *resolved,
                               bool *missing)
{
    if (!m_available)
        return fail(
            QStringLiteral("the disposable host is not available: %1").arg(m_unavailableReason));
    if (!QDir::isAbsolutePath(path))
        return fail(QStringLiteral("%1 is not an absolute path").arg(path));
    const QString clean = throughTopLink(QDir::cleanPath(path));
    const QString root = rootOf(clean);
    if (root.isEmpty() || clean == root)
        return fail(QStringLiteral("%1 is outside the disposable host (%2)")
                        .arg(path, overlaidDirectories().join(QLatin1String(", "))));

    QString current = root;
    const QStringList parts = clean.mid(root.size() + 1).split(QLatin1Char('/'));
    for (int i = 0; i + 1 < parts.size(); ++i) {
        const QString next = current + QLatin1Char('/') + parts.at(i);
        const QByteArray nextName = QFile::encodeName(next);
        struct stat st;
        if (lstat(nextName.constData(), &st) != 0) {
            if (errno == ENOENT && missing && !createParents) {
                *missing = true;
                return true;
            }
            if (errno != ENOENT || !createParents)
                return fail(QStringLiteral("%1: %2").arg(next, errnoText()));
            if (!makeWritable({current}))
                return false;
            if (::mkdir(nextName.constData(), 0755) != 0 && errno != EEXIST)
                return fail(QStringLiteral("cannot create %1: %2").arg(next, errnoText()));
        } else if (S_ISLNK(st.st_mode)) {
            // Follow a link only while it stays inside the overlays (e.g. /var/run -> /run
            // does not): writing through it would change the real machine.
            const QFileInfo target(next);
            const QString canonical = target.canonicalFilePath();
            if (canonical.isEmpty())
                return fail(QStringLiteral("%1 is a dangling symbolic link").arg(next));
            if (rootOf(canonical).isEmpty())
                return fail(QStringLiteral("%1 leads outside the disposable host to %2")
                                .arg(next, canonical));
            if (!QFileInfo(canonical).isDir())
                return fail(QStringLiteral("%1 is not a directory").arg(next));
            current = canonical;
            continue;
        } else if (!S_ISDIR(st.st_mode)) {
            return fail(QStringLiteral("%1 is not a directory").arg(next));
        }
        current = next;
    }
    if (!makeWritable({current}))
        return false;
    *resolved = current + QLatin1Char('/') + parts.last();
    return true;
}

bool TestHost::writeFile(const QString &path, const QByteArray &content, int mode)
{
    QString file;
    if (!resolveWritable(path, true, &file))
        return false;
    const QByteArray name = QFile::encodeName(file);
    struct stat st;
    if (lstat(name.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return fail(QStringLiteral("%1 is a directory").arg(path));
        // Replace a link instead of writing through it: its target may be outside.
        if (unlink(name.constData()) != 0)
            return fail(QStringLiteral("cannot replace %1: %2").arg(path, errnoText()));
    }
    const int fd =
        open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return fail(QStringLiteral("cannot create %1: %2").arg(path, errnoText()));
    qint64 written = 0;
    while (written < content.size()) {
        const ssize_t n =
            write(fd, content.constData() + written, size_t(content.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const QString error = errnoText();
            close(fd);
            return fail(QStringLiteral("cannot write %1: %2").arg(path, error));
        }
        written += n;
    }
    const bool ok = fchmod(fd, mode_t(mode) & 07777) == 0;
    const QString error = errnoText();
    if (close(fd) != 0 || !ok)
        return fail(QStringLiteral("cannot finish %1: %2").arg(path, error));
    return true;
}

bool TestHost::writeScript(const QString &path, const QString &shellBody)
{
    QByteArray script = "#!/bin/sh\n" + shellBody.toLocal8Bit();
    if (!script.endsWith('\n'))
        script += '\n';
    return writeFile(path, script, 0755);
}

bool TestHost::writeStatusScript(const QString &path, int exitCode)
{
    return writeScript(path, QStringLiteral("exit %1").arg(exitCode));
}

bool TestHost::writeOutputScript(const QString &path, const QByteArray &output, int exitCode)
{
    QByteArray body;
    // printf per chunk keeps every line of the script short, whatever the output.
    for (int i = 0; i < output.size(); i += 512)
        body += "printf '" + printfFormat(output.mid(i, 512)) + "'\n";
    body += "exit " + QByteArray::number(exitCode) + '\n';
    return writeFile(path, "#!/bin/sh\n" + body, 0755);
}

bool TestHost::writeHangingScript(const QString &path)
{
    return writeScript(path, QStringLiteral("exec /bin/sleep 1000"));
}

bool TestHost::writeCrashingScript(const QString &path)
{
    return writeScript(path, QStringLiteral("ulimit -c 0\nkill -s SEGV $$\nexit 139"));
}

bool TestHost::writeTool(const QString &name, const QString &shellBody)
{
    if (!validProgramName(name))
        return fail(QStringLiteral("%1 is not a program name").arg(name));
    return writeScript(toolPath(name), shellBody);
}

bool TestHost::writeSymlink(const QString &path, const QString &target)
{
    QString link;
    if (!resolveWritable(path, true, &link))
        return false;
    const QByteArray name = QFile::encodeName(link);
    struct stat st;
    if (lstat(name.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return fail(QStringLiteral("%1 is a directory").arg(path));
        if (unlink(name.constData()) != 0)
            return fail(QStringLiteral("cannot replace %1: %2").arg(path, errnoText()));
    }
    if (symlink(QFile::encodeName(target).constData(), name.constData()) != 0)
        return fail(QStringLiteral("cannot link %1 to %2: %3").arg(path, target, errnoText()));
    return true;
}

bool TestHost::mkdir(const QString &path, int mode)
{
    // An overlay's top or a directory above one ("/", "/usr") exists already; copyTree of a
    // tree laid out from "/" passes them.
    const QString clean = throughTopLink(QDir::cleanPath(path));
    if (m_available && QDir::isAbsolutePath(clean)) {
        for (const QString &root : overlaidDirectories()) {
            if (clean == root ||
                root.startsWith(clean == QLatin1String("/") ? clean : clean + QLatin1Char('/')))
                return true;
        }
    }
    QString directory;
    if (!resolveWritable(path, true, &directory))
        return false;
    const QByteArray name = QFile::encodeName(directory);
    struct stat st;
    if (lstat(name.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return true;
        return fail(QStringLiteral("%1 exists and is not a directory").arg(path));
    }
    if (::mkdir(name.constData(), mode_t(mode) & 07777) != 0 ||
        chmod(name.constData(), mode_t(mode) & 07777) != 0)
        return fail(QStringLiteral("cannot create %1: %2").arg(path, errnoText()));
    return true;
}

bool TestHost::coverRunSystemd()
{
    const QString run = QStringLiteral("/run");
    const QString systemd = QStringLiteral("/run/systemd");
    for (const Layer &layer : std::as_const(m_layers)) {
        if (layer.directory == systemd || layer.directory == run)
            return true;
    }
    Layer layer;
    if (QFileInfo(systemd).isDir()) {
        // An empty tmpfs hides what the machine's init keeps there; no overlay: nothing of it
        // is wanted, and in a user namespace its directories could not be removed.
        layer.directory = systemd;
        if (mount(mountSource, QFile::encodeName(systemd).constData(), "tmpfs",
                  MS_NOSUID | MS_NODEV, "mode=0755") != 0)
            return fail(QStringLiteral("cannot mount a tmpfs on %1: %2").arg(systemd, errnoText()));
        layer.tmpfsMounted = true;
        m_layers.append(layer);
        return true;
    }
    // No /run/systemd to cover: /run itself gets an overlay, to make one in.
    layer.directory = run;
    const bool mounted = mountLayer(layer);
    if (layer.tmpfsMounted)
        m_layers.append(layer);
    return mounted;
}

bool TestHost::setSystemdBooted(bool booted)
{
    const QString marker = QStringLiteral("/run/systemd/system");
    if (!m_ownsHost)
        return fail(QStringLiteral("the test host is not available"));
    if (!booted && !QFileInfo::exists(marker))
        return true;
    if (!coverRunSystemd())
        return false;
    if (booted) {
        if (!QDir().mkpath(marker))
            return fail(QStringLiteral("cannot make %1").arg(marker));
        return true;
    }
    if (!QDir(marker).removeRecursively())
        return fail(QStringLiteral("cannot remove %1").arg(marker));
    return true;
}

bool TestHost::removePath(const QString &path)
{
    QString target;
    bool missing = false;
    if (!resolveWritable(path, false, &target, &missing))
        return false;
    if (missing)
        return true; // nothing there: the wanted state already
    struct stat st;
    const QByteArray name = QFile::encodeName(target);
    if (lstat(name.constData(), &st) != 0)
        return true;
    if (!S_ISDIR(st.st_mode)) {
        if (unlink(name.constData()) != 0)
            return fail(QStringLiteral("cannot remove %1: %2").arg(path, errnoText()));
        return true;
    }
    if (namespaceState().userNamespace) {
        QStringList directories{target};
        QDirIterator it(target, QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString directory = it.next();
            if (!it.fileInfo().isSymLink())
                directories.append(directory);
        }
        if (!makeWritable(directories))
            return false;
    }
    // Depth first, never following links. (No FTW_MOUNT: an overlay reports the device of
    // the layer a file comes from, and nothing is mounted inside an overlay anyway.)
    if (nftw(name.constData(), removeEntry, 16, FTW_DEPTH | FTW_PHYS) != 0)
        return fail(QStringLiteral("cannot remove %1: %2").arg(path, errnoText()));
    return true;
}

bool TestHost::copyTree(const QString &sourceDirectory, const QString &targetDirectory)
{
    const QDir source(sourceDirectory);
    if (!source.exists())
        return fail(QStringLiteral("%1 does not exist").arg(sourceDirectory));
    const QString target = QDir::cleanPath(targetDirectory);
    const auto targetOf = [&](const QString &file) {
        const QString relative = source.relativeFilePath(file);
        return target == QLatin1String("/") ? QLatin1Char('/') + relative
                                            : target + QLatin1Char('/') + relative;
    };
    QDirIterator it(source.absolutePath(),
                    QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QFileInfo info = it.fileInfo();
        struct stat st;
        if (lstat(QFile::encodeName(file).constData(), &st) != 0)
            return fail(QStringLiteral("cannot read %1: %2").arg(file, errnoText()));
        const int mode = int(st.st_mode & 07777);
        if (info.isSymLink()) {
            // The link's own text, relative or not, as the checkout has it.
            char buffer[4096];
            const ssize_t n =
                readlink(QFile::encodeName(file).constData(), buffer, sizeof buffer - 1);
            if (n < 0)
                return fail(QStringLiteral("cannot read the link %1: %2").arg(file, errnoText()));
            if (!writeSymlink(targetOf(file), QFile::decodeName(QByteArray(buffer, int(n)))))
                return false;
        } else if (info.isDir()) {
            if (!mkdir(targetOf(file), mode))
                return false;
        } else if (info.isFile()) {
            QFile in(file);
            if (!in.open(QIODevice::ReadOnly))
                return fail(QStringLiteral("cannot read %1: %2").arg(file, in.errorString()));
            if (!writeFile(targetOf(file), in.readAll(), mode))
                return false;
        } else {
            return fail(QStringLiteral("%1 is neither a file, a directory nor a link").arg(file));
        }
    }
    return true;
}

QByteArray TestHost::nativeArchitecture()
{
    static const QByteArray architecture = [] {
        QProcess dpkg;
        dpkg.start(QStringLiteral("/usr/bin/dpkg"), {QStringLiteral("--print-architecture")},
                   QIODevice::ReadOnly);
        if (dpkg.waitForFinished(30000) && dpkg.exitStatus() == QProcess::NormalExit &&
            dpkg.exitCode() == 0) {
            const QByteArray answer = dpkg.readAllStandardOutput().trimmed();
            if (!answer.isEmpty())
                return answer;
        }
#if defined(__x86_64__)
        return QByteArray("amd64");
#elif defined(__aarch64__)
        return QByteArray("arm64");
#elif defined(__i386__)
        return QByteArray("i386");
#else
        return QByteArray("all");
#endif
    }();
    return architecture;
}

bool TestHost::ensurePackages()
{
    if (!m_available)
        return fail(
            QStringLiteral("the disposable host is not available: %1").arg(m_unavailableReason));
    if (m_packagesLoaded)
        return true;
    // The machine's database: the status file and what dpkg's journal adds to it.
    QFile status(QString::fromLatin1(statusPath));
    if (status.exists()) {
        if (!status.open(QIODevice::ReadOnly))
            return fail(
                QStringLiteral("cannot read %1: %2").arg(status.fileName(), status.errorString()));
        QString error;
        if (!m_packages.merge(status.readAll(), &error))
            return fail(QStringLiteral("%1: %2").arg(status.fileName(), error));
    }
    QDir updates(QString::fromLatin1(updatesPath));
    QStringList journal = updates.entryList({QStringLiteral("[0-9]*")}, QDir::Files);
    std::sort(journal.begin(), journal.end(),
              [](const QString &a, const QString &b) { return a.toLongLong() < b.toLongLong(); });
    for (const QString &entry : journal) {
        QFile file(updates.filePath(entry));
        if (file.open(QIODevice::ReadOnly))
            m_packages.merge(file.readAll());
    }
    m_packagesLoaded = true;
    return true;
}

bool TestHost::writePackages()
{
    if (!writeFile(QString::fromLatin1(statusPath), m_packages.toText()))
        return false;
    // The journal was merged in (or is not wanted): dpkg would apply it over our file.
    const QDir updates(QString::fromLatin1(updatesPath));
    const QStringList entries = updates.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &entry : entries) {
        if (!removePath(updates.filePath(entry)))
            return false;
    }
    return true;
}

namespace {

bool validStatus(const QString &status)
{
    return status.split(QLatin1Char(' '), Qt::SkipEmptyParts).size() == 3 &&
           !status.contains(QLatin1Char('\n'));
}

bool validName(const QString &name)
{
    return !name.isEmpty() && !name.contains(QRegularExpression(QStringLiteral("[\\s,]")));
}

} // namespace

bool TestHost::installPackage(const QString &name, const QString &version, const QString &status)
{
    if (!validName(name))
        return fail(QStringLiteral("\"%1\" is not a package name").arg(name));
    if (version.trimmed().isEmpty() || version.contains(QLatin1Char('\n')) ||
        version.contains(QLatin1Char(' ')))
        return fail(QStringLiteral("\"%1\" is not a package version").arg(version));
    if (!validStatus(status))
        return fail(
            QStringLiteral("\"%1\" is not a dpkg status (want, flag and state)").arg(status));
    if (!ensurePackages())
        return false;
    m_packages.install(name, version, status.simplified().toUtf8(), nativeArchitecture());
    return writePackages();
}

bool TestHost::removePackage(const QString &name)
{
    return setPackageStatus(name, QString::fromLatin1(DpkgStatus::configFilesStatus));
}

bool TestHost::setPackageStatus(const QString &name, const QString &status)
{
    if (!validStatus(status))
        return fail(
            QStringLiteral("\"%1\" is not a dpkg status (want, flag and state)").arg(status));
    if (!ensurePackages())
        return false;
    if (!m_packages.setStatus(name, status.simplified().toUtf8()))
        return fail(QStringLiteral("the package %1 is not in the database").arg(name));
    return writePackages();
}

bool TestHost::forgetPackage(const QString &name)
{
    if (!ensurePackages())
        return false;
    if (!m_packages.forget(name))
        return fail(QStringLiteral("the package %1 is not in the database").arg(name));
    return writePackages();
}
