#include "servicecupstasks.h"

#include "cupsconfreader.h"

#include <readlimits.h>
#include <taskmessages.h>
#include <treenode.h>

#include <QDir>
#include <QFile>

#include <algorithm>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

ServiceCupsReadHeavyTask::ServiceCupsReadHeavyTask(Element *element)
    : ServiceHeavyReadTask(element, cupsFamily)
{
}

namespace {

/// One error text more: a line of its own after the ones before.
void addError(QString *message, const QString &error)
{
    if (!message->isEmpty())
        message->append(QLatin1Char('\n'));
    message->append(error);
}

} // namespace

void ServiceCupsReadHeavyTask::readConfiguration(ServiceHeavyElementData *record)
{
    const QSet<QString> keys = CupsConfReader::summaryKeys();
    const QDir directory(QString::fromLatin1(configDirectory));
    const QStringList files = directory.entryList({QString::fromLatin1(configFilter)},
                                                  QDir::Files | QDir::NoDotAndDotDot);
    QString message;
    QString warning;
    for (const QString &name : files) {
        QString error;
        QList<TreeNode *> summary;
        bool cut = false;
        const QString path = directory.absoluteFilePath(name);
        const QList<TreeNode *> nodes =
            CupsConfReader::readConfiguration(path, &error, keys, &summary, &cut);
        if (!error.isEmpty()) {
            addError(&message, error);
            continue;
        }
        if (cut)
            addError(&warning, ReadLimits::fileCut(path));
        auto *file = new ConfTreeNode(name, QString());
        file->append(nodes);
        record->data().append(summary);
        record->data().append(file);
    }
    if (!message.isEmpty())
        fail(message);
    else if (!warning.isEmpty())
        succeedPartly(warning);
    else
        succeed();
}

ServiceCupsPrintersReadHeavyTask::ServiceCupsPrintersReadHeavyTask(Element *element)
    : ServiceCupsReadHeavyTask(element)
{
    taskDescription().setDescription(QObject::tr("Read Cups printers information"));
}

void ServiceCupsPrintersReadHeavyTask::run()
{
    if (ServiceHeavyElementData *heavy = record())
        readConfiguration(heavy);
    else
        fail(TaskMessages::undefinedTarget());
}

void ServiceCupsPrintersReadHeavyTask::readConfiguration(ServiceHeavyElementData *record)
{
    const QDir directory(QString::fromLatin1(configDirectory));
    QString message;
    QString warning;
    for (const char *name : {"printers.conf", "classes.conf"}) {
        QString error;
        bool cut = false;
        const QString path = directory.absoluteFilePath(QString::fromLatin1(name));
        const QList<TreeNode *> nodes = CupsConfReader::readPrinters(path, &error, &cut);
        if (error.isEmpty())
            record->data().append(nodes);
        else
            addError(&message, error);
        if (cut)
            addError(&warning, ReadLimits::fileCut(path));
    }
    if (!message.isEmpty())
        fail(message);
    else if (!warning.isEmpty())
        succeedPartly(warning);
    else
        succeed();
}

ClearCacheTask::ClearCacheTask(Element *element) : ElementTask(element)
{
    taskDescription().setDescription(QObject::tr("Clear CUPS cache"));
}

namespace {

struct SpoolEntry
{
    QByteArray raw; ///< the name as the file system has it, for unlinking
    QString name;
};

} // namespace

bool ClearCacheTask::clearDirectory(const QString &directory, QStringList *failed, QString *error)
{
    failed->clear();
    error->clear();
    const QByteArray path = QFile::encodeName(directory);
    // The directory is opened once, without following a link in its place, and every name
    // is listed and unlinked relative to it: a link inside loses only itself, and the
    // directory cannot be swapped for another one half-way.
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int openError = errno;
        if (openError == ENOENT)
            return true;
        struct stat st;
        if (::lstat(path.constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
            *error =
                QObject::tr("Directory \"%1\" is a symbolic link: nothing removed").arg(directory);
        } else {
            *error = TaskMessages::fileError(directory, QFileDevice::OpenError,
                                             qt_error_string(openError));
        }
        return false;
    }
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        *error = TaskMessages::fileError(directory, QFileDevice::ReadError, qt_error_string(errno));
        ::close(fd);
        return false;
    }
    std::vector<SpoolEntry> entries;
    while (const dirent *entry = ::readdir(dir)) {
        // Hidden names (and "." and "..") stay, as do directories, dangling links, devices,
        // pipes and sockets.
        if (entry->d_name[0] == '.')
            continue;
        struct stat st;
        if (::fstatat(fd, entry->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode))
            continue;
        const QByteArray raw(entry->d_name);
        entries.push_back({raw, QFile::decodeName(raw)});
    }
    std::sort(entries.begin(), entries.end(), [](const SpoolEntry &a, const SpoolEntry &b) {
        const int folded = a.name.compare(b.name, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a.name < b.name;
    });
    for (const SpoolEntry &entry : entries) {
        if (::unlinkat(fd, entry.raw.constData(), 0) != 0 && errno != ENOENT)
            failed->append(entry.name);
    }
    ::closedir(dir);
    return true;
}

void ClearCacheTask::run()
{
    const QString directory = QDir(QString::fromLatin1(spoolDirectory)).absolutePath();
    QStringList failed;
    QString error;
    if (!clearDirectory(directory, &failed, &error)) {
        fail(error);
    } else if (!failed.isEmpty()) {
        fail(QObject::tr("Files in directory \"%1\" not removed:\n%2")
                 .arg(directory, failed.join(QLatin1Char(','))));
    } else {
        succeed();
    }
}

bool ClearCacheTask::isChange() const
{
    return true;
}

ServiceCupsControlTask::ServiceCupsControlTask(Element *element) : ProgramControlTask(element)
{
    setUserName(qEnvironmentVariable("SUDO_USER"));
    taskDescription().setDescription(QObject::tr("Control Cups service"));
}
