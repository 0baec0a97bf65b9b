#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QVector>

/**
 * The package database of a disposable host as the text of /var/lib/dpkg/status: stanzas
 * kept in dpkg's order, with the packages a test installs, removes, holds or forgets.
 */
class DpkgStatus
{
public:
    /// The status dpkg gives a package that is unpacked and configured.
    static const QByteArray installedStatus;
    /// The status dpkg leaves after "dpkg --remove": only the configuration files remain.
    static const QByteArray configFilesStatus;

    /**
     * Reads stanzas in dpkg's control-file syntax and merges them in: a stanza replaces an
     * earlier one of the same package and architecture, as dpkg's update journal does.
     * Returns false (and keeps the stanzas read so far) when a line is neither a field, a
     * continuation nor blank; @p error then names the line.
     */
    bool merge(const QByteArray &text, QString *error = nullptr);
    /// The database as dpkg writes it: fields in their order, one blank line after a stanza.
    QByteArray toText() const;

    /**
     * Adds the package, or gives every architecture of it the version and status. A new
     * stanza carries every field the real dpkg-query expects, so it answers without warnings.
     * @p name may be "name:arch"; a new package without one gets @p architecture.
     */
    void install(const QString &name, const QString &version, const QByteArray &status,
                 const QByteArray &architecture);
    /// Sets the status of every stanza of the package; false if it is unknown.
    bool setStatus(const QString &name, const QByteArray &status);
    /// Drops the package, so dpkg does not know it at all; false if it was unknown.
    bool forget(const QString &name);

    bool contains(const QString &name) const;
    /// The value of @p field in the first stanza of the package, or a null array.
    QByteArray field(const QString &name, const QByteArray &field) const;
    int size() const { return m_stanzas.size(); }

private:
    struct Stanza
    {
        QByteArray package;
        QByteArray architecture;
        /// field name and raw value; continuation lines stay in the value after a '\n'
        QVector<QPair<QByteArray, QByteArray>> fields;

        QByteArray value(const QByteArray &field) const;
        void setValue(const QByteArray &field, const QByteArray &value);
    };

    void addStanza(Stanza stanza);
    QList<int> indexesOf(const QString &name) const;

    QVector<Stanza> m_stanzas;
};
