#include "serviceserviceselement.h"

#include <elementdata.h>
#include <module.h>

#include <QCoreApplication>
#include <QIcon>
#include <QThread>
#include <QTimer>

namespace {
// One icon for the library's lifetime: made when the library is loaded (on the application's
// thread, once the application exists) and released when it is unloaded.
QIcon *computerIcon = nullptr;

void createComputerIcon()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || computerIcon)
        return;
    if (QThread::currentThread() != app->thread()) {
        QTimer::singleShot(0, app, &createComputerIcon);
        return;
    }
    computerIcon = new QIcon(QIcon::fromTheme(QStringLiteral("computer")));
}

void registerComputerIcon()
{
    qAddPreRoutine(createComputerIcon);
}

void releaseComputerIcon()
{
    delete computerIcon;
    computerIcon = nullptr;
}
} // namespace

Q_CONSTRUCTOR_FUNCTION(registerComputerIcon)
Q_DESTRUCTOR_FUNCTION(releaseComputerIcon)

ServiceServicesElement::ServiceServicesElement(Module *module)
    : Element(module, &Module::isAdministratorHierarchy)
{
    setId(QStringLiteral("ServiceServices"));
    setLevel(1);
    setElementType(QStringLiteral("ServiceServices"));
    setSecondElementType(QStringLiteral("ServiceServices"));
    setTitle(tr("Services"));
    setElementData(new ElementData);
}

int ServiceServicesElement::treeNodeSpecialFlags() const
{
    return Element::treeNodeSpecialFlags() | TreeNodeFlagExpanded;
}

QVariant ServiceServicesElement::data(int column, int role) const
{
    if (column == 0 && role == Qt::DecorationRole)
        return computerIcon ? *computerIcon : QIcon::fromTheme(QStringLiteral("computer"));
    return Element::data(column, role);
}

OperationTypes ServiceServicesElement::availableOperations() const
{
    return ContextOperation::availableOperations() | OperationReadLight;
}

void ServiceServicesElement::performOperation(OperationType type, ElementData *data, int n)
{
    if (type == OperationReadLight)
        forwardToModule(type, data, n);
    else
        ContextOperation::performOperation(type, data, n);
}

QString ServiceServicesElement::caption() const
{
    return title();
}
