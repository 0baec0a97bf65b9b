// A service's start at boot: the words shown for each answer, the operations offered for them,
// and the reads and changes of a service row's tasks on a disposable host with and without
// systemd.

#include "servicefamily.h"
#include "servicerows.h"
#include "serviceelement.h"
#include "serviceelementwidget.h"
#include "serviceheavyreadtask.h"
#include "taskrunner.h"
#include "testhost.h"

#include <bootstate.h>
#include <childprocess.h>
#include <elementdata.h>

#include <QFile>
#include <QLabel>
#include <QTest>

namespace {

/// A service row as the plug-ins' rows are: its init script and its units, the first counting.
inline constexpr ServiceRow bootRow{
    {"/etc/init.d/oxa-boot", nullptr, "Read Boot service state", "Start Boot service",
     "Stop Boot service", "Restart Boot service", "Reload Boot service",
     "Read Boot service configuration"},
    "/etc/oxa-boot.conf",
    "oxa-boot",
    "ServiceBoot",
    false,
    "ServiceBootModule",
    "Service Boot module",
    "ServiceServicesModule",
    2,
    ServiceModule::SetsAdministrator,
    "oxa-boot.service oxa-boot-helper.service",
    nullptr};

using BootHeavyTask = FamilyConfigFileTask<bootRow>;

class BootModule : public ServiceModule
{
public:
    BootModule() : ServiceModule(bootRow, nullptr)
    {
        element = new CommonServiceElement(this, QStringLiteral("ServiceBoot"),
                                           QStringLiteral("ServiceServices"), 2,
                                           QStringLiteral("Boot"), QStringLiteral("Boot"));
        widget = new ServiceElementWidget(this, "BootWidget", QStringLiteral("ServiceBoot"),
                                          "Boot", ServiceElementWidget::PlainTextView,
                                          QStringLiteral("_configPlainEdit"));
        addElementAndWidget(element, widget);
        connectElementWidgets();
    }
    CommonServiceElement *element;
    ServiceElementWidget *widget;

protected:
    AbstractTask *createTask(Element *e, OperationType type, ElementData *) override
    {
        return createFamilyTask<bootRow, BootHeavyTask>(e, type, true);
    }
};

const char callsFile[] = "/var/tmp/oxa-boot.calls";
const char stateFile[] = "/var/tmp/oxa-boot.state";

/// A systemctl that records its arguments, prints the state file for is-enabled (exiting 1
/// unless "enabled", as the real one does) and writes it for enable and disable.
const char fakeSystemctl[] = "echo \"systemctl $*\" >> /var/tmp/oxa-boot.calls\n"
                             "case \"$1\" in\n"
                             "is-enabled) s=$(cat /var/tmp/oxa-boot.state); echo \"$s\";"
                             " [ \"$s\" = enabled ] ;;\n"
                             "enable) echo enabled > /var/tmp/oxa-boot.state ;;\n"
                             "disable) echo disabled > /var/tmp/oxa-boot.state ;;\n"
                             "*) exit 1 ;;\n"
                             "esac\n";

/// An update-rc.d that records its arguments and turns the script's links as the real one does.
const char fakeUpdateRcD[] = "echo \"update-rc.d $*\" >> /var/tmp/oxa-boot.calls\n"
                             "for l in 2 3 4 5; do rm -f /etc/rc$l.d/[SK]01$1\n"
                             "  case \"$2\" in enable) ln -s ../init.d/$1 /etc/rc$l.d/S01$1 ;;\n"
                             "  disable) ln -s ../init.d/$1 /etc/rc$l.d/K01$1 ;; esac\n"
                             "done\n";

QStringList recordedCalls()
{
    QFile file(QString::fromLatin1(callsFile));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

ProcessResult isEnabledRun(bool finished, int exitCode, const QByteArray &out,
                           const QByteArray &err)
{
    ProcessResult result;
    result.finished = finished;
    result.exitCode = finished ? exitCode : -1;
    result.error = finished ? ProcessResult::NoError : ProcessResult::TimedOut;
    result.standardOutput = out;
    result.standardError = err;
    return result;
}

} // namespace

Q_DECLARE_METATYPE(ProcessResult)

class TestBootState : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void isEnabledAnswers_data();
    void isEnabledAnswers();
    void rcLinks_data();
    void rcLinks();
    void readAndOffer_data();
    void readAndOffer();
    void change_data();
    void change();

private:
    /// A host with or without systemd, the fakes in place and the service's state at @p state
    /// (systemctl's word, or "S"/"K"/"" for the links).
    bool prepare(bool systemd, const QString &state);

