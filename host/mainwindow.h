#pragma once

#include <element.h>
#include <vieweditelementwidget.h>

#include <QMainWindow>
#include <QPointer>

#include <functional>

class ConnectDialog;
class ConsoleHost;
class ConsoleRegistry;
class CreateDialog;
class ElementTreeModel;
class OperationActions;
class QLabel;
class QModelIndex;
class QProgressBar;
class QPushButton;
class QSettings;
class QTreeView;
class QVBoxLayout;
class TaskLogWidget;
struct SshTarget;
struct TaskReport;

/**
 * The console window: the element tree on the left, the current element's widget on the
 * right with Edit, Apply and Cancel, the operations of the current element in menu, tool bar
 * and context menu, a task log and a busy indicator. Widgets stay their modules': the window
 * borrows the current one and gives it back.
 */
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(ConsoleHost *host, QWidget *parent = nullptr);
    /// Gives the borrowed element widget back before the window's children go.
    ~MainWindow() override;

    /// Shows @p notice above the element's widget (why the console only reads); none when
    /// empty.
    void setConnectionNotice(const QString &notice);
    QLabel *connectionNoticeLabel() const { return m_connectionNotice; }

    /// Starts a console of its own for @p target: true, or false with @p error.
    using ConsoleStarter = std::function<bool(const SshTarget &target, QString *error)>;
    /// Offers "Connect to host...", which starts a new console through @p starter.
    void setConsoleStarter(ConsoleStarter starter);
    /// Where the recent hosts are kept (not owned); the console's own settings by default.
    void setRecentHostsSettings(QSettings *settings) { m_settings = settings; }
    /**
     * "Connect to host...": asks for the host; once one is taken, starts its console and
     * records it among the recent hosts. Null when no console starter was set.
     */
    ConnectDialog *openConnectDialog();
    QAction *connectHostAction() const { return m_connectHost; }

    /// Makes the connection again (never on the GUI thread): true, or false with @p error.
    using Reconnector = std::function<bool(QString *error)>;
    /// Offers Reconnect, which runs @p reconnector: a console of a remote host.
    void setReconnector(Reconnector reconnector);
    /**
     * The connection could not be made or was lost: shows @p reason in the notice with
     * Reconnect. GUI thread only; lostHandler() brings a report from any thread here.
     */
    void showConnectionFailure(const QString &reason);
    /// A handler for the connection's reports of a lost connection, callable from any thread:
    /// the window shows it once it gets there, unless the window is gone by then.
    static std::function<void(const QString &)> lostHandler(MainWindow *window);
    /**
     * Reconnect: makes the connection again on a thread of its own, the window staying
     * responsive; on success clears the notice and reads every element again, else shows the
     * new reason. False when not offered or while one runs.
     */
    bool reconnect();
    bool isReconnecting() const { return m_reconnecting; }
    QAction *reconnectAction() const { return m_reconnect; }
    QPushButton *reconnectButton() const { return m_reconnectButton; }
    /// Every element of the tree read again, as F5 reads the current one.
    void refreshAll();

    /// Whether the root elements get a light read once the tree is built (the GUI's start).
    void setStartupReads(bool enabled) { m_startupReads = enabled; }
    /// Whether leaving an element with unapplied edits discards them without asking.
    void setDiscardEditsWithoutAsking(bool discard) { m_discardWithoutAsking = discard; }

    QTreeView *treeView() const { return m_tree; }
    ElementTreeModel *treeModel() const { return m_model; }
    OperationActions *operationActions() const { return m_actions; }
    TaskLogWidget *taskLog() const { return m_log; }
    QProgressBar *busyIndicator() const { return m_busy; }
    QLabel *captionLabel() const { return m_caption; }

    Element *currentElement() const { return m_element; }
    /// The widget shown for the current element, or null.
    ViewEditElementWidget *currentWidget() const { return m_widget; }
    bool isEditing() const { return m_editing && m_widget; }

    /// Makes @p element the tree's current element, as a click does; false when it is not in
    /// the tree.
    bool selectElement(Element *element);
    /**
     * The reads of a selection: OperationReadContent when offered and the content was not
     * read (or @p again), OperationReadHeavy when offered; else OperationReadLight.
     */
    void readElement(Element *element, bool again);
    /// Unblocks the current widget for editing (the Edit action); false when not offered.
    bool editCurrent();
    /// Applies the current widget's changes (the Apply action); false when not editing.
    bool applyCurrent();
    /// Blocks the current widget again and reads the element again (the Cancel action).
    void cancelCurrent();
    /// Opens the creation dialog of the current container (Create...); null when impossible.
    CreateDialog *openCreateDialog();
    /// Performs @p operation on the current element as its action does (asking before a
    /// delete or before an operation the element asks a question for, opening the dialog for a
    /// create).
    void triggerOperation(OperationType operation);

    /// Stops waiting for a change still running past the read limit (the one selected in the
    /// task log, else the latest): its tool goes on, its outcome is unknown, and its element
    /// is read again. False when no such change runs.
    bool stopWaiting();
    QAction *stopWaitingAction() const { return m_stopWaiting; }

