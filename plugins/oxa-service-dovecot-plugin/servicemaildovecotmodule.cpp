#include "servicemaildovecotmodule.h"

#include "servicemaildovecotelement.h"
#include "servicemaildovecotelementwidget.h"
#include "servicemaildovecottasks.h"

ServiceMailDovecotModule::ServiceMailDovecotModule(QObject *parent)
    : ServiceModule(QStringLiteral("ServiceMailDovecotModule"), parent,
                    QStringLiteral("ServiceMailModule"), 3, tr("Service Mail Dovecot module"),
                    ServiceModule::NoOptions)
{
    addElementAndWidget(new ServiceMailDovecotElement(this),
                        new ServiceMailDovecotElementWidget(this));
    connectElementWidgets();
}

AbstractTask *ServiceMailDovecotModule::createRootLightRead(Element *first)
{
    return new ServiceMailDovecotReadLightTask(first);
}

AbstractTask *ServiceMailDovecotModule::createTask(Element *element, OperationType type,
                                                   ElementData *)
{
    if (element->elementType() != QLatin1String("ServiceMailDovecot"))
        return nullptr;
    return createFamilyTask<dovecotFamily, ServiceMailDovecotReadHeavyTask>(element, type, true);
}
