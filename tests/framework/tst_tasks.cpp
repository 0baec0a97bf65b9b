// The framework's tasks: outcome, ownership, where read results go, what follows each task as
// the observer performs it, and how an element widget applies an edit.

#include "testobjects.h"

#include <taskobserver.h>
#include <tasks.h>
#include <vieweditelementwidget.h>

#include <QtTest>

#include <memory>

namespace {

/** An ElementData that counts its live instances. */
class CountedData : public ElementData
{
public:
    inline static int alive = 0;
    CountedData() { ++alive; }
    ~CountedData() override { --alive; }
};

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
    void readResultReachesOnlyItsWidgets_data();
    void readResultReachesOnlyItsWidgets();
    void followUpsPerformedOnce_data();
    void followUpsPerformedOnce();
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
    // The base run() is harmless to call: it sets the default, never over an outcome.
    AbstractTask plain;
    plain.run();
    QCOMPARE(plain.status(), TaskDescription::TaskStatusDone);
    AbstractTask failed;
    failed.fail(QStringLiteral("broken"));
    failed.run();
    QCOMPARE(failed.status(), TaskDescription::TaskStatusFailed);
    QCOMPARE(failed.taskDescription().message(), QStringLiteral("broken"));
    QVERIFY(failed.taskDescription().isFailed());
    AbstractTask warned;
    warned.succeedPartly(QStringLiteral("not all of it"));
    warned.run();
    QCOMPARE(warned.status(), TaskDescription::TaskStatusWarning);
    // One outcome: a later one replaces status and message together.
    warned.succeed();
    QCOMPARE(warned.status(), TaskDescription::TaskStatusDone);
    QVERIFY(warned.taskDescription().message().isEmpty());
    QCOMPARE(TaskDescription::statusName(TaskDescription::TaskStatusFailed),
             QStringLiteral("failed"));
    QCOMPARE(TaskDescription::statusName(TaskDescription::TaskStatusDone), QStringLiteral("done"));
    QCOMPARE(TaskDescription::statusName(TaskDescription::TaskStatusWarning),
             QStringLiteral("warning"));
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

void TestTasks::readResultReachesOnlyItsWidgets_data()
{
    QTest::addColumn<TaskDescription::TaskStatus>("status");
    QTest::addColumn<bool>("reached"); // the widgets showing the element got the record

    QTest::newRow("done") << TaskDescription::TaskStatusDone << true;
    QTest::newRow("warning") << TaskDescription::TaskStatusWarning << true;
    QTest::newRow("nothing set: done") << TaskDescription::TaskStatusUndefined << true;
    // Nothing of a failed read reaches any widget.
    QTest::newRow("failed") << TaskDescription::TaskStatusFailed << false;
}

void TestTasks::readResultReachesOnlyItsWidgets()
{
    QFETCH(TaskDescription::TaskStatus, status);
    QFETCH(bool, reached);

    auto *element = new Element(m_module, grantAccess);
    auto *other = new Element(m_module, grantAccess);
    m_module->appendElement(element);
    m_module->appendElement(other);
    // Two views of the element; a view of another element, a creation form in the element
    // (a container), and a widget showing nothing, all of the same module.
    QList<ProbeWidget *> widgets;
    for (int i = 0; i < 5; ++i) {
        widgets << new ProbeWidget(m_module, grantAccess);
        m_module->insertElementWidget(widgets.last());
    }
    widgets.at(0)->setElement(element, ElementWidgetRoleView);
    widgets.at(1)->setElement(element, ElementWidgetRoleView);
    widgets.at(2)->setElement(other, ElementWidgetRoleView);
    widgets.at(3)->setElement(element, ElementWidgetRoleCreate);
    QSignalSpy read(widgets.at(0), &ViewEditElementWidget::contentRead);

    auto *record = new ServiceHeavyElementData;
    auto *task = new ReadPropertyHeavyTask(element, record);
    if (status != TaskDescription::TaskStatusUndefined)
        task->setOutcome(status);
    TaskObserver::instance()->performTask(task);
    QVERIFY(TaskObserver::instance()->waitForIdle(10000));

    for (int i = 0; i < widgets.size(); ++i) {
        const QList<QPair<Element *, ElementData *>> reads = widgets.at(i)->reads;
        QCOMPARE(reads.size(), reached && i < 2 ? 1 : 0);
        if (!reads.isEmpty()) {
            QCOMPARE(reads.first().first, element);
            QCOMPARE(reads.first().second, record);
        }
    }
    QCOMPARE(read.count(), reached ? 1 : 0);
}

void TestTasks::followUpsPerformedOnce_data()
{
    // A change that failed, or whose tool was left running, may have done part of its work:
    // what it touched is read, never assumed. Only a known success may patch the tree. A task
    // that sets no outcome is done.
    QTest::addColumn<QString>("kind");
    QTest::addColumn<TaskDescription::TaskStatus>("status");
    QTest::addColumn<bool>("paranoid");
    QTest::addColumn<bool>("plainParent");      // the element's parent cannot read its content
    QTest::addColumn<QStringList>("performed"); // "operation@target", in order
    QTest::addColumn<bool>("removed");

    const auto done = TaskDescription::TaskStatusDone;
    const auto failed = TaskDescription::TaskStatusFailed;
    const auto unknown = TaskDescription::TaskStatusUnknown;
    const auto unset = TaskDescription::TaskStatusUndefined;
    const QStringList none;
    const QStringList content{"read-content@container"};
    const QStringList heavy{"read-heavy@element"};

    // A good content read reads every child element (not other nodes); a failed one nothing.
    QTest::newRow("read content done")
        << "read-content" << done << false << false
        << QStringList{"read-heavy@element", "read-heavy@kept"} << false;
    QTest::newRow("read content failed")
        << "read-content" << failed << false << false << none << false;
    // The plug-in adds a created child itself, unless "paranoid".
    QTest::newRow("create done") << "create" << done << false << false << none << false;
    QTest::newRow("create done, paranoid") << "create" << done << true << false << content << false;
    QTest::newRow("create failed") << "create" << failed << false << false << content << false;
    QTest::newRow("create unknown") << "create" << unknown << false << false << content << false;
    QTest::newRow("delete done") << "delete" << done << false << false << none << true;
    QTest::newRow("delete, nothing set") << "delete" << unset << false << false << none << true;
    // With "paranoid" the read decides; a parent that cannot read its content cannot drop the
    // element, so it goes directly.
    QTest::newRow("delete done, paranoid") << "delete" << done << true << false << content << false;
    QTest::newRow("delete done, paranoid, plain parent")
        << "delete" << done << true << true << none << true;
    QTest::newRow("delete failed") << "delete" << failed << false << false << content << false;
    QTest::newRow("delete unknown") << "delete" << unknown << false << false << content << false;
    QTest::newRow("delete failed, parent cannot read")
        << "delete" << failed << false << true << heavy << false;
    QTest::newRow("update done") << "update" << done << false << false << heavy << false;
    QTest::newRow("update, nothing set") << "update" << unset << false << false << heavy << false;
    QTest::newRow("update failed") << "update" << failed << false << false << heavy << false;
    QTest::newRow("update unknown") << "update" << unknown << false << false << heavy << false;
}

void TestTasks::followUpsPerformedOnce()
{
    QFETCH(QString, kind);
    QFETCH(TaskDescription::TaskStatus, status);
    QFETCH(bool, paranoid);
    QFETCH(bool, plainParent);
    QFETCH(QStringList, performed);
    QFETCH(bool, removed);

    m_module->setData(QStringLiteral("paranoid"), paranoid);
    ContainerElement container(m_module, grantAccess);
    ForwardingElement plain(m_module, grantAccess);
    auto *element = new ForwardingElement(m_module, grantAccess);
    auto *kept = new ForwardingElement(m_module, grantAccess);
    auto *node = new CountedNode(QStringLiteral("not an element"));
    (plainParent ? static_cast<Element &>(plain) : container).append({element, node, kept});
    m_module->appendElement(element);
    m_module->appendElement(kept);
    const QHash<Element *, QString> names{
        {&container, "container"}, {&plain, "plain"}, {element, "element"}, {kept, "kept"}};
    const QPointer<Element> guard(element);

    ElementTask *task = nullptr;
    if (kind == QLatin1String("read-content"))
        task = new ReadContentTask(&container);
    else if (kind == QLatin1String("create"))
        task = new CreateTask(&container, new CountedData);
    else if (kind == QLatin1String("delete"))
        task = new DeleteTask(element, nullptr);
    else
        task = new UpdateTask(element, new CountedData);
    QCOMPARE(task->isChange(), kind != QLatin1String("read-content"));
    if (status != TaskDescription::TaskStatusUndefined)
        task->setOutcome(status);
    TaskObserver::instance()->performTask(task);
    QVERIFY(TaskObserver::instance()->waitForIdle(10000));

    QStringList log;
    for (const OperationCall &call : std::as_const(m_log))
        log << operationName(call.type) + QLatin1Char('@') + names.value(call.element);
    QCOMPARE(log, performed);
    QCOMPARE(guard.isNull(), removed);
    Element &parent = plainParent ? static_cast<Element &>(plain) : container;
    QCOMPARE(parent.childNodes(),
             removed ? (QList<TreeNode *>{node, kept}) : (QList<TreeNode *>{element, node, kept}));
    QCOMPARE(kept->row(), removed ? 1 : 2);
    QCOMPARE(m_module->elements().size(), removed ? 1 : 2);
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
