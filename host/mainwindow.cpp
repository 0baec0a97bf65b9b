#include "mainwindow.h"

#include "connectdialog.h"
#include "consolehost.h"
#include "createdialog.h"
#include "elementtreemodel.h"
#include "operationactions.h"
#include "pluginsdialog.h"
#include "tasklogwidget.h"

#include <consoleregistry.h>
#include <element.h>
#include <hostconnection.h>
#include <taskdescription.h>
#include <taskobserver.h>
#include <vieweditelementwidget.h>

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDockWidget>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

namespace {
QString firstLine(const QString &text)
{
    return text.section(QLatin1Char('\n'), 0, 0);
}
} // namespace

MainWindow::MainWindow(ConsoleHost *host, QWidget *parent)
    : QMainWindow(parent), m_host(host), m_model(new ElementTreeModel(nullptr, this)),
      m_actions(new OperationActions(this))
{
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(tr("Service administration"));
    resize(1000, 680);

    auto *splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName(QStringLiteral("_splitter"));
    m_tree = new QTreeView(splitter);
    m_tree->setObjectName(QStringLiteral("_elementTree"));
    m_tree->setHeaderHidden(true);
    m_tree->setUniformRowHeights(true);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    // Before the view is told: when the shown element leaves the tree (deleted, often), the
    // view moves its current row at once, and the element must be let go of first.
    connect(m_model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            &MainWindow::onRowsAboutToBeRemoved);
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this,
            [this] { forgetElement(tr("Select an element in the tree.")); });
    m_tree->setModel(m_model);

    auto *panel = new QWidget(splitter);
    panel->setObjectName(QStringLiteral("_elementPanel"));
    auto *panelLayout = new QVBoxLayout(panel);
    m_connectionNotice = new QLabel(panel);
    m_connectionNotice->setObjectName(QStringLiteral("_connectionNoticeLabel"));
    m_connectionNotice->setWordWrap(true);
    m_connectionNotice->setTextFormat(Qt::PlainText);
    m_connectionNotice->setFrameShape(QFrame::StyledPanel);
    m_connectionNotice->hide();
    auto *noticeRow = new QHBoxLayout;
    noticeRow->addWidget(m_connectionNotice, 1);
    panelLayout->addLayout(noticeRow);
    m_caption = new QLabel(panel);
    m_caption->setObjectName(QStringLiteral("_captionLabel"));
    QFont bold = m_caption->font();
    bold.setBold(true);
    m_caption->setFont(bold);
    panelLayout->addWidget(m_caption);
    m_widgetArea = new QWidget(panel);
    m_widgetArea->setObjectName(QStringLiteral("_widgetArea"));
    m_widgetLayout = new QVBoxLayout(m_widgetArea);
    m_widgetLayout->setContentsMargins(0, 0, 0, 0);
    m_placeholder = new QLabel(tr("Select an element in the tree."), m_widgetArea);
    m_placeholder->setObjectName(QStringLiteral("_placeholderLabel"));
    m_placeholder->setAlignment(Qt::AlignCenter);
    m_placeholder->setWordWrap(true);
    m_widgetLayout->addWidget(m_placeholder);
    panelLayout->addWidget(m_widgetArea, 1);
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    for (QAction *action : m_actions->editActions()) {
        auto *button = new QPushButton(action->icon(), action->text(), panel);
        button->setObjectName(
            action->objectName().replace(QStringLiteral("Action"), QStringLiteral("Button")));
        button->setEnabled(action->isEnabled());
        connect(button, &QPushButton::clicked, action, &QAction::trigger);
        connect(action, &QAction::changed, button,
                [button, action] { button->setEnabled(action->isEnabled()); });
        buttonRow->addWidget(button);
    }
    panelLayout->addLayout(buttonRow);
    splitter->addWidget(m_tree);
    splitter->addWidget(panel);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({300, 700});
    setCentralWidget(splitter);

    m_log = new TaskLogWidget(this);
    auto *dock = new QDockWidget(tr("Task log"), this);
    dock->setObjectName(QStringLiteral("_taskLogDock"));
    dock->setWidget(m_log);
    addDockWidget(Qt::BottomDockWidgetArea, dock);

    m_busyLabel = new QLabel(this);
    m_busyLabel->setObjectName(QStringLiteral("_busyLabel"));
    m_busy = new QProgressBar(this);
    m_busy->setObjectName(QStringLiteral("_busyIndicator"));
    m_busy->setRange(0, 0); // no known end: a moving indicator
    m_busy->setMaximumWidth(140);
    m_busy->setTextVisible(false);
    statusBar()->addPermanentWidget(m_busyLabel);
    statusBar()->addPermanentWidget(m_busy);
    m_busy->hide();
    m_busyLabel->hide();

    // A change past the read limit may take minutes (a service waiting for another): the
    // administrator may stop waiting for it, never kill it half-way.
    m_stopWaiting =
        new QAction(QIcon::fromTheme(QStringLiteral("process-stop")), tr("Stop waiting"), this);
    m_stopWaiting->setObjectName(QStringLiteral("_stopWaitingAction"));
    m_stopWaiting->setToolTip(tr("Stop waiting for the change selected in the task log: its "
                                 "tool goes on running, its outcome is unknown, and what it "
                                 "changes is read again"));
    m_stopWaiting->setEnabled(false);
    connect(m_stopWaiting, &QAction::triggered, this, [this] { stopWaiting(); });
    m_log->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_log->addAction(m_stopWaiting);
    m_stopWaitingButton = new QPushButton(m_stopWaiting->icon(), m_stopWaiting->text(), this);
    m_stopWaitingButton->setObjectName(QStringLiteral("_stopWaitingButton"));
    m_stopWaitingButton->setToolTip(m_stopWaiting->toolTip());
    connect(m_stopWaitingButton, &QPushButton::clicked, m_stopWaiting, &QAction::trigger);
    statusBar()->addPermanentWidget(m_stopWaitingButton);
    m_stopWaitingButton->hide();

    m_connectHost = new QAction(QIcon::fromTheme(QStringLiteral("network-server")),
                                tr("Connect to host..."), this);
    m_connectHost->setObjectName(QStringLiteral("_connectHostAction"));
    m_connectHost->setToolTip(tr("Open a console of its own for another host, reached with ssh"));
    m_connectHost->setEnabled(false);
    connect(m_connectHost, &QAction::triggered, this, [this] { openConnectDialog(); });
    m_reconnect =
        new QAction(QIcon::fromTheme(QStringLiteral("view-refresh")), tr("Reconnect"), this);
    m_reconnect->setObjectName(QStringLiteral("_reconnectAction"));
    m_reconnect->setToolTip(tr("Connect to the host again and read everything again"));
    m_reconnect->setEnabled(false);
    connect(m_reconnect, &QAction::triggered, this, [this] { reconnect(); });
    m_reconnectButton = new QPushButton(m_reconnect->icon(), m_reconnect->text(), panel);
    m_reconnectButton->setObjectName(QStringLiteral("_reconnectButton"));
    m_reconnectButton->setToolTip(m_reconnect->toolTip());
    m_reconnectButton->setEnabled(false);
    m_reconnectButton->hide();
    connect(m_reconnectButton, &QPushButton::clicked, m_reconnect, &QAction::trigger);
    noticeRow->addWidget(m_reconnectButton, 0, Qt::AlignTop);

    setUpActions();
    QMenu *viewMenu = menuBar()->addMenu(tr("&View"));
    viewMenu->setObjectName(QStringLiteral("_viewMenu"));
    viewMenu->addAction(dock->toggleViewAction());

    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &MainWindow::onCurrentChanged);
    connect(m_tree, &QTreeView::expanded, this, &MainWindow::onExpanded);
    connect(m_tree, &QWidget::customContextMenuRequested, this, &MainWindow::showContextMenu);
    // Operations change with the element's state: re-check them on every change of a row.
    connect(m_model, &QAbstractItemModel::dataChanged, this, [this] {
        updateActions();
        updateCaption();
    });
    connect(m_model, qOverload<const QModelIndex &>(&TreeNodeModel::currentNodeRequested), this,
            [this](const QModelIndex &index) { m_tree->setCurrentIndex(index); });

    TaskObserver *observer = TaskObserver::instance();
    connect(observer, &TaskObserver::taskFinished, this, &MainWindow::onTaskFinished);
    connect(observer, &TaskObserver::taskProgress, this, &MainWindow::onTaskProgress);
    connect(observer, &TaskObserver::busyChanged, this, &MainWindow::onBusyChanged);
    connect(observer, &TaskObserver::taskStarted, this, [this] { onBusyChanged(true); });

    if (m_host) {
        for (const PluginLoadIssue &issue : m_host->issues())
            m_log->addNotice(issue.file, tr("Plug-in skipped"), issue.message, 1);
        connect(m_host, &ConsoleHost::issueReported, m_log,
                [this](const QString &file, const QString &message) {
                    m_log->addNotice(file, tr("Plug-in skipped"), message, 1);
                });
        if (m_host->isBuilt()) {
            // Build first, then ask for reads: let the caller configure the window first.
            QTimer::singleShot(0, this, &MainWindow::onBuilt);
        } else {
            connect(m_host, &ConsoleHost::built, this, &MainWindow::onBuilt);
            if (m_host->isChecking() || !m_host->isChecked())
                statusBar()->showMessage(tr("Checking the plug-ins..."));
        }
    }
    updateActions();
}

