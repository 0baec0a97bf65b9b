#include "batchscript.h"

#include <oxaglobal.h>

#include <QTest>

/** The batch language: words, steps and the script as a whole. */
class TestBatchScript : public QObject
{
    Q_OBJECT
private slots:
    void splitWords_data();
    void splitWords();
    void goodSteps_data();
    void goodSteps();
    void badSteps_data();
    void badSteps();
    void script();
    void badScriptRunsNothing();
};

void TestBatchScript::splitWords_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("words");
    QTest::newRow("blanks and tabs")
        << "perform \t start  ServiceSamba" << QStringList{"perform", "start", "ServiceSamba"};
    QTest::newRow("quoted value") << R"(set X name="two words")"
                                  << QStringList{"set", "X", "name=two words"};
    QTest::newRow("quoted empty word") << R"(set X name="")" << QStringList{"set", "X", "name="};
    QTest::newRow("escaped quote and blank")
        << R"(set X a=\"b\ c)" << QStringList{"set", "X", "a=\"b c"};
    QTest::newRow("selector with slash")
        << "show ServiceSamba/Samba" << QStringList{"show", "ServiceSamba/Samba"};
}

void TestBatchScript::splitWords()
{
    QFETCH(QString, line);
    QStringList words;
    QString error;
    QVERIFY2(BatchScript::splitWords(line, &words, &error), qPrintable(error));
    QTEST(words, "words");
}

void TestBatchScript::goodSteps_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("fieldCount");
    QTest::newRow("perform") << "perform read-heavy TestService"
                             << "perform" << 0;
    QTest::newRow("perform clear-cache") << "perform clear-cache X"
                                         << "perform" << 0;
    QTest::newRow("create") << "create TestContainer _nameEdit=one _kindCombo=fancy"
                            << "create" << 2;
    QTest::newRow("set without fields") << "set TestService"
                                        << "set" << 0;
    QTest::newRow("set value with =") << "set TestService _nameEdit=a=b"
                                      << "set" << 1;
    QTest::newRow("apply") << "apply TestService"
                           << "apply" << 0;
    QTest::newRow("apply no") << "apply TestService no"
                              << "apply" << 0;
    QTest::newRow("show") << "show TestContainer/one"
                          << "show" << 0;
    QTest::newRow("screenshot") << "screenshot TestService /tmp/a.png"
                                << "screenshot" << 0;
    QTest::newRow("perform disable-at-boot") << "perform disable-at-boot X"
                                             << "perform" << 0;
    QTest::newRow("enable-at-boot as a step") << "enable-at-boot ServiceSamba"
                                              << "perform" << 0;
    QTest::newRow("disable-at-boot as a step") << "disable-at-boot \"main-15\""
                                               << "perform" << 0;
}

void TestBatchScript::goodSteps()
{
    QFETCH(QString, line);
    QStringList words;
    QString error;
    QVERIFY(BatchScript::splitWords(line, &words, &error));
    BatchStep step;
    QVERIFY2(BatchScript::parseStep(words, &step, &error), qPrintable(error));
    QTEST(step.command, "command");
    QTEST(int(step.fields.size()), "fieldCount");
    // A perform step, however written, names a known operation and one element.
    if (step.command == QLatin1String("perform")) {
        QCOMPARE(step.words.size(), 2);
        QVERIFY(operationFromName(step.words.first()) != OperationNone);
        QCOMPARE(step.words.last(), words.last());
    }
}

void TestBatchScript::badSteps_data()
{
    QTest::addColumn<QString>("line");
    QTest::newRow("unknown command") << "launch X";
    QTest::newRow("unknown operation") << "perform explode X";
    QTest::newRow("perform without element") << "perform start";
    QTest::newRow("perform with extra word") << "perform start X Y";
    QTest::newRow("create without container") << "create";
    QTest::newRow("field without =") << "set X name";
    QTest::newRow("field without name") << "create X =value";
    QTest::newRow("apply with bad answer") << "apply X maybe";
    QTest::newRow("apply with two answers") << "apply X yes no";
    QTest::newRow("show two elements") << "show X Y";
    QTest::newRow("screenshot without file") << "screenshot X";
    QTest::newRow("enable-at-boot without element") << "enable-at-boot";
    QTest::newRow("disable-at-boot of two elements") << "disable-at-boot X Y";
    QTest::newRow("unterminated quote") << R"(set X a="b)";
}

void TestBatchScript::badSteps()
{
    QFETCH(QString, line);
    BatchScript script;
    QVERIFY(!script.parse(line));
    QCOMPARE(script.errorLine(), 1);
    QVERIFY(!script.errorString().isEmpty());
}

void TestBatchScript::script()
{
    BatchScript script;
    QVERIFY(script.parse(QStringLiteral("# a comment\n\n  perform read-light TestRoot  \n"
                                        "\t# indented comment\nshow TestService\r\n")));
    const QList<BatchStep> steps = script.steps();
    QCOMPARE(steps.size(), 2);
    QCOMPARE(steps.at(0).line, 3);
    QCOMPARE(steps.at(0).text, QStringLiteral("perform read-light TestRoot"));
    QCOMPARE(steps.at(0).words, (QStringList{"read-light", "TestRoot"}));
    QCOMPARE(steps.at(1).line, 5);
    QCOMPARE(steps.at(1).words, QStringList{"TestService"});
}

void TestBatchScript::badScriptRunsNothing()
{
    BatchScript script;
    QVERIFY(!script.parse(QStringLiteral("show A\nshow B\nperform nothing C\nshow D\n")));
    QCOMPARE(script.errorLine(), 3);
    QVERIFY(script.steps().isEmpty());
}

QTEST_GUILESS_MAIN(TestBatchScript)
#include "tst_batchscript.moc"
