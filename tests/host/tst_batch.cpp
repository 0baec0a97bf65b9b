#include "hosttestenvironment.h"

#include <taskdescription.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

/** The console program in batch mode, run as a child process with a script on stdin. */
class TestBatch : public QObject
{
    Q_OBJECT
private slots:
    void reportFields();
    void clockStartsWithTheConsole();
    void exitCodes_data();
    void exitCodes();
    void controlOperations();
    void changeLeftRunning_data();
    void changeLeftRunning();
    void viewer();
    void createAndDelete();
    void createRefused_data();
    void createRefused();
    void paranoidCreate();
    void setApply_data();
    void setApply();
    void setRefused_data();
    void setRefused();
    void attachDetach();
    void screenshot();
    void textReportAndScriptFile();

private:
    struct Run
    {
        int exitCode = -1;
        QJsonObject report;
        QByteArray out;
        QByteArray err;
    };
    Run run(const HostTestEnvironment &environment, const QString &script,
            const QStringList &extra = {}, bool json = true);
    static QJsonObject findElement(const QJsonArray &tree, const QString &idOrTitle);
    static QJsonObject findChild(const QJsonArray &children, const QString &objectName);
    static bool isRoot() { return geteuid() == 0; }
};

TestBatch::Run TestBatch::run(const HostTestEnvironment &environment, const QString &script,
                              const QStringList &extra, bool json)
{
    Run result;
    QProcess process;
    process.setProcessEnvironment(environment.processEnvironment());
    QStringList arguments{QStringLiteral("--plugin-dir"), HostTestEnvironment::pluginDirectory()};
    arguments += extra;
    if (!extra.contains(QStringLiteral("--batch")))
        arguments << QStringLiteral("--batch") << QStringLiteral("-");
    if (json)
        arguments << QStringLiteral("--json");
    process.start(HostTestEnvironment::programPath(), arguments);
    if (!process.waitForStarted(10000))
        return result;
    process.write(script.toUtf8());
    process.closeWriteChannel();
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    if (json)
        result.report = QJsonDocument::fromJson(result.out).object();
    return result;
}

void TestBatch::clockStartsWithTheConsole()
{
    // The process runs a while before it becomes the console, as run-console's shell does:
    // the task times count from the console's start, not from the shell's.
    HostTestEnvironment environment;
    QVERIFY(environment.isValid());
    const int before = 3000;
    QProcess process;
    process.setProcessEnvironment(environment.processEnvironment());
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral("/bin/sh"),
                  {QStringLiteral("-c"),
                   QStringLiteral("sleep %1; exec \"$0\" \"$@\"").arg(before / 1000),
                   HostTestEnvironment::programPath(), QStringLiteral("--plugin-dir"),
                   HostTestEnvironment::pluginDirectory(), QStringLiteral("--batch"),
                   QStringLiteral("-"), QStringLiteral("--json")});
    QVERIFY(process.waitForStarted(10000));
    process.write("perform read-light TestRoot\n");
    process.closeWriteChannel();
    QVERIFY(process.waitForFinished(120000));
    const qint64 whole = clock.elapsed();
    const QJsonArray tasks =
        QJsonDocument::fromJson(process.readAllStandardOutput()).object().value("tasks").toArray();
    QVERIFY(!tasks.isEmpty());
    const double last = tasks.last().toObject().value("endedMs").toDouble();
    QVERIFY2(last <= whole - before,
             qPrintable(QStringLiteral("%1 ms of %2").arg(last).arg(whole)));
}

QJsonObject TestBatch::findElement(const QJsonArray &tree, const QString &idOrTitle)
{
    for (const QJsonValue &value : tree) {
        const QJsonObject element = value.toObject();
        const QString id = element.value("id").toString();
        if (id == idOrTitle || (id.isEmpty() && element.value("title").toString() == idOrTitle))
            return element;
        const QJsonObject below = findElement(element.value("children").toArray(), idOrTitle);
        if (!below.isEmpty())
            return below;
    }
    return QJsonObject();
}

QJsonObject TestBatch::findChild(const QJsonArray &children, const QString &objectName)
{
    for (const QJsonValue &value : children) {
        const QJsonObject child = value.toObject();
        if (child.value("objectName").toString() == objectName)
            return child;
        const QJsonObject below = findChild(child.value("children").toArray(), objectName);
        if (!below.isEmpty())
            return below;
    }
    return QJsonObject();
}

