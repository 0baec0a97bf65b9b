#include "servicetarnelement.h"

#include "servicetarntasks.h"

#include <elementdata.h>
#include <hostconnection.h>
#include <module.h>

#include <future>
#include <mutex>

namespace {

bool askTool(const QSharedPointer<HostConnection> &host)
{
    const ProcessResult result =
        host->run(QString::fromLatin1(TarnTool::client),
                  {ServiceTask::statusAction(), QString::fromLatin1(TarnTool::serverOption)});
    return !result.finished || result.exitCode != TarnTool::notServerExitCode;
}

// The role asked while the console loads the other plug-ins, for the next element made.
std::mutex preparedLock;
std::future<bool> preparedRole;

} // namespace

ServiceTarnElement::ServiceTarnElement(Module *module)
    : ServiceElement(module, &Module::isAdministratorHierarchy)
{
    setParentId(QStringLiteral("ServiceServices"));
    setLevel(2);
    // A server until the host says otherwise (a missing tool counts as one); the host is not
    // asked yet: the console gives the module its connection only after making it.
    setId(QStringLiteral("ServiceTarnServer"));
    setElementType(id());
    setTitle(tr("Tarn %1").arg(tr("server")));
    setContentFlag(true);
}

void ServiceTarnElement::detectRole()
{
    if (m_roleKnown)
        return;
    m_roleKnown = true;
    m_isServer = detectServer(Module::hostConnectionOf(module()));
    const QString id =
        m_isServer ? QStringLiteral("ServiceTarnServer") : QStringLiteral("ServiceTarnClient");
    setId(id);
    setElementType(id);
    setTitle(tr("Tarn %1").arg(roleText()));
}

bool ServiceTarnElement::isServer() const
{
    // Asked when first wanted: an element made outside a console serves the local host.
    if (!m_roleKnown)
        const_cast<ServiceTarnElement *>(this)->detectRole();
    return m_isServer;
}

void ServiceTarnElement::prepareRole(const QSharedPointer<HostConnection> &host)
{
    const std::lock_guard<std::mutex> locker(preparedLock);
    if (!preparedRole.valid() && host)
        preparedRole = std::async(std::launch::async, askTool, host);
}

bool ServiceTarnElement::detectServer(const QSharedPointer<HostConnection> &host)
{
    std::future<bool> prepared;
    {
        const std::lock_guard<std::mutex> locker(preparedLock);
        prepared = std::move(preparedRole);
    }
    return prepared.valid() ? prepared.get() : askTool(host);
}

QString ServiceTarnElement::roleText() const
{
    return isServer() ? tr("server") : tr("client");
}

OperationTypes ServiceTarnElement::availableOperations() const
{
    const OperationTypes reads = OperationReadContent | OperationReadLight | OperationReadHeavy;
    if (!isAccessible())
        return reads;
    const ServiceLightElementData *light = serviceData();
    if (!light || !light->isStateKnown())
        return reads;
    if (light->state())
        return reads | OperationStop | OperationRestart;
    return reads | OperationStart;
}

void ServiceTarnElement::performOperation(OperationType type, ElementData *data, int n)
{
    // The module's task depends on the role.
    detectRole();
    switch (type) {
    case OperationReadContent:
        forwardToModule(type, data, n);
        setContentFlag(false);
        break;
    case OperationReadLight:
    case OperationReadHeavy:
    case OperationStart:
    case OperationStop:
    case OperationRestart:
        forwardToModule(type, data, n);
        break;
    default:
        break;
    }
}

QString ServiceTarnElement::caption() const
{
    const ElementData *record = elementData();
    return tr("Tarn: %1 %2").arg(roleText(), record ? record->name() : tr("undefined"));
}
