#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class ElementData;

/**
 * Where the log of a service element comes from: its systemd units and the files it writes
 * itself (from the service rows, or a database cluster's version and name), and the journal
 * query the console makes of them.
 */
namespace ServiceLogSources {

/// The host runs systemd when this directory exists.
QString systemdMarker();

/// A service's log sources; @p error says why it has none it may read (a cluster's name that
/// is no cluster name), and is empty otherwise.
struct Sources
{
    QStringList units;
    QStringList files;
    QString error;
};

/// The element type of a database cluster, whose sources come from its version and name.
QString clusterType();

/**
 * The sources of the element of @p elementType (a service element's id is its type) with the
 * record @p data (a cluster's "version" and "name"); none for an element no row describes.
 */
Sources sourcesOf(const QString &elementType, const ElementData *data);
/// A cluster's: postgresql@VERSION-NAME.service and
/// /var/log/postgresql/postgresql-VERSION-NAME.log.
Sources clusterSources(const QString &version, const QString &name);

/// journalctl's arguments for @p units: the last maxLines records of them, as JSON.
QStringList journalArguments(const QStringList &units);

/// One element the log hangs under: the module the supplement joins and its level.
struct Target
{
    QString elementType;
    QString parentModule;
    int level = 0;
};
/// Every service element of the rows with units or log files, then the database clusters.
QList<Target> targets();

} // namespace ServiceLogSources
