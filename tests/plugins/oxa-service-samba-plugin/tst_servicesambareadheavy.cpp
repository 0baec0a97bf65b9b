#include "sambatestfixture.h"
#include "servicetaskcheck.h"
#include "taskrunner.h"
#include "testhost.h"

#include <element.h>
#include <elementdata.h>
#include <module.h>
#include <taskmessages.h>
#include <treenodemodel.h>

#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>

#include <sys/stat.h>

namespace {

const QString script = QStringLiteral("/etc/init.d/smbd");
const QString config = QStringLiteral("/etc/samba/smb.conf");

QString bold(const QString &text)
{
    return QStringLiteral("<b>%1</b>").arg(text);
}

} // namespace

/**
 * Samba's heavy read on a disposable host: the status script and smb.conf in every shape
 * they come in, and what of the read reaches the element and its widget.
 */
class TestServiceSambaReadHeavy : public QObject
{
    Q_OBJECT

private slots:
    void heavyRead_data();
    void heavyRead();
    void readReachesElementAndWidget();
    void failureKeepsFormerContents();
    void taskValues();
};

void TestServiceSambaReadHeavy::heavyRead_data()
{
    QTest::addColumn<QString>("status"); // what the init script does
    QTest::addColumn<QString>("file");   // what is at /etc/samba/smb.conf
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<TaskDescription::TaskStatus>("taskStatus");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("running");
    QTest::addColumn<QString>("text");

    const QByteArray conf = "[global]\n   workgroup = OFFICE\n";
    const QString readFailed = TaskMessages::failedToReadConfig(config);
    QTest::newRow("running") << "exit 0"
                             << "file" << conf << TaskDescription::TaskStatusDone << QString()
                             << true << QString::fromLatin1(conf);
    // The status command is not failing: the service is simply stopped.
    QTest::newRow("stopped, exit 3") << "exit 3"
                                     << "file" << conf << TaskDescription::TaskStatusDone
                                     << QString() << false << QString::fromLatin1(conf);
    QTest::newRow("hanging script") << "hang"
                                    << "file" << conf << TaskDescription::TaskStatusFailed
                                    << TaskMessages::notFinished(script, 2) << false << QString();
    QTest::newRow("crashing script") << "crash"
                                     << "file" << conf << TaskDescription::TaskStatusFailed
                                     << TaskMessages::notFinished(script, 1) << false << QString();
    QTest::newRow("no script") << "missing"
                               << "file" << conf << TaskDescription::TaskStatusFailed
                               << TaskMessages::notFinished(script, 0) << false << QString();
    QTest::newRow("no smb.conf") << "exit 0"
                                 << "missing" << QByteArray() << TaskDescription::TaskStatusFailed
                                 << readFailed << true << QString();
    QTest::newRow("smb.conf a directory")
        << "exit 0"
        << "directory" << QByteArray() << TaskDescription::TaskStatusFailed << readFailed << true
        << QString();
    QTest::newRow("smb.conf a FIFO") << "exit 0"
                                     << "fifo" << QByteArray() << TaskDescription::TaskStatusFailed
                                     << readFailed << true << QString();
    QTest::newRow("smb.conf a dangling link")
        << "exit 0"
        << "dangling" << QByteArray() << TaskDescription::TaskStatusFailed << readFailed << true
        << QString();
    QTest::newRow("smb.conf a link to a file") << "exit 0"
                                               << "link" << conf << TaskDescription::TaskStatusDone
                                               << QString() << true << QString::fromLatin1(conf);
    QTest::newRow("empty smb.conf") << "exit 0"
                                    << "file" << QByteArray("") << TaskDescription::TaskStatusDone
                                    << QString() << true << QString();
    QTest::newRow("NUL ends the text")
        << "exit 0"
        << "file" << QByteArray("[global]\n\0[hidden]\n", 19) << TaskDescription::TaskStatusDone
        << QString() << true << QStringLiteral("[global]\n");
    // As Debian 13's samba 4.22 installs it: shown whole, as it stands.
    QFile trixie(QStringLiteral(OXA_SAMBA_TEST_DATA "/smb.conf-4.22-trixie"));
    QVERIFY(trixie.open(QIODevice::ReadOnly));
    const QByteArray installed = trixie.readAll();
    QVERIFY(installed.size() > 4096);
    QTest::newRow("debian 13 smb.conf") << "exit 0"
                                        << "file" << installed << TaskDescription::TaskStatusDone
                                        << QString() << true << QString::fromLocal8Bit(installed);
    const QByteArray latin1("comment = caf\xe9 \xff\n");
    QTest::newRow("local 8-bit decoding") << "exit 0"
                                          << "file" << latin1 << TaskDescription::TaskStatusDone
                                          << QString() << true << QString::fromLocal8Bit(latin1);
}

