#include "plugin.h"

#include "module.h"
#include "packagequeries.h"

#include <QMutex>
#include <QVector>

Plugin::Plugin(QObject *parent) : QObject(parent) {}

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
        connect(module, &QObject::destroyed, this,
                [this, module] { m_modules.removeAll(module); });
    }
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
QVector<PluginPreparations::Routine> &pendingPreparations()
{
    static QVector<PluginPreparations::Routine> routines;
    return routines;
}
} // namespace

void PluginPreparations::add(Routine routine)
{
    if (!routine)
        return;
    QMutexLocker locker(&preparationLock);
    pendingPreparations().append(routine);
}

void PluginPreparations::startAll()
{
    QVector<Routine> routines;
    {
        QMutexLocker locker(&preparationLock);
        routines.swap(pendingPreparations());
    }
    for (Routine routine : std::as_const(routines))
        routine();
    // The package questions the routines prepared go together.
    PackageQueries::start();
}
