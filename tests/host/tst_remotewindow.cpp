#include "connectdialog.h"
#include "consolehost.h"
#include "hostapplication.h"
#include "hosttestenvironment.h"
#include "mainwindow.h"

#include <consoleregistry.h>
#include <element.h>
#include <localhostconnection.h>
#include <taskdescription.h>
#include <taskobserver.h>

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSemaphore>
#include <QSet>
#include <QSettings>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <memory>
#include <thread>

namespace {
/// This machine through the in-process connection, named as a remote host is.
class RemoteDouble : public LocalHostConnection
{
public:
    QString remoteHost() const override { return QStringLiteral("db1"); }
};
} // namespace

/** The window's side of remote hosts: connecting to another host, and reconnecting. */
class TestRemoteWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void recentHosts_data();
    void recentHosts();
    void recentHostsKept();
    void connectDialog_data();
    void connectDialog();
    void connectStartsConsole_data();
    void connectStartsConsole();
    void consoleArguments_data();
    void consoleArguments();
    void askpassProgram_data();
    void askpassProgram();
    void reconnect_data();
    void reconnect();
    void lostFromAnotherThread();

private:
    void startWindow(bool remote);

    QTemporaryDir m_dir;
    std::unique_ptr<HostTestEnvironment> m_environment;
    std::unique_ptr<ConsoleHost> m_host;
    std::unique_ptr<MainWindow> m_window;
};

void TestRemoteWindow::initTestCase()
{
    QVERIFY(m_dir.isValid());
    TaskObserver::instance();
}

void TestRemoteWindow::cleanup()
{
    QVERIFY(TaskObserver::instance()->waitForIdle(30000));
    m_window.reset();
    m_host.reset();
    m_environment.reset();
}

void TestRemoteWindow::startWindow(bool remote)
{
    m_environment = std::make_unique<HostTestEnvironment>();
    QVERIFY(m_environment->isValid());
    QVERIFY(m_environment->writeConfig("testservice", "name=main\nmode=fast\nchoices=alpha\n"));
    QSharedPointer<HostConnection> connection(remote ? new RemoteDouble : new LocalHostConnection);
    m_host = std::make_unique<ConsoleHost>(nullptr, connection);
    m_host->loadPlugins({HostTestEnvironment::pluginDirectory()});
    m_window = std::make_unique<MainWindow>(m_host.get());
    m_window->setStartupReads(false);
    QVERIFY(m_host->waitForChecks());
    m_host->build(false);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QVERIFY(TaskObserver::instance()->waitForIdle(30000));
}

void TestRemoteWindow::recentHosts_data()
{
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QString>("added");
    QTest::addColumn<QStringList>("expected");

    const QStringList abc{"a", "b", "c"};
    QTest::newRow("new host first") << abc << "d" << QStringList{"d", "a", "b", "c"};
    QTest::newRow("used again moves up") << abc << "c" << QStringList{"c", "a", "b"};
    QTest::newRow("one host in any case")
        << QStringList{"root@DB1", "b"} << "root@db1" << QStringList{"root@db1", "b"};
    QTest::newRow("another user or port is another")
        << QStringList{"root@db1", "db1:2222"} << "admin@db1"
        << QStringList{"admin@db1", "root@db1", "db1:2222"};
    QStringList ten;
    for (int i = 0; i < 10; ++i)
        ten.append(QStringLiteral("h%1").arg(i));
    QTest::newRow("at most ten") << ten << "new" << (QStringList{"new"} + ten.mid(0, 9));
    QTest::newRow("an old list cut too") << (ten + QStringList{"x", "y"}) << "h3"
                                         << (QStringList{"h3", "h0", "h1", "h2"} + ten.mid(4));
    for (const char *local : {"localhost", "root@localhost:22", "127.0.0.1", "127.1.2.3",
                              "[::1]:2222", "ip6-localhost"})
        QTest::newRow(local) << abc << local << abc;
    QTest::newRow("this machine's name") << abc << QSysInfo::machineHostName() << abc;
    QTest::newRow("not hosts dropped")
        << QStringList{"-oProxyCommand=x", "a", "b c", "", "localhost"} << "-x" << QStringList{"a"};
}

void TestRemoteWindow::recentHosts()
{
    QFETCH(QStringList, list);
    QFETCH(QString, added);
    QFETCH(QStringList, expected);
    QCOMPARE(RecentHosts::add(list, added), expected);
}

