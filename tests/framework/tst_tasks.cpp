// The framework's task after-runs, task ownership, and how an element widget applies an edit.

#include "testobjects.h"

#include <tasks.h>
#include <vieweditelementwidget.h>

#include <QtTest>

#include <memory>

namespace {

/** Records the reads handed to it, and exports a record named after its line of text. */
class ProbeWidget : public ViewEditElementWidget
{
public:
    using ViewEditElementWidget::ViewEditElementWidget;

    QList<QPair<Element *, ElementData *>> reads;
    QString content = QStringLiteral("new-site");

    void afterSuccessfulRead(Element *element, ElementData *data) override
    {
        reads << qMakePair(element, data);
        ViewEditElementWidget::afterSuccessfulRead(element, data);
    }
    ElementData *exportElementData() override { return new ElementData(content); }
};

/** An element that hands every operation to its module (Element itself ignores them). */
class ForwardingElement : public Element
{
public:
    using Element::Element;
    OperationTypes availableOperations() const override { return m_offered; }
    void performOperation(OperationType type, ElementData *data, int n) override
    {
        forwardToModule(type, data, n);
    }
    OperationTypes m_offered = OperationReadHeavy | OperationUpdate | OperationDelete;
};

/** An ElementData that counts its live instances. */
class CountedData : public ElementData
{
public:
    inline static int alive = 0;
    CountedData() { ++alive; }
    ~CountedData() override { --alive; }
};

void fail(AbstractTask &task)
{
    task.taskDescription().setStatus(TaskDescription::TaskStatusFailed);
}

} // namespace

class TestTasks : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void runDefaultsToDone();
    void elementTaskOwnsItsRecord();
    void elementTaskKeepsModuleAndParanoia();
    void heavyReadReachesEveryWidget();
    void failedHeavyReadReachesNoWidget();
    void readContentReadsEveryChild();
    void createReadsContentOnlyWhenParanoid();
    void deleteRemovesElement();
    void paranoidDeleteReadsParentContent();
    void paranoidDeleteUnderPlainParent();
    void updateReadsElementAgain();
    void changeReadsAgainUnlessKnownDone_data();
    void changeReadsAgainUnlessKnownDone();
    void widgetAppliesCreateAndUpdate();
    void widgetBlockAndModified();

private:
    QList<OperationCall> m_log;
    RecordingModule *m_module = nullptr;
    QString m_lastDataName;
};

void TestTasks::init()
{
    m_log.clear();
    m_lastDataName.clear();
    m_module = new RecordingModule(QStringLiteral("M"), &m_log);
    m_module->hook = [this](ContextOperation *, OperationType, ElementData *&data) {
        m_lastDataName = data ? data->name() : QString();
    };
    CountedData::alive = 0;
}

void TestTasks::cleanup()
{
    delete m_module;
    QCOMPARE(CountedData::alive, 0);
}

void TestTasks::runDefaultsToDone()
{
    AbstractTask plain;
    plain.run();
    QCOMPARE(plain.status(), int(TaskDescription::TaskStatusDone));
    AbstractTask failed;
    fail(failed);
    failed.run();
    QCOMPARE(failed.status(), int(TaskDescription::TaskStatusFailed));
    QVERIFY(failed.taskDescription().isFailed());
    AbstractTask warned;
    warned.taskDescription().setStatus(TaskDescription::TaskStatusWarning);
    warned.run();
    QCOMPARE(warned.status(), int(TaskDescription::TaskStatusWarning));
    QCOMPARE(TaskDescription::statusName(1), QStringLiteral("failed"));
    QCOMPARE(TaskDescription::statusName(2), QStringLiteral("done"));
    QCOMPARE(TaskDescription::statusName(3), QStringLiteral("warning"));
}