void TestBatch::reportFields()
{
    HostTestEnvironment environment;
    QVERIFY(environment.isValid());
    QVERIFY(environment.writeConfig("testservice", "name=main\nmode=safe\nchoices=beta\n"));
    const Run r = run(environment, "perform read-light TestRoot\nshow TestService\n");
    QVERIFY2(r.exitCode == 0, r.err.constData());
    const QJsonObject &report = r.report;

    // plugins
    QJsonObject alpha;
    QJsonObject gamma;
    for (const QJsonValue &value : report.value("plugins").toArray()) {
        const QJsonObject plugin = value.toObject();
        if (plugin.value("name") == "TestAlphaPlugin")
            alpha = plugin;
        if (plugin.value("name") == "TestGammaPlugin")
            gamma = plugin;
    }
    QVERIFY(alpha.value("file").toString().endsWith("libtst-host-alpha-plugin.so"));
    QCOMPARE(alpha.value("className").toString(), QStringLiteral("TestAlphaPlugin"));
    QCOMPARE(alpha.value("type").toInt(), 1);
    QCOMPARE(alpha.value("description").toString(), QStringLiteral("Test alpha plugin"));
    QCOMPARE(alpha.value("valid").toBool(), true);
    QCOMPARE(alpha.value("requiredPackageNames").toArray(), QJsonArray{"alpha-pkg"});
    QCOMPARE(gamma.value("valid").toBool(true), false);
    QCOMPARE(gamma.value("type").toInt(), 5);
    QCOMPARE(report.value("loadErrors").toArray().size(), 1); // the impostor

    // modules
    QJsonObject sub;
    for (const QJsonValue &value : report.value("modules").toArray()) {
        if (value.toObject().value("objectName") == "TestSubModule")
            sub = value.toObject();
        QVERIFY(value.toObject().value("objectName") != "TestGammaModule");
    }
    QCOMPARE(sub.value("parentModule").toString(), QStringLiteral("TestServiceModule"));
    QCOMPARE(sub.value("level").toInt(), 3);
    QCOMPARE(sub.value("data").toObject().value("description").toString(),
             QStringLiteral("Test module TestSubModule"));
    QCOMPARE(sub.value("data").toObject().value("paranoid").toBool(true), false);

    // tree
    const QJsonArray tree = report.value("tree").toArray();
    const QJsonObject root = findElement(tree, "TestRoot");
    QCOMPARE(root.value("operations").toString(), QStringLiteral("0x10"));
    QCOMPARE(root.value("level").toInt(), 1);
    QVERIFY(root.value("data").toObject().value("state").isNull());
    const QJsonObject service = findElement(tree, "TestService");
    QCOMPARE(service.value("type").toString(), QStringLiteral("TestService"));
    QCOMPARE(service.value("parentId").toString(), QStringLiteral("TestRoot"));
    QCOMPARE(service.value("level").toInt(), 2);
    QCOMPARE(service.value("title").toString(), QStringLiteral("Test service"));
    QCOMPARE(service.value("caption").toString(), QStringLiteral("Test service (alpha)"));
    if (isRoot()) // read, stopped: reads, start, and the update it always offers
        QCOMPARE(service.value("operations").toString(), QStringLiteral("0x1070"));
    const QJsonObject data = service.value("data").toObject();
    QCOMPARE(data.value("state").toBool(true), false);
    QCOMPARE(data.value("textState").toString(), QStringLiteral("stopped"));
    QVERIFY(data.contains("name") && data.value("properties").isObject());
    QCOMPARE(service.value("children").toArray().size(), 2);
    QVERIFY(findElement(tree, "TestOrphan").isEmpty());
    QVERIFY(findElement(tree, "TestGamma").isEmpty());

    // tasks, in the order they ended
    const QJsonArray tasks = report.value("tasks").toArray();
    QVERIFY(tasks.size() >= 4); // three light reads, then the reads of the selection
    double previous = -1;
    QSet<QString> elements;
    for (const QJsonValue &value : tasks) {
        const QJsonObject task = value.toObject();
        for (const char *key : {"description", "status", "message", "element", "endedMs"})
            QVERIFY2(task.contains(key), key);
        QVERIFY(task.value("endedMs").toDouble() >= previous);
        previous = task.value("endedMs").toDouble();
        QCOMPARE(TaskDescription::TaskStatus(task.value("status").toInt()),
                 TaskDescription::TaskStatusDone);
        elements.insert(task.value("element").toString());
    }
    QCOMPARE(elements, (QSet<QString>{"TestService", "TestSub", "TestContainer"}));

    // widgets
    const QJsonArray widgets = report.value("widgets").toArray();
    QCOMPARE(widgets.size(), 1);
    const QJsonObject widget = widgets.at(0).toObject();
    QCOMPARE(widget.value("element").toString(), QStringLiteral("TestService"));
    QCOMPARE(widget.value("class").toString(), QStringLiteral("TestServiceWidget"));
    QCOMPARE(widget.value("objectName").toString(), QStringLiteral("TestServiceWidget"));
    QCOMPARE(widget.value("windowTitle").toString(), QStringLiteral("Test service"));
    const QJsonArray children = widget.value("children").toArray();
    QCOMPARE(findChild(children, "_stateLabel").value("text").toString(),
             QStringLiteral("stopped"));
    const QJsonObject name = findChild(children, "_nameEdit");
    QCOMPARE(name.value("class").toString(), QStringLiteral("QLineEdit"));
    QCOMPARE(name.value("text").toString(), QStringLiteral("main"));
    QCOMPARE(name.value("enabled").toBool(true), false); // shown blocked
    const QJsonObject mode = findChild(children, "_modeCombo");
    QCOMPARE(mode.value("currentText").toString(), QStringLiteral("safe"));
    QCOMPARE(mode.value("items").toArray(), (QJsonArray{"fast", "safe"}));
    QCOMPARE(findChild(children, "_confGroupBox").value("title").toString(),
             QStringLiteral("Configuration"));
    QVERIFY(findChild(children, "_configPlainEdit").value("text").toString().contains("mode=safe"));
    const QJsonArray rows = findChild(children, "_choiceTreeView").value("rows").toArray();
    QCOMPARE(rows.size(), 4);
    QCOMPARE(rows.at(1).toObject().value("cells").toArray(), QJsonArray{"beta"});
    QCOMPARE(rows.at(1).toObject().value("checked").toBool(), true);
    QCOMPARE(rows.at(0).toObject().value("checked").toBool(true), false);

    // steps
    const QJsonArray steps = report.value("steps").toArray();
    QCOMPARE(steps.size(), 2);
    QCOMPARE(steps.at(0).toObject().value("result").toString(), QStringLiteral("ok"));
    QCOMPARE(steps.at(0).toObject().value("tasks").toInt(), 3);
    QCOMPARE(report.value("exitCode").toInt(), 0);
}

