#include "clustermiscmodel.h"

#include <QCoreApplication>

ClusterMiscModel::ClusterMiscModel(QObject *parent) : MiscModel(parent)
{
}

QVariant ClusterMiscModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical && role == Qt::DisplayRole) {
        switch (section) {
        case 0:
            return QCoreApplication::translate("MiscModel", "Config");
        case 1:
            return QCoreApplication::translate("MiscModel", "Data");
        case 2:
            return QCoreApplication::translate("MiscModel", "Log");
        default:
            break;
        }
    }
    return MiscModel::headerData(section, orientation, role);
}