void TestRemoteWindow::recentHostsKept()
{
    const QString file = m_dir.filePath(QStringLiteral("kept.conf"));
    {
        QSettings settings(file, QSettings::IniFormat);
        settings.setValue(QStringLiteral("connect/recentHosts"),
                          QStringList{"old", "localhost", "-bad", "old"});
        for (int i = 0; i < 12; ++i)
            RecentHosts::record(settings, QStringLiteral("h%1").arg(i % 11));
    }
    QSettings settings(file, QSettings::IniFormat);
    QCOMPARE(RecentHosts::load(settings),
             (QStringList{"h0", "h10", "h9", "h8", "h7", "h6", "h5", "h4", "h3", "h2"}));
}

void TestRemoteWindow::connectDialog_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("taken"); // empty: refused
    QTest::addColumn<QString>("refusal");

    QTest::newRow("name") << "db1"
                          << "db1" << QString();
    QTest::newRow("user and port") << " root@db1:2222 "
                                   << "root@db1:2222" << QString();
    QTest::newRow("IPv6") << "[2001:db8::1]:22"
                          << "[2001:db8::1]:22" << QString();
    QTest::newRow("option") << "-oProxyCommand=sh" << QString() << "cannot begin with \"-\"";
    QTest::newRow("nothing") << "" << QString() << "no host";
    QTest::newRow("blank inside") << "db1 db2" << QString() << "is not a host name";
    QTest::newRow("bad port") << "db1:99999" << QString() << "is not a port";
}

void TestRemoteWindow::connectDialog()
{
    QFETCH(QString, text);
    QFETCH(QString, taken);
    QFETCH(QString, refusal);

    ConnectDialog dialog({"db7", "db8"});
    QCOMPARE(dialog.hostBox()->count(), 2);
    QCOMPARE(dialog.hostBox()->currentText(), QStringLiteral("db7"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.hostBox()->setEditText(text);
    auto *buttons = dialog.findChild<QDialogButtonBox *>();
    QVERIFY(buttons);
    QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
    QCOMPARE(dialog.isVisible(), taken.isEmpty());
    QCOMPARE(dialog.errorLabel()->isVisible(), taken.isEmpty());
    if (taken.isEmpty()) {
        QVERIFY2(dialog.errorLabel()->text().contains(refusal),
                 qPrintable(dialog.errorLabel()->text()));
        // Editing the text takes the refusal away.
        QTest::keyClicks(dialog.hostBox()->lineEdit(), QStringLiteral("x"));
        QVERIFY(!dialog.errorLabel()->isVisible());
    } else {
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.target().given, taken);
    }
}

void TestRemoteWindow::connectStartsConsole_data()
{
    QTest::addColumn<bool>("starts");
    QTest::newRow("started") << true;
    QTest::newRow("cannot start") << false;
}

void TestRemoteWindow::connectStartsConsole()
{
    QFETCH(bool, starts);
    QSettings settings(m_dir.filePath(QStringLiteral("start.conf")), QSettings::IniFormat);
    settings.setValue(QStringLiteral("connect/recentHosts"), QStringList{"db7", "db8"});
    MainWindow window(nullptr);
    window.setRecentHostsSettings(&settings);
    QVERIFY(!window.connectHostAction()->isEnabled());
    QVERIFY(!window.openConnectDialog());
    QStringList started;
    window.setConsoleStarter([&](const SshTarget &target, QString *error) {
        started.append(target.given);
        *error = QStringLiteral("no such program");
        return starts;
    });
    QVERIFY(window.connectHostAction()->isEnabled());
    window.show();
    window.connectHostAction()->trigger();
    auto *dialog = window.findChild<ConnectDialog *>();
    QVERIFY(dialog);
    window.connectHostAction()->trigger();
    QCOMPARE(window.findChildren<ConnectDialog *>().size(), 1);
    QCOMPARE(dialog->hostBox()->currentText(), QStringLiteral("db7"));
    dialog->hostBox()->setEditText(QStringLiteral("db8"));
    dialog->accept();
    QCOMPARE(started, QStringList{"db8"});
    QCOMPARE(RecentHosts::load(settings),
             starts ? QStringList({"db8", "db7"}) : QStringList({"db7", "db8"}));
    auto *failure = window.findChild<QMessageBox *>(QStringLiteral("_connectFailure"));
    QCOMPARE(failure != nullptr, !starts);
    if (failure)
        QVERIFY(failure->text().contains(QStringLiteral("no such program")));
    // The next host gets a dialog of its own.
    ConnectDialog *next = window.openConnectDialog();
    QVERIFY(next && next->isVisible());
}

void TestRemoteWindow::consoleArguments_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QStringList>("expected");

    const QString here = QDir::currentPath();
    QTest::newRow("local console, nothing else")
        << QStringList{} << "root@db1:2222" << QStringList{"--host=root@db1:2222"};
    QTest::newRow("remote console: the new host only")
        << QStringList{"--host", "db1", "--title", "T", "--viewer"} << "db2"
        << QStringList{"--host=db2"};
    QTest::newRow("its directories and ssh configuration")
        << QStringList{"--plugin-dir", "/p1",          "--plugin-dir=rel", "--data-dir",
                       "/d",           "--ssh-config", "/c/ssh config"}
        << "[2001:db8::1]:22"
        << QStringList{"--host=[2001:db8::1]:22", "--ssh-config=/c/ssh config", "--plugin-dir=/p1",
                       "--plugin-dir=" + here + "/rel", "--data-dir=/d"};
    QTest::newRow("a value that looks like an option")
        << QStringList{"--plugin-dir=-x"} << "db1"
        << QStringList{"--host=db1", "--plugin-dir=" + here + "/-x"};
}

