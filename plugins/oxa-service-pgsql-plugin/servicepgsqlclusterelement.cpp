#include "servicepgsqlclusterelement.h"

#include "servicepgsqlparser.h"

#include <elementdata.h>
#include <module.h>
#include <treenodemodel.h>

#include <QCoreApplication>
#include <QIcon>

namespace {
constexpr OperationTypes runningOperations = OperationCreate | OperationReadHeavy |
                                             OperationDelete | OperationStop | OperationRestart |
                                             OperationReload | OperationControl;
constexpr OperationTypes stoppedOperations =
    OperationCreate | OperationReadHeavy | OperationDelete | OperationStart | OperationControl;
constexpr OperationTypes forwardedOperations =
    runningOperations | stoppedOperations | OperationEnableAtBoot | OperationDisableAtBoot;
} // namespace

ServicePgsqlClusterElement::ServicePgsqlClusterElement(Module *module, QObject *parent)
    : Element(module, &Module::isAdministratorHierarchy, parent)
{
    setElementType(QStringLiteral("ServicePgsqlCluster"));
}

QVariant ServicePgsqlClusterElement::property(const QString &key,
                                              const QVariant &defaultValue) const
{
    const ElementData *record = elementData();
    return record ? record->property(key, defaultValue) : defaultValue;
}

bool ServicePgsqlClusterElement::isRunning() const
{
    return property(QStringLiteral("state"), false).toBool();
}

QVariant ServicePgsqlClusterElement::data(int column, int role) const
{
    if (column > 4)
        return Element::data(column, role);
    const bool text = role == Qt::DisplayRole || role == Qt::ToolTipRole;
    const QString name = property(QStringLiteral("name")).toString();
    const QString version = property(QStringLiteral("version")).toString();
    if (role == Qt::DecorationRole && (column == 0 || column == 1)) {
        return QIcon::fromTheme(isRunning() ? QStringLiteral("media-playback-start")
                                            : QStringLiteral("media-playback-stop"));
    }
    switch (column) {
    case 0:
        if (text || role == TreeNodeModel::NameRole)
            return QStringLiteral("%1 %2").arg(version, name);
        break;
    case 1:
        if (text)
            return name;
        break;
    case 2:
        if (text)
            return version;
        break;
    case 3:
        if (text)
            return property(QStringLiteral("port"), -1).toInt();
        break;
    case 4:
        if (text)
            return property(QStringLiteral("textState")).toString();
        break;
    default:
        break;
    }
    return QVariant();
}

OperationTypes ServicePgsqlClusterElement::availableOperations() const
{
    if (!Module::isAdministratorHierarchy(module()))
        return OperationReadHeavy;
    // The start mode change that would alter what start.conf says now.
    const OperationTypes boot =
        ServicePgsqlParser::startConfOperations(property(QStringLiteral("bootState")).toString());
    return (isRunning() ? runningOperations : stoppedOperations) | boot;
}

void ServicePgsqlClusterElement::performOperation(OperationType type, ElementData *data, int n)
{
    if (forwardedOperations & OperationTypes(type))
        forwardToModule(type, data, n);
}

QString ServicePgsqlClusterElement::caption() const
{
    return QCoreApplication::translate("Element", "PostgreSQL database cluster: %1 - %2")
        .arg(property(QStringLiteral("name")).toString(),
             property(QStringLiteral("version")).toString());
}

int ServicePgsqlClusterElement::treeNodeSpecialFlags() const
{
    return TreeNodeFlagLeaf;
}
