#include "consolehost.h"
#include "createdialog.h"
#include "elementtreemodel.h"
#include "hosttestenvironment.h"
#include "icontheme.h"
#include "mainwindow.h"
#include "operationactions.h"
#include "pluginsdialog.h"
#include "questionanswerer.h"
#include "tasklogwidget.h"

#include <childprocess.h>
#include <consoleregistry.h>
#include <element.h>
#include <elementdata.h>
#include <taskdescription.h>
#include <taskobserver.h>
#include <vieweditelementwidget.h>

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>

#include <memory>
#include <unistd.h>

/** The console window over the test plug-ins, in this process. */
class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void iconTheme_data();
    void iconTheme();
    void tree();
    void startupLightRead();
    void selectionShowsWidgetAndReads();
    void actionsFollowOperations();
    void editApplyCancel();
    void discardQuestion();
    void createDialog();
    void deleteAsksFirst();
    void deletedElementIsNotShown();
    void widgetGivenBack();
    void widgetDeletedWhileShown();
    void failuresAndLog();
    void busyIndicator();
    void pluginsDialog();
    void contextMenu();
    void changeLeftRunningOnRequest();
    void closeWhileChangesRun_data();
    void closeWhileChangesRun();
    void operationAsksFirst_data();
    void operationAsksFirst();

private:
    void start(bool startupReads = false);
    Element *element(const QString &selector) const;
    bool waitIdle() { return TaskObserver::instance()->waitForIdle(30000); }
    QAction *action(const char *name) const
    {
        return m_window->operationActions()->action(QString::fromLatin1(name));
    }
    template <typename T> T *field(const char *name) const
    {
        return m_window->currentWidget()
                   ? m_window->currentWidget()->findChild<T *>(QString::fromLatin1(name))
                   : nullptr;
    }
    QStringList finishedElements() const;

    std::unique_ptr<HostTestEnvironment> m_environment;
    std::unique_ptr<ConsoleHost> m_host;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
    std::unique_ptr<QSignalSpy> m_finished;
};

void TestMainWindow::initTestCase()
{
    IconTheme::setUp();
    TaskObserver::instance();
}

void TestMainWindow::init()
{
    m_environment = std::make_unique<HostTestEnvironment>();
    QVERIFY(m_environment->isValid());
    QVERIFY(m_environment->writeConfig("testservice", "name=main\nmode=fast\nchoices=alpha\n"));
}

void TestMainWindow::cleanup()
{
    ChildProcess::setReadLimitMs(ChildProcess::DefaultTimeoutMs);
    QVERIFY(waitIdle());
    m_tester.reset();
    m_finished.reset();
    m_window.reset();
    m_host.reset();
    m_environment.reset();
}