void TestRemoteWindow::consoleArguments()
{
    QFETCH(QStringList, options);
    QFETCH(QString, host);
    QFETCH(QStringList, expected);
    const HostOptions parsed =
        HostOptions::parse(QStringList{QStringLiteral("vell-admin-service")} + options);
    QVERIFY2(parsed.error.isEmpty(), qPrintable(parsed.error));
    SshTarget target;
    QString why;
    QVERIFY(SshTarget::parse(host, &target, &why));
    const QStringList arguments = HostApplication::consoleArguments(parsed, target);
    QCOMPARE(arguments, expected);
    // The new console reads them back as this one gave them.
    const HostOptions again =
        HostOptions::parse(QStringList{QStringLiteral("vell-admin-service")} + arguments);
    QVERIFY2(again.error.isEmpty(), qPrintable(again.error));
    QCOMPARE(again.hosts.value(0).given, host);
    QCOMPARE(again.pluginDirectories.size(), parsed.pluginDirectories.size());
}

void TestRemoteWindow::askpassProgram_data()
{
    QTest::addColumn<bool>("beside");
    QTest::addColumn<bool>("executable");
    QTest::addColumn<bool>("trustedOnly");
    QTest::addColumn<bool>("takesBeside");

    QTest::newRow("build tree") << true << true << false << true;
    QTest::newRow("none beside") << false << false << false << false;
    QTest::newRow("not executable") << true << false << false << false;
    // A directory anyone may write to (under /tmp) is no place to run code from as root.
    QTest::newRow("untrusted directory") << true << true << true << false;
}

void TestRemoteWindow::askpassProgram()
{
    QFETCH(bool, beside);
    QFETCH(bool, executable);
    QFETCH(bool, trustedOnly);
    QFETCH(bool, takesBeside);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    if (trustedOnly) // whoever runs the suite
        QVERIFY(
            QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) | QFile::WriteOther));
    const QString program = dir.filePath(QStringLiteral("vell-admin-askpass"));
    if (beside) {
        QFile file(program);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n");
        file.close();
        if (executable)
            QVERIFY(file.setPermissions(file.permissions() | QFile::ExeOwner));
    }
    const bool wasTrustedOnly = ConsoleHost::trustedFilesOnly();
    ConsoleHost::setTrustedFilesOnly(trustedOnly);
    const QString chosen = HostApplication::askpassProgram(dir.path());
    ConsoleHost::setTrustedFilesOnly(wasTrustedOnly);
    QCOMPARE(chosen, takesBeside ? program : HostApplication::installedAskpassProgram());
    QVERIFY(HostApplication::installedAskpassProgram().endsWith(
        QStringLiteral("/vell-admin-service/vell-admin-askpass")));
}

void TestRemoteWindow::reconnect_data()
{
    QTest::addColumn<bool>("connects");
    QTest::newRow("connected again") << true;
    QTest::newRow("still refused") << false;
}

