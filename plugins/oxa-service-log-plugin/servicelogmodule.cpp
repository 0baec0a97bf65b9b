#include "servicelogmodule.h"

#include "servicelogelement.h"
#include "servicelogelementwidget.h"
#include "servicelogreadheavytask.h"

ServiceLogModule::ServiceLogModule(QObject *parent)
    : SupplementWorkModule(QStringLiteral("ServiceLogModule"), QStringLiteral("ServiceLog"),
                           ReadWhenShown, parent)
{
    setData(QStringLiteral("description"), tr("Module for viewing the log of service"));
    insertElementWidget(new ServiceLogElementWidget(this));
    connectElementWidgets();
}

ServiceLogModule::~ServiceLogModule() = default;

SupplementElement *ServiceLogModule::createSupplement(Element *)
{
    return new ServiceLogElement(this);
}

AbstractTask *ServiceLogModule::createReadTask(Element *element)
{
    return new ServiceLogReadHeavyTask(element);
}
