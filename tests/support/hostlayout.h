#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

class TestHost;

/**
 * A directory that describes a host, laid onto a TestHost in one call: "root/" holds files
 * at their real paths, "packages" the packages that dpkg knows, "bin/" the programs that
 * cannot exist here, laid where the real ones go (TestHost::toolPath()). The demo host is
 * one; tests may keep their own.
 */
class HostLayout
{
public:
    /// One line of a "packages" file: "name version [status]".
    struct Package
    {
        QString name;
        QString version;
        QString status; ///< dpkg's three words; "install ok installed" when the line has none
        int line = 0;
    };

    /**
     * Reads a "packages" file: one package a line, "#" starts a comment, blank lines are
     * ignored. Returns false, with the line named in @p error, for a line without a version.
     */
    static bool parsePackages(const QByteArray &text, QVector<Package> *packages, QString *error);

    /// Lays the layout in @p directory onto @p host; each part may be missing.
    static bool apply(TestHost &host, const QString &directory, QString *error);
};