void TestBatch::exitCodes_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("failAction");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("stepsRun");
    QTest::addColumn<QString>("errorPart");

    QTest::newRow("empty script") << ""
                                  << "" << 0 << 0 << "";
    QTest::newRow("no task failed") << "perform read-heavy TestService\n"
                                    << "" << 0 << 1 << "";
    QTest::newRow("a task failed") << "perform read-heavy TestService\n"
                                   << "show" << 1 << 1 << "";
    QTest::newRow("a failed task does not stop the script")
        << "perform read-heavy TestService\nshow TestSub\n"
        << "show" << 1 << 2 << "";
    QTest::newRow("unknown element") << "show TestSub\nshow NoSuchThing\nshow TestSub\n"
                                     << "" << 2 << 2 << "NoSuchThing";
    QTest::newRow("unknown element after a failed task")
        << "perform read-heavy TestService\nshow NoSuchThing\n"
        << "show" << 2 << 2 << "NoSuchThing";
    QTest::newRow("bad script runs nothing") << "show TestSub\nperform explode TestService\n"
                                             << "" << 2 << 0 << "line 2";
    QTest::newRow("element of an invalid plug-in") << "show TestGamma\n"
                                                   << "" << 2 << 1 << "TestGamma";
    QTest::newRow("element without its parent")
        << "show TestOrphan\n"
        << "" << 2 << 1 << "its parent element \"TestNowhere\"";
    QTest::newRow("operation not offered") << "perform stop TestSub\n"
                                           << "" << 2 << 1 << "stop";
    QTest::newRow("selector below the wrong parent") << "show TestContainer/TestSub\n"
                                                     << "" << 2 << 1 << "TestContainer/TestSub";
}

