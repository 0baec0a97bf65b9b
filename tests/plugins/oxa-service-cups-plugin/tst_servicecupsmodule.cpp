#include <printerstreenode.h>
#include <servicecupselement.h>
#include <servicecupselementwidget.h>
#include <servicecupsmodule.h>
#include <servicecupsplugin.h>
#include <servicecupsprinterselement.h>
#include <servicecupsprinterselementwidget.h>
#include <servicecupstasks.h>

#include <element.h>
#include <elementdata.h>
#include <taskrunner.h>
#include <testhost.h>
#include <treenodemodel.h>

#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

#include <sys/fsuid.h>

namespace {

QStringList descriptions(const QList<TaskReport> &reports)
{
    QStringList list;
    for (const TaskReport &report : reports)
        list << report.description;
    return list;
}

/// The Services root as another plug-in shows it: only its type matters here.
class ServicesRootElement : public Element
{
public:
    ServicesRootElement() : Element(nullptr, nullptr)
    {
        setElementType(QStringLiteral("ServiceServices"));
    }
};

/// Answers the next message box with @p button once it shows, remembering what it asked.
struct QuestionAnswerer
{
    explicit QuestionAnswerer(QMessageBox::StandardButton answer) : button(answer) {}

    QMessageBox::StandardButton button;
    QString title;
    QString text;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    bool asked = false;

    void arm()
    {
        QTimer::singleShot(20, [this] { answer(); });
    }
    void answer()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box) {
            arm();
            return;
        }
        asked = true;
        title = box->windowTitle();
        text = box->text();
        defaultButton = box->standardButton(box->defaultButton());
        box->button(button)->click();
    }
};

QString cell(QAbstractItemModel *model, int row, int column, const QModelIndex &parent = {})
{
    return model->index(row, column, parent).data().toString();
}

} // namespace

/** The CUPS plug-in object, module dispatch, elements and widgets. */
class TestServiceCupsModule : public QObject
{
    Q_OBJECT

private slots:
    void pluginAndModule();
    void validity_data();
    void validity();
    void availableOperations_data();
    void availableOperations();
    void dispatch_data();
    void dispatch();
    void widgetForm();
    void widgetShowsTheConfiguration();
    void clearButton_data();
    void clearButton();
    void printersWidget();

private:
    bool writeRecordingScript(TestHost &host);
};

bool TestServiceCupsModule::writeRecordingScript(TestHost &host)
{
    return host.mkdir(QStringLiteral("/var/lib/oxa-cups-test")) &&
           host.writeScript(QStringLiteral("/etc/init.d/cups"),
                            QStringLiteral("echo \"$1\" >> /var/lib/oxa-cups-test/calls\n"
                                           "exit 0"));
}