    std::unique_ptr<TestHost> m_host;
};

void TestBootState::cleanup()
{
    TaskRunner().waitForIdle();
    m_host.reset();
}

bool TestBootState::prepare(bool systemd, const QString &state)
{
    m_host.reset(new TestHost);
    if (!m_host->isAvailable())
        return false;
    TestHost &host = *m_host;
    const QString script = QString::fromLatin1(bootRow.initScript);
    bool ok = host.setSystemdBooted(systemd) && host.writeStatusScript(script, 0) &&
              host.writeFile(QString::fromLatin1(bootRow.configPath), "x\n") &&
              host.writeTool(QStringLiteral("systemctl"), QString::fromLatin1(fakeSystemctl)) &&
              host.writeTool(QStringLiteral("update-rc.d"), QString::fromLatin1(fakeUpdateRcD));
    for (const QString &dir : BootState::rcDirectories())
        ok = ok && host.mkdir(dir);
    if (systemd)
        return ok && host.writeFile(QString::fromLatin1(stateFile), state.toLatin1() + '\n');
    // Another script's links, and a name that only begins like this one's, count for nothing.
    ok = ok && host.writeSymlink(QStringLiteral("/etc/rc2.d/S01cron"), QStringLiteral("x")) &&
         host.writeSymlink(QStringLiteral("/etc/rc3.d/S01oxa-boot-helper"), QStringLiteral("x"));
    if (!state.isEmpty()) {
        for (const QString &dir : BootState::rcDirectories())
            ok = ok && host.writeSymlink(dir + QLatin1Char('/') + state +
                                             QStringLiteral("01oxa-boot"),
                                         QStringLiteral("../init.d/oxa-boot"));
    }
    return ok;
}

void TestBootState::isEnabledAnswers_data()
{
    QTest::addColumn<ProcessResult>("result");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("failed");
    QTest::addColumn<OperationTypes>("offered");

    const auto word = [](const char *w, int code) {
        return isEnabledRun(true, code, QByteArray(w) + '\n', QByteArray());
    };
    QTest::newRow("enabled") << word("enabled", 0) << "enabled" << false
                             << OperationTypes(OperationDisableAtBoot);
    QTest::newRow("disabled, exit 1") << word("disabled", 1) << "disabled" << false
                                      << OperationTypes(OperationEnableAtBoot);
    for (const char *w : {"masked", "static", "generated", "indirect", "alias", "enabled-runtime",
                          "linked", "masked-runtime", "transient"})
        QTest::addRow("%s", w) << word(w, 1) << w << false << OperationTypes(OperationNone);
    QTest::newRow("SysV redirect on stderr")
        << isEnabledRun(true, 0, "enabled\n",
                        "smbd.service is not a native service, redirecting to "
                        "systemd-sysv-install.\n")
        << "enabled" << false << OperationTypes(OperationDisableAtBoot);
    QTest::newRow("unknown unit")
        << isEnabledRun(true, 1, "",
                        "Failed to get unit file state for oxa.service: No such file or "
                        "directory\n")
        << "not installed" << false << OperationTypes(OperationNone);
    QTest::newRow("silent failure") << isEnabledRun(true, 1, "", "") << "not installed" << false
                                    << OperationTypes(OperationNone);
    QTest::newRow("other message, shown")
        << isEnabledRun(true, 1, "", "Failed to get unit file state: Access denied\n")
        << "Failed to get unit file state: Access denied" << false << OperationTypes(OperationNone);
    QTest::newRow("markup and control characters")
        << isEnabledRun(true, 0, "<b>enabled</b>\x1b[0m\n", "") << QString() << true
        << OperationTypes(OperationNone);
    QTest::newRow("a sentence") << isEnabledRun(true, 0, "this is enabled\n", "") << QString()
                                << true << OperationTypes(OperationNone);
    QTest::newRow("hung") << isEnabledRun(false, 0, "", "") << QString() << true
                          << OperationTypes(OperationNone);
}