MainWindow::~MainWindow()
{
    delete m_createDialog.data();
    releaseWidget();
}

void MainWindow::setConnectionNotice(const QString &notice)
{
    showNotice(notice, tr("Only reading"));
}

void MainWindow::showNotice(const QString &notice, const QString &logTitle)
{
    m_connectionNotice->setText(notice);
    m_connectionNotice->setVisible(!notice.isEmpty());
    if (!notice.isEmpty() && !logTitle.isEmpty())
        m_log->addNotice(QString(), logTitle, notice, TaskDescription::TaskStatusWarning);
}

void MainWindow::setConsoleStarter(ConsoleStarter starter)
{
    m_consoleStarter = std::move(starter);
    m_connectHost->setEnabled(bool(m_consoleStarter));
}

ConnectDialog *MainWindow::openConnectDialog()
{
    if (!m_consoleStarter)
        return nullptr;
    if (!m_settings)
        m_settings = RecentHosts::consoleSettings(this);
    if (m_connectDialog && m_connectDialog->isVisible()) {
        m_connectDialog->raise();
        return m_connectDialog;
    }
    auto *dialog = new ConnectDialog(RecentHosts::load(*m_settings), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_connectDialog = dialog;
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        const SshTarget target = dialog->target();
        QString error;
        if (!m_consoleStarter(target, &error)) {
            auto *box = new QMessageBox(
                QMessageBox::Warning, tr("Connect to host"),
                tr("The console for %1 could not be started: %2").arg(target.given, error),
                QMessageBox::Ok, this);
            box->setObjectName(QStringLiteral("_connectFailure"));
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->open();
            return;
        }
        RecentHosts::record(*m_settings, target.given);
        statusBar()->showMessage(tr("A console for %1 is starting.").arg(target.given), 10000);
    });
    dialog->open();
    return dialog;
}