void TestRemoteWindow::reconnect()
{
    QFETCH(bool, connects);
    startWindow(true);
    QAction *action = m_window->reconnectAction();
    QLabel *notice = m_window->connectionNoticeLabel();
    QVERIFY(!action->isEnabled());
    QVERIFY(!m_window->reconnect());

    QSemaphore release;
    std::atomic<int> calls{0};
    m_window->setReconnector([&](QString *error) {
        ++calls;
        release.acquire();
        *error = QStringLiteral("Cannot reach db1: no route to host.");
        return connects;
    });
    QVERIFY(action->isEnabled());
    m_window->showConnectionFailure(QStringLiteral("Connection to db1 lost: broken pipe."));
    QVERIFY(notice->isVisible());
    QCOMPARE(notice->text(), QStringLiteral("Connection to db1 lost: broken pipe."));
    QVERIFY(m_window->reconnectButton()->isVisible());

    QSignalSpy finished(TaskObserver::instance(), &TaskObserver::taskFinished);
    QSignalSpy reconnected(m_window.get(), &MainWindow::reconnected);
    QTest::mouseClick(m_window->reconnectButton(), Qt::LeftButton);
    QVERIFY(m_window->isReconnecting());
    QVERIFY(!action->isEnabled());
    QVERIFY(!m_window->reconnectButton()->isEnabled());
    QVERIFY(notice->text().contains(QStringLiteral("db1")));
    // A second press while one runs does nothing; the window goes on serving meanwhile.
    action->trigger();
    QVERIFY(!m_window->reconnect());
    // The connection the reconnect drops reports its end: the reconnect's outcome decides.
    MainWindow::lostHandler(m_window.get())(QStringLiteral("Connection to db1 lost: dropped."));
    QTest::qWait(50);
    QCOMPARE(calls.load(), 1);
    QCOMPARE(notice->text(), QStringLiteral("Connecting to db1 again..."));
    release.release();
    QTRY_VERIFY(!m_window->isReconnecting());
    QVERIFY(action->isEnabled());
    QCOMPARE(calls.load(), 1);
    QCOMPARE(reconnected.size(), connects ? 1 : 0);
    QVERIFY(TaskObserver::instance()->waitForIdle(30000));
    QStringList read;
    for (const QList<QVariant> &arguments : std::as_const(finished))
        read.append(arguments.at(0).value<TaskReport>().elementId);
    if (!connects) {
        QVERIFY(notice->isVisible());
        QCOMPARE(notice->text(), QStringLiteral("Cannot reach db1: no route to host."));
        QVERIFY(m_window->reconnectButton()->isVisible());
        QVERIFY(read.isEmpty());
        return;
    }
    QVERIFY(!notice->isVisible());
    QVERIFY(!m_window->reconnectButton()->isVisible());
    // Every element was read again, as F5 on each of them reads it.
    QSet<QString> again(read.cbegin(), read.cend());
    finished.clear();
    QList<TreeNode *> pending = m_host->registry()->elementRoot()->childNodes();
    while (!pending.isEmpty()) {
        TreeNode *node = pending.takeFirst();
        pending.append(node->childNodes());
        auto *element = qobject_cast<Element *>(node);
        if (element && m_window->selectElement(element))
            m_window->refresh();
    }
    QVERIFY(TaskObserver::instance()->waitForIdle(30000));
    QSet<QString> byHand;
    for (const QList<QVariant> &arguments : std::as_const(finished))
        byHand.insert(arguments.at(0).value<TaskReport>().elementId);
    QVERIFY(byHand.size() > 2);
    QCOMPARE(again, byHand);
}

void TestRemoteWindow::lostFromAnotherThread()
{
    startWindow(true);
    m_window->setReconnector([](QString *) { return true; });
    const auto handler = MainWindow::lostHandler(m_window.get());
    std::thread reader([handler] { handler(QStringLiteral("Connection to db1 lost: EOF.")); });
    reader.join();
    QTRY_VERIFY(m_window->connectionNoticeLabel()->isVisible());
    QCOMPARE(m_window->connectionNoticeLabel()->text(),
             QStringLiteral("Connection to db1 lost: EOF."));
    QVERIFY(m_window->reconnectButton()->isVisible());
    // A report that arrives after the window is gone is dropped.
    m_window.reset();
    handler(QStringLiteral("late"));
    QCoreApplication::processEvents();
}

QTEST_MAIN(TestRemoteWindow)
#include "tst_remotewindow.moc"
