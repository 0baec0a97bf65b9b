#pragma once

#include <element.h>

class QStringListModel;

/**
 * The PostgreSQL branch below the Services root: a container whose children are the
 * clusters of every installed major version. It owns the list of installed versions that
 * the cluster form offers.
 */
class ServicePgsqlClustersElement : public ContainerElement
{
    Q_OBJECT
public:
    explicit ServicePgsqlClustersElement(Module *module);

    QStringListModel *versionsModel() const { return m_versions; }

    int columnCount() const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    /// The list of clusters for viewing, the cluster form for every other role.
    ViewEditElementWidget *elementWidget(ElementWidgetRole role) const override;
    QString caption() const override;

private:
    QStringListModel *m_versions;
};
