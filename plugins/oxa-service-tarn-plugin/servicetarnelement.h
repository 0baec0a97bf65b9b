#pragma once

#include <element.h>

#include <QSharedPointer>

class HostConnection;

/**
 * The host's membership in the Tarn directory, below the Services root: a server or a
 * client, decided once by asking "tarn-client" when the module's host is known (its
 * connection set, or the role first wanted).
 */
class ServiceTarnElement : public ServiceElement
{
    Q_OBJECT
public:
    explicit ServiceTarnElement(Module *module);

    /// The role, asked of the module's host the first time it is wanted.
    bool isServer() const;
    /**
     * Asks the module's host (once; the answer prepareRole() asked for when there is one)
     * and takes the role's id, type and title. The module calls it when it gets its connection.
     */
    void detectRole();

    /// The reads (content included, also without rights); to an administrator, once the
    /// state is known, stop and restart while running, start while stopped. Never reload.
    OperationTypes availableOperations() const override;
    /// Hands the reads, start, stop and restart to the module; after reading the content the
    /// content flag is cleared. Everything else is ignored.
    void performOperation(OperationType type, ElementData *data, int n) override;
    /// "Tarn: <role> <domain>", or "undefined" for the domain without a record.
    QString caption() const override;

    /**
     * Whether "tarn-client status --server" (30 s at most) says this host is a directory
     * server: any normal exit but 4. A tool that is missing, hangs or crashes counts as a
     * server. Takes the answer prepareRole() asked for, when there is one; asks @p host
     * otherwise.
     */
    static bool detectServer(const QSharedPointer<HostConnection> &host);
    /// Asks the tool on @p host in the background for the next element made (a plug-in
    /// preparation).
    static void prepareRole(const QSharedPointer<HostConnection> &host);

private:
    QString roleText() const;

    bool m_isServer = true;
    bool m_roleKnown = false;
};
