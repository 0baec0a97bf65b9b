#include "consolehost.h"

#include "pathtrust.h"

#include <consoleregistry.h>
#include <localhostconnection.h>
#include <module.h>
#include <packagequeries.h>
#include <plugin.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QLibrary>
#include <QLoggingCategory>
#include <QPluginLoader>
#include <QRunnable>
#include <QThreadPool>
#include <QTimer>

#include <memory>
#include <vector>

#include <unistd.h>

#ifndef OXA_DEFAULT_PLUGIN_DIR
#define OXA_DEFAULT_PLUGIN_DIR "/usr/lib/vell-admin-service/plugins"
#endif

Q_LOGGING_CATEGORY(lcHost, "vell.admin.host", QtWarningMsg)

ConsoleHost::ConsoleHost(QObject *parent, QSharedPointer<HostConnection> connection)
    : QObject(parent),
      m_connection(connection ? std::move(connection)
                              : QSharedPointer<HostConnection>(new LocalHostConnection)),
      m_pool(new QThreadPool(this)), m_registry(new ConsoleRegistry(this))
{
    // Checks that never answer must not keep idle threads around for long.
    m_pool->setExpiryTimeout(1000);
}

ConsoleHost::~ConsoleHost()
{
    // A check still running uses its plug-in object: let it end (each is bounded) first.
    m_pool->waitForDone();
    // The registry detaches the supplements and hands the elements back to their modules
    // while every plug-in is still alive.
    delete m_registry;
    m_registry = nullptr;
    // The libraries stay loaded: objects of theirs (translators, icons, queued tasks) may
    // outlive this point until the process ends.
    for (const PluginRecord &record : std::as_const(m_records))
        delete record.plugin.data();
}

QString ConsoleHost::installedPluginDirectory()
{
    return QStringLiteral(OXA_DEFAULT_PLUGIN_DIR);
}

QStringList ConsoleHost::searchPath(const QStringList &directories, const QString &environmentPath,
                                    const QString &installDirectory)
{
    QStringList all = directories;
    all += environmentPath.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    all.append(installDirectory);
    QStringList path;
    for (const QString &directory : std::as_const(all)) {
        if (directory.isEmpty())
            continue;
        const QString clean = QDir::cleanPath(QDir(directory).absolutePath());
        if (!path.contains(clean))
            path.append(clean);
    }
    return path;
}

namespace {
int s_trustedFilesOnly = -1;
} // namespace

bool ConsoleHost::trustedFilesOnly()
{
    if (s_trustedFilesOnly < 0)
        s_trustedFilesOnly = ::geteuid() == 0 ? 1 : 0;
    return s_trustedFilesOnly == 1;
}

void ConsoleHost::setTrustedFilesOnly(bool on)
{
    s_trustedFilesOnly = on ? 1 : 0;
}

QString ConsoleHost::untrustedReason(const QString &path)
{
    return QString::fromStdString(
        PathTrust::untrustedReason(QFile::encodeName(QDir::cleanPath(path)).toStdString()));
}

QStringList ConsoleHost::defaultSearchPath(const QStringList &directories)
{
    // Root takes code only from where the administrator put it, not from the environment of
    // whoever started it (su and sudo -E keep the caller's).
    return searchPath(directories,
                      trustedFilesOnly() ? QString()
                                         : qEnvironmentVariable("VELL_ADMIN_PLUGIN_PATH"),
                      installedPluginDirectory());
}

void ConsoleHost::forEachLibrary(
    const QStringList &directories, const std::function<void(const QString &)> &use,
    const std::function<void(const QString &)> &missing,
    const std::function<void(const QString &, const QString &)> &refused)
{
    const bool trusted = trustedFilesOnly();
    QStringList names;
    QStringList paths;
    for (const QString &directory : directories) {
        QDir dir(directory);
        if (!dir.exists()) {
            missing(directory);
            continue;
        }
        if (trusted) {
            const QString why = untrustedReason(dir.absolutePath());
            if (!why.isEmpty()) {
                refused(directory, why);
                continue;
            }
        }
        const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::Readable, QDir::Name);
        for (const QFileInfo &entry : entries) {
            if (!QLibrary::isLibrary(entry.fileName()))
                continue;
            if (names.contains(entry.fileName())) {
                qCDebug(lcHost) << "shadowed by an earlier directory:" << entry.filePath();
                continue;
            }
            const QString canonical = entry.canonicalFilePath();
            if (paths.contains(canonical))
                continue;
            names.append(entry.fileName());
            paths.append(canonical);
            if (!trusted) {
                use(entry.absoluteFilePath());
                continue;
            }
            const QString why = untrustedReason(entry.absoluteFilePath());
            if (!why.isEmpty()) {
                refused(entry.absoluteFilePath(), why);
                continue;
            }
            // Loaded by the name that was judged: no link on the way can be turned meanwhile.
            if (QFileInfo(canonical).isFile())
                use(canonical);
            else
                refused(entry.absoluteFilePath(), tr("not a regular file"));
        }
    }
}