void MainWindow::setReconnector(Reconnector reconnector)
{
    m_reconnector = std::move(reconnector);
    updateReconnect();
}

void MainWindow::updateReconnect()
{
    const bool can = m_reconnector && !m_reconnecting;
    m_reconnect->setEnabled(can);
    m_reconnectButton->setEnabled(can);
}

void MainWindow::showConnectionFailure(const QString &reason)
{
    showNotice(reason, tr("Not connected"));
    m_reconnectButton->setVisible(bool(m_reconnector));
}

std::function<void(const QString &)> MainWindow::lostHandler(MainWindow *window)
{
    // The report comes on the connection's reader thread: only the GUI thread touches the
    // window, and only while it is still there.
    const QPointer<MainWindow> guard = window;
    return [guard](const QString &reason) {
        QMetaObject::invokeMethod(
            qApp,
            [guard, reason] {
                // The connection a reconnect drops ends too: its outcome says how things are.
                if (guard && !guard->isReconnecting())
                    guard->showConnectionFailure(reason);
            },
            Qt::QueuedConnection);
    };
}

bool MainWindow::reconnect()
{
    if (!m_reconnector || m_reconnecting)
        return false;
    m_reconnecting = true;
    updateReconnect();
    const QString host =
        m_host && m_host->hostConnection() ? m_host->hostConnection()->remoteHost() : QString();
    showNotice(tr("Connecting to %1 again...").arg(host), QString());
    m_reconnectButton->setVisible(true);
    struct Outcome
    {
        bool connected = false;
        QString error;
    };
    auto outcome = std::make_shared<Outcome>();
    // ssh may wait minutes (a password typed, a slow link): never on the GUI thread. The
    // thread keeps what it runs alive, should the window close meanwhile.
    QThread *thread = QThread::create([reconnector = m_reconnector, outcome] {
        outcome->connected = reconnector(&outcome->error);
    });
    connect(thread, &QThread::finished, this,
            [this, outcome] { onReconnected(outcome->connected, outcome->error); });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
    return true;
}

