#include "testcontainermodule.h"

#include "testpluginsupport.h"

#include <childprocess.h>
#include <elementdata.h>
#include <nodeselementwidget.h>
#include <taskmessages.h>
#include <taskobserver.h>

#include <QComboBox>
#include <QFormLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>

namespace {
QString containerScript()
{
    return TestPluginSupport::scriptPath(QStringLiteral("testcontainer"));
}

void failWith(AbstractTask *task, const ProcessResult &result)
{
    task->fail(result.finished
                   ? TaskMessages::exitCode(containerScript(), result.exitCode, result.errorText())
                   : TaskMessages::notFinished(containerScript(), result.error));
}

/** The root's light read reaches the container's module: a quick look at the script. */
class TestPingTask : public ElementTask
{
public:
    explicit TestPingTask(Element *element) : ElementTask(element)
    {
        taskDescription().setDescription(QStringLiteral("Look at Test container"));
    }
    void run() override
    {
        const ProcessResult result = ChildProcess::run(containerScript(), {QStringLiteral("ping")});
        if (!result.succeeded())
            failWith(this, result);
    }
};

class TestListTask : public ReadContentTask
{
public:
    explicit TestListTask(Element *element) : ReadContentTask(element)
    {
        taskDescription().setDescription(QStringLiteral("Read the items of Test container"));
    }
    void run() override
    {
        const ProcessResult result = ChildProcess::run(containerScript(), {QStringLiteral("list")});
        if (!result.succeeded())
            failWith(this, result);
        else
            m_names = result.outputLines();
    }
    void afterRun() override
    {
        Element *container = element();
        if (!container || status() == TaskDescription::TaskStatusFailed)
            return;
        container->clearDelete();
        QList<TreeNode *> items;
        for (const QString &name : std::as_const(m_names)) {
            auto *item = new TestItemElement(container->module(), name);
            container->module()->appendElement(item);
            items.append(item);
        }
        container->append(items);
    }

private:
    QStringList m_names;
};

class TestCreateTask : public CreateTask
{
public:
    TestCreateTask(Element *container, ElementData *data) : CreateTask(container, data)
    {
        taskDescription().setDescription(
            QStringLiteral("Create %1").arg(data ? data->name() : QString()));
    }
    void run() override
    {
        const QString name = data() ? data()->name() : QString();
        const QString kind =
            data() ? data()->property(QStringLiteral("kind")).toString() : QString();
        const ProcessResult result =
            ChildProcess::run(containerScript(), {QStringLiteral("create"), name, kind});
        if (!result.succeeded())
            failWith(this, result);
    }
    void afterRun() override
    {
        Element *container = element();
        if (!container || status() == TaskDescription::TaskStatusFailed)
            return;
        if (!isParanoid()) {
            auto *item = new TestItemElement(container->module(), data()->name());
            container->module()->appendElement(item);
            container->append(item);
        }
    }
};

class TestDeleteTask : public DeleteTask
{
public:
    explicit TestDeleteTask(Element *item) : DeleteTask(item, nullptr), m_name(item->title())
    {
        taskDescription().setDescription(QStringLiteral("Delete %1").arg(m_name));
    }
    void run() override
    {
        const ProcessResult result =
            ChildProcess::run(containerScript(), {QStringLiteral("delete"), m_name});
        if (!result.succeeded())
            failWith(this, result);
    }

private:
    QString m_name;
};

class TestItemReadTask : public ReadPropertyHeavyTask
{
public:
    explicit TestItemReadTask(Element *item)
        : ReadPropertyHeavyTask(item, new ElementData(item->title())), m_name(item->title())
    {
        taskDescription().setDescription(QStringLiteral("Read item %1").arg(m_name));
    }
    void run() override
    {
        const ProcessResult result =
            ChildProcess::run(containerScript(), {QStringLiteral("item"), m_name});
        if (!result.succeeded()) {
            failWith(this, result);
        } else {
            for (const QString &line : result.outputLines())
                data()->setProperty(line.section(QLatin1Char('='), 0, 0),
                                    line.section(QLatin1Char('='), 1));
        }
    }
    void afterRun() override
    {
        Element *item = element();
        if (!item || status() == TaskDescription::TaskStatusFailed)
            return;
        item->elementData()->importFrom(*data());
        item->emitNodeDataChanged();
        ReadPropertyHeavyTask::afterRun();
    }

private:
    QString m_name;
};
} // namespace

