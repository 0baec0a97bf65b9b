#include "element.h"

#include "bootstate.h"
#include "elementdata.h"
#include "module.h"
#include "vieweditelementwidget.h"

#include <QIcon>

Element::Element(Module *module, AccessPredicate predicate, QObject *parent)
    : TreeNode(0, QString(), parent), ContextOperation(module), m_predicate(predicate)
{
}

Element::~Element()
{
    delete m_data;
    m_data = nullptr;
}

void Element::setTitle(const QString &title)
{
    m_title = title;
}

void Element::setElementData(ElementData *data)
{
    if (data == m_data)
        return;
    delete m_data;
    m_data = data;
}

ServiceLightElementData *Element::serviceData() const
{
    return dynamic_cast<ServiceLightElementData *>(m_data);
}

bool Element::isAccessible() const
{
    return m_predicate && module() && m_predicate(module());
}

ViewEditElementWidget *Element::elementWidget(ElementWidgetRole role) const
{
    if (role != ElementWidgetRoleView || !module())
        return nullptr;
    return module()->elementWidget(elementType());
}

QList<ViewEditElementWidget *> Element::viewingWidgets() const
{
    QList<ViewEditElementWidget *> widgets;
    const auto shows = [this](const ViewEditElementWidget *widget) {
        return widget && widget->element() == this && widget->role() == ElementWidgetRoleView;
    };
    if (module()) {
        for (ViewEditElementWidget *widget : module()->elementWidgets()) {
            if (shows(widget))
                widgets.append(widget);
        }
    }
    // An element may be shown by a widget its module does not hold.
    ViewEditElementWidget *own = elementWidget(ElementWidgetRoleView);
    if (shows(own) && !widgets.contains(own))
        widgets.append(own);
    return widgets;
}

QString Element::operationQuestion(OperationType type) const
{
    Q_UNUSED(type)
    return QString();
}

QVariant Element::data(int column, int role) const
{
    if (column != 0)
        return QVariant();
    if (role == Qt::DisplayRole)
        return m_title;
    if (role == Qt::ToolTipRole)
        return caption();
    return QVariant();
}

QString Element::caption() const
{
    return m_title;
}

void Element::forwardToModule(OperationType type, ElementData *data, int n)
{
    if (module())
        module()->performOperation(this, type, data, n);
}

ServiceElement::ServiceElement(Module *module, AccessPredicate predicate, QObject *parent)
    : Element(module, predicate, parent)
{
    setElementData(new ServiceLightElementData);
}

void ServiceElement::setExtraOperations(OperationTypes always, OperationTypes whileRunning)
{
    m_always = always;
    m_whileRunning = whileRunning;
}

OperationTypes ServiceElement::availableOperations() const
{
    const OperationTypes reads = OperationReadLight | OperationReadHeavy;
    if (!isAccessible())
        return reads;
    const ServiceLightElementData *light = serviceData();
    if (!light)
        return reads | m_always;
    // Only what would change the boot state: nothing for masked, static and the like.
    const OperationTypes boot = BootState::changingOperations(light->bootState());
    if (!light->isStateKnown())
        return reads | m_always | boot;
    if (light->state())
        return reads | OperationStop | OperationRestart | m_always | m_whileRunning | boot;
    return reads | OperationStart | m_always | boot;
}

void ServiceElement::performOperation(OperationType type, ElementData *data, int n)
{
    const OperationTypes forwarded = OperationReadLight | OperationReadHeavy | OperationStart
                                     | OperationStop | OperationRestart | OperationReload
                                     | OperationEnableAtBoot | OperationDisableAtBoot | m_always
                                     | m_whileRunning;
    if (forwarded & OperationTypes(type))
        forwardToModule(type, data, n);
}

QVariant ServiceElement::data(int column, int role) const
{
    if (column == 0 && role == Qt::DecorationRole) {
        const ServiceLightElementData *light = serviceData();
        if (light && light->isStateKnown()) {
            return QIcon::fromTheme(light->state() ? QStringLiteral("media-playback-start")
                                                   : QStringLiteral("media-playback-stop"));
        }
    }
    return Element::data(column, role);
}

ContainerElement::ContainerElement(Module *module, AccessPredicate predicate, QObject *parent)
    : Element(module, predicate, parent)
{
    setContentFlag(true);
}

OperationTypes ContainerElement::availableOperations() const
{
    if (!isAccessible())
        return OperationReadContent;
    return OperationReadContent | OperationCreate;
}

void ContainerElement::performOperation(OperationType type, ElementData *data, int n)
{
    if (type == OperationReadContent) {
        forwardToModule(type, data, n);
        setContentFlag(false);
    } else if (type == OperationCreate) {
        forwardToModule(type, data, n);
    }
}

SupplementElement::SupplementElement(Module *module, AccessPredicate predicate, QObject *parent)
    : Element(module, predicate, parent)
{
}

OperationTypes SupplementElement::availableOperations() const
{
    return OperationReadHeavy;
}

void SupplementElement::performOperation(OperationType type, ElementData *data, int n)
{
    if (type == OperationReadHeavy)
        forwardToModule(type, data, n);
}

int SupplementElement::treeNodeSpecialFlags() const
{
    return TreeNodeFlagLeaf;
}
