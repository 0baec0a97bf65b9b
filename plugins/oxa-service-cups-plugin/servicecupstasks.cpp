#include "servicecupstasks.h"

#include "cupsconfreader.h"

#include <hostfiles.h>
#include <readlimits.h>
#include <taskmessages.h>
#include <treenode.h>

#include <QFileDevice>

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

/// A read of several files ends failed when any failed, else warned when any was cut.
void endWith(AbstractTask *task, const QString &failures, const QString &warnings)
{
    if (!failures.isEmpty())
        task->fail(failures);
    else if (!warnings.isEmpty())
        task->succeedPartly(warnings);
    else
        task->succeed();
}

} // namespace

void ServiceCupsReadHeavyTask::readConfiguration(ServiceHeavyElementData *record)
{
    const QSet<QString> keys = CupsConfReader::summaryKeys();
    const QString directory = QString::fromLatin1(configDirectory);
    // A directory that is not there (or cannot be listed) has no files to show, as before.
    const QStringList files =
        HostFiles::regularFiles(host(), directory, {QString::fromLatin1(configFilter)}).names;
    QString message;
    QString warning;
    for (const QString &name : files) {
        QString error;
        QList<TreeNode *> summary;
        bool cut = false;
        const QString path = directory + QLatin1Char('/') + name;
        const QList<TreeNode *> nodes = CupsConfReader::readConfiguration(
            path, host().readFile(path, CupsConfReader::readBound()), &error, keys, &summary, &cut);
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
    endWith(this, message, warning);
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
    const QString directory = QString::fromLatin1(configDirectory);
    QString message;
    QString warning;
    for (const char *name : {"printers.conf", "classes.conf"}) {
        QString error;
        bool cut = false;
        const QString path = directory + QLatin1Char('/') + QString::fromLatin1(name);
        const QList<TreeNode *> nodes = CupsConfReader::readPrinters(
            path, host().readFile(path, CupsConfReader::readBound()), &error, &cut);
        if (error.isEmpty())
            record->data().append(nodes);
        else
            addError(&message, error);
        if (cut)
            addError(&warning, ReadLimits::fileCut(path));
    }
    endWith(this, message, warning);
}

ClearCacheTask::ClearCacheTask(Element *element) : ElementTask(element)
{
    taskDescription().setDescription(QObject::tr("Clear CUPS cache"));
}

bool ClearCacheTask::clearDirectory(const HostConnection &host, const QString &directory,
                                    QStringList *failed, QString *error)
{
    failed->clear();
    error->clear();
    // The connection opens the directory once, without following a link in its place, and
    // removes every plain name relative to it: a link inside loses only itself, and the
    // directory cannot be swapped for another one half-way. Hidden names stay, as do
    // directories, dangling links, devices, pipes and sockets.
    const HostRemoval removal = host.removePlainEntries(directory);
    switch (removal.code) {
    case HostFileStatus::Ok:
        *failed = removal.failed;
        return true;
    case HostFileStatus::Missing:
        // No spool: nothing to clear.
        return true;
    case HostFileStatus::Link:
        *error = QObject::tr("Directory \"%1\" is a symbolic link: nothing removed").arg(directory);
        return false;
    default:
        *error = TaskMessages::fileError(directory, QFileDevice::OpenError, removal.errorText);
        return false;
    }
}

void ClearCacheTask::run()
{
    const QString directory = QString::fromLatin1(spoolDirectory);
    QStringList failed;
    QString error;
    if (!clearDirectory(host(), directory, &failed, &error)) {
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
