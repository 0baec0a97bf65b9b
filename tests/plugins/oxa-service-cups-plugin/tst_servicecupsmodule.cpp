#include <printerstreenode.h>
#include <servicecupselementwidget.h>
#include <servicecupsmodule.h>
#include <servicecupsprinterselementwidget.h>
#include <servicecupstasks.h>

#include <element.h>
#include <elementdata.h>
#include <servicetaskcheck.h>
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

/**
 * The CUPS plug-in's widgets: their forms, what they show after a read, the clear button. What
 * every plug-in shares (identity, package check, operations and their tasks) is in
 * tst_pluginconformance.
 */
class TestServiceCupsModule : public QObject
{
    Q_OBJECT

private slots:
    void widgetForm();
    void widgetShowsTheConfiguration();
    void clearButton_data();
    void clearButton();
    void printersWidget();
};

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
    QCOMPARE(ServiceTaskCheck::descriptions(runner.reports()),
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
