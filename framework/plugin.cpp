#include "plugin.h"

#include "localhostconnection.h"
#include "module.h"
#include "packagequeries.h"

#include <QMutex>
#include <QVector>

Plugin::Plugin(QObject *parent) : QObject(parent)
{
}

Plugin::~Plugin() = default;

QList<Module *> Plugin::modules() const
{
    return m_modules;
}

void Plugin::appendModule(Module *module)
{
    if (module && !m_modules.contains(module)) {
        m_modules.append(module);
        // Modules go when the plug-in goes; forget one deleted earlier.
        connect(module, &QObject::destroyed, this, [this, module] { m_modules.removeAll(module); });
    }
}

QSharedPointer<HostConnection> Plugin::hostConnection() const
{
    const Module *module = m_modules.value(0);
    return module ? module->hostConnection() : LocalHostConnection::outsideConsole();
}

bool Plugin::isValid() const
{
    return true;
}

QStringList Plugin::requiredPackageNames() const
{
    return QStringList();
}

namespace {
QMutex preparationLock;
/// One registered routine: of either kind.
struct Preparation
{
    PluginPreparations::Routine plain = nullptr;
    PluginPreparations::HostRoutine onHost = nullptr;
};

QVector<Preparation> &pendingPreparations()
{
    static QVector<Preparation> routines;
    return routines;
}
} // namespace

void PluginPreparations::add(Routine routine)
{
    if (!routine)
        return;
    QMutexLocker locker(&preparationLock);
    pendingPreparations().append({routine, nullptr});
}

void PluginPreparations::add(HostRoutine routine)
{
    if (!routine)
        return;
    QMutexLocker locker(&preparationLock);
    pendingPreparations().append({nullptr, routine});
}

void PluginPreparations::startAll()
{
    startAll(LocalHostConnection::outsideConsole());
}

void PluginPreparations::startAll(const QSharedPointer<HostConnection> &host)
{
    const QSharedPointer<HostConnection> on = host ? host : LocalHostConnection::outsideConsole();
    QVector<Preparation> routines;
    {
        QMutexLocker locker(&preparationLock);
        routines.swap(pendingPreparations());
    }
    for (const Preparation &routine : std::as_const(routines)) {
        if (routine.onHost)
            routine.onHost(on);
        else
            routine.plain();
    }
    // The package questions the routines prepared go together.
    PackageQueries::start(on);
}
