#include "servicetaskcheck.h"

#include "testhost.h"

#include <element.h>
#include <module.h>

#include <QFile>

namespace ServiceTaskCheck {

QStringList recordedCalls(const QString &file)
{
    QFile calls(file);
    if (!calls.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(calls.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList descriptions(const QList<TaskReport> &reports)
{
    QStringList texts;
    for (const TaskReport &report : reports)
        texts << report.description;
    return texts;
}

void perform(Module *module, Element *element, bool onRoot, OperationType operation)
{
    if (onRoot) {
        Element root(nullptr, &Module::isAdministratorHierarchy);
        root.setId(QStringLiteral("ServiceServices"));
        root.setElementType(QStringLiteral("ServiceServices"));
        module->performOperation(&root, operation, nullptr, 0);
    } else {
        element->performOperation(operation, nullptr, 0);
    }
}

bool writeInitScript(TestHost &host, const QString &script, const QString &kind)
{
    if (kind == QLatin1String("hang"))
        return host.writeHangingScript(script);
    if (kind == QLatin1String("crash"))
        return host.writeCrashingScript(script);
    if (kind == QLatin1String("missing"))
        return host.removePath(script);
    return host.writeScript(script, kind);
}

} // namespace ServiceTaskCheck