void TestBootState::isEnabledAnswers()
{
    QFETCH(ProcessResult, result);
    QFETCH(QString, shown);
    QFETCH(bool, failed);
    QFETCH(OperationTypes, offered);
    const BootState::Reading reading = BootState::fromIsEnabled(result);
    QCOMPARE(reading.state, shown);
    QCOMPARE(!reading.ok(), failed);
    if (failed)
        QVERIFY(reading.error.contains(QLatin1String("systemctl")));
    QCOMPARE(BootState::changingOperations(reading.state), offered);
}

void TestBootState::rcLinks_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("shown");
    QTest::newRow("start links") << QStringList{"K01smbd", "README", "S02smbd"} << "enabled";
    QTest::newRow("stop links only") << QStringList{"K01smbd", "K01smbd"} << "disabled";
    QTest::newRow("none") << QStringList{"README", "S01cron"} << "not installed";
    QTest::newRow("longer name") << QStringList{"S01smbd-extra", "K01smbd"} << "disabled";
    QTest::newRow("no digits") << QStringList{"Ssmbd", "S1smbd"} << "not installed";
}

void TestBootState::rcLinks()
{
    QFETCH(QStringList, names);
    QFETCH(QString, shown);
    QCOMPARE(BootState::fromRcLinks(QStringLiteral("smbd"), names), shown);
}

void TestBootState::readAndOffer_data()
{
    QTest::addColumn<bool>("systemd");
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("viewer");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<OperationTypes>("offered");

    QTest::newRow("systemd enabled") << true << "enabled" << false << "enabled"
                                     << OperationTypes(OperationDisableAtBoot);
    QTest::newRow("systemd disabled") << true << "disabled" << false << "disabled"
                                      << OperationTypes(OperationEnableAtBoot);
    QTest::newRow("systemd masked") << true << "masked" << false << "masked"
                                    << OperationTypes(OperationNone);
    QTest::newRow("systemd disabled, viewer")
        << true << "disabled" << true << "disabled" << OperationTypes(OperationNone);
    QTest::newRow("links: start") << false << "S" << false << "enabled"
                                  << OperationTypes(OperationDisableAtBoot);
    QTest::newRow("links: stop") << false << "K" << false << "disabled"
                                 << OperationTypes(OperationEnableAtBoot);
    QTest::newRow("links: none") << false << "" << false << "not installed"
                                 << OperationTypes(OperationNone);
    QTest::newRow("links: start, viewer")
        << false << "S" << true << "enabled" << OperationTypes(OperationNone);
}

void TestBootState::readAndOffer()
{
    QFETCH(bool, systemd);
    QFETCH(QString, state);
    QFETCH(bool, viewer);
    QFETCH(QString, shown);
    QFETCH(OperationTypes, offered);
    const bool prepared = prepare(systemd, state);
    OXA_REQUIRE_TEST_HOST(*m_host);
    QVERIFY2(prepared, qPrintable(m_host->errorString()));

    BootModule module;
    module.setData(QStringLiteral("administrator"), !viewer);
    module.widget->setElement(module.element, ElementWidgetRoleView);
    const OperationTypes boot = OperationEnableAtBoot | OperationDisableAtBoot;
    QCOMPARE(module.element->availableOperations() & boot, OperationTypes(OperationNone));

    // The light read and the heavy read (the widget's) each read the first unit's boot state.
    TaskRunner runner;
    for (OperationType read : {OperationReadLight, OperationReadHeavy}) {
        module.element->serviceData()->setBootState(QString());
        module.element->performOperation(read, nullptr, 0);
        QVERIFY(runner.waitForIdle());
        QCOMPARE(runner.reports().last().status, TaskDescription::TaskStatusDone);
        QCOMPARE(module.element->serviceData()->bootState(), shown);
        QCOMPARE(module.element->availableOperations() & boot, offered);
    }
    QCOMPARE(module.widget->bootStateLabel()->text(), shown);
    const QStringList calls = recordedCalls();
    if (systemd)
        QCOMPARE(calls, (QStringList{QStringLiteral("systemctl is-enabled oxa-boot.service"),
                                     QStringLiteral("systemctl is-enabled oxa-boot.service")}));
    else
        QVERIFY2(calls.isEmpty(), qPrintable(calls.join(QLatin1Char('\n'))));
}