void ConsoleHost::preloadLibraries(const QStringList &directories, bool prepare)
{
    // Loaded for good: a library is never unloaded while the console runs.
    static QList<QPluginLoader *> loaders;
    forEachLibrary(
        directories,
        [](const QString &path) {
            auto *loader = new QPluginLoader(path);
            if (loader->metaData().value(QStringLiteral("IID")).toString() ==
                    QLatin1String(OXA_PLUGIN_IID) &&
                loader->load())
                loaders.append(loader);
            else
                delete loader;
        },
        [](const QString &) {}, [](const QString &, const QString &) {});
    // The console has made no connection yet: what is prepared here serves the in-process one
    // to this machine, and only when that is the host administered.
    if (prepare)
        PluginPreparations::startAll();
}

void ConsoleHost::loadPlugins(const QStringList &directories)
{
    // Every library first, then the plug-in objects: what a library prepares for its object
    // (a question to a tool) runs while the others are made, not in turn with them.
    std::vector<std::unique_ptr<QPluginLoader>> loaders;
    forEachLibrary(
        directories,
        [this, &loaders](const QString &path) {
            // A library an earlier call loaded is not loaded again.
            const QFileInfo file(path);
            if (m_seenNames.contains(file.fileName()) ||
                m_seenPaths.contains(file.canonicalFilePath()))
                return;
            m_seenNames.append(file.fileName());
            m_seenPaths.append(file.canonicalFilePath());
            if (QPluginLoader *loader = openLibrary(path))
                loaders.emplace_back(loader);
        },
        [this](const QString &directory) {
            // The installed directory is missing in a build tree: nothing to say about it. A
            // directory somebody named is another matter.
            if (QDir::cleanPath(QDir(directory).absolutePath()) != installedPluginDirectory())
                report(directory, tr("the plug-in directory does not exist"));
        },
        [this](const QString &path, const QString &why) {
            report(path, tr("not loaded by a console running as root: %1").arg(why));
        });
    PluginPreparations::startAll(m_connection);
    for (const auto &loader : loaders)
        makePlugin(loader.get());
}

void ConsoleHost::report(const QString &file, const QString &message)
{
    m_issues.append({file, message});
    emit issueReported(file, message);
}

QPluginLoader *ConsoleHost::openLibrary(const QString &path)
{
    auto loader = std::make_unique<QPluginLoader>(path);
    // Qt reads the metadata from the file without running any of the library's code.
    const QJsonObject metaData = loader->metaData();
    if (metaData.isEmpty()) {
        const QString why = loader->errorString();
        report(path, why.isEmpty() || why == QLatin1String("Unknown error")
                         ? tr("not a console plug-in (no plug-in metadata)")
                         : why);
        return nullptr;
    }
    const QString iid = metaData.value(QStringLiteral("IID")).toString();
    if (iid != QLatin1String(OXA_PLUGIN_IID)) {
        // Another program's plug-in: not ours to judge.
        qCDebug(lcHost) << "ignoring" << path << "with interface" << iid;
        return nullptr;
    }
    if (!loader->load()) {
        report(path, tr("cannot be loaded: %1").arg(loader->errorString()));
        return nullptr;
    }
    return loader.release();
}