TestContainerElement::TestContainerElement(Module *module)
    : ContainerElement(module, &Module::isAdministratorHierarchy)
{
    setId(QStringLiteral("TestContainer"));
    setParentId(QStringLiteral("TestRoot"));
    setLevel(2);
    setTitle(QStringLiteral("Test container"));
    setElementType(QStringLiteral("TestContainer"));
    setElementData(new ElementData(QStringLiteral("TestContainer")));
}

ViewEditElementWidget *TestContainerElement::elementWidget(ElementWidgetRole role) const
{
    if (role == ElementWidgetRoleCreate)
        return static_cast<TestContainerModule *>(module())->createWidget();
    return ContainerElement::elementWidget(role);
}

QString TestContainerElement::caption() const
{
    return QStringLiteral("Test items (beta)");
}

QVariant TestContainerElement::data(int column, int role) const
{
    if (column == 0 && role == Qt::DecorationRole)
        return QIcon::fromTheme(QStringLiteral("folder"));
    return ContainerElement::data(column, role);
}

TestItemElement::TestItemElement(Module *module, const QString &name)
    : Element(module, &Module::isAdministratorHierarchy)
{
    setTitle(name);
    setParentId(QStringLiteral("TestContainer"));
    setLevel(3);
    setElementType(QStringLiteral("TestItem"));
    setElementData(new ElementData(name));
}

OperationTypes TestItemElement::availableOperations() const
{
    return OperationReadHeavy | (isAccessible() ? OperationDelete : OperationTypes(0));
}

void TestItemElement::performOperation(OperationType type, ElementData *data, int n)
{
    if (availableOperations() & OperationTypes(type))
        forwardToModule(type, data, n);
}

QVariant TestItemElement::data(int column, int role) const
{
    if (column == 0 && role == Qt::DecorationRole)
        return QIcon::fromTheme(QStringLiteral("text-plain"));
    return Element::data(column, role);
}

TestCreateWidget::TestCreateWidget(Module *module)
    : ViewEditElementWidget(module, &Module::isAdministratorHierarchy)
{
    setElementType(QStringLiteral("TestContainerCreate"));
    setObjectName(QStringLiteral("TestCreateWidget"));
    setWindowTitle(QStringLiteral("New item"));
    auto *form = new QFormLayout(this);
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("_nameEdit"));
    m_kind = new QComboBox(this);
    m_kind->setObjectName(QStringLiteral("_kindCombo"));
    m_kind->addItems({QStringLiteral("plain"), QStringLiteral("fancy")});
    form->addRow(tr("Name:"), m_name);
    form->addRow(tr("Kind:"), m_kind);
    connect(m_name, &QLineEdit::textChanged, this, &ViewEditElementWidget::changeContent);
}

ElementData *TestCreateWidget::exportElementData()
{
    auto *data = new ElementData(m_name->text());
    data->setProperty(QStringLiteral("kind"), m_kind->currentText());
    return data;
}

bool TestCreateWidget::isContentValid() const
{
    static const QRegularExpression pattern(QStringLiteral("^[a-z][a-z0-9-]*$"));
    return pattern.match(m_name->text()).hasMatch();
}

void TestCreateWidget::reset()
{
    m_name->clear();
    m_kind->setCurrentIndex(0);
    ViewEditElementWidget::reset();
}

