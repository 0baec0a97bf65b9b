#include "servicemaileximmodule.h"

#include "servicemaileximelement.h"
#include "servicemaileximelementwidget.h"
#include "servicemaileximtasks.h"

ServiceMailEximModule::ServiceMailEximModule(QObject *parent)
    : ServiceModule(QStringLiteral("ServiceMailEximModule"), parent,
                    QStringLiteral("ServiceMailModule"), 3, tr("Service Mail Exim module"),
                    ServiceModule::PluginFlag)
{
    addElementAndWidget(new ServiceMailEximElement(this), new ServiceMailEximElementWidget(this));
    connectElementWidgets();
}

AbstractTask *ServiceMailEximModule::createRootLightRead(Element *first)
{
    return new ServiceMailEximReadLightTask(first);
}

AbstractTask *ServiceMailEximModule::createTask(Element *element, OperationType type, ElementData *)
{
    if (element->elementType() != QLatin1String("ServiceMailExim"))
        return nullptr;
    return createFamilyTask<eximFamily, ServiceMailEximReadHeavyTask>(element, type, true);
}