void TestTasks::elementTaskOwnsItsRecord()
{
    {
        ElementTask task(nullptr, new CountedData);
        task.setData(new CountedData); // the first goes
        QCOMPARE(CountedData::alive, 1);
        task.setData(task.data()); // the same: kept
        QCOMPARE(CountedData::alive, 1);
        ElementData *taken = task.takeData();
        QCOMPARE(task.data(), nullptr);
        delete taken;
        task.setData(new CountedData);
    }
    QCOMPARE(CountedData::alive, 0);
}

void TestTasks::elementTaskKeepsModuleAndParanoia()
{
    auto *element = new Element(m_module, grantAccess);
    m_module->appendElement(element);
    m_module->setData(QStringLiteral("paranoid"), true);
    ElementTask task(element);
    m_module->setData(QStringLiteral("paranoid"), false);
    QVERIFY(task.isParanoid()); // as it was when the task was made
    QCOMPARE(task.taskElement(), element);
    QVERIFY(task.isTargetAlive());
    delete element;
    QCOMPARE(task.element(), nullptr);
    QVERIFY(!task.isTargetAlive());
    QCOMPARE(task.module(), m_module);

    ElementTask noElement(nullptr);
    QVERIFY(noElement.isTargetAlive());
    QCOMPARE(noElement.module(), nullptr);
}

void TestTasks::heavyReadReachesEveryWidget()
{
    auto *first = new ProbeWidget(m_module, grantAccess);
    auto *second = new ProbeWidget(m_module, grantAccess);
    m_module->insertElementWidget(first);
    m_module->insertElementWidget(second);
    auto *element = new Element(m_module, grantAccess);
    m_module->appendElement(element);
    QSignalSpy read(first, &ViewEditElementWidget::contentRead);

    auto *record = new ServiceHeavyElementData;
    ReadPropertyHeavyTask task(element, record);
    task.run();
    task.afterRun();
    QCOMPARE(first->reads.size(), 1);
    QCOMPARE(first->reads.first().first, element);
    QCOMPARE(first->reads.first().second, record);
    QCOMPARE(second->reads.size(), 1);
    QCOMPARE(read.count(), 1);
}

void TestTasks::failedHeavyReadReachesNoWidget()
{
    auto *widget = new ProbeWidget(m_module, grantAccess);
    m_module->insertElementWidget(widget);
    auto *element = new Element(m_module, grantAccess);
    m_module->appendElement(element);
    ReadPropertyHeavyTask task(element, new ServiceHeavyElementData);
    fail(task);
    task.run();
    task.afterRun();
    QVERIFY(widget->reads.isEmpty());
}

void TestTasks::readContentReadsEveryChild()
{
    ContainerElement container(m_module, grantAccess);
    auto *a = new ForwardingElement(m_module, grantAccess);
    auto *b = new ForwardingElement(m_module, grantAccess);
    container.append({a, new CountedNode(QStringLiteral("not an element")), b});

    ReadContentTask failed(&container);
    fail(failed);
    failed.afterRun();
    QVERIFY(m_log.isEmpty());

    ReadContentTask task(&container);
    task.run();
    task.afterRun();
    QCOMPARE(typesOf(m_log), (QList<OperationType>{OperationReadHeavy, OperationReadHeavy}));
    QCOMPARE(m_log.at(0).element, a);
    QCOMPARE(m_log.at(1).element, b);
}

void TestTasks::createReadsContentOnlyWhenParanoid()
{
    ContainerElement container(m_module, grantAccess);
    {
        CreateTask task(&container, new ElementData(QStringLiteral("new")));
        task.run();
        task.afterRun();
        QVERIFY(m_log.isEmpty()); // the plug-in adds the child itself
    }
    m_module->setData(QStringLiteral("paranoid"), true);
    {
        CreateTask task(&container, nullptr);
        task.run();
        task.afterRun();
        QCOMPARE(typesOf(m_log), QList<OperationType>{OperationReadContent});
        QCOMPARE(m_log.first().element, &container);
    }
}