void TestBatch::exitCodes()
{
    QFETCH(QString, script);
    QFETCH(QString, failAction);
    QFETCH(int, stepsRun);
    QFETCH(QString, errorPart);
    HostTestEnvironment environment;
    if (!failAction.isEmpty())
        QVERIFY(environment.failAction("testservice", failAction));
    const Run r = run(environment, script);
    QTEST(r.exitCode, "exitCode");
    QTEST(r.report.value("exitCode").toInt(), "exitCode");
    QCOMPARE(r.report.value("steps").toArray().size(), stepsRun);
    if (!errorPart.isEmpty()) {
        QVERIFY2(r.report.value("error").toString().contains(errorPart),
                 qPrintable(r.report.value("error").toString()));
        QVERIFY(r.err.contains(errorPart.toLocal8Bit()));
    } else {
        QVERIFY(!r.report.contains("error"));
    }
    if (!failAction.isEmpty()) {
        bool sawFailure = false;
        for (const QJsonValue &value : r.report.value("tasks").toArray()) {
            const QJsonObject task = value.toObject();
            if (TaskDescription::TaskStatus(task.value("status").toInt()) ==
                TaskDescription::TaskStatusFailed) {
                sawFailure = true;
                QCOMPARE(task.value("element").toString(), QStringLiteral("TestService"));
                QVERIFY(task.value("message").toString().contains("failed on purpose"));
            }
        }
        QVERIFY(sawFailure);
    }
}

void TestBatch::controlOperations()
{
    if (!isRoot())
        QSKIP("start and stop are offered to an administrator only");
    HostTestEnvironment environment;
    const Run r = run(environment, "perform read-light TestService\n"
                                   "perform start TestService\n"
                                   "perform reload TestService\n"
                                   "perform restart TestService\n");
    QVERIFY2(r.exitCode == 0, r.out.constData());
    const QJsonObject service = findElement(r.report.value("tree").toArray(), "TestService");
    QCOMPARE(service.value("data").toObject().value("state").toBool(), true);
    // Running: stop, restart, reload (while running) and update.
    QCOMPARE(service.value("operations").toString(), QStringLiteral("0xE070"));
    // Each action, then one state read: nothing else runs.
    const QStringList log = environment.log("testservice");
    QCOMPARE(log, (QStringList{"status ", "start ", "status ", "reload ", "status ", "restart ",
                               "status "}));
    // Each step waited for its task and for the state read that task caused.
    const QJsonArray steps = r.report.value("steps").toArray();
    QVERIFY(steps.at(1).toObject().value("tasks").toInt() >= 1);
    QVERIFY(log.indexOf("start ") < log.indexOf("reload "));
}

void TestBatch::changeLeftRunning_data()
{
    QTest::addColumn<bool>("json");
    QTest::newRow("json report") << true;
    QTest::newRow("text report") << false;
}

void TestBatch::changeLeftRunning()
{
    if (!isRoot())
        QSKIP("start is offered to an administrator only");
    QFETCH(bool, json);
    HostTestEnvironment environment;
    QVERIFY(environment.slowAction("testservice", "start", "3"));
    const Run r = run(environment, "perform read-light TestService\nperform start TestService\n",
                      {"--change-timeout", "1"}, json);
    // Not knowing how a change ended is no success.
    QCOMPARE(r.exitCode, 1);
    if (json) {
        QCOMPARE(r.report.value("exitCode").toInt(), 1);
        const QJsonArray tasks = r.report.value("tasks").toArray();
        int start = -1;
        for (int i = 0; i < tasks.size(); ++i) {
            if (tasks.at(i).toObject().value("description").toString().startsWith("start "))
                start = i;
        }
        QVERIFY(start >= 0);
        const QJsonObject task = tasks.at(start).toObject();
        QCOMPARE(TaskDescription::TaskStatus(task.value("status").toInt()),
                 TaskDescription::TaskStatusUnknown);
        const QString message = task.value("message").toString();
        QVERIFY2(message.contains("still running after 1") && message.contains("left running") &&
                     message.contains("unknown"),
                 qPrintable(message));
        // The state it left is read again at once, while the start goes on by itself.
        const QStringList log = environment.log("testservice");
        QCOMPARE(log.mid(log.indexOf("start ")), (QStringList{"start ", "status "}));
    } else {
        const QString text = QString::fromLocal8Bit(r.out);
        QVERIFY2(text.contains(QRegularExpression("unknown +TestService: start Test service -- "
                                                  "\"[^\"]*testservice ...\" still running")),
                 qPrintable(text));
        QVERIFY(text.contains("Exit code: 1"));
    }
    // The console did not kill it: the start ends by itself, after the console did.
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(environment.filePath("testservice.running")), 15000);
}