void TestMainWindow::start(bool startupReads)
{
    m_host = std::make_unique<ConsoleHost>();
    m_host->loadPlugins({HostTestEnvironment::pluginDirectory()});
    m_window = std::make_unique<MainWindow>(m_host.get());
    m_window->setStartupReads(startupReads);
    m_tester = std::make_unique<QAbstractItemModelTester>(
        m_window->treeModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    m_finished =
        std::make_unique<QSignalSpy>(TaskObserver::instance(), &TaskObserver::taskFinished);
    QVERIFY(m_host->waitForChecks());
    m_host->build(false);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

Element *TestMainWindow::element(const QString &selector) const
{
    return m_host->registry()->resolve(selector);
}

QStringList TestMainWindow::finishedElements() const
{
    QStringList out;
    for (const QList<QVariant> &arguments : std::as_const(*m_finished))
        out.append(arguments.at(0).value<TaskReport>().elementId);
    return out;
}

void TestMainWindow::iconTheme_data()
{
    QTest::addColumn<QString>("name");
    for (const char *name : {"computer", "media-playback-start", "media-playback-stop", "folder",
                             "text-plain", "view-refresh", "edit-delete", "document-new"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestMainWindow::iconTheme()
{
    QFETCH(QString, name);
    if (IconTheme::installedFallbackTheme().isEmpty())
        QSKIP("no icon theme installed (scripts/install-deps installs breeze-icon-theme)");
    QVERIFY2(QIcon::hasThemeIcon(name), qPrintable(QIcon::themeName()));
    QVERIFY(!QIcon::fromTheme(name).pixmap(22, 22).isNull());
}

void TestMainWindow::tree()
{
    start();
    ElementTreeModel *model = m_window->treeModel();
    QCOMPARE(model->rowCount(), 1);
    const QModelIndex root = model->index(0, 0);
    QCOMPARE(root.data().toString(), QStringLiteral("Test root"));
    QVERIFY(!root.data(Qt::DecorationRole).value<QIcon>().isNull());
    // Expanded at start by its flag.
    QVERIFY(m_window->treeView()->isExpanded(root));
    const QModelIndex service = model->indexFromNode(element("TestService"));
    const QModelIndex container = model->indexFromNode(element("TestContainer"));
    const QModelIndex sub = model->indexFromNode(element("TestSub"));
    QCOMPARE(container.data(Qt::ToolTipRole).toString(), QStringLiteral("Test items (beta)"));
    QCOMPARE(service.data(Qt::ToolTipRole).toString(), QStringLiteral("Test service (alpha)"));
    QVERIFY(!container.data(Qt::DecorationRole).value<QIcon>().isNull());
    // A leaf without children has no expander; a container whose content is unread has one.
    QVERIFY(!model->hasChildren(sub));
    QCOMPARE(model->rowCount(container), 0);
    QVERIFY(model->hasChildren(container));
    QVERIFY(model->hasChildren(service));
    // Opening the unread container reads its content.
    m_window->treeView()->expand(container);
    QVERIFY(waitIdle());
    QVERIFY(finishedElements().contains("TestContainer"));
    // The first root is shown from the start, without a read of its own.
    QCOMPARE(m_window->currentElement(), element("TestRoot"));
    QCOMPARE(m_window->captionLabel()->text(), QStringLiteral("Test root"));
}

void TestMainWindow::startupLightRead()
{
    start(true);
    QVERIFY(waitIdle());
    QStringList elements = finishedElements();
    elements.sort();
    QCOMPARE(elements, (QStringList{"TestContainer", "TestService", "TestSub"}));
    QVERIFY(element("TestService")->serviceData()->isStateKnown());
}

void TestMainWindow::selectionShowsWidgetAndReads()
{
    start();
    Element *service = element("TestService");
    QVERIFY(m_window->selectElement(service));
    ViewEditElementWidget *widget = m_window->currentWidget();
    QVERIFY(widget);
    QCOMPARE(widget->objectName(), QStringLiteral("TestServiceWidget"));
    QVERIFY(m_window->isAncestorOf(widget));
    QVERIFY(widget->isVisible());
    QCOMPARE(widget->element(), service);
    QCOMPARE(widget->role(), ElementWidgetRoleView);
    QVERIFY(widget->isBlocked());
    QVERIFY(waitIdle());
    QCOMPARE(field<QLabel>("_stateLabel")->text(), QStringLiteral("stopped"));
    QCOMPARE(field<QLineEdit>("_nameEdit")->text(), QStringLiteral("main"));
    QCOMPARE(m_environment->log("testservice"), (QStringList{"status ", "show "}));

    // A container: its content first, then each child's read.
    Element *container = element("TestContainer");
    QVERIFY(m_environment->writeFile("testcontainer.items/first", "kind=plain\n"));
    QVERIFY(container->contentFlag());
    QVERIFY(m_window->selectElement(container));
    QVERIFY(waitIdle());
    QCOMPARE(container->childCount(), 1);
    QVERIFY(!container->contentFlag());
    QVERIFY(!m_window->isAncestorOf(widget)); // the service's widget went back
    QVERIFY(!widget->parent());
    // Selected again: the content is not read again ...
    m_finished->clear();
    QVERIFY(m_window->selectElement(service));
    QVERIFY(m_window->selectElement(container));
    QVERIFY(waitIdle());
    QVERIFY(!finishedElements().contains("TestContainer"));
    // ... but F5 reads it again.
    action("_refreshAction")->trigger();
    QVERIFY(waitIdle());
    QVERIFY(finishedElements().contains("TestContainer"));
    QCOMPARE(action("_refreshAction")->shortcut(), QKeySequence(QKeySequence::Refresh));
}

void TestMainWindow::actionsFollowOperations()
{
    if (geteuid() != 0)
        QSKIP("the control operations are offered to an administrator only");
    start();
    QVERIFY(m_window->selectElement(element("TestService")));
    QVERIFY(waitIdle());
    QVERIFY(action("_startAction")->isEnabled());
    QVERIFY(!action("_stopAction")->isEnabled());
    QVERIFY(!action("_reloadAction")->isEnabled());
    QVERIFY(action("_refreshAction")->isEnabled());
    QVERIFY(!action("_createAction")->isEnabled());
    QVERIFY(!action("_deleteAction")->isEnabled());
    QVERIFY(action("_editAction")->isEnabled());
    QVERIFY(!action("_applyAction")->isEnabled());
    for (QAction *a : m_window->operationActions()->operationActions() +
                          m_window->operationActions()->editActions())
        QVERIFY2(!a->icon().isNull() || IconTheme::installedFallbackTheme().isEmpty(),
                 qPrintable(a->objectName()));

    action("_startAction")->trigger();
    QVERIFY(waitIdle());
    QVERIFY(QFile::exists(m_environment->filePath("testservice.running")));
    QVERIFY(!action("_startAction")->isEnabled());
    QVERIFY(action("_stopAction")->isEnabled());
    QVERIFY(action("_restartAction")->isEnabled());
    QVERIFY(action("_reloadAction")->isEnabled());

    QVERIFY(m_window->selectElement(element("TestContainer")));
    QVERIFY(action("_createAction")->isEnabled());
    QVERIFY(!action("_editAction")->isEnabled());
    QVERIFY(!action("_startAction")->isEnabled());

    // Nothing selected that offers anything: everything is off.
    QVERIFY(m_window->selectElement(element("TestRoot")));
    for (QAction *a : m_window->operationActions()->operationActions()) {
        if (a != action("_refreshAction"))
            QVERIFY2(!a->isEnabled(), qPrintable(a->objectName()));
    }
}

void TestMainWindow::editApplyCancel()
{
    if (geteuid() != 0)
        QSKIP("editing is offered to an administrator only");
    start();
    QVERIFY(m_window->selectElement(element("TestService")));
    QVERIFY(waitIdle());
    QLineEdit *name = field<QLineEdit>("_nameEdit");
    QVERIFY(!name->isEnabled());

    // Edit, change, cancel: blocked again and read again.
    action("_editAction")->trigger();
    QVERIFY(m_window->isEditing());
    QVERIFY(name->isEnabled());
    QVERIFY(action("_applyAction")->isEnabled());
    QVERIFY(action("_cancelAction")->isEnabled());
    QVERIFY(!action("_editAction")->isEnabled());
    name->selectAll();
    QTest::keyClicks(name, "changed");
    QVERIFY(m_window->currentWidget()->isModified());
    action("_cancelAction")->trigger();
    QVERIFY(!m_window->isEditing());
    QVERIFY(!name->isEnabled());
    QVERIFY(waitIdle());
    QCOMPARE(name->text(), QStringLiteral("main"));

    // An empty name is no valid change: Apply stays off.
    action("_editAction")->trigger();
    name->selectAll();
    QTest::keyClick(name, Qt::Key_Delete);
    QVERIFY(!action("_applyAction")->isEnabled());

    // Edit, change, apply: the widget asks, the answer goes with the update.
    QTest::keyClicks(name, "renamed");
    QVERIFY(action("_applyAction")->isEnabled());
    QuestionAnswerer answerer;
    answerer.setAnswer(QuestionAnswerer::No);
    answerer.start();
    action("_applyAction")->trigger();
    answerer.stop();
    QCOMPARE(answerer.takeAnswered().size(), 1);
    QVERIFY(!m_window->isEditing());
    QVERIFY(waitIdle());
    QCOMPARE(m_environment->readFile("testservice.conf"),
             QStringLiteral("name=renamed\nmode=fast\nchoices=alpha\nreload=no\n"));
    QCOMPARE(name->text(), QStringLiteral("renamed")); // read back after the update
}

void TestMainWindow::discardQuestion()
{
    if (geteuid() != 0)
        QSKIP("editing is offered to an administrator only");
    start();
    Element *service = element("TestService");
    QVERIFY(m_window->selectElement(service));
    QVERIFY(waitIdle());
    QVERIFY(m_window->editCurrent());
    QTest::keyClicks(field<QLineEdit>("_nameEdit"), "x");
    // Leaving with unapplied changes asks first and stays meanwhile.
    m_window->selectElement(element("TestSub"));
    QTRY_COMPARE(m_window->treeView()->currentIndex(),
                 m_window->treeModel()->indexFromNode(service));
    auto *box = m_window->findChild<QMessageBox *>("_discardQuestion");
    QVERIFY(box);
    box->button(QMessageBox::Cancel)->click();
    QCOMPARE(m_window->currentElement(), service);
    QVERIFY(m_window->isEditing());
    m_window->selectElement(element("TestSub"));
    QTRY_VERIFY(m_window->findChild<QMessageBox *>("_discardQuestion"));
    m_window->findChild<QMessageBox *>("_discardQuestion")->button(QMessageBox::Discard)->click();
    QCOMPARE(m_window->currentElement(), element("TestSub"));
    QVERIFY(!m_window->isEditing());
}

void TestMainWindow::createDialog()
{
    if (geteuid() != 0)
        QSKIP("creating is offered to an administrator only");
    start();
    Element *container = element("TestContainer");
    QVERIFY(m_window->selectElement(container));
    QVERIFY(waitIdle());
    action("_createAction")->trigger();
    CreateDialog *dialog = m_window->findChild<CreateDialog *>();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QPointer<ViewEditElementWidget> form = dialog->widget();
    QVERIFY(form);
    QCOMPARE(form->role(), ElementWidgetRoleCreate);
    QCOMPARE(form->element(), container);
    QVERIFY(!dialog->createButton()->isEnabled());
    auto *name = form->findChild<QLineEdit *>("_nameEdit");
    QTest::keyClicks(name, "Bad!");
    QVERIFY(!dialog->createButton()->isEnabled());
    name->clear();
    QTest::keyClicks(name, "good");
    QVERIFY(dialog->createButton()->isEnabled());
    QTest::mouseClick(dialog->createButton(), Qt::LeftButton);
    QVERIFY(waitIdle());
    QTRY_VERIFY(!m_window->findChild<CreateDialog *>());
    QVERIFY(form);
    QVERIFY(!form->parent()); // given back to its module
    QCOMPARE(m_environment->readFile("testcontainer.items/good"), QStringLiteral("kind=plain\n"));
    QVERIFY(element("TestContainer/good"));
}

void TestMainWindow::deleteAsksFirst()
{
    if (geteuid() != 0)
        QSKIP("deleting is offered to an administrator only");
    QVERIFY(m_environment->writeFile("testcontainer.items/doomed", "kind=plain\n"));
    start();
    QVERIFY(m_window->selectElement(element("TestContainer")));
    QVERIFY(waitIdle());
    QPointer<Element> doomed = element("TestContainer/doomed");
    QVERIFY(doomed);
    QVERIFY(m_window->selectElement(doomed));
    QVERIFY(waitIdle());
    QVERIFY(action("_deleteAction")->isEnabled());
    action("_deleteAction")->trigger();
    auto *box = m_window->findChild<QMessageBox *>("_deleteQuestion");
    QVERIFY(box);
    QVERIFY(box->text().contains("doomed"));
    box->button(QMessageBox::No)->click();
    QVERIFY(waitIdle());
    QVERIFY(doomed);
    QVERIFY(QFile::exists(m_environment->filePath("testcontainer.items/doomed")));

    action("_deleteAction")->trigger();
    QTRY_VERIFY(m_window->findChild<QMessageBox *>("_deleteQuestion"));
    m_window->findChild<QMessageBox *>("_deleteQuestion")->button(QMessageBox::Yes)->click();
    QVERIFY(waitIdle());
    QVERIFY(!doomed);
    QVERIFY(!QFile::exists(m_environment->filePath("testcontainer.items/doomed")));
    QVERIFY(m_window->currentElement() != nullptr);
    if (m_window->currentWidget())
        QCOMPARE(m_window->currentWidget()->element(), m_window->currentElement());
}

void TestMainWindow::deletedElementIsNotShown()
{
    QVERIFY(m_environment->writeFile("testcontainer.items/only", "kind=plain\n"));
    start();
    QVERIFY(m_window->selectElement(element("TestContainer")));
    QVERIFY(waitIdle());
    Element *only = element("TestContainer/only");
    QVERIFY(m_window->selectElement(only));
    QVERIFY(waitIdle());
    QPointer<ViewEditElementWidget> widget = m_window->currentWidget();
    QCOMPARE(widget->objectName(), QStringLiteral("TestItemWidget"));
    // The content is read again: every item is replaced under the window's feet.
    action("_refreshAction")->trigger(); // reads the item, not the container
    QVERIFY(waitIdle());
    delete only;
    QVERIFY(m_window->currentElement() != only);
    QVERIFY(widget); // the module's widget lives on ...
    if (m_window->currentWidget() == widget)
        QVERIFY(widget->element() && widget->element() == m_window->currentElement());
    else
        QVERIFY(!m_window->isAncestorOf(widget)); // ... but is not shown for a dead element
    QVERIFY(waitIdle());
}

void TestMainWindow::widgetGivenBack()
{
    start();
    QVERIFY(m_window->selectElement(element("TestService")));
    QVERIFY(waitIdle());
    QPointer<ViewEditElementWidget> widget = m_window->currentWidget();
    QVERIFY(widget && m_window->isAncestorOf(widget));
    m_window.reset();
    QVERIFY(widget);
    QVERIFY(!widget->parent());
    m_host.reset();
    QVERIFY(!widget); // its module took it along
}

void TestMainWindow::widgetDeletedWhileShown()
{
    start();
    QVERIFY(m_window->selectElement(element("TestService")));
    QVERIFY(waitIdle());
    delete m_window->currentWidget();
    QVERIFY(!m_window->currentWidget());
    QVERIFY(!m_window->isEditing());
    QVERIFY(!action("_editAction")->isEnabled());
    QVERIFY(m_window->selectElement(element("TestSub")));
    QVERIFY(m_window->selectElement(element("TestService")));
    QVERIFY(!m_window->currentWidget()); // the module has no widget for it any more
    QVERIFY(waitIdle());
}

void TestMainWindow::failuresAndLog()
{
    QVERIFY(m_environment->failAction("testservice", "show"));
    start();
    QVERIFY(m_window->selectElement(element("TestService")));
    QVERIFY(waitIdle());
    QTreeWidget *log = m_window->taskLog();
    QVERIFY(log->topLevelItemCount() >= 2); // the skipped impostor, the failed read
    QTreeWidgetItem *last = log->topLevelItem(log->topLevelItemCount() - 1);
    QCOMPARE(last->text(TaskLogWidget::ColumnStatus), QStringLiteral("failed"));
    QCOMPARE(last->text(TaskLogWidget::ColumnElement), QStringLiteral("TestService"));
    QVERIFY(last->toolTip(TaskLogWidget::ColumnMessage).contains("failed on purpose"));
    QVERIFY(m_window->statusBar()->currentMessage().startsWith("Failed: "));
    QVERIFY(!QApplication::activeModalWidget()); // no box for a failed background read
    QVERIFY(log->topLevelItem(0)->text(TaskLogWidget::ColumnElement).contains("notplugin"));
}

void TestMainWindow::busyIndicator()
{
    QVERIFY(m_environment->slowAction("testservice", "show"));
    start();
    QVERIFY(!m_window->busyIndicator()->isVisible());
    QSignalSpy busy(TaskObserver::instance(), &TaskObserver::busyChanged);
    QVERIFY(m_window->selectElement(element("TestService")));
    QTRY_VERIFY(m_window->busyIndicator()->isVisible());
    QVERIFY(waitIdle());
    QTRY_VERIFY(!m_window->busyIndicator()->isVisible());
    QVERIFY(busy.count() >= 2);
}

void TestMainWindow::pluginsDialog()
{
    start();
    m_window->showPluginsDialog();
    auto *dialog = m_window->findChild<PluginsDialog *>();
    QVERIFY(dialog);
    QTreeWidget *plugins = dialog->pluginsView();
    QCOMPARE(plugins->topLevelItemCount(), 3);
    QCOMPARE(plugins->topLevelItem(2)->text(PluginsDialog::PluginName),
             QStringLiteral("TestGammaPlugin"));
    QCOMPARE(plugins->topLevelItem(2)->text(PluginsDialog::PluginValid), QStringLiteral("no"));
    QCOMPARE(plugins->topLevelItem(0)->text(PluginsDialog::PluginValid), QStringLiteral("yes"));
    QCOMPARE(plugins->topLevelItem(1)->text(PluginsDialog::PluginPackages),
             QStringLiteral("beta-pkg, beta-extra"));
    QCOMPARE(dialog->issuesView()->topLevelItemCount(), 1);
    dialog->close();
}

void TestMainWindow::contextMenu()
{
    if (geteuid() != 0)
        QSKIP("the control operations are offered to an administrator only");
    start();
    QVERIFY(m_window->selectElement(element("TestService")));
    QVERIFY(waitIdle());
    // A right click on another row selects it and offers what that element offers.
    QTreeView *tree = m_window->treeView();
    const QRect row =
        tree->visualRect(m_window->treeModel()->indexFromNode(element("TestContainer")));
    QVERIFY(row.isValid());
    emit tree->customContextMenuRequested(row.center());
    QCOMPARE(m_window->currentElement(), element("TestContainer"));
    auto *menu = m_window->findChild<QMenu *>("_contextMenu");
    QVERIFY(menu);
    QTRY_VERIFY(menu->isVisible());
    QStringList names;
    for (QAction *a : menu->actions()) {
        if (!a->isSeparator())
            names.append(a->objectName());
    }
    QCOMPARE(names, (QStringList{"_refreshAction", "_createAction"}));
    menu->close();
    QTRY_VERIFY(!m_window->findChild<QMenu *>("_contextMenu"));
}

void TestMainWindow::changeLeftRunningOnRequest()
{
    if (geteuid() != 0)
        QSKIP("the control operations are offered to an administrator only");
    ChildProcess::setReadLimitMs(200);
    QVERIFY(m_environment->slowAction("testservice", "start", "3"));
    start();
    QVERIFY(m_window->selectElement(element("TestService")));
    QVERIFY(waitIdle());
    auto *button = m_window->findChild<QPushButton *>("_stopWaitingButton");
    QVERIFY(button && !button->isVisible());
    QVERIFY(!m_window->stopWaitingAction()->isEnabled());
    QVERIFY(!m_window->stopWaiting()); // nothing to stop waiting for

    // Past the read limit the start says it still runs, and may be left to itself.
    action("_startAction")->trigger();
    TaskLogWidget *log = m_window->taskLog();
    QTRY_COMPARE(log->runningCount(), 1);
    QTreeWidgetItem *row = log->currentItem();
    QVERIFY(row);
    QCOMPARE(row->text(TaskLogWidget::ColumnStatus), QStringLiteral("running"));
    QCOMPARE(row->text(TaskLogWidget::ColumnElement), QStringLiteral("TestService"));
    QVERIFY2(row->text(TaskLogWidget::ColumnMessage).contains("still running after"),
             qPrintable(row->text(TaskLogWidget::ColumnMessage)));
    QVERIFY(button->isVisible());
    QVERIFY(m_window->stopWaitingAction()->isEnabled());
    QVERIFY(log->actions().contains(m_window->stopWaitingAction()));
    m_finished->clear();
    button->click();
    QVERIFY(waitIdle());

    QCOMPARE(log->runningCount(), 0);
    QVERIFY(!button->isVisible());
    const TaskReport ended = m_finished->at(0).at(0).value<TaskReport>();
    QCOMPARE(ended.status, TaskDescription::TaskStatusUnknown);
    QCOMPARE(log->currentItem()->text(TaskLogWidget::ColumnStatus), QStringLiteral("unknown"));
    // Its state is read again at once, while the start still goes on by itself.
    QCOMPARE(finishedElements().count("TestService"), 1);
    QCOMPARE(m_environment->log("testservice").last(), QStringLiteral("status "));
    QVERIFY(!QFile::exists(m_environment->filePath("testservice.running")));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_environment->filePath("testservice.running")), 10000);
}

void TestMainWindow::closeWhileChangesRun_data()
{
    QTest::addColumn<bool>("changing");
    QTest::addColumn<int>("answer"); // QMessageBox::Yes or No
    QTest::addColumn<bool>("closed");
    QTest::newRow("nothing changing: closes at once") << false << 0 << true;
    QTest::newRow("a change runs, No keeps the window") << true << int(QMessageBox::No) << false;
    QTest::newRow("a change runs, Yes leaves it running") << true << int(QMessageBox::Yes) << true;
}

void TestMainWindow::closeWhileChangesRun()
{
    if (geteuid() != 0)
        QSKIP("the control operations are offered to an administrator only");
    QFETCH(bool, changing);
    QFETCH(int, answer);
    QFETCH(bool, closed);
    QVERIFY(m_environment->slowAction("testservice", "start", "3"));
    QVERIFY(m_environment->slowAction("testservice", "show", "2")); // a read running, no change
    start();
    QVERIFY(m_window->selectElement(element("TestService")));
    QVERIFY(waitIdle());
    m_window->refresh();
    if (changing) {
        action("_startAction")->trigger();
        QTRY_COMPARE(TaskObserver::instance()->runningChangeCount(), 1);
    }
    QCOMPARE(m_window->close(), !changing);
    auto *box = m_window->findChild<QMessageBox *>("_closeQuestion");
    QCOMPARE(box != nullptr, changing);
    if (box) {
        QVERIFY2(box->text().contains("1 change") &&
                     box->text().contains("go on without the console"),
                 qPrintable(box->text()));
        QCOMPARE(box->defaultButton(), box->button(QMessageBox::No));
        box->button(QMessageBox::StandardButton(answer))->click();
    }
    QTRY_COMPARE(m_window->isVisible(), !closed);
    QVERIFY(waitIdle());
    if (changing) {
        // Either way the start was never killed: it ends by itself.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_environment->filePath("testservice.running")),
                                 10000);
        QStringList statuses;
        for (const QList<QVariant> &arguments : std::as_const(*m_finished)) {
            const TaskReport report = arguments.at(0).value<TaskReport>();
            if (report.description.startsWith("start "))
                statuses << TaskDescription::statusName(report.status);
        }
        QCOMPARE(statuses, QStringList{closed ? "unknown" : "done"});
    }
}

void TestMainWindow::operationAsksFirst_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("performed");
    QTest::newRow("No does nothing") << int(QMessageBox::No) << false;
    QTest::newRow("Yes performs it") << int(QMessageBox::Yes) << true;
}

void TestMainWindow::operationAsksFirst()
{
    if (geteuid() != 0)
        QSKIP("clear-cache is offered to an administrator only");
    QFETCH(int, answer);
    QFETCH(bool, performed);
    start();
    QVERIFY(m_window->selectElement(element("TestSub")));
    QVERIFY(waitIdle());
    // One action for the menu, the tool bar and the context menu: each asks the same.
    QAction *clear = action("_clearCacheAction");
    QVERIFY(clear->isEnabled());
    QVERIFY(m_window->findChild<QToolBar *>("_mainToolBar")->actions().contains(clear));
    QVERIFY(m_window->findChild<QMenu *>("_elementMenu")->actions().contains(clear));
    clear->trigger();
    auto *box = m_window->findChild<QMessageBox *>("_operationQuestion");
    QVERIFY(box);
    QCOMPARE(box->text(), element("TestSub")->operationQuestion(OperationClearCache));
    QCOMPARE(box->windowTitle(), QStringLiteral("Clear cache"));
    QCOMPARE(box->defaultButton(), box->button(QMessageBox::No));
    QVERIFY(!m_environment->log("testsub").contains("clear "));
    box->button(QMessageBox::StandardButton(answer))->click();
    QVERIFY(waitIdle());
    QCOMPARE(m_environment->log("testsub").contains("clear "), performed);
    // An operation that declares no question goes at once.
    QVERIFY(element("TestSub")->operationQuestion(OperationReadHeavy).isEmpty());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
