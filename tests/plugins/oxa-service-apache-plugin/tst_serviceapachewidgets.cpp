// The sites and modules widgets: their form, what a read loads, ticking, and what applying
// sends after each answer to the question.

#include "moduletreenodes.h"
#include "serviceapacheelementwidget.h"
#include "serviceapacheheavyelementdata.h"
#include "serviceapachemodule.h"
#include "serviceapachemoduleelementwidget.h"
#include "serviceapachetasks.h"
#include "sitetreenodes.h"

#include <choicetreenodeproxymodel.h>
#include <choicewidget.h>
#include <element.h>
#include <treenodemodel.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpacerItem>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <memory>

namespace {

/** One update an element asked its module for. */
struct SentUpdate
{
    QString elementType;
    QSet<QString> enable;
    QSet<QString> disable;
    bool autoApply = false;
};

/** The Apache module, but updates are recorded instead of run. */
class RecordingApacheModule : public ServiceApacheModule
{
public:
    RecordingApacheModule() : ServiceApacheModule(nullptr) {}
    QList<SentUpdate> updates;

    void performOperation(ContextOperation *context, OperationType type, ElementData *data,
                          int n) override
    {
        if (type == OperationUpdate) {
            SentUpdate sent;
            sent.elementType = context->elementContext()->elementType();
            if (auto *record = dynamic_cast<ServiceApacheHeavyElementData *>(data)) {
                sent.enable = record->checkedNames();
                sent.disable = record->blockedNames();
                sent.autoApply = record->autoApply();
            }
            updates.append(sent);
        }
        delete data;
        Module::performOperation(context, type, nullptr, n);
    }
};

/** Answers the next message box with @p button, and remembers its title and text. */
class MessageBoxAnswer : public QObject
{
public:
    explicit MessageBoxAnswer(QMessageBox::StandardButton button) : m_button(button)
    {
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            title = box->windowTitle();
            text = box->text();
            defaultButton = box->standardButton(box->defaultButton());
            buttons = box->standardButtons();
            m_timer.stop();
            box->button(m_button)->click();
        });
        m_timer.start();
    }
    QString title;
    QString text;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QMessageBox::StandardButtons buttons;

private:
    QMessageBox::StandardButton m_button;
    QTimer m_timer;
};

QSet<QString> setOf(std::initializer_list<const char *> names)
{
    QSet<QString> set;
    for (const char *name : names)
        set.insert(QString::fromLatin1(name));
    return set;
}

/// A sites read: two enabled sites, one available with a host, and a host outside every site.
ServiceApacheHeavyElementData *sitesRecord(bool running = true)
{
    auto *record = new ServiceApacheHeavyElementData;
    record->setState(running);
    const QString enabled = QStringLiteral("/etc/apache2/sites-enabled/");
    record->data() << new SiteTreeNode(QStringLiteral("default"))
                   << new SiteTreeNode(QStringLiteral("shop.conf"))
                   << new SiteTreeNode(QStringLiteral("blog.conf"))
                   << new HostTreeNode(QStringLiteral("undefined"), QStringLiteral("undefined"),
                                       QStringLiteral("/etc/apache2/sites-available/blog.conf"))
                   << new HostTreeNode(QStringLiteral("def:www"), QStringLiteral("*:80"),
                                       enabled + QStringLiteral("000-default"))
                   << new HostTreeNode(QStringLiteral("www"), QStringLiteral("*:80"),
                                       enabled + QStringLiteral("000-default"))
                   << new HostTreeNode(QStringLiteral("shop"), QStringLiteral("[::1]:8080"),
                                       enabled + QStringLiteral("shop.conf"))
                   << new HostTreeNode(QStringLiteral("main"), QStringLiteral("*:81"),
                                       QStringLiteral("/etc/apache2/apache2.conf"));
    record->checkedNames() = setOf({"default", "shop.conf"});
    record->blockedNames() = setOf({"undefined", "def:www", "www", "shop", "main"});
    return record;
}