void TestServiceCupsModule::pluginAndModule()
{
    ServiceCupsPlugin plugin;
    QCOMPARE(plugin.type(), 5);
    QCOMPARE(plugin.name(), QStringLiteral("ServiceCupsPlugin"));
    QCOMPARE(plugin.description(), QStringLiteral("Service Cups plugin"));
    QCOMPARE(plugin.requiredPackageNames(), QStringList{QStringLiteral("cups-common")});
    QVERIFY(qobject_cast<Plugin *>(&plugin));
    QCOMPARE(plugin.modules().size(), 1);

    Module *module = plugin.modules().first();
    QCOMPARE(module->objectName(), QStringLiteral("ServiceCupsModule"));
    QCOMPARE(module->parent(), &plugin);
    QCOMPARE(module->parentModuleName(), QStringLiteral("ServiceServicesModule"));
    QCOMPARE(module->level(), 2);
    QVERIFY(!module->flag());
    QCOMPARE(module->getData(QStringLiteral("description")).toString(),
             QStringLiteral("Service Cups module"));
    QVERIFY(module->moduleData().contains(QStringLiteral("administrator")));

    const QList<Element *> elements = module->elements();
    QCOMPARE(elements.size(), 2);
    auto *service = qobject_cast<ServiceCupsElement *>(elements.at(0));
    auto *printers = qobject_cast<ServiceCupsPrintersElement *>(elements.at(1));
    QVERIFY(service && printers);
    QCOMPARE(service->id(), QStringLiteral("ServiceCups"));
    QCOMPARE(service->elementType(), QStringLiteral("ServiceCups"));
    QCOMPARE(service->parentId(), QStringLiteral("ServiceServices"));
    QCOMPARE(service->level(), 2);
    QCOMPARE(service->title(), QStringLiteral("Cups"));
    QCOMPARE(service->caption(), QStringLiteral("Cups"));
    QVERIFY(service->serviceData());
    QCOMPARE(printers->id(), QStringLiteral("ServiceCupsPrinters"));
    QCOMPARE(printers->elementType(), QStringLiteral("ServiceCupsPrinters"));
    QCOMPARE(printers->parentId(), QStringLiteral("ServiceCups"));
    QCOMPARE(printers->level(), 3);
    QCOMPARE(printers->title(), QStringLiteral("Cups printers"));
    QCOMPARE(printers->caption(), QStringLiteral("Cups service printers"));
    QCOMPARE(printers->treeNodeSpecialFlags(), 1);

    auto *serviceWidget =
        qobject_cast<ServiceCupsElementWidget *>(service->elementWidget(ElementWidgetRoleView));
    auto *printersWidget = qobject_cast<ServiceCupsPrintersElementWidget *>(
        printers->elementWidget(ElementWidgetRoleView));
    QVERIFY(serviceWidget && printersWidget);
    QCOMPARE(printers->elementWidget(ElementWidgetRoleCreate), nullptr);
    QCOMPARE(module->elementWidgets().size(), 2);
}

void TestServiceCupsModule::validity_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("valid");
    QTest::newRow("installed") << "install ok installed" << true;
    QTest::newRow("held") << "hold ok installed" << false;
    QTest::newRow("removed") << "deinstall ok config-files" << false;
    QTest::newRow("unknown") << "" << false;
}

void TestServiceCupsModule::validity()
{
    QFETCH(QString, status);
    QFETCH(bool, valid);
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    if (!status.isEmpty())
        QVERIFY(
            host.installPackage(QStringLiteral("cups-common"), QStringLiteral("2.4.2"), status));
    // The server package alone does not make the plug-in valid.
    QVERIFY(host.installPackage(QStringLiteral("cups"), QStringLiteral("2.4.2")));
    ServiceCupsPlugin plugin;
    QCOMPARE(plugin.isValid(), valid);
}

void TestServiceCupsModule::availableOperations_data()
{
    QTest::addColumn<bool>("administrator");
    QTest::addColumn<int>("state"); // -1 not read, 0 stopped, 1 running
    QTest::addColumn<quint64>("service");
    QTest::addColumn<quint64>("printers");

    QTest::newRow("administrator, running")
        << true << 1 << Q_UINT64_C(0x800000000001E070) << Q_UINT64_C(0x60);
    QTest::newRow("administrator, stopped")
        << true << 0 << Q_UINT64_C(0x8000000000011070) << Q_UINT64_C(0x60);
    QTest::newRow("administrator, not read")
        << true << -1 << Q_UINT64_C(0x8000000000010070) << Q_UINT64_C(0x60);
    QTest::newRow("viewer, running") << false << 1 << Q_UINT64_C(0x30) << Q_UINT64_C(0x20);
    QTest::newRow("viewer, not read") << false << -1 << Q_UINT64_C(0x30) << Q_UINT64_C(0x20);
}

void TestServiceCupsModule::availableOperations()
{
    QFETCH(bool, administrator);
    QFETCH(int, state);
    QFETCH(quint64, service);
    QFETCH(quint64, printers);

    ServiceCupsModule module(nullptr);
    module.setData(QStringLiteral("administrator"), administrator);
    Element *element = module.elements().at(0);
    if (state >= 0)
        element->serviceData()->setState(state == 1);
    QCOMPARE(element->availableOperations(), service);
    QCOMPARE(module.elements().at(1)->availableOperations(), printers);
}

