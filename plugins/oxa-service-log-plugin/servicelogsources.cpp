#include "servicelogsources.h"

#include "servicelog.h"

#include <elementdata.h>
#include <servicerows.h>

#include <QCoreApplication>
#include <QRegularExpression>

namespace ServiceLogSources {

namespace {

/// A service row, and the row whose module its element belongs to (a module with two
/// services describes the module in its first row only).
struct RowEntry
{
    const ServiceRow *row;
    const ServiceRow *moduleRow;
};

const RowEntry rows[] = {
    {&apacheFamily, &apacheFamily},
    {&cronFamily, &cronFamily},
    {&cupsFamily, &cupsFamily},
    {&dovecotFamily, &dovecotFamily},
    {&eximFamily, &eximFamily},
    {&kerberosKdcFamily, &kerberosKdcFamily},
    {&kerberosKadminFamily, &kerberosKdcFamily},
    {&sambaFamily, &sambaFamily},
    {&slapdFamily, &slapdFamily},
    {&tarndFamily, &tarndFamily},
};

QStringList words(const char *list)
{
    return list ? QString::fromLatin1(list).split(QLatin1Char(' '), Qt::SkipEmptyParts)
                : QStringList();
}

} // namespace

QString systemdMarker()
{
    return QStringLiteral("/run/systemd/system");
}

QString clusterType()
{
    return QStringLiteral("ServicePgsqlCluster");
}

Sources sourcesOf(const QString &elementType, const ElementData *data)
{
    if (elementType == clusterType()) {
        if (!data)
            return {};
        return clusterSources(data->property(QStringLiteral("version")).toString(),
                              data->property(QStringLiteral("name")).toString());
    }
    for (const RowEntry &entry : rows) {
        if (elementType == QLatin1String(entry.row->elementType))
            return {words(entry.row->units), words(entry.row->logFiles), QString()};
    }
    return {};
}

Sources clusterSources(const QString &version, const QString &name)
{
    // The names come from pg_lsclusters on the host: only what a cluster may be called goes
    // into a unit name and a path, never a "/" or "..".
    static const QRegularExpression versionShape(QStringLiteral("^[0-9]+(\\.[0-9]+)*$"));
    static const QRegularExpression nameShape(QStringLiteral("^[A-Za-z0-9_][A-Za-z0-9_.-]{0,62}$"));
    if (!versionShape.match(version).hasMatch() || version.size() > 32 ||
        !nameShape.match(name).hasMatch()) {
        Sources none;
        none.error =
            QCoreApplication::translate("ServiceLog", "No log is read for the cluster \"%1\" of "
                                                      "version \"%2\": not a cluster's name")
                .arg(ServiceLog::escapeLine(name.toUtf8()),
                     ServiceLog::escapeLine(version.toUtf8()));
        return none;
    }
    const QString cluster = version + QLatin1Char('-') + name;
    return {{QStringLiteral("postgresql@%1.service").arg(cluster)},
            {QStringLiteral("/var/log/postgresql/postgresql-%1.log").arg(cluster)},
            QString()};
}

QStringList journalArguments(const QStringList &units)
{
    // --unit=NAME rather than "-u NAME": one argument a unit, so that the helper's policy can
    // name the units of a query as the last words of its rule.
    QStringList arguments{QStringLiteral("-q"),
                          QStringLiteral("--no-pager"),
                          QStringLiteral("-o"),
                          QStringLiteral("json"),
                          QStringLiteral("--output-fields=PRIORITY,MESSAGE,SYSLOG_IDENTIFIER,"
                                         "_COMM,_PID"),
                          QStringLiteral("-n"),
                          QString::number(ServiceLog::maxLines)};
    for (const QString &unit : units)
        arguments << QStringLiteral("--unit=") + unit;
    return arguments;
}

QList<Target> targets()
{
    QList<Target> all;
    for (const RowEntry &entry : rows) {
        all.append({QString::fromLatin1(entry.row->elementType),
                    QString::fromLatin1(entry.moduleRow->moduleName),
                    entry.moduleRow->moduleLevel + 1});
    }
    all.append({clusterType(), QStringLiteral("ServicePgsqlModule"), 3});
    return all;
}

} // namespace ServiceLogSources