ServiceApacheHeavyElementData *modulesRecord()
{
    auto *record = new ServiceApacheHeavyElementData;
    record->data() << new ModuleStaticTreeNode(QStringLiteral("core"))
                   << new ModuleSharedTreeNode(QStringLiteral("status"))
                   << new ModuleSharedTreeNode(QStringLiteral("rewrite"));
    record->checkedNames() = setOf({"status"});
    record->blockedNames() = setOf({"core"});
    return record;
}

QStringList rowNames(QAbstractItemModel *model, const QModelIndex &parent = QModelIndex())
{
    QStringList names;
    for (int row = 0; row < model->rowCount(parent); ++row)
        names << model->index(row, 0, parent).data().toString();
    return names;
}

} // namespace

class TestServiceApacheWidgets : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void sitesForm();
    void modulesForm();
    void sitesReadLoadsTreeAndTicks();
    void modulesReadLoadsTicks();
    void readsForOthersAreIgnored_data();
    void readsForOthersAreIgnored();
    void lightReadShowsStateOnly();
    void emptyStateShowsUndefined();
    void ticksMarkChangesOnlyWhileEditable();
    void apply_data();
    void apply();
    void readTaskHandsNodesToTree();
    void nodesNoWidgetLoadedGoWithRecord();

private:
    std::unique_ptr<RecordingApacheModule> m_module;
    Element *m_service = nullptr;
    Element *m_modules = nullptr;
    ServiceApacheElementWidget *m_sites = nullptr;
    ServiceApacheModuleElementWidget *m_modulesWidget = nullptr;
};

void TestServiceApacheWidgets::init()
{
    m_module.reset(new RecordingApacheModule);
    m_service = m_module->elements().value(0);
    m_modules = m_module->elements().value(1);
    m_sites = qobject_cast<ServiceApacheElementWidget *>(
        m_module->elementWidget(QStringLiteral("ServiceApache")));
    m_modulesWidget = qobject_cast<ServiceApacheModuleElementWidget *>(
        m_module->elementWidget(QStringLiteral("ServiceApacheModules")));
    QVERIFY(m_sites && m_modulesWidget);
    QCOMPARE(m_service->elementWidget(ElementWidgetRoleView), m_sites);
    QCOMPARE(m_modules->elementWidget(ElementWidgetRoleView), m_modulesWidget);
    QVERIFY(!m_modules->elementWidget(ElementWidgetRoleCreate));
}

void TestServiceApacheWidgets::cleanup()
{
    m_module.reset();
}