void TestServiceCupsModule::dispatch_data()
{
    QTest::addColumn<QString>("element");
    QTest::addColumn<quint64>("operation");
    QTest::addColumn<QStringList>("tasks");
    QTest::addColumn<QString>("calls");

    const QString service = QStringLiteral("ServiceCups");
    const QString printers = QStringLiteral("ServiceCupsPrinters");
    const QString root = QStringLiteral("ServiceServices");
    QTest::newRow("root light read") << root << quint64(OperationReadLight)
                                     << QStringList{"Read Cups service state"} << "status";
    QTest::newRow("root heavy read") << root << quint64(OperationReadHeavy) << QStringList() << "";
    QTest::newRow("light read") << service << quint64(OperationReadLight) << QStringList() << "";
    QTest::newRow("heavy read") << service << quint64(OperationReadHeavy)
                                << QStringList{"Read Cups service configuration"} << "status";
    QTest::newRow("start") << service << quint64(OperationStart)
                           << QStringList{"Start Cups service"} << "start";
    QTest::newRow("stop") << service << quint64(OperationStop) << QStringList{"Stop Cups service"}
                          << "stop";
    QTest::newRow("restart") << service << quint64(OperationRestart)
                             << QStringList{"Restart Cups service"} << "restart";
    QTest::newRow("reload") << service << quint64(OperationReload)
                            << QStringList{"Reload Cups service configuration"} << "reload";
    QTest::newRow("clear cache") << service << quint64(OperationClearCache)
                                 << QStringList{"Clear CUPS cache"} << "";
    QTest::newRow("control") << service << quint64(OperationControl)
                             << QStringList{"Control Cups service"} << "";
    QTest::newRow("update does nothing")
        << service << quint64(OperationUpdate) << QStringList() << "";
    QTest::newRow("printers read") << printers << quint64(OperationReadHeavy)
                                   << QStringList{"Read Cups printers information"} << "";
    QTest::newRow("printers update") << printers << quint64(OperationUpdate) << QStringList() << "";
    QTest::newRow("printers start") << printers << quint64(OperationStart) << QStringList() << "";
}

/*
 * Operations performed on the elements, as the host does, reach the module and become the
 * right tasks, running the init script with the right action.
 */
void TestServiceCupsModule::dispatch()
{
    QFETCH(QString, element);
    QFETCH(quint64, operation);
    QFETCH(QStringList, tasks);
    QFETCH(QString, calls);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(writeRecordingScript(host));
    QVERIFY(host.removePath(QStringLiteral("/var/spool/cups")));

    ServiceCupsModule module(nullptr);
    module.setData(QStringLiteral("administrator"), true);
    TaskRunner runner;
    if (element == QLatin1String("ServiceServices")) {
        ServicesRootElement rootElement;
        module.performOperation(&rootElement, OperationType(operation), nullptr, 0);
    } else {
        Element *target = module.elements().at(element == QLatin1String("ServiceCups") ? 0 : 1);
        // Only clearing the spool asks the window's question first.
        QCOMPARE(target->operationQuestion(OperationType(operation)).isEmpty(),
                 operation != quint64(OperationClearCache));
        target->performOperation(OperationType(operation), nullptr, 0);
    }
    QVERIFY(runner.waitForIdle());
    // A control read the state again after success; the framework's read is not ours.
    QStringList got = descriptions(runner.reports());
    if (!got.isEmpty())
        got = got.mid(0, 1);
    QCOMPARE(got, tasks);
    QFile log(QStringLiteral("/var/lib/oxa-cups-test/calls"));
    QString called;
    if (log.open(QIODevice::ReadOnly))
        called = QString::fromLocal8Bit(log.readAll());
    // The init script's first call is the task's own action (the framework reads the state
    // after a control).
    QCOMPARE(called.section(QLatin1Char('\n'), 0, 0), calls);
}

