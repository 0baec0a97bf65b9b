#include "servicepgsqlclusterselement.h"

#include <module.h>
#include <serviceelement.h>

#include <QStringListModel>

ServicePgsqlClustersElement::ServicePgsqlClustersElement(Module *module)
    : ContainerElement(module, &Module::isAdministratorHierarchy),
      m_versions(new QStringListModel(this))
{
    placeElement(this, QStringLiteral("ServicePgsqlClusters"), QStringLiteral("ServiceServices"), 2,
                 tr("PostgreSQL"));
}

int ServicePgsqlClustersElement::columnCount() const
{
    return 5;
}

QVariant ServicePgsqlClustersElement::headerData(int section, Qt::Orientation orientation,
                                                 int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case 1:
        return tr("Name");
    case 2:
        return tr("Version");
    case 3:
        return tr("Port");
    case 4:
        return tr("State");
    default:
        return QVariant();
    }
}

ViewEditElementWidget *ServicePgsqlClustersElement::elementWidget(ElementWidgetRole role) const
{
    if (!module())
        return nullptr;
    if (role == ElementWidgetRoleView)
        return module()->elementWidget(QStringLiteral("ServicePgsqlClusters"));
    return module()->elementWidget(QStringLiteral("ServicePgsqlCluster"));
}

QString ServicePgsqlClustersElement::caption() const
{
    return tr("PostgreSQL database clusters");
}