void TestServiceApacheWidgets::sitesForm()
{
    ServiceApacheElementWidget *w = m_sites;
    QCOMPARE(w->objectName(), QStringLiteral("ServiceApacheElementWidget"));
    QCOMPARE(w->size(), QSize(502, 331));
    QCOMPARE(w->windowTitle(), QStringLiteral("General"));
    QCOMPARE(w->elementType(), QStringLiteral("ServiceApache"));
    QCOMPARE(w->number(), 0);
    QVERIFY(w->isBlocked());

    auto *grid = qobject_cast<QGridLayout *>(w->layout());
    QVERIFY(grid);
    QCOMPARE(grid->objectName(), QStringLiteral("gridLayout"));
    auto *caption = qobject_cast<QLabel *>(grid->itemAtPosition(0, 0)->widget());
    QCOMPARE(caption->objectName(), QStringLiteral("_stateLabelLabel"));
    QCOMPARE(caption->text(), QStringLiteral("State:"));
    QCOMPARE(grid->itemAtPosition(0, 1)->widget(), w->stateLabel());
    QCOMPARE(w->stateLabel()->objectName(), QStringLiteral("_stateLabel"));
    QSpacerItem *spacer = grid->itemAtPosition(0, 2)->spacerItem();
    QVERIFY(spacer);
    QCOMPARE(spacer->sizeHint(), QSize(363, 20));
    QCOMPARE(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    auto *bootCaption = qobject_cast<QLabel *>(grid->itemAtPosition(1, 0)->widget());
    QCOMPARE(bootCaption->objectName(), QStringLiteral("_bootStateLabelLabel"));
    QCOMPARE(bootCaption->text(), QStringLiteral("Start at boot:"));
    QCOMPARE(grid->itemAtPosition(1, 1)->widget(), w->bootStateLabel());
    QCOMPARE(w->bootStateLabel()->objectName(), QStringLiteral("_bootStateLabel"));
    QCOMPARE(grid->itemAtPosition(2, 0)->widget(), w->choiceWidget());
    int row, column, rowSpan, columnSpan;
    grid->getItemPosition(grid->indexOf(w->choiceWidget()), &row, &column, &rowSpan, &columnSpan);
    QCOMPARE(columnSpan, 3);
    QCOMPARE(grid->rowStretch(2), 1);
    QCOMPARE(w->choiceWidget()->objectName(), QStringLiteral("_choiceGroupBox"));
    QCOMPARE(w->choiceWidget()->title(), QStringLiteral("Sites"));
    QCOMPARE(w->choiceWidget()->choiceModel(), w->choiceModel());
    QCOMPARE(w->choiceModel()->sourceModel(), w->treeModel());
    QCOMPARE(w->treeModel()->rootNode(), w->rootNode());
    QCOMPARE(w->treeModel()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Config"));
}

void TestServiceApacheWidgets::modulesForm()
{
    ServiceApacheModuleElementWidget *w = m_modulesWidget;
    QCOMPARE(w->objectName(), QStringLiteral("ServiceApacheModuleElementWidget"));
    QCOMPARE(w->size(), QSize(400, 300));
    QCOMPARE(w->windowTitle(), QStringLiteral("Modules"));
    QCOMPARE(w->elementType(), QStringLiteral("ServiceApacheModules"));
    QCOMPARE(w->secondElementType(), QStringLiteral("ServiceApache"));
    QVERIFY(w->isBlocked());
    auto *grid = qobject_cast<QGridLayout *>(w->layout());
    QCOMPARE(grid->objectName(), QStringLiteral("gridLayout"));
    QCOMPARE(grid->itemAtPosition(0, 0)->widget(), w->choiceWidget());
    QCOMPARE(w->choiceWidget()->objectName(), QStringLiteral("_choiceGroupBox"));
    QCOMPARE(w->choiceWidget()->title(), QStringLiteral("Active modules"));
    QCOMPARE(w->treeModel()->columnCount(), 2);
}

void TestServiceApacheWidgets::sitesReadLoadsTreeAndTicks()
{
    m_sites->setElement(m_service, ElementWidgetRoleView);
    ChoiceTreeNodeProxyModel *proxy = m_sites->choiceModel();
    QAbstractItemModelTester tester(proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy resets(proxy, &QAbstractItemModel::modelReset);
    QSignalSpy inserts(proxy, &QAbstractItemModel::rowsInserted);
    QSignalSpy read(m_sites, &ViewEditElementWidget::contentRead);

    std::unique_ptr<ServiceApacheHeavyElementData> record(sitesRecord());
    m_sites->afterSuccessfulRead(m_service, record.get());
    record->data().clear(); // the tree owns the nodes now

    QCOMPARE(read.count(), 1);
    QCOMPARE(m_sites->stateLabel()->text(), QStringLiteral("<b>running</b>"));
    // One insertion for the whole top level, no reset.
    QCOMPARE(resets.count(), 0);
    QCOMPARE(inserts.count(), 1);
    QCOMPARE(rowNames(proxy), (QStringList{"default", "shop.conf", "blog.conf", "main"}));
    const QModelIndex def = proxy->index(0, 0);
    QCOMPARE(rowNames(proxy, def), (QStringList{"def:www", "www"}));
    QCOMPARE(rowNames(proxy, proxy->index(1, 0)), QStringList{"shop"});
    QCOMPARE(rowNames(proxy, proxy->index(2, 0)), QStringList{"undefined"});
    QCOMPARE(proxy->index(0, 1, def).data().toString(), QStringLiteral("*:80"));

    QCOMPARE(def.data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(proxy->index(2, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    // Host rows: no check box, no change.
    const QModelIndex host = proxy->index(0, 0, def);
    QVERIFY(!host.data(Qt::CheckStateRole).isValid());
    QVERIFY(!(proxy->flags(host) & Qt::ItemIsUserCheckable));
    QVERIFY(!proxy->setNameChecked(QStringLiteral("www"), true));
    QVERIFY(proxy->flags(def) & Qt::ItemIsUserCheckable);

    // A second read replaces the tree.
    std::unique_ptr<ServiceApacheHeavyElementData> second(new ServiceApacheHeavyElementData);
    second->setState(false);
    second->data() << new SiteTreeNode(QStringLiteral("only"));
    m_sites->afterSuccessfulRead(m_service, second.get());
    second->data().clear();
    QCOMPARE(rowNames(proxy), QStringList{"only"});
    QCOMPARE(m_sites->stateLabel()->text(), QStringLiteral("<b>stopped</b>"));
}

void TestServiceApacheWidgets::modulesReadLoadsTicks()
{
    m_modulesWidget->setElement(m_modules, ElementWidgetRoleView);
    ChoiceTreeNodeProxyModel *proxy = m_modulesWidget->choiceModel();
    QAbstractItemModelTester tester(proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);
    std::unique_ptr<ServiceApacheHeavyElementData> record(modulesRecord());
    m_modulesWidget->afterSuccessfulRead(m_modules, record.get());
    record->data().clear();
    QCOMPARE(rowNames(proxy), (QStringList{"core", "status", "rewrite"}));
    QCOMPARE(proxy->index(0, 1).data().toString(), QStringLiteral("static"));
    QVERIFY(!proxy->index(0, 0).data(Qt::CheckStateRole).isValid());
    QCOMPARE(proxy->index(1, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(proxy->index(2, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    QCOMPARE(proxy->index(2, 1).data().toString(), QStringLiteral("shared"));
}

void TestServiceApacheWidgets::readsForOthersAreIgnored_data()
{
    QTest::addColumn<int>("which");
    QTest::newRow("another element") << 0;
    QTest::newRow("creation role") << 1;
    QTest::newRow("no record") << 2;
    QTest::newRow("not a service record") << 3;
}

void TestServiceApacheWidgets::readsForOthersAreIgnored()
{
    QFETCH(int, which);
    m_sites->setElement(m_service, which == 1 ? ElementWidgetRoleCreate : ElementWidgetRoleView);
    m_modulesWidget->setElement(m_modules,
                                which == 1 ? ElementWidgetRoleCreate : ElementWidgetRoleView);
    const QString before = m_sites->stateLabel()->text();
    QSignalSpy sitesRead(m_sites, &ViewEditElementWidget::contentRead);
    QSignalSpy modulesRead(m_modulesWidget, &ViewEditElementWidget::contentRead);
    std::unique_ptr<ElementData> data;
    if (which == 3)
        data.reset(new ElementData(QStringLiteral("x")));
    else if (which != 2)
        data.reset(sitesRecord());
    Element *sitesTarget = which == 0 ? m_modules : m_service;
    Element *modulesTarget = which == 0 ? m_service : m_modules;
    m_sites->afterSuccessfulRead(sitesTarget, data.get());
    m_modulesWidget->afterSuccessfulRead(modulesTarget, data.get());
    QCOMPARE(sitesRead.count(), 0);
    QCOMPARE(modulesRead.count(), 0);
    QCOMPARE(m_sites->stateLabel()->text(), before);
    QCOMPARE(m_sites->rootNode()->childCount(), 0);
    QCOMPARE(m_modulesWidget->rootNode()->childCount(), 0);
}

void TestServiceApacheWidgets::lightReadShowsStateOnly()
{
    m_sites->setElement(m_service, ElementWidgetRoleView);
    std::unique_ptr<ServiceApacheHeavyElementData> record(sitesRecord());
    m_sites->afterSuccessfulRead(m_service, record.get());
    record->data().clear();
    ServiceLightElementData light;
    light.setState(false);
    m_sites->afterSuccessfulRead(m_service, &light);
    QCOMPARE(m_sites->stateLabel()->text(), QStringLiteral("<b>stopped</b>"));
    QCOMPARE(m_sites->rootNode()->childCount(), 4);
    // A light record is nothing for the modules widget.
    QSignalSpy modulesRead(m_modulesWidget, &ViewEditElementWidget::contentRead);
    m_modulesWidget->setElement(m_modules, ElementWidgetRoleView);
    m_modulesWidget->afterSuccessfulRead(m_modules, &light);
    QCOMPARE(modulesRead.count(), 0);
}

void TestServiceApacheWidgets::emptyStateShowsUndefined()
{
    m_sites->setElement(m_service, ElementWidgetRoleView);
    QCOMPARE(m_sites->stateLabel()->text(), QStringLiteral("<b>undefined</b>"));
    ServiceLightElementData light;
    light.setState(true);
    m_sites->afterSuccessfulRead(m_service, &light);
    QCOMPARE(m_sites->stateLabel()->text(), QStringLiteral("<b>running</b>"));
    ServiceLightElementData unread;
    m_sites->afterSuccessfulRead(m_service, &unread);
    QCOMPARE(m_sites->stateLabel()->text(), QStringLiteral("<b>undefined</b>"));
    m_sites->afterSuccessfulRead(m_service, &light);
    m_sites->reset();
    QCOMPARE(m_sites->stateLabel()->text(), QStringLiteral("<b>undefined</b>"));
}

void TestServiceApacheWidgets::ticksMarkChangesOnlyWhileEditable()
{
    m_sites->setElement(m_service, ElementWidgetRoleView);
    std::unique_ptr<ServiceApacheHeavyElementData> record(sitesRecord());
    m_sites->afterSuccessfulRead(m_service, record.get());
    record->data().clear();
    ChoiceTreeNodeProxyModel *proxy = m_sites->choiceModel();
    QSignalSpy changed(m_sites, &ViewEditElementWidget::contentChanged);

    QVERIFY(m_sites->isBlocked());
    QVERIFY(proxy->setNameChecked(QStringLiteral("blog.conf"), true));
    QCOMPARE(changed.count(), 0);
    QVERIFY(!m_sites->isModified());

    m_sites->blockEditWidget(false);
    m_sites->blockEditWidget(false); // no second connection
    QVERIFY(proxy->setNameChecked(QStringLiteral("shop.conf"), false));
    QCOMPARE(changed.count(), 1);
    QVERIFY(m_sites->isModified());

    // A read blocks again and forgets the mark.
    std::unique_ptr<ServiceApacheHeavyElementData> again(sitesRecord());
    m_sites->afterSuccessfulRead(m_service, again.get());
    again->data().clear();
    QVERIFY(m_sites->isBlocked());
    QVERIFY(!m_sites->isModified());
    QVERIFY(proxy->addNames().isEmpty());
    QVERIFY(proxy->setNameChecked(QStringLiteral("blog.conf"), true));
    QCOMPARE(changed.count(), 1);

    m_modulesWidget->setElement(m_modules, ElementWidgetRoleView);
    std::unique_ptr<ServiceApacheHeavyElementData> modules(modulesRecord());
    m_modulesWidget->afterSuccessfulRead(m_modules, modules.get());
    modules->data().clear();
    QSignalSpy modulesChanged(m_modulesWidget, &ViewEditElementWidget::contentChanged);
    QVERIFY(m_modulesWidget->choiceModel()->setNameChecked(QStringLiteral("rewrite"), true));
    QCOMPARE(modulesChanged.count(), 0);
    m_modulesWidget->blockEditWidget(false);
    QVERIFY(m_modulesWidget->choiceModel()->setNameChecked(QStringLiteral("status"), false));
    QCOMPARE(modulesChanged.count(), 1);
    QVERIFY(!m_modulesWidget->choiceModel()->setNameChecked(QStringLiteral("core"), false));
}

void TestServiceApacheWidgets::apply_data()
{
    QTest::addColumn<bool>("modules");
    QTest::addColumn<int>("answer");

    QTest::newRow("sites, yes") << false << int(QMessageBox::Yes);
    QTest::newRow("sites, no") << false << int(QMessageBox::No);
    QTest::newRow("sites, cancel") << false << int(QMessageBox::Cancel);
    QTest::newRow("modules, yes") << true << int(QMessageBox::Yes);
    QTest::newRow("modules, no") << true << int(QMessageBox::No);
    QTest::newRow("modules, cancel") << true << int(QMessageBox::Cancel);
}

void TestServiceApacheWidgets::apply()
{
    QFETCH(bool, modules);
    QFETCH(int, answer);
    ViewEditElementWidget *widget =
        modules ? static_cast<ViewEditElementWidget *>(m_modulesWidget) : m_sites;
    Element *element = modules ? m_modules : m_service;
    ChoiceTreeNodeProxyModel *proxy =
        modules ? m_modulesWidget->choiceModel() : m_sites->choiceModel();
    widget->setElement(element, ElementWidgetRoleView);
    std::unique_ptr<ServiceApacheHeavyElementData> record(modules ? modulesRecord()
                                                                  : sitesRecord());
    widget->afterSuccessfulRead(element, record.get());
    record->data().clear();
    widget->blockEditWidget(false);
    const QString on = modules ? QStringLiteral("rewrite") : QStringLiteral("blog.conf");
    const QString off = modules ? QStringLiteral("status") : QStringLiteral("default");
    QVERIFY(proxy->setNameChecked(on, true));
    QVERIFY(proxy->setNameChecked(off, false));

    MessageBoxAnswer box{QMessageBox::StandardButton(answer)};
    widget->applyContentChanges();
    QCOMPARE(box.title, QStringLiteral("Change apache configuration"));
    QCOMPARE(box.text, modules
                           ? QStringLiteral("Restart Apache service automatically?")
                           : QStringLiteral("Reload Apache service configuration automatically?"));
    QCOMPARE(box.defaultButton, QMessageBox::Yes);
    QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);

    if (answer == QMessageBox::Cancel) {
        QVERIFY(m_module->updates.isEmpty());
        QCOMPARE(proxy->addNames(), QSet<QString>{on});
        QCOMPARE(proxy->removeNames(), QSet<QString>{off});
        return;
    }
    QCOMPARE(m_module->updates.size(), 1);
    const SentUpdate sent = m_module->updates.first();
    QCOMPARE(sent.elementType, element->elementType());
    QCOMPARE(sent.enable, QSet<QString>{on});
    QCOMPARE(sent.disable, QSet<QString>{off});
    QCOMPARE(sent.autoApply, answer == QMessageBox::Yes);
    // The modules widget takes the ticks as loaded; the sites widget keeps them pending until
    // the next read.
    QCOMPARE(proxy->addNames().isEmpty(), modules);
}

void TestServiceApacheWidgets::readTaskHandsNodesToTree()
{
    m_sites->setElement(m_service, ElementWidgetRoleView);
    auto *task = new ServiceApacheReadHeavyTask(m_service);
    ServiceApacheHeavyElementData *record = task->apacheRecord();
    std::unique_ptr<ServiceApacheHeavyElementData> filled(sitesRecord(false));
    record->data() = filled->data();
    filled->data().clear();
    record->checkedNames() = filled->checkedNames();
    record->blockedNames() = filled->blockedNames();
    record->setState(false);
    QPointer<TreeNode> first = record->data().first();
    task->succeed();
    task->afterRun();
    QVERIFY(record->data().isEmpty());
    QCOMPARE(m_service->serviceData()->textState(), ServiceLightElementData::stoppedText());
    delete task;
    // The tree keeps its nodes after the task is gone.
    QVERIFY(first);
    QCOMPARE(m_sites->rootNode()->childCount(), 4);
}

void TestServiceApacheWidgets::nodesNoWidgetLoadedGoWithRecord()
{
    // The widget shows nothing: no tree takes the nodes, and they must not leak.
    auto *task = new ServiceApacheModulesReadTask(m_modules);
    task->apacheRecord()->data() << new ModuleSharedTreeNode(QStringLiteral("x"));
    QPointer<TreeNode> node = task->apacheRecord()->data().first();
    task->succeed();
    task->afterRun();
    QVERIFY(node);
    delete task;
    QVERIFY(!node);
}

QTEST_MAIN(TestServiceApacheWidgets)
#include "tst_serviceapachewidgets.moc"
