#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

class ElementData;

/**
 * The installed-packages plug-in's parsers, apart from files and processes: package list
 * files, the list name of a service element, one dpkg-query record, and the HTML report.
 */
namespace PackageList {

/// Where the package list files are installed, one file per list name.
QString directory();

/// One package line of a list file.
struct Entry
{
    /// The line as written, without its "!" markers: what is reported when no alternative is
    /// installed.
    QString name;
    /// The packages the line accepts, in order: the line itself, or its "|"-separated names.
    QStringList alternatives;
    /// The line began with "!": a package dpkg does not know is left out silently.
    bool optional = false;
};

/**
 * The entries of a list file's text, in file order: one a line, empty lines skipped. A line
 * beginning with "!" is optional and loses every "!"; otherwise it is used unchanged (blanks
 * and carriage returns stay part of the name, as dpkg-query then sees them). A line holding
 * "|" names alternatives (a library under its Debian 12 and Debian 13 names, say): each is
 * trimmed, empty ones are dropped, and a line left without any is skipped.
 */
QList<Entry> parse(const QString &text);

/**
 * The list name of a service element: its id (or, for an element made at run time without
 * one, its element type) up to the first "_", then "-<version>" when @p data has the property
 * "version".
 */
QString listName(const QString &id, const QString &elementType, const ElementData *data);

/// "<directory>/<list name>".
QString listPath(const QString &listName);

/// The query format: binary package name, version and dpkg status, TAB-separated.
QString queryFormat();

/// What one dpkg-query record says about a package.
struct Record
{
    enum Kind
    {
        Unknown,      ///< no output, or dpkg keeps no information ("unknown ok not-installed")
        Malformed,    ///< not exactly three fields (several records run together, say)
        Installed,    ///< "install ok" and on the host; version holds dpkg's version
        NotInstalled, ///< known to dpkg, any other status (removed, held, deinstall)
    };
    Kind kind = Unknown;
    QString version;
};

/// Classifies dpkg-query's decoded output for one package (queryFormat()).
Record parseRecord(const QString &output);

/**
 * The report shown for a package map: a bordered table with a header row and one row per
 * package in the map's (name) order. Names and texts are escaped: they are data, not markup.
 */
QString htmlReport(const QMap<QString, QString> &packages, const QString &nameHeader,
                   const QString &versionHeader);

} // namespace PackageList