void TestBatch::viewer()
{
    HostTestEnvironment environment;
    const Run r = run(environment, "perform read-light TestRoot\n", {"--viewer"});
    QCOMPARE(r.exitCode, 0);
    const QJsonArray tree = r.report.value("tree").toArray();
    int checked = 0;
    std::function<void(const QJsonArray &)> walk = [&](const QJsonArray &elements) {
        for (const QJsonValue &value : elements) {
            const QJsonObject element = value.toObject();
            const quint64 ops =
                element.value("operations").toString().mid(2).toULongLong(nullptr, 16);
            QVERIFY2((ops & ~quint64(0x38)) == 0,
                     qPrintable(element.value("title").toString() + ": " +
                                element.value("operations").toString()));
            ++checked;
            walk(element.value("children").toArray());
        }
    };
    walk(tree);
    QCOMPARE(checked, 5);
    QCOMPARE(findElement(tree, "TestService").value("operations").toString(),
             QStringLiteral("0x30"));
    QCOMPARE(findElement(tree, "TestContainer").value("operations").toString(),
             QStringLiteral("0x8"));
    for (const QJsonValue &module : r.report.value("modules").toArray()) {
        const QJsonObject data = module.toObject().value("data").toObject();
        if (data.contains("administrator"))
            QCOMPARE(data.value("administrator").toBool(), false);
    }
    QCOMPARE(run(environment, "perform start TestService\n", {"--viewer"}).exitCode, 2);
    QCOMPARE(run(environment, "set TestService _nameEdit=x\n", {"--viewer"}).exitCode, 2);
    QCOMPARE(run(environment, "create TestContainer _nameEdit=x\n", {"--viewer"}).exitCode, 2);
}

void TestBatch::createAndDelete()
{
    if (!isRoot())
        QSKIP("creating is offered to an administrator only");
    HostTestEnvironment environment;
    const Run r = run(environment, "perform read-content TestContainer\n"
                                   "create TestContainer _nameEdit=one _kindCombo=fancy\n"
                                   "create TestContainer _nameEdit=two\n"
                                   "show TestContainer/one\n"
                                   "perform delete TestContainer/two\n");
    QVERIFY2(r.exitCode == 0, r.out.constData());
    QCOMPARE(environment.readFile("testcontainer.items/one"), QStringLiteral("kind=fancy\n"));
    QVERIFY(!QFile::exists(environment.filePath("testcontainer.items/two")));
    const QJsonObject container = findElement(r.report.value("tree").toArray(), "TestContainer");
    const QJsonArray children = container.value("children").toArray();
    QCOMPARE(children.size(), 1);
    QCOMPARE(children.at(0).toObject().value("title").toString(), QStringLiteral("one"));
    const QJsonObject widget = r.report.value("widgets").toArray().at(0).toObject();
    QCOMPARE(widget.value("element").toString(), QStringLiteral("TestContainer/one"));
    QCOMPARE(widget.value("class").toString(), QStringLiteral("TestItemWidget"));
    QCOMPARE(findChild(widget.value("children").toArray(), "_kindLabel").value("text").toString(),
             QStringLiteral("fancy"));
}

void TestBatch::createRefused_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<QString>("errorPart");
    QTest::newRow("form not valid") << "create TestContainer _nameEdit=Bad!"
                                    << "not valid";
    QTest::newRow("form left empty") << "create TestContainer"
                                     << "not valid";
    QTest::newRow("unknown field") << "create TestContainer _colourEdit=red"
                                   << "_colourEdit";
    QTest::newRow("unknown combo item") << "create TestContainer _nameEdit=x _kindCombo=odd"
                                        << "odd";
    QTest::newRow("not a container") << "create TestSub _nameEdit=x"
                                     << "create";
}