void TestServiceCupsModule::widgetForm()
{
    ServiceCupsModule module(nullptr);
    auto *widget = qobject_cast<ServiceCupsElementWidget *>(
        module.elementWidget(QStringLiteral("ServiceCups")));
    QVERIFY(widget);
    QCOMPARE(widget->objectName(), QStringLiteral("ServiceCupsElementWidget"));
    QCOMPARE(widget->windowTitle(), QStringLiteral("General"));
    QCOMPARE(widget->size(), QSize(400, 300));
    QCOMPARE(widget->elementType(), QStringLiteral("ServiceCups"));

    auto *grid = qobject_cast<QGridLayout *>(widget->layout());
    QVERIFY(grid);
    QCOMPARE(grid->objectName(), QStringLiteral("gridLayout_2"));
    auto position = [grid](QObject *item) {
        for (int i = 0; i < grid->count(); ++i) {
            if (grid->itemAt(i)->widget() == item) {
                int row, column, rows, columns;
                grid->getItemPosition(i, &row, &column, &rows, &columns);
                return QList<int>{row, column, rows, columns};
            }
        }
        return QList<int>();
    };
    auto *stateCaption = widget->findChild<QLabel *>(QStringLiteral("_stateLabelLabel"));
    auto *state = widget->findChild<QLabel *>(QStringLiteral("_stateLabel"));
    auto *button = widget->findChild<QPushButton *>(QStringLiteral("_clearPushButton"));
    auto *box = widget->findChild<QGroupBox *>(QStringLiteral("_confGroupBox"));
    auto *view = widget->findChild<QTreeView *>(QStringLiteral("_confTreeView"));
    QVERIFY(stateCaption && state && button && box && view);
    QCOMPARE(position(stateCaption), (QList<int>{0, 0, 1, 1}));
    QCOMPARE(position(state), (QList<int>{0, 1, 1, 1}));
    QCOMPARE(position(button), (QList<int>{0, 3, 1, 1}));
    QCOMPARE(position(box), (QList<int>{1, 0, 1, 4}));
    bool spacer = false;
    for (int i = 0; i < grid->count(); ++i) {
        if (QSpacerItem *item = grid->itemAt(i)->spacerItem()) {
            int row, column, rows, columns;
            grid->getItemPosition(i, &row, &column, &rows, &columns);
            spacer = row == 0 && column == 2 &&
                     item->sizePolicy().horizontalPolicy() == QSizePolicy::Expanding &&
                     item->sizeHint() == QSize(182, 20);
        }
    }
    QVERIFY(spacer);
    QCOMPARE(stateCaption->text(), QStringLiteral("State:"));
    QCOMPARE(state->text(), QStringLiteral("TextLabel"));
    QCOMPARE(button->text(), QStringLiteral("Clear"));
    QCOMPARE(button->toolTip(), QStringLiteral("Clear cache"));
    QVERIFY(!button->isDefault());
    QVERIFY(!button->autoDefault());
    QCOMPARE(box->title(), QStringLiteral("Configuration"));
    QCOMPARE(box->layout()->objectName(), QStringLiteral("gridLayout"));
    QCOMPARE(view->parentWidget(), box);
    QVERIFY(!view->tabKeyNavigation());
    QVERIFY(view->isSortingEnabled());
    QCOMPARE(view->model()->columnCount(), 2);
    QCOMPARE(view->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Name"));
    QCOMPARE(view->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Value"));

    widget->setElement(module.elements().first(), ElementWidgetRoleView);
    QCOMPARE(state->text(), QStringLiteral("<b>undefined</b>"));
}

void TestServiceCupsModule::widgetShowsTheConfiguration()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeStatusScript(QStringLiteral("/etc/init.d/cups"), 0));
    QVERIFY(host.removePath(QStringLiteral("/etc/cups")));
    QVERIFY(host.writeFile(QStringLiteral("/etc/cups/cupsd.conf"),
                           "Listen localhost:631\n<Location />\nOrder allow,deny\n</Location>\n"));
    QVERIFY(host.writeFile(QStringLiteral("/etc/cups/cups-files.conf"), "LogFileGroup adm\n"));

    ServiceCupsModule module(nullptr);
    module.setData(QStringLiteral("administrator"), true);
    Element *element = module.elements().first();
    auto *widget = qobject_cast<ServiceCupsElementWidget *>(
        module.elementWidget(QStringLiteral("ServiceCups")));
    widget->setElement(element, ElementWidgetRoleView);
    QSignalSpy read(widget, &ViewEditElementWidget::contentRead);

    TaskRunner runner;
    element->performOperation(OperationReadHeavy, nullptr, 0);
    QVERIFY(runner.waitForIdle());
    QCOMPARE(read.count(), 1);
    QVERIFY(widget->isBlocked());
    QCOMPARE(widget->stateLabel()->text(), QStringLiteral("<b>running</b>"));
    QCOMPARE(widget->configGroupBox()->title(), QStringLiteral("Configuration"));
    QVERIFY(element->serviceData()->state());
    TreeNodeModel *model = widget->treeModel();
    // Summary node, file node; file node; each a top-level row.
    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(cell(model, 0, 0), QStringLiteral("cups-files.conf"));
    QCOMPARE(cell(model, 1, 0), QStringLiteral("Listen"));
    QCOMPARE(cell(model, 1, 1), QStringLiteral(" localhost:631"));
    QCOMPARE(cell(model, 2, 0), QStringLiteral("cupsd.conf"));
    const QModelIndex cupsd = model->index(2, 0);
    QCOMPARE(model->rowCount(cupsd), 2);
    QCOMPARE(cell(model, 1, 0, cupsd), QStringLiteral("Location"));
    QCOMPARE(cell(model, 0, 0, model->index(1, 0, cupsd)), QStringLiteral("Order"));

    // A read that fails changes nothing: not the tree, not the state.
    QVERIFY(host.writeFile(QStringLiteral("/etc/cups/cupsd.conf"), "Port 631\n", 0600));
    QVERIFY(host.writeStatusScript(QStringLiteral("/etc/init.d/cups"), 3));
    auto *task = new ServiceCupsReadHeavyTask(element);
    setfsuid(65534);
    task->run();
    setfsuid(0);
    QCOMPARE(task->status(), TaskDescription::TaskStatusFailed);
    task->afterRun();
    delete task;
    QCOMPARE(read.count(), 1);
    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(cell(model, 1, 0), QStringLiteral("Listen"));
    QVERIFY(element->serviceData()->state());
    QCOMPARE(widget->stateLabel()->text(), QStringLiteral("<b>running</b>"));

    widget->reset();
    QCOMPARE(widget->stateLabel()->text(), QStringLiteral("<b>undefined</b>"));
}