void MainWindow::onReconnected(bool connected, const QString &error)
{
    m_reconnecting = false;
    updateReconnect();
    if (!connected) {
        showConnectionFailure(error.isEmpty() ? tr("The connection could not be made.") : error);
        return;
    }
    showNotice(QString(), QString());
    m_reconnectButton->hide();
    const QString host =
        m_host && m_host->hostConnection() ? m_host->hostConnection()->remoteHost() : QString();
    m_log->addNotice(QString(), tr("Connected again"), host, TaskDescription::TaskStatusDone);
    statusBar()->showMessage(tr("Connected to %1 again: reading everything again.").arg(host),
                             10000);
    emit reconnected();
    refreshAll();
}

void MainWindow::refreshAll()
{
    ConsoleRegistry *reg = registry();
    if (!reg)
        return;
    // Collected first: a read may change the tree under the walk.
    QList<QPointer<Element>> elements;
    QList<TreeNode *> pending = reg->elementRoot()->childNodes();
    while (!pending.isEmpty()) {
        TreeNode *node = pending.takeFirst();
        if (Element *element = qobject_cast<Element *>(node))
            elements.append(element);
        pending.append(node->childNodes());
    }
    for (const QPointer<Element> &element : std::as_const(elements)) {
        if (element)
            readElement(element, true);
    }
}

ConsoleRegistry *MainWindow::registry() const
{
    return m_host ? m_host->registry() : nullptr;
}

void MainWindow::setUpActions()
{
    QMenu *consoleMenu = menuBar()->addMenu(tr("&Console"));
    consoleMenu->setObjectName(QStringLiteral("_consoleMenu"));
    QAction *about = consoleMenu->addAction(QIcon::fromTheme(QStringLiteral("help-about")),
                                            tr("About plug-ins..."));
    about->setObjectName(QStringLiteral("_aboutPluginsAction"));
    connect(about, &QAction::triggered, this, &MainWindow::showPluginsDialog);
    consoleMenu->addSeparator();
    consoleMenu->addAction(m_connectHost);
    consoleMenu->addAction(m_reconnect);
    consoleMenu->addSeparator();
    consoleMenu->addAction(m_stopWaiting);
    consoleMenu->addSeparator();
    QAction *quit =
        consoleMenu->addAction(QIcon::fromTheme(QStringLiteral("application-exit")), tr("&Quit"));
    quit->setObjectName(QStringLiteral("_quitAction"));
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, this, &QWidget::close);

    QMenu *elementMenu = menuBar()->addMenu(tr("&Element"));
    elementMenu->setObjectName(QStringLiteral("_elementMenu"));
    elementMenu->addActions(m_actions->operationActions());
    elementMenu->addSeparator();
    elementMenu->addActions(m_actions->editActions());

    QToolBar *toolBar = addToolBar(tr("Operations"));
    toolBar->setObjectName(QStringLiteral("_mainToolBar"));
    toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolBar->addActions(m_actions->operationActions());
    toolBar->addSeparator();
    toolBar->addAction(m_actions->editAction());

    // The window owns the shortcuts, so F5 works wherever the focus is.
    addActions(m_actions->operationActions());
    addActions(m_actions->editActions());

    connect(m_actions, &OperationActions::operationTriggered, this, &MainWindow::triggerOperation);
    connect(m_actions, &OperationActions::refreshTriggered, this, &MainWindow::refresh);
    connect(m_actions, &OperationActions::editTriggered, this, [this] { editCurrent(); });
    connect(m_actions, &OperationActions::applyTriggered, this, [this] { applyCurrent(); });
    connect(m_actions, &OperationActions::cancelTriggered, this, &MainWindow::cancelCurrent);
}

