#include "servicepackagesmodule.h"

#include "servicepackageselement.h"
#include "servicepackageselementwidget.h"
#include "servicepackagesreadheavytask.h"

ServicePackagesModule::ServicePackagesModule(QObject *parent)
    : SupplementWorkModule(QStringLiteral("ServicePackagesModule"),
                           QStringLiteral("ServicePackages"), ReadOnAttach, parent)
{
    setData(QStringLiteral("description"), tr("Module for viewing installed packages of service"));
    insertElementWidget(new ServicePackagesElementWidget(this));
    connectElementWidgets();
}

ServicePackagesModule::~ServicePackagesModule() = default;

SupplementElement *ServicePackagesModule::createSupplement(Element *service)
{
    auto *packages = new ServicePackagesElement(this);
    packages->setTitle(service->title());
    return packages;
}

AbstractTask *ServicePackagesModule::createReadTask(Element *element)
{
    return new ServicePackagesReadHeavyTask(element);
}