void TestServiceCupsModule::clearButton_data()
{
    QTest::addColumn<bool>("administrator");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("cleared");
    QTest::newRow("yes") << true << int(QMessageBox::Yes) << true << true;
    QTest::newRow("no") << true << int(QMessageBox::No) << true << false;
    QTest::newRow("without the right") << false << int(QMessageBox::Yes) << false << false;
}

void TestServiceCupsModule::clearButton()
{
    QFETCH(bool, administrator);
    QFETCH(int, answer);
    QFETCH(bool, asked);
    QFETCH(bool, cleared);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.removePath(QStringLiteral("/var/spool/cups")));
    QVERIFY(host.writeFile(QStringLiteral("/var/spool/cups/c00001"), "job"));

    ServiceCupsModule module(nullptr);
    module.setData(QStringLiteral("administrator"), administrator);
    auto *widget = qobject_cast<ServiceCupsElementWidget *>(
        module.elementWidget(QStringLiteral("ServiceCups")));
    widget->setElement(module.elements().first(), ElementWidgetRoleView);
    widget->show();

    TaskRunner runner;
    QuestionAnswerer answerer{QMessageBox::StandardButton(answer)};
    answerer.arm();
    widget->clearButton()->click();
    QVERIFY(runner.waitForIdle());
    if (!asked) {
        // Give a question the time to show: none may come.
        QTest::qWait(200);
    }
    QCOMPARE(answerer.asked, asked);
    if (asked) {
        QCOMPARE(answerer.title, QStringLiteral("Clear cache"));
        // The element's question, the one the window's actions ask as well.
        QCOMPARE(answerer.text, module.elements().first()->operationQuestion(OperationClearCache));
        QVERIFY(answerer.text.contains(QStringLiteral("/var/spool/cups")));
        QVERIFY(answerer.text.contains(QStringLiteral("print jobs")));
        QVERIFY(answerer.text.contains(QStringLiteral("lost")));
        QCOMPARE(answerer.defaultButton, QMessageBox::No);
    }
    QCOMPARE(descriptions(runner.reports()),
             cleared ? QStringList{QStringLiteral("Clear CUPS cache")} : QStringList());
    QCOMPARE(QFile::exists(QStringLiteral("/var/spool/cups/c00001")), !cleared);
    widget->hide();
}