TestItemWidget::TestItemWidget(Module *module)
    : ViewEditElementWidget(module, &Module::isAdministratorHierarchy)
{
    setElementType(QStringLiteral("TestItem"));
    setObjectName(QStringLiteral("TestItemWidget"));
    setWindowTitle(QStringLiteral("Item"));
    auto *form = new QFormLayout(this);
    m_name = new QLabel(this);
    m_name->setObjectName(QStringLiteral("_itemLabel"));
    m_kind = new QLabel(this);
    m_kind->setObjectName(QStringLiteral("_kindLabel"));
    form->addRow(tr("Item:"), m_name);
    form->addRow(tr("Kind:"), m_kind);
    blockEditWidget(true);
}

void TestItemWidget::afterSuccessfulRead(Element *element, ElementData *data)
{
    if (element == this->element() && data) {
        m_name->setText(data->name());
        m_kind->setText(data->property(QStringLiteral("kind")).toString());
    }
    ViewEditElementWidget::afterSuccessfulRead(element, data);
}

void TestItemWidget::reset()
{
    m_name->setText(element() ? element()->title() : QString());
    m_kind->clear();
    ViewEditElementWidget::reset();
}

TestContainerModule::TestContainerModule(QObject *parent)
    : Module(QStringLiteral("TestBetaModule"), parent)
{
    setParentModuleName(QStringLiteral("TestRootModule"));
    setLevel(2);
    setData(QStringLiteral("description"), QStringLiteral("Test container module"));
    setData(QStringLiteral("administrator"), Module::isAdministrator(this));
    m_container = new TestContainerElement(this);
    appendElement(m_container);
    insertElementWidget(new ElementsElementWidget(QStringLiteral("TestContainer"), this,
                                                  &Module::isAdministratorHierarchy));
    insertElementWidget(new TestItemWidget(this));
    m_createWidget = new TestCreateWidget(this);
    insertElementWidget(m_createWidget);
    connectElementWidgets();
}

void TestContainerModule::performOperation(ContextOperation *context, OperationType type,
                                           ElementData *data, int n)
{
    Element *element = nullptr;
    if (context->contextType() == ContextOperation::ContextElementWidget) {
        // The creation form asks with itself as the context; its element is the container.
        ViewEditElementWidget *widget = context->elementWidgetContext();
        element = widget ? widget->element() : nullptr;
    } else {
        element = context->elementContext();
    }
    AbstractTask *task = nullptr;
    if (element && element->elementType() == QLatin1String("TestRoot") &&
        type == OperationReadLight) {
        task = new TestPingTask(m_container);
    } else if (element == m_container && type == OperationReadContent) {
        task = new TestListTask(m_container);
    } else if (element == m_container && type == OperationCreate && data) {
        task = new TestCreateTask(m_container, data);
        data = nullptr;
    } else if (qobject_cast<TestItemElement *>(element) && type == OperationDelete) {
        task = new TestDeleteTask(element);
    } else if (qobject_cast<TestItemElement *>(element) && type == OperationReadHeavy) {
        task = new TestItemReadTask(element);
    }
    delete data;
    Module::performOperation(context, type, nullptr, n);
    if (task)
        TaskObserver::instance()->performTask(task);
}

TestAttachModule::TestAttachModule(QObject *parent)
    : Module(QStringLiteral("TestAttachModule"), parent)
{
    setParentModuleName(QStringLiteral("TestRootModule"));
    setLevel(2);
    setData(QStringLiteral("description"), QStringLiteral("Test supplement work module"));
}

void TestAttachModule::performOperation(ContextOperation *context, OperationType type,
                                        ElementData *data, int n)
{
    Element *element = context->elementContext();
    if (element && type == OperationAttach) {
        auto *attached = new SupplementElement(this, &Module::isAdministratorHierarchy);
        attached->setTitle(element->title());
        attached->setParentId(element->id());
        attached->setLevel(element->level() + 1);
        attached->setElementType(QStringLiteral("TestAttached"));
        appendElement(attached);
        element->append(attached);
    } else if (element && type == OperationDetach && element->module() == this) {
        delete element; // leaves its parent first
    }
    Module::performOperation(context, type, data, n);
}