public slots:
    /// F5: reads the current element again.
    void refresh();
    void showPluginsDialog();

signals:
    void currentElementChanged(Element *element);
    /// Reconnect made the connection again (before the reads it starts).
    void reconnected();

protected:
    /// While changes run, asks first: they go on without the console. No keeps the window.
    void closeEvent(QCloseEvent *event) override;

private:
    void setUpActions();
    void setUpTree();
    void onBuilt();
    void onCurrentChanged(const QModelIndex &current, const QModelIndex &previous);
    void onExpanded(const QModelIndex &index);
    void onTaskFinished(const TaskReport &report);
    void onTaskProgress(const TaskReport &report);
    void updateStopWaiting();
    void onBusyChanged(bool busy);
    void onElementDestroyed(QObject *object);
    void onRowsAboutToBeRemoved(const QModelIndex &parent, int first, int last);
    void forgetElement(const QString &why);
    void onWidgetDestroyed(QObject *object);
    void showContextMenu(const QPoint &position);
    void expandFlagged(const QModelIndex &parent);
    void showElement(Element *element);
    void releaseWidget();
    void updateActions();
    void updateCaption();
    void confirmDelete(Element *element);
    void confirmOperation(Element *element, OperationType operation, const QString &question);
    void askDiscard(Element *wanted);
    void showNotice(const QString &notice, const QString &logTitle);
    void onReconnected(bool connected, const QString &error);
    void updateReconnect();
    ConsoleRegistry *registry() const;

    ConsoleHost *m_host;
    ElementTreeModel *m_model;
    QTreeView *m_tree;
    OperationActions *m_actions;
    TaskLogWidget *m_log;
    QProgressBar *m_busy;
    QLabel *m_busyLabel;
    QLabel *m_caption;
    QLabel *m_connectionNotice;
    QPushButton *m_reconnectButton;
    QAction *m_connectHost;
    QAction *m_reconnect;
    ConsoleStarter m_consoleStarter;
    Reconnector m_reconnector;
    QSettings *m_settings = nullptr;
    bool m_reconnecting = false;
    QLabel *m_placeholder;
    QAction *m_stopWaiting;
    QPushButton *m_stopWaitingButton;
    QWidget *m_widgetArea;
    QVBoxLayout *m_widgetLayout;
    QPointer<Element> m_element;
    QObject *m_elementObject = nullptr; ///< identity of m_element, valid while it is destroyed
    TreeNode *m_elementNode = nullptr;  ///< its node, to see it leave the tree
    QPointer<ViewEditElementWidget> m_widget;
    QPointer<CreateDialog> m_createDialog;
    QPointer<ConnectDialog> m_connectDialog;
    bool m_editing = false;
    bool m_startupReads = true;
    bool m_discardWithoutAsking = false;
    bool m_ignoreSelection = false;
    bool m_closeConfirmed = false;
};
