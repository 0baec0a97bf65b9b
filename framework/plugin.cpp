#include "plugin.h"

#include "module.h"

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
