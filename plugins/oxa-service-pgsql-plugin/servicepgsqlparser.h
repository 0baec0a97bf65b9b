#pragma once

#include <elementdata.h>

#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

/**
 * Reading the PostgreSQL tooling's output into cluster records: the installed server versions
 * from dpkg-query, the clusters from `pg_lsclusters --no-header`. Plain functions of text, so
 * they can be tested and fuzzed without processes.
 */
namespace ServicePgsqlParser {

/// The dpkg-query package pattern of the server packages: "postgresql-[0123456789]*".
QString packagePattern();
/// Capture 1 is the major version: "ii\spostgresql-(\d+\.?\d+)".
QString versionPattern();
/// The dpkg-query arguments that list the server packages, one line each.
QStringList versionQueryArguments();

/// The versions of the installed ("ii") server packages among dpkg-query's @p lines.
QSet<QString> installedVersions(const QStringList &lines);

/// A pg_lsclusters line's fields: split at blanks, runs of blanks count as one.
QStringList fields(const QString &line);
/// Whether a status field says the cluster runs: its part before the first comma is "online".
bool isOnline(const QString &status);
/// The translated text of a status field, or an empty text for a status the table lacks.
QString statusText(const QString &status);
/// "cluster=<name>/version=<version>".
QString configureParam(const QString &name, const QString &version);
/// An element title: "<name>-<version>".
QString clusterTitle(const QString &name, const QString &version);
/// The configuration directory of a cluster: "/etc/postgresql/<version>/<name>".
QString configDirectory(const QString &version, const QString &name);

/// A cluster's start mode file: "/etc/postgresql/<version>/<name>/start.conf".
QString startConfPath(const QString &version, const QString &name);
/**
 * The start mode @p text (a start.conf) gives: the first word of the first line that is neither
 * blank nor a comment (a "#" begins one anywhere) when it is "auto", "manual" or "disabled";
 * "auto" when there is no such line (the tools' default, as for a missing file); empty when
 * that word is anything else.
 */
QString startConfValue(const QByteArray &text);
/**
 * @p text with the first line that is neither blank nor a comment starting with @p value
 * instead of its first word (what follows the word, a comment say, stays); with no such
 * line, @p text and a line holding @p value. Every other line stays as it is.
 */
QByteArray rewriteStartConf(const QByteArray &text, const QString &value);
/// The operations that would change a cluster's start mode @p value: enabling ("auto") for
/// "manual" and "disabled", disabling ("manual") for "auto"; none for anything else.
OperationTypes startConfOperations(const QString &value);

/**
 * One record per line of `pg_lsclusters --no-header` output, in order: "version", "name",
 * "port", "state", "textState", "configureParam". A line with fewer than four fields is
 * skipped.
 */
QVector<ElementData> clusterRecords(const QStringList &lines);

/**
 * Updates @p record (its "version" and "name" say which cluster) from the first line of
 * @p lines that names that cluster: "port", "state", "textState" and "directories". Lines
 * with fewer than seven fields are passed over. False, and the record untouched, when no line
 * names it or the record lacks a version or a name.
 */
bool updateCluster(ElementData &record, const QStringList &lines);

} // namespace ServicePgsqlParser
