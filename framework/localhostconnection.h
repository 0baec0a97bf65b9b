#pragma once

#include "hostconnection.h"

/**
 * The connection to the machine the console runs on: the console's own process runs the
 * programs and opens the files, with its own rights.
 */
class OXA_EXPORT LocalHostConnection : public HostConnection
{
public:
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