void TestBatch::createRefused()
{
    if (!isRoot())
        QSKIP("creating is offered to an administrator only");
    QFETCH(QString, step);
    QFETCH(QString, errorPart);
    HostTestEnvironment environment;
    const Run r = run(environment, step + "\n");
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.report.value("error").toString().contains(errorPart),
             qPrintable(r.report.value("error").toString()));
    QVERIFY(!QDir(environment.filePath("testcontainer.items")).exists());
}

void TestBatch::paranoidCreate()
{
    if (!isRoot())
        QSKIP("creating is offered to an administrator only");
    HostTestEnvironment environment;
    const Run r = run(environment, "create TestContainer _nameEdit=three\n", {"--paranoid"});
    QVERIFY2(r.exitCode == 0, r.out.constData());
    for (const QJsonValue &module : r.report.value("modules").toArray())
        QCOMPARE(module.toObject().value("data").toObject().value("paranoid").toBool(), true);
    // Paranoid: the container's content is read again rather than patched.
    QStringList descriptions;
    for (const QJsonValue &task : r.report.value("tasks").toArray())
        descriptions.append(task.toObject().value("description").toString());
    QVERIFY2(descriptions.contains("Read the items of Test container"),
             qPrintable(descriptions.join(", ")));
    const QJsonObject container = findElement(r.report.value("tree").toArray(), "TestContainer");
    QCOMPARE(container.value("children").toArray().size(), 1);
}

void TestBatch::setApply_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("config");
    QTest::addColumn<bool>("stillEditing");
    const QString old = QStringLiteral("name=old\nmode=fast\nchoices=alpha\n");
    QTest::newRow("yes") << "yes"
                         << "name=new\nmode=safe\nchoices=beta,gamma\nreload=yes\n"
                         << false;
    QTest::newRow("no") << "no"
                        << "name=new\nmode=safe\nchoices=beta,gamma\nreload=no\n"
                        << false;
    QTest::newRow("cancel") << "cancel" << old << true;
    QTest::newRow("answer left out") << ""
                                     << "name=new\nmode=safe\nchoices=beta,gamma\nreload=yes\n"
                                     << false;
}

void TestBatch::setApply()
{
    if (!isRoot())
        QSKIP("editing is offered to an administrator only");
    QFETCH(QString, answer);
    QFETCH(QString, config);
    QFETCH(bool, stillEditing);
    HostTestEnvironment environment;
    QVERIFY(environment.writeConfig("testservice", "name=old\nmode=fast\nchoices=alpha\n"));
    const Run r =
        run(environment, QStringLiteral("set TestService _nameEdit=new _modeCombo=safe alpha=off "
                                        "beta=on gamma=on\n"
                                        "apply TestService %1\n"
                                        "show TestService\n")
                             .arg(answer));
    QVERIFY2(r.exitCode == 0, r.out.constData());
    QCOMPARE(environment.readFile("testservice.conf"), config);
    const QJsonObject applyStep = r.report.value("steps").toArray().at(1).toObject();
    const QJsonArray questions = applyStep.value("questions").toArray();
    QCOMPARE(questions.size(), 1);
    const QJsonObject question = questions.at(0).toObject();
    QVERIFY(question.value("text").toString().contains("Reload"));
    QCOMPARE(question.value("answer").toString(),
             answer.isEmpty() ? QStringLiteral("yes") : answer);
    const QJsonArray children =
        r.report.value("widgets").toArray().at(0).toObject().value("children").toArray();
    // A cancelled apply leaves the edit as it was; an applied one shows what was read back.
    QCOMPARE(findChild(children, "_nameEdit").value("text").toString(), QStringLiteral("new"));
    QCOMPARE(findChild(children, "_nameEdit").value("enabled").toBool(), stillEditing);
    QCOMPARE(environment.log("testservice").filter("update").isEmpty(), stillEditing);
}