void TestTasks::deleteRemovesElement()
{
    ContainerElement container(m_module, grantAccess);
    auto *doomed = new ForwardingElement(m_module, grantAccess);
    auto *kept = new ForwardingElement(m_module, grantAccess);
    container.append({doomed, kept});
    m_module->appendElement(doomed);
    const QPointer<Element> guard(doomed);

    DeleteTask task(doomed, nullptr);
    task.run();
    task.afterRun();
    QVERIFY(!guard);
    QCOMPARE(container.childNodes(), QList<TreeNode *>{kept});
    QCOMPARE(kept->row(), 0);
    QCOMPARE(m_module->elements().size(), 0);
    QVERIFY(m_log.isEmpty());
}

void TestTasks::paranoidDeleteReadsParentContent()
{
    m_module->setData(QStringLiteral("paranoid"), true);
    ContainerElement container(m_module, grantAccess);
    auto *doomed = new ForwardingElement(m_module, grantAccess);
    container.append(doomed);
    DeleteTask task(doomed, nullptr);
    task.run();
    task.afterRun();
    QCOMPARE(container.childCount(), 1); // the read decides
    QCOMPARE(typesOf(m_log), QList<OperationType>{OperationReadContent});
    QCOMPARE(m_log.first().element, &container);
}

void TestTasks::paranoidDeleteUnderPlainParent()
{
    // A parent that cannot read its content cannot drop the element: it goes directly.
    m_module->setData(QStringLiteral("paranoid"), true);
    ForwardingElement parent(m_module, grantAccess);
    auto *doomed = new ForwardingElement(m_module, grantAccess);
    parent.append(doomed);
    const QPointer<Element> guard(doomed);
    DeleteTask task(doomed, nullptr);
    task.run();
    task.afterRun();
    QVERIFY(!guard);
    QCOMPARE(parent.childCount(), 0);
}

void TestTasks::updateReadsElementAgain()
{
    ForwardingElement element(m_module, grantAccess);
    UpdateTask task(&element, new CountedData);
    task.run();
    task.afterRun();
    QCOMPARE(typesOf(m_log), QList<OperationType>{OperationReadHeavy});
    QCOMPARE(m_log.first().element, &element);
}

void TestTasks::changeReadsAgainUnlessKnownDone_data()
{
    // A change that failed, or whose tool was left running, may have done part of its work:
    // what it touched is read, never assumed. Only a known success may patch the tree.
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("plainParent");
    QTest::addColumn<int>("read");       // the operation read again, or OperationNone
    QTest::addColumn<QString>("target"); // "container" or "element"
    const int done = TaskDescription::TaskStatusDone;
    const int failed = TaskDescription::TaskStatusFailed;
    const int unknown = TaskDescription::TaskStatusUnknown;
    const int none = OperationNone;
    QTest::newRow("create done") << "create" << done << false << none << "";
    QTest::newRow("create failed")
        << "create" << failed << false << int(OperationReadContent) << "container";
    QTest::newRow("create unknown")
        << "create" << unknown << false << int(OperationReadContent) << "container";
    QTest::newRow("delete done") << "delete" << done << false << none << "";
    QTest::newRow("delete failed")
        << "delete" << failed << false << int(OperationReadContent) << "container";
    QTest::newRow("delete unknown")
        << "delete" << unknown << false << int(OperationReadContent) << "container";
    QTest::newRow("delete failed, parent cannot read")
        << "delete" << failed << true << int(OperationReadHeavy) << "element";
    QTest::newRow("update done") << "update" << done << false << int(OperationReadHeavy)
                                 << "element";
    QTest::newRow("update failed")
        << "update" << failed << false << int(OperationReadHeavy) << "element";
    QTest::newRow("update unknown")
        << "update" << unknown << false << int(OperationReadHeavy) << "element";
}

