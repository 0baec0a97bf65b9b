#pragma once

#include "hostconnection.h"

#include <QSharedPointer>

/**
 * The connection to the machine the console runs on: the console's own process runs the
 * programs and opens the files, with its own rights.
 */
class OXA_EXPORT LocalHostConnection : public HostConnection
{
public:
    /**
     * The connection of modules, plug-ins and tasks made outside a console (suites, tools): a
     * module outside a console works on the local host. Only the framework hands it out
     * (Module::hostConnection(), Plugin::hostConnection()); plug-ins take their module's.
     */
    static QSharedPointer<HostConnection> outsideConsole();

    bool isPrivileged() const override;

    QString findProgram(const QString &program) const override;
    ProcessResult run(const QString &program, const QStringList &arguments,
                      int timeoutMs = ChildProcess::ReadLimit) const override;
    ProcessResult runChange(const QString &program, const QStringList &arguments,
                            const ChildProcess::ChangeWait &wait) const override;
    DetachedStart startDetached(const QString &program, const QStringList &arguments,
                                const QList<QByteArray> &environment, int graceMs) const override;

    HostFileContent readFile(const QString &path, qint64 maxBytes) const override;
    HostFileContent readTail(const QString &path, int lines, qint64 maxBytes) const override;
    HostDirectoryListing listDirectory(const QString &path,
                                       int maxEntries = DefaultMaxEntries) const override;
    HostRemoval removePlainEntries(const QString &directory) const override;
    HostFileStatus writeFile(const QString &path, const QByteArray &contents,
                             int newFileMode = 0644) const override;
    HostPathInfo pathInfo(const QString &path) const override;
};