void TestBatch::setRefused_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("errorPart");
    QTest::newRow("blocked choice row") << "set TestService locked=on"
                                        << "locked";
    QTest::newRow("choice neither on nor off") << "set TestService beta=yes"
                                               << "beta";
    QTest::newRow("read-only field") << "set TestService _configPlainEdit=x"
                                     << "read-only";
    QTest::newRow("apply without set") << "apply TestService yes"
                                       << "set comes first";
    QTest::newRow("apply of another element") << "set TestService _nameEdit=x\napply TestSub"
                                              << "set comes first";
    QTest::newRow("not editable") << "set TestSub _nameEdit=x"
                                  << "update";
}

void TestBatch::setRefused()
{
    if (!isRoot())
        QSKIP("editing is offered to an administrator only");
    QFETCH(QString, script);
    QFETCH(QString, errorPart);
    HostTestEnvironment environment;
    const Run r = run(environment, script + "\n");
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.report.value("error").toString().contains(errorPart),
             qPrintable(r.report.value("error").toString()));
    QVERIFY(environment.log("testservice").filter("update").isEmpty());
}

void TestBatch::attachDetach()
{
    HostTestEnvironment environment;
    const Run r = run(environment, "perform detach \"TestService/Test service\"\n"
                                   "show TestService\n");
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(findElement(r.report.value("tree").toArray(), "TestService")
                 .value("children")
                 .toArray()
                 .size(),
             1);
    const Run back = run(environment, "perform detach \"TestService/Test service\"\n"
                                      "perform attach TestService\n");
    QCOMPARE(back.exitCode, 0);
    const QJsonArray children =
        findElement(back.report.value("tree").toArray(), "TestService").value("children").toArray();
    QCOMPARE(children.size(), 2);
    QCOMPARE(children.at(1).toObject().value("title").toString(), QStringLiteral("Test service"));
    const Run none = run(environment, "perform attach TestSub\n");
    QCOMPARE(none.exitCode, 2);
    QVERIFY(none.report.value("error").toString().contains("supplement"));
}

void TestBatch::screenshot()
{
    HostTestEnvironment environment;
    QVERIFY(environment.writeConfig("testservice", "name=main\nmode=safe\nchoices=beta\n"));
    const QString file = environment.filePath("shot.png");
    const Run r = run(environment,
                      QStringLiteral("perform read-light TestRoot\n"
                                     "screenshot TestService %1\n")
                          .arg(file),
                      {"--title", "Test console"});
    QVERIFY2(r.exitCode == 0, r.err.constData());
    QImage picture(file);
    QVERIFY(!picture.isNull());
    QVERIFY(picture.width() >= 600 && picture.height() >= 400);
    // A real picture, not a blank area: many distinct colours.
    QSet<QRgb> colours;
    for (int y = 0; y < picture.height(); y += 3)
        for (int x = 0; x < picture.width(); x += 3)
            colours.insert(picture.pixel(x, y));
    QVERIFY2(colours.size() > 20, qPrintable(QString::number(colours.size())));
    const QJsonObject step = r.report.value("steps").toArray().at(1).toObject();
    QCOMPARE(step.value("file").toString(), file);

    const Run bad = run(environment, "screenshot TestService /nonexistent/dir/shot.png\n");
    QCOMPARE(bad.exitCode, 2);
}

void TestBatch::textReportAndScriptFile()
{
    HostTestEnvironment environment;
    const QString scriptFile = environment.filePath("steps.batch");
    QFile script(scriptFile);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("# read everything once\nperform read-light TestRoot\nshow TestSub\n");
    script.close();
    const Run r = run(environment, QString(), {"--batch", scriptFile}, false);
    QCOMPARE(r.exitCode, 0);
    const QString text = QString::fromLocal8Bit(r.out);
    for (const char *part : {"Plug-ins:", "[valid]   TestAlphaPlugin", "[invalid] TestGammaPlugin",
                             "Modules:", "Tree:", "  Test root [TestRoot] operations 0x10",
                             "Tasks:", "Widgets:", "show TestSub:", "_stateLabel",
                             "line 2: perform read-light TestRoot -- ok", "Exit code: 0"})
        QVERIFY2(text.contains(QLatin1String(part)), part);

    const Run missing = run(environment, QString(), {"--batch", "/nonexistent/steps"}, false);
    QCOMPARE(missing.exitCode, 2);
    QVERIFY(missing.err.contains("cannot read the script"));
}

QTEST_GUILESS_MAIN(TestBatch)
#include "tst_batch.moc"