void TestTasks::changeReadsAgainUnlessKnownDone()
{
    QFETCH(QString, kind);
    QFETCH(int, status);
    QFETCH(bool, plainParent);
    QFETCH(int, read);
    QFETCH(QString, target);

    ContainerElement container(m_module, grantAccess);
    ForwardingElement plain(m_module, grantAccess);
    auto *element = new ForwardingElement(m_module, grantAccess);
    (plainParent ? static_cast<Element &>(plain) : container).append(element);
    const QPointer<Element> guard(element);
    std::unique_ptr<ElementTask> task;
    if (kind == QLatin1String("create"))
        task = std::make_unique<CreateTask>(&container, nullptr);
    else if (kind == QLatin1String("delete"))
        task = std::make_unique<DeleteTask>(element, nullptr);
    else
        task = std::make_unique<UpdateTask>(element, nullptr);
    QVERIFY(task->isChange());
    task->taskDescription().setStatus(status);
    task->afterRun();

    if (read == OperationNone) {
        QVERIFY(m_log.isEmpty());
    } else {
        QCOMPARE(typesOf(m_log), QList<OperationType>{OperationType(read)});
        QCOMPARE(m_log.first().element, target == QLatin1String("container")
                                            ? static_cast<Element *>(&container)
                                            : element);
    }
    // Only a delete known to be done drops the element.
    QCOMPARE(guard.isNull(),
             kind == QLatin1String("delete") && status == int(TaskDescription::TaskStatusDone));
}

void TestTasks::widgetAppliesCreateAndUpdate()
{
    ContainerElement container(m_module, grantAccess);
    ForwardingElement site(m_module, grantAccess);
    auto *widget = new ProbeWidget(m_module, grantAccess);
    m_module->insertElementWidget(widget);

    widget->setElement(&container, ElementWidgetRoleCreate);
    widget->changeContent();
    widget->applyContentChanges();
    QCOMPARE(typesOf(m_log), QList<OperationType>{OperationCreate});
    QCOMPARE(m_log.first().context, static_cast<ContextOperation *>(widget));
    QCOMPARE(m_log.first().context->contextType(), int(ContextOperation::ContextElementWidget));
    QCOMPARE(m_lastDataName, QStringLiteral("new-site"));
    QVERIFY(!widget->isModified());

    m_log.clear();
    widget->setElement(&site, ElementWidgetRoleView);
    widget->content = QStringLiteral("edited");
    widget->applyContentChanges();
    QCOMPARE(typesOf(m_log), QList<OperationType>{OperationUpdate});
    QCOMPARE(m_log.first().element, &site);
    QCOMPARE(m_lastDataName, QStringLiteral("edited"));
    QCOMPARE(widget->availableOperations(), site.availableOperations());
    QCOMPARE(widget->caption(), site.caption());
}

void TestTasks::widgetBlockAndModified()
{
    ProbeWidget widget(m_module, grantAccess);
    QSignalSpy blocked(&widget, &ViewEditElementWidget::blockChanged);
    QSignalSpy changed(&widget, &ViewEditElementWidget::contentChanged);
    QVERIFY(!widget.isBlocked());
    widget.blockEditWidget(true);
    widget.blockEditWidget(true);
    QCOMPARE(blocked.count(), 1);
    widget.blockEditWidget(false);
    widget.changeContent();
    QVERIFY(widget.isModified());
    QCOMPARE(changed.count(), 1);
    widget.blockEditWidget(true); // back to read-only: the edit is dropped
    QVERIFY(!widget.isModified());
    widget.changeContent();
    ContainerElement container(m_module, grantAccess);
    widget.setElement(&container, ElementWidgetRoleView);
    QVERIFY(!widget.isModified()); // a new element starts unmodified
    QCOMPARE(widget.element(), &container);
    QCOMPARE(widget.role(), ElementWidgetRoleView);
    QVERIFY(widget.isAccessible());
}

QTEST_MAIN(TestTasks)
#include "tst_tasks.moc"