void MainWindow::onBuilt()
{
    ConsoleRegistry *reg = registry();
    if (!reg)
        return;
    if (m_model->rootNode() != reg->elementRoot()) {
        m_model->setRootNode(reg->elementRoot());
        expandFlagged(QModelIndex());
        // Show the first root at once, without reads of its own: the start's light read
        // covers it. Left alone, the view would pick it on first focus and read it again.
        const QModelIndex first = m_model->index(0, 0);
        if (first.isValid()) {
            m_ignoreSelection = true;
            m_tree->setCurrentIndex(first);
            m_ignoreSelection = false;
            showElement(m_model->elementFromIndex(first));
        }
    }
    int valid = 0;
    int invalid = 0;
    for (const PluginRecord &record : m_host->plugins()) {
        if (record.plugin)
            ++(record.valid ? valid : invalid);
    }
    QString message = tr("Plug-ins loaded: %1").arg(valid);
    if (invalid > 0)
        message += tr("; not valid on this host: %1").arg(invalid);
    if (!m_host->issues().isEmpty())
        message += tr("; libraries skipped: %1 (see the task log)").arg(m_host->issues().size());
    statusBar()->showMessage(message, 10000);
    if (m_startupReads) {
        const QList<TreeNode *> roots = reg->elementRoot()->childNodes();
        for (TreeNode *node : roots) {
            if (Element *element = qobject_cast<Element *>(node))
                reg->performOperation(element, OperationReadLight);
        }
    }
    updateActions();
}

void MainWindow::expandFlagged(const QModelIndex &parent)
{
    const int rows = m_model->rowCount(parent);
    for (int row = 0; row < rows; ++row) {
        const QModelIndex index = m_model->index(row, 0, parent);
        TreeNode *node = m_model->nodeFromIndex(index);
        if (node && (node->treeNodeSpecialFlags() & TreeNodeFlagExpanded))
            m_tree->expand(index);
        expandFlagged(index);
    }
}

bool MainWindow::selectElement(Element *element)
{
    const QModelIndex index = m_model->indexFromNode(element);
    if (!index.isValid())
        return false;
    m_tree->scrollTo(index);
    m_tree->setCurrentIndex(index);
    return m_element == element;
}

void MainWindow::onCurrentChanged(const QModelIndex &current, const QModelIndex &)
{
    if (m_ignoreSelection)
        return;
    Element *next = m_model->elementFromIndex(current);
    if (next && static_cast<QObject *>(next) == m_elementObject)
        return;
    if (isEditing() && m_widget->isModified() && !m_discardWithoutAsking && next) {
        askDiscard(next);
        return;
    }
    showElement(next);
    if (next)
        readElement(next, false);
}