void ConsoleHost::makePlugin(QPluginLoader *loader)
{
    QElapsedTimer clock;
    clock.start();
    const QString path = loader->fileName();
    QObject *instance = loader->instance();
    if (!instance) {
        report(path, tr("cannot be loaded: %1").arg(loader->errorString()));
        return;
    }
    Plugin *plugin = qobject_cast<Plugin *>(instance);
    if (!plugin) {
        report(path, tr("its object (%1) is not a console plug-in")
                         .arg(QString::fromLatin1(instance->metaObject()->className())));
        delete instance;
        return;
    }
    // Before its check runs: the plug-in's modules reach the host only through this.
    for (Module *module : plugin->modules())
        module->setHostConnection(m_connection);
    PluginRecord record;
    record.file = path;
    record.className = loader->metaData().value(QStringLiteral("className")).toString();
    record.plugin = plugin;
    m_records.append(record);
    qCDebug(lcHost) << "made the plug-in of" << path << "in" << clock.elapsed() << "ms";
    if (m_checkWhileLoading && !m_checked)
        startCheck(m_records.size() - 1);
}

void ConsoleHost::checkPlugins()
{
    if (m_checking || m_checked)
        return;
    m_checking = true;
    m_outstanding = 0;
    for (const PluginRecord &record : std::as_const(m_records)) {
        if (record.plugin && !record.checked)
            ++m_outstanding;
    }
    if (m_outstanding == 0) {
        // Still asynchronous, so that callers see the same order of events either way.
        QTimer::singleShot(0, this, [this] { finishChecks(false); });
        return;
    }
    for (int i = 0; i < m_records.size(); ++i) {
        if (!m_records.at(i).checkStarted)
            startCheck(i);
    }
    QTimer::singleShot(m_checkTimeoutMs, this, [this] {
        if (m_checking)
            finishChecks(true);
    });
}

void ConsoleHost::startCheck(int index)
{
    PluginRecord &record = m_records[index];
    Plugin *plugin = record.plugin;
    if (!plugin || record.checkStarted)
        return;
    record.checkStarted = true;
    // One thread per plug-in: each check may block for up to 30 s, and start-up must take
    // as long as the slowest check, not the sum of them.
    int started = 0;
    for (const PluginRecord &each : std::as_const(m_records))
        started += each.checkStarted ? 1 : 0;
    if (m_pool->maxThreadCount() < started)
        m_pool->setMaxThreadCount(started);
    QPointer<ConsoleHost> self(this);
    m_pool->start(QRunnable::create([self, plugin, index] {
        QElapsedTimer clock;
        clock.start();
        const bool valid = plugin->isValid();
        qCDebug(lcHost) << "checked" << plugin << "in" << clock.elapsed() << "ms";
        if (self) {
            QMetaObject::invokeMethod(
                self,
                [self, index, valid] {
                    if (self)
                        self->onChecked(index, valid);
                },
                Qt::QueuedConnection);
        }
    }));
}

void ConsoleHost::onChecked(int index, bool valid)
{
    // An answer may come before checkPlugins() (checked while loading): it is kept.
    if (m_checked || index < 0 || index >= m_records.size())
        return;
    PluginRecord &record = m_records[index];
    if (record.checked)
        return;
    record.checked = true;
    record.valid = valid;
    if (m_checking && --m_outstanding <= 0)
        finishChecks(false);
}

void ConsoleHost::finishChecks(bool timedOut)
{
    if (!m_checking)
        return;
    if (timedOut) {
        for (PluginRecord &record : m_records) {
            if (record.plugin && !record.checked) {
                record.checked = true;
                record.valid = false;
                record.checkError =
                    tr("did not say within %1 s whether it is valid").arg(m_checkTimeoutMs / 1000);
                report(record.file, record.checkError);
            }
        }
    }
    m_checking = false;
    m_checked = true;
    // Package answers prepared for checks that did not ask (a plug-in that stopped at its
    // first package) would be stale for a later question.
    PackageQueries::forget();
    qCDebug(lcHost) << "every plug-in checked";
    emit pluginsChecked();
}

bool ConsoleHost::waitForChecks()
{
    if (!m_checking && !m_checked)
        checkPlugins();
    if (m_checked)
        return true;
    QEventLoop loop;
    connect(this, &ConsoleHost::pluginsChecked, &loop, &QEventLoop::quit);
    if (m_checking)
        loop.exec();
    return m_checked;
}

void ConsoleHost::build(bool paranoid)
{
    if (m_built)
        return;
    m_built = true;
    m_registry->setParanoid(paranoid);
    for (const PluginRecord &record : std::as_const(m_records)) {
        if (record.plugin)
            m_registry->addPlugin(record.plugin, record.checked && record.valid);
    }
    m_registry->build();
    qCDebug(lcHost) << "console tree built";
    emit built();
}
