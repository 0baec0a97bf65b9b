#pragma once

#include <hostconnection.h>

#include <QBuffer>
#include <QByteArray>
#include <QString>
#include <QStringList>

/**
 * Directory listings and file reads of the administered host as the plug-ins used to make
 * them on the local disk: the same names, filters and order, through the module's connection.
 */
namespace HostFiles {

/**
 * What a read of the host gave, as a device for the parsers that read lines: a buffer that
 * finds a line's end in one scan (a plain QBuffer hands lines out a byte at a time).
 */
class ContentDevice : public QBuffer
{
public:
    /// Opened for reading over @p bytes (shared, not copied).
    explicit ContentDevice(const QByteArray &bytes);

protected:
    qint64 readLineData(char *data, qint64 maxSize) override;

private:
    QByteArray m_bytes;
};

/// How the names of a listing are ordered.
enum class Order
{
    /// By name with case folded, as a directory listing sorts by default.
    ByName,
    /// As the connection lists them (bytewise): for callers that never relied on an order.
    AsListed
};

/// The regular files of one directory.
struct Files : HostFileStatus
{
    QStringList names;
    /// There were more entries than a listing takes: the rest are not there.
    bool cut = false;
};

/**
 * The regular files directly in @p directory (links to one included, dangling links and
 * links to anything else not), without hidden names, matching one of @p nameFilters
 * (wildcards, case-insensitive) when any are given. Missing, NotDirectory or Failed, with no
 * names, when the directory cannot be listed.
 */
Files regularFiles(const HostConnection &host, const QString &directory,
                   const QStringList &nameFilters = QStringList(), Order order = Order::ByName);

/// Whether @p name matches one of the wildcard @p filters as a directory listing's name
/// filters do (whole name, case-insensitive); true without filters.
bool matchesNameFilters(const QString &name, const QStringList &filters);

/// The entries of @p listing that regularFiles() keeps, ordered as asked.
QStringList regularFileNames(const QList<HostDirectoryEntry> &entries,
                             const QStringList &nameFilters, Order order);

} // namespace HostFiles