void TestBootState::change_data()
{
    QTest::addColumn<bool>("systemd");
    QTest::addColumn<bool>("enable");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("after");

    QTest::newRow("systemd enable") << true << true
                                    << "systemctl enable oxa-boot.service" << "enabled";
    QTest::newRow("systemd disable") << true << false
                                     << "systemctl disable oxa-boot.service" << "disabled";
    QTest::newRow("update-rc.d enable") << false << true << "update-rc.d oxa-boot enable"
                                        << "enabled";
    QTest::newRow("update-rc.d disable") << false << false << "update-rc.d oxa-boot disable"
                                         << "disabled";
}

void TestBootState::change()
{
    QFETCH(bool, systemd);
    QFETCH(bool, enable);
    QFETCH(QString, command);
    QFETCH(QString, after);
    const bool prepared =
        prepare(systemd, systemd ? (enable ? "disabled" : "enabled") : (enable ? "K" : "S"));
    OXA_REQUIRE_TEST_HOST(*m_host);
    QVERIFY2(prepared, qPrintable(m_host->errorString()));

    BootModule module;
    module.setData(QStringLiteral("administrator"), true);
    TaskRunner runner;
    module.element->performOperation(OperationReadLight, nullptr, 0);
    QVERIFY(runner.waitForIdle());
    const OperationType operation = enable ? OperationEnableAtBoot : OperationDisableAtBoot;
    QVERIFY(module.element->isOperationAvailable(operation));
    QFile::remove(QString::fromLatin1(callsFile));
    runner.clear();

    module.element->performOperation(operation, nullptr, 0);
    QVERIFY(runner.waitForIdle());
    QCOMPARE(runner.reports().size(), 1);
    const TaskReport report = runner.reports().first();
    QCOMPARE(report.description,
             enable ? QStringLiteral("Enable Boot service at boot")
                    : QStringLiteral("Disable Boot service at boot"));
    QCOMPARE(report.status, TaskDescription::TaskStatusDone);
    // The change, then the state read again.
    QStringList calls = recordedCalls();
    QVERIFY(!calls.isEmpty());
    QCOMPARE(calls.first(), command);
    QCOMPARE(module.element->serviceData()->bootState(), after);
    QVERIFY(!module.element->isOperationAvailable(operation));

    // A change the tool refuses fails with its message; the state is read all the same.
    QVERIFY(m_host->writeTool(systemd ? QStringLiteral("systemctl") : QStringLiteral("update-rc.d"),
                              QStringLiteral("case \"$1\" in is-enabled) cat %1 ;; *)"
                                             " echo refused >&2; exit 1 ;; esac")
                                  .arg(QLatin1String(stateFile))));
    module.element->serviceData()->setBootState(enable ? QStringLiteral("disabled")
                                                       : QStringLiteral("enabled"));
    runner.clear();
    module.element->performOperation(operation, nullptr, 0);
    QVERIFY(runner.waitForIdle());
    QCOMPARE(runner.reports().size(), 1);
    QCOMPARE(runner.reports().first().status, TaskDescription::TaskStatusFailed);
    QVERIFY2(runner.reports().first().message.contains(QLatin1String("refused")),
             qPrintable(runner.reports().first().message));
    QCOMPARE(module.element->serviceData()->bootState(), after);
}

OXA_TEST_MAIN(TestBootState)
#include "tst_bootstate.moc"