void TestServiceCupsModule::printersWidget()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.removePath(QStringLiteral("/etc/cups")));
    QVERIFY(host.writeFile(QStringLiteral("/etc/cups/printers.conf"),
                           "<Printer Office>\nInfo Main office\nOpPolicy default\n"
                           "MacLabelMin low\nMacLabelMax high\n</Printer>\n"));
    QVERIFY(host.writeFile(QStringLiteral("/etc/cups/classes.conf"),
                           "<Class Team>\nPrinter Office\n</Class>\n"));

    ServiceCupsModule module(nullptr);
    Element *element = module.elements().at(1);
    auto *widget = qobject_cast<ServiceCupsPrintersElementWidget *>(
        module.elementWidget(QStringLiteral("ServiceCupsPrinters")));
    QVERIFY(widget);
    QCOMPARE(widget->objectName(), QStringLiteral("ServiceCupsPrintersElementWidget"));
    QCOMPARE(widget->windowTitle(), QStringLiteral("Printers"));
    QCOMPARE(widget->size(), QSize(400, 300));
    QCOMPARE(widget->secondElementType(), QStringLiteral("ServiceCups"));
    QCOMPARE(widget->number(), 510);
    QCOMPARE(widget->layout()->objectName(), QStringLiteral("gridLayout"));
    QTreeView *view = widget->findChild<QTreeView *>(QStringLiteral("_printersTreeView"));
    QVERIFY(view);
    QVERIFY(view->isSortingEnabled());
    QStringList headers;
    for (int section = 0; section < view->model()->columnCount(); ++section)
        headers << view->model()->headerData(section, Qt::Horizontal).toString();
    QCOMPARE(headers, (QStringList{"Name", "Value", "Policy", "Min. label", "Max. label"}));

    // In the creation role nothing is shown.
    widget->setElement(element, ElementWidgetRoleCreate);
    TaskRunner runner;
    element->performOperation(OperationReadHeavy, nullptr, 0);
    QVERIFY(runner.waitForIdle());
    QCOMPARE(widget->treeModel()->rowCount(), 0);

    widget->setElement(element, ElementWidgetRoleView);
    element->performOperation(OperationReadHeavy, nullptr, 0);
    QVERIFY(runner.waitForIdle());
    QVERIFY(widget->isBlocked());
    TreeNodeModel *model = widget->treeModel();
    QCOMPARE(model->rowCount(), 2);
    QCOMPARE(model->columnCount(), 5);
    QCOMPARE((QStringList{cell(model, 0, 0), cell(model, 0, 1), cell(model, 0, 2),
                          cell(model, 0, 3), cell(model, 0, 4)}),
             (QStringList{"Printer", " Office", " default", " low", " high"}));
    QCOMPARE(model->rowCount(model->index(0, 0)), 4);
    QCOMPARE(cell(model, 1, 0), QStringLiteral("Class"));
    QCOMPARE(cell(model, 0, 1, model->index(1, 0)), QStringLiteral(" Office"));

    // A second read replaces the rows.
    QVERIFY(host.removePath(QStringLiteral("/etc/cups/classes.conf")));
    element->performOperation(OperationReadHeavy, nullptr, 0);
    QVERIFY(runner.waitForIdle());
    QCOMPARE(model->rowCount(), 1);
}

OXA_TEST_MAIN(TestServiceCupsModule)
#include "tst_servicecupsmodule.moc"
