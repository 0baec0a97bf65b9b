#pragma once

// What the suites of the packages elements' heavy read share: a disposable host, and service
// elements of another plug-in's module each holding a packages element, as in the console's
// tree. The suites derive from PackagesFixture, call setUpFixture() in init() and
// tearDownFixture() in cleanup().

#include "childprocess.h"
#include "servicepackageselement.h"
#include "servicepackagesmodule.h"
#include "testhost.h"

#include <element.h>
#include <module.h>

#include <memory>

class PackagesFixture
{
protected:
    static bool grantAccess(const Module *) { return true; }

    void setUpFixture()
    {
        m_host = std::make_unique<TestHost>();
        ChildProcess::setReadLimitMs(TestHost::ReadLimitMs);
        m_serviceModule = std::make_unique<Module>(QStringLiteral("ServiceTestModule"));
        m_packagesModule = std::make_unique<ServicePackagesModule>(nullptr);
    }

    void tearDownFixture()
    {
        // Packages elements go first: they hang under the service elements.
        m_packagesModule.reset();
        m_serviceModule.reset();
        m_host.reset();
    }

    /// A service element @p id of @p elementType, titled @p title, with a packages element
    /// under it; the packages element.
    ServicePackagesElement *packagesUnder(const QString &id, const QString &elementType,
                                          ElementData *data = nullptr,
                                          const QString &title = QStringLiteral("Service"))
    {
        auto *service = new ServiceElement(m_serviceModule.get(), grantAccess);
        service->setId(id);
        service->setElementType(elementType);
        service->setTitle(title);
        if (data)
            service->setElementData(data);
        m_serviceModule->appendElement(service);
        auto *packages = new ServicePackagesElement(m_packagesModule.get());
        m_packagesModule->appendElement(packages);
        service->append(packages);
        return packages;
    }

    std::unique_ptr<TestHost> m_host;
    std::unique_ptr<Module> m_serviceModule;
    std::unique_ptr<ServicePackagesModule> m_packagesModule;
};