void MainWindow::askDiscard(Element *wanted)
{
    // Go back to the element being edited at once; change only when the user agrees.
    QPointer<Element> target = wanted;
    QTimer::singleShot(0, this, [this] {
        const QModelIndex shown = m_model->indexFromNode(m_element);
        if (m_tree->currentIndex() == shown)
            return;
        m_ignoreSelection = true;
        m_tree->setCurrentIndex(shown);
        m_ignoreSelection = false;
    });
    auto *box = new QMessageBox(QMessageBox::Question, tr("Unapplied changes"),
                                tr("The changes to \"%1\" have not been applied. Discard them?")
                                    .arg(m_element ? m_element->caption() : QString()),
                                QMessageBox::Discard | QMessageBox::Cancel, this);
    box->setObjectName(QStringLiteral("_discardQuestion"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setDefaultButton(QMessageBox::Cancel);
    connect(box, &QMessageBox::finished, this, [this, box, target] {
        if (box->clickedButton() != box->button(QMessageBox::Discard) || !target)
            return;
        if (m_widget)
            m_widget->blockEditWidget(true);
        m_editing = false;
        // Whether or not the tree went back yet, it shows the wanted element from now on.
        m_ignoreSelection = true;
        m_tree->setCurrentIndex(m_model->indexFromNode(target));
        m_ignoreSelection = false;
        showElement(target);
        readElement(target, false);
    });
    box->open();
}

void MainWindow::showElement(Element *element)
{
    releaseWidget();
    if (m_elementObject)
        disconnect(m_elementObject, &QObject::destroyed, this, &MainWindow::onElementDestroyed);
    m_element = element;
    m_elementObject = element;
    m_elementNode = element;
    m_editing = false;
    if (element) {
        connect(element, &QObject::destroyed, this, &MainWindow::onElementDestroyed);
        ViewEditElementWidget *widget = element->elementWidget(ElementWidgetRoleView);
        if (widget) {
            m_widget = widget;
            widget->setElement(element, ElementWidgetRoleView);
            widget->blockEditWidget(true);
            m_widgetLayout->addWidget(widget, 1);
            widget->show();
            connect(widget, &QObject::destroyed, this, &MainWindow::onWidgetDestroyed);
            connect(widget, &ViewEditElementWidget::contentChanged, this,
                    &MainWindow::updateActions);
            connect(widget, &ViewEditElementWidget::blockChanged, this, &MainWindow::updateActions);
            m_placeholder->hide();
        } else {
            m_placeholder->setText(tr("\"%1\" has nothing more to show.").arg(element->caption()));
            m_placeholder->show();
        }
    } else {
        m_placeholder->setText(tr("Select an element in the tree."));
        m_placeholder->show();
    }
    updateCaption();
    updateActions();
    emit currentElementChanged(element);
}

void MainWindow::releaseWidget()
{
    if (!m_widget)
        return;
    releaseElementWidget(m_widget, this, m_widgetLayout, m_editing);
    m_editing = false;
}

void MainWindow::onElementDestroyed(QObject *object)
{
    if (object == m_elementObject)
        forgetElement(tr("The element was removed."));
}

void MainWindow::onRowsAboutToBeRemoved(const QModelIndex &parent, int first, int last)
{
    if (!m_elementNode)
        return;
    TreeNode *parentNode = m_model->nodeFromIndex(parent);
    if (!parentNode)
        return;
    for (int row = first; row <= last; ++row) {
        TreeNode *leaving = parentNode->child(row);
        if (leaving && leaving->isAncestorOf(m_elementNode)) {
            forgetElement(tr("The element was removed."));
            return;
        }
    }
}

void MainWindow::forgetElement(const QString &why)
{
    // Never show a widget for an element that is gone; and touch nothing of the element here:
    // it may be half destroyed already.
    if (!m_elementObject)
        return;
    disconnect(m_elementObject, &QObject::destroyed, this, &MainWindow::onElementDestroyed);
    m_elementObject = nullptr;
    m_elementNode = nullptr;
    m_element = nullptr;
    releaseWidget();
    m_placeholder->setText(why);
    m_placeholder->show();
    updateCaption();
    updateActions();
    emit currentElementChanged(nullptr);
}

void MainWindow::onWidgetDestroyed(QObject *)
{
    // A widget announces its end before its guarded pointers learn of it: forget it now, so
    // that nothing below calls into what is left of it. The layout forgets it by itself.
    m_widget = nullptr;
    m_editing = false;
    m_placeholder->setText(tr("This element has nothing more to show."));
    m_placeholder->show();
    updateActions();
}

void MainWindow::updateCaption()
{
    m_caption->setText(m_element ? m_element->caption() : QString());
}

void MainWindow::updateActions()
{
    Element *element = m_element;
    const OperationTypes available = element ? element->offeredOperations() : 0;
    const bool canCreate = element && element->elementWidget(ElementWidgetRoleCreate);
    m_actions->setAvailable(available, canCreate);
    const bool editing = isEditing();
    m_actions->editAction()->setEnabled(element && m_widget && !editing &&
                                        (available & OperationUpdate));
    m_actions->applyAction()->setEnabled(editing && m_widget->isContentValid());
    m_actions->cancelAction()->setEnabled(editing);
}

void MainWindow::readElement(Element *element, bool again)
{
    ConsoleRegistry *reg = registry();
    if (!element || !reg)
        return;
    const OperationTypes available = element->offeredOperations();
    bool read = false;
    if ((available & OperationReadContent) && (again || element->contentFlag()))
        read = reg->performOperation(element, OperationReadContent) || read;
    if (available & OperationReadHeavy)
        read = reg->performOperation(element, OperationReadHeavy) || read;
    if (!read && (available & OperationReadLight))
        reg->performOperation(element, OperationReadLight);
}

void MainWindow::refresh()
{
    if (m_element)
        readElement(m_element, true);
}

bool MainWindow::editCurrent()
{
    if (!m_element || !m_widget || isEditing() || !m_element->isOperationAvailable(OperationUpdate))
        return false;
    m_editing = true;
    m_widget->blockEditWidget(false);
    updateActions();
    return true;
}

bool MainWindow::applyCurrent()
{
    if (!isEditing())
        return false;
    QPointer<ViewEditElementWidget> widget = m_widget;
    widget->applyContentChanges();
    // The widget may ask a question first; a cancelled apply leaves the edit as it was.
    if (widget && widget == m_widget && !widget->isModified()) {
        m_editing = false;
        widget->blockEditWidget(true);
    }
    updateActions();
    return true;
}

void MainWindow::cancelCurrent()
{
    if (!isEditing())
        return;
    m_editing = false;
    m_widget->blockEditWidget(true);
    updateActions();
    readElement(m_element, false);
}

CreateDialog *MainWindow::openCreateDialog()
{
    if (!m_element || !m_element->isOperationAvailable(OperationCreate))
        return nullptr;
    ViewEditElementWidget *widget = m_element->elementWidget(ElementWidgetRoleCreate);
    if (!widget)
        return nullptr;
    delete m_createDialog.data();
    // The creation widget may be the one shown for viewing: it cannot be in two places.
    const bool borrowed = widget == m_widget;
    Element *shown = m_element;
    if (borrowed)
        showElement(nullptr);
    auto *dialog = new CreateDialog(shown, widget, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_createDialog = dialog;
    if (borrowed) {
        QPointer<Element> back = shown;
        connect(dialog, &QObject::destroyed, this, [this, back] {
            if (back && !m_element)
                showElement(back);
        });
    }
    dialog->open();
    return dialog;
}

void MainWindow::confirmDelete(Element *element)
{
    QPointer<Element> target = element;
    auto *box = new QMessageBox(QMessageBox::Question, tr("Delete"),
                                tr("Delete \"%1\"?").arg(element->caption()),
                                QMessageBox::Yes | QMessageBox::No, this);
    box->setObjectName(QStringLiteral("_deleteQuestion"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setDefaultButton(QMessageBox::No);
    connect(box, &QMessageBox::finished, this, [this, box, target] {
        if (box->clickedButton() == box->button(QMessageBox::Yes) && target && registry())
            registry()->performOperation(target, OperationDelete);
    });
    box->open();
}

void MainWindow::triggerOperation(OperationType operation)
{
    Element *element = m_element;
    ConsoleRegistry *reg = registry();
    if (!element || !reg)
        return;
    if (!element->isOperationAvailable(operation)) {
        statusBar()->showMessage(tr("\"%1\" does not offer this now.").arg(element->caption()),
                                 5000);
        updateActions();
        return;
    }
    const QString question = element->operationQuestion(operation);
    if (operation == OperationCreate) {
        openCreateDialog();
    } else if (operation == OperationDelete) {
        confirmDelete(element);
    } else if (!question.isEmpty()) {
        confirmOperation(element, operation, question);
    } else {
        reg->performOperation(element, operation);
    }
}

void MainWindow::confirmOperation(Element *element, OperationType operation,
                                  const QString &question)
{
    QPointer<Element> target = element;
    QString title;
    for (const OperationActions::Entry &entry : OperationActions::entries()) {
        if (entry.kind == OperationActions::KindOperation && entry.operation == operation)
            title = QCoreApplication::translate("OperationActions", entry.text);
    }
    auto *box = new QMessageBox(QMessageBox::Question, title, question,
                                QMessageBox::Yes | QMessageBox::No, this);
    box->setObjectName(QStringLiteral("_operationQuestion"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setDefaultButton(QMessageBox::No);
    connect(box, &QMessageBox::finished, this, [this, box, target, operation] {
        // The element may have gone, or stopped offering it, while the question was open.
        if (box->clickedButton() == box->button(QMessageBox::Yes) && target && registry())
            registry()->performOperation(target, operation);
    });
    box->open();
}

bool MainWindow::stopWaiting()
{
    const quint64 id = m_log->runningTarget();
    if (!id || !TaskObserver::instance()->stopWaiting(id))
        return false;
    statusBar()->showMessage(tr("No longer waiting: the tool goes on by itself, its outcome is "
                                "unknown."),
                             10000);
    return true;
}

void MainWindow::onTaskProgress(const TaskReport &report)
{
    m_log->setRunning(report);
    statusBar()->showMessage(
        tr("Still running: %1. \"Stop waiting\" leaves it running.").arg(report.description),
        15000);
    updateStopWaiting();
}

void MainWindow::updateStopWaiting()
{
    const bool running = m_log->runningCount() > 0;
    m_stopWaiting->setEnabled(running);
    m_stopWaitingButton->setVisible(running);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    TaskObserver *observer = TaskObserver::instance();
    const int running = observer->runningChangeCount();
    if (running == 0 || m_closeConfirmed) {
        m_closeConfirmed = false;
        // Nobody waits for them any more: they end (as unknown) without holding the exit up.
        observer->stopWaitingForChanges();
        QMainWindow::closeEvent(event);
        return;
    }
    event->ignore();
    if (findChild<QMessageBox *>(QStringLiteral("_closeQuestion")))
        return;
    QString text = tr("%n change(s) still running. They go on without the console, which will "
                      "not show how they end.",
                      nullptr, running);
    const int waiting = observer->waitingChangeCount();
    if (waiting > 0)
        text += QLatin1Char(' ') +
                tr("%n change(s) not started yet will not be made.", nullptr, waiting);
    text += QLatin1Char(' ') + tr("Close anyway?");
    auto *box = new QMessageBox(QMessageBox::Question, tr("Changes still running"), text,
                                QMessageBox::Yes | QMessageBox::No, this);
    box->setObjectName(QStringLiteral("_closeQuestion"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setDefaultButton(QMessageBox::No);
    connect(box, &QMessageBox::finished, this, [this, box] {
        if (box->clickedButton() != box->button(QMessageBox::Yes))
            return;
        m_closeConfirmed = true;
        close();
    });
    box->open();
}

void MainWindow::onExpanded(const QModelIndex &index)
{
    // An element whose content was never read fills in when it is opened.
    Element *element = m_model->elementFromIndex(index);
    if (element && element->childCount() == 0 && element->contentFlag() &&
        element->isOperationAvailable(OperationReadContent) && registry()) {
        registry()->performOperation(element, OperationReadContent);
    }
}

void MainWindow::showContextMenu(const QPoint &position)
{
    const QModelIndex index = m_tree->indexAt(position);
    if (!index.isValid())
        return;
    m_tree->setCurrentIndex(index);
    if (m_model->elementFromIndex(index) != m_element)
        return; // the change was refused (unapplied edits)
    // Shown without an event loop of its own; it deletes itself when it closes.
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("_contextMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (QAction *action : m_actions->operationActions()) {
        if (action->isEnabled())
            menu->addAction(action);
    }
    if (m_actions->editAction()->isEnabled()) {
        menu->addSeparator();
        menu->addAction(m_actions->editAction());
    }
    if (menu->isEmpty()) {
        delete menu;
        return;
    }
    menu->popup(m_tree->viewport()->mapToGlobal(position));
}

void MainWindow::onTaskFinished(const TaskReport &report)
{
    m_log->addReport(report);
    updateStopWaiting();
    if (report.status == TaskDescription::TaskStatusUnknown) {
        statusBar()->showMessage(
            tr("Outcome unknown: %1: %2").arg(report.description, firstLine(report.message)),
            15000);
    } else if (report.status == TaskDescription::TaskStatusFailed) {
        // Failures are shown, but never as a modal box for each failed background read.
        const QString text =
            report.message.isEmpty()
                ? tr("Failed: %1").arg(report.description)
                : tr("Failed: %1: %2").arg(report.description, firstLine(report.message));
        statusBar()->showMessage(text, 15000);
    }
    onBusyChanged(true);
    updateActions();
}

void MainWindow::onBusyChanged(bool)
{
    TaskObserver *observer = TaskObserver::instance();
    const int pending = observer->pendingCount();
    const bool busy = pending > 0;
    m_busy->setVisible(busy);
    m_busyLabel->setVisible(busy);
    m_busyLabel->setText(tr("Tasks running: %1").arg(pending));
}

void MainWindow::showPluginsDialog()
{
    auto *dialog = new PluginsDialog(m_host, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}
