#pragma once

#include <miscmodel.h>

/** A cluster's directories in the cluster form: rows Config, Data and Log. */
class ClusterMiscModel : public MiscModel
{
    Q_OBJECT
public:
    explicit ClusterMiscModel(QObject *parent = nullptr);

    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
};