void TestServiceSambaReadHeavy::heavyRead()
{
    QFETCH(QString, status);
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(TaskDescription::TaskStatus, taskStatus);
    QFETCH(QString, message);
    QFETCH(bool, running);
    QFETCH(QString, text);

    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(ServiceTaskCheck::writeInitScript(host, script, status));

    QVERIFY(host.removePath(config));
    QVERIFY(host.mkdir(QStringLiteral("/etc/samba")));
    if (file == QLatin1String("file")) {
        QVERIFY(host.writeFile(config, content));
    } else if (file == QLatin1String("directory")) {
        QVERIFY(host.mkdir(config));
    } else if (file == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(config.toLocal8Bit().constData(), 0644), 0);
    } else if (file == QLatin1String("dangling")) {
        QVERIFY(host.writeSymlink(config, QStringLiteral("/etc/samba/nowhere.conf")));
    } else if (file == QLatin1String("link")) {
        QVERIFY(host.writeFile(QStringLiteral("/etc/samba/real.conf"), content));
        QVERIFY(host.writeSymlink(config, QStringLiteral("real.conf")));
    }

    Samba samba;
    const TaskReport report = samba.readHeavy();
    QCOMPARE(report.description, QStringLiteral("Read Samba service configuration"));
    QCOMPARE(report.status, taskStatus);
    QCOMPARE(report.message, message);

    const ServiceLightElementData *light = samba.element->serviceData();
    if (taskStatus == TaskDescription::TaskStatusFailed) {
        // Nothing of a failed read reaches element or widget.
        QVERIFY(!light->isStateKnown());
        QCOMPARE(samba.stateLabel(), bold(QStringLiteral("undefined")));
        QVERIFY(samba.text().isEmpty());
        QCOMPARE(samba.title(), QStringLiteral("Configuration"));
        QVERIFY(!samba.widget->isBlocked());
        return;
    }
    QVERIFY(light->isStateKnown());
    QCOMPARE(light->state(), running);
    QCOMPARE(light->textState(), running ? ServiceLightElementData::runningText()
                                         : ServiceLightElementData::stoppedText());
    QCOMPARE(samba.stateLabel(), bold(light->textState()));
    QCOMPARE(samba.text(), text);
    QCOMPARE(samba.title(), QStringLiteral("Configuration: /etc/samba/smb.conf"));
    QVERIFY(samba.widget->isBlocked());
}

void TestServiceSambaReadHeavy::readReachesElementAndWidget()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeStatusScript(script, 0));
    QVERIFY(host.writeFile(config, "[homes]\n"));

    Samba samba;
    samba.element->serviceData()->setName(QStringLiteral("smbd"));
    TreeNode root;
    root.append(samba.element);
    TreeNodeModel model(&root);
    QSignalSpy rowChanged(&model, &QAbstractItemModel::dataChanged);

    const TaskReport report = samba.readHeavy();
    QCOMPARE(report.status, TaskDescription::TaskStatusDone);
    QCOMPARE(rowChanged.count(), 1);
    QCOMPARE(rowChanged.first().at(0).value<QModelIndex>().row(), 0);
    // The state, and only the state: the element's record keeps its name.
    QCOMPARE(samba.element->serviceData()->name(), QStringLiteral("smbd"));
    QVERIFY(samba.element->serviceData()->state());
    QCOMPARE(samba.element->availableOperations(), quint64(0x6030));
    QCOMPARE(samba.stateLabel(), bold(ServiceLightElementData::runningText()));
    QCOMPARE(samba.text(), QStringLiteral("[homes]\n"));
    root.take(samba.element);
}

void TestServiceSambaReadHeavy::failureKeepsFormerContents()
{
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);
    QVERIFY(host.writeStatusScript(script, 0));
    QVERIFY(host.writeFile(config, "[printers]\n"));

    Samba samba;
    QCOMPARE(samba.readHeavy().status, TaskDescription::TaskStatusDone);
    const QString label = samba.stateLabel();

    // Now the service stops and the file goes: the state read in the task stays there.
    QVERIFY(host.writeStatusScript(script, 3));
    QVERIFY(host.removePath(config));
    const TaskReport report = samba.readHeavy();
    QCOMPARE(report.status, TaskDescription::TaskStatusFailed);
    QCOMPARE(report.message, QStringLiteral("Failed to read config file /etc/samba/smb.conf"));
    QVERIFY(samba.element->serviceData()->state());
    QCOMPARE(samba.stateLabel(), label);
    QCOMPARE(samba.text(), QStringLiteral("[printers]\n"));
    QCOMPARE(samba.title(), QStringLiteral("Configuration: /etc/samba/smb.conf"));
}

void TestServiceSambaReadHeavy::taskValues()
{
    Samba samba;
    ServiceSambaReadHeavyTask heavy(samba.element);
    QCOMPARE(heavy.initScript(), script);
    QCOMPARE(heavy.configFile(), config);
    QVERIFY(heavy.record());
    QCOMPARE(heavy.element(), samba.element);
}

OXA_TEST_MAIN(TestServiceSambaReadHeavy)
#include "tst_servicesambareadheavy.moc"
