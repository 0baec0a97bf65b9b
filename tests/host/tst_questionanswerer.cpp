#include "questionanswerer.h"

#include <QAbstractButton>
#include <QJsonArray>
#include <QJsonObject>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

/** Which button a batch answer presses, and answering a box that is open. */
class TestQuestionAnswerer : public QObject
{
    Q_OBJECT
private slots:
    void buttonFor_data();
    void buttonFor();
    void customRoles();
    void answersOpenQuestion_data();
    void answersOpenQuestion();
    void parseAnswer();
};

using Buttons = QMessageBox::StandardButtons;
Q_DECLARE_METATYPE(QuestionAnswerer::Answer)

void TestQuestionAnswerer::buttonFor_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<QuestionAnswerer::Answer>("answer");
    QTest::addColumn<int>("expected");
    const int ync = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    QTest::newRow("yes of yes/no/cancel") << ync << QuestionAnswerer::Yes << int(QMessageBox::Yes);
    QTest::newRow("no of yes/no/cancel") << ync << QuestionAnswerer::No << int(QMessageBox::No);
    QTest::newRow("cancel of yes/no/cancel")
        << ync << QuestionAnswerer::Cancel << int(QMessageBox::Cancel);
    const int okCancel = QMessageBox::Ok | QMessageBox::Cancel;
    QTest::newRow("yes of ok/cancel") << okCancel << QuestionAnswerer::Yes << int(QMessageBox::Ok);
    QTest::newRow("no of ok/cancel backs out")
        << okCancel << QuestionAnswerer::No << int(QMessageBox::Cancel);
    const int save = QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel;
    QTest::newRow("yes saves") << save << QuestionAnswerer::Yes << int(QMessageBox::Save);
    QTest::newRow("no discards") << save << QuestionAnswerer::No << int(QMessageBox::Discard);
    QTest::newRow("a notice is acknowledged whatever the answer")
        << int(QMessageBox::Ok) << QuestionAnswerer::Cancel << int(QMessageBox::Ok);
    const int yesNo = QMessageBox::Yes | QMessageBox::No;
    QTest::newRow("cancel of yes/no takes the way out")
        << yesNo << QuestionAnswerer::Cancel << int(QMessageBox::No);
}

void TestQuestionAnswerer::buttonFor()
{
    QFETCH(int, buttons);
    QFETCH(QuestionAnswerer::Answer, answer);
    QFETCH(int, expected);
    QMessageBox box(QMessageBox::Question, "Title", "Text", Buttons(buttons));
    QAbstractButton *button = QuestionAnswerer::buttonFor(&box, answer);
    QVERIFY(button);
    QCOMPARE(int(box.standardButton(button)), expected);
}

void TestQuestionAnswerer::customRoles()
{
    QMessageBox box;
    QPushButton *reload = box.addButton("Reload now", QMessageBox::YesRole);
    QPushButton *later = box.addButton("Later", QMessageBox::NoRole);
    QPushButton *never = box.addButton("Never mind", QMessageBox::RejectRole);
    QCOMPARE(QuestionAnswerer::buttonFor(&box, QuestionAnswerer::Yes), reload);
    QCOMPARE(QuestionAnswerer::buttonFor(&box, QuestionAnswerer::No), later);
    QCOMPARE(QuestionAnswerer::buttonFor(&box, QuestionAnswerer::Cancel), never);
}

void TestQuestionAnswerer::answersOpenQuestion_data()
{
    QTest::addColumn<QuestionAnswerer::Answer>("answer");
    QTest::addColumn<int>("result");
    QTest::newRow("yes") << QuestionAnswerer::Yes << int(QMessageBox::Yes);
    QTest::newRow("no") << QuestionAnswerer::No << int(QMessageBox::No);
    QTest::newRow("cancel") << QuestionAnswerer::Cancel << int(QMessageBox::Cancel);
}

void TestQuestionAnswerer::answersOpenQuestion()
{
    QFETCH(QuestionAnswerer::Answer, answer);
    QuestionAnswerer answerer;
    answerer.setAnswer(answer);
    answerer.start();
    // A plug-in's question in its own event loop, as widgets ask before applying.
    const int result =
        QMessageBox::question(nullptr, "Apply changes", "Reload Samba?",
                              QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    answerer.stop();
    QTEST(result, "result");
    const QJsonArray answered = answerer.takeAnswered();
    QCOMPARE(answered.size(), 1);
    QCOMPARE(answered.at(0).toObject().value("text").toString(), QStringLiteral("Reload Samba?"));
    QCOMPARE(answered.at(0).toObject().value("title").toString(), QStringLiteral("Apply changes"));
    QCOMPARE(answered.at(0).toObject().value("answer").toString(),
             QuestionAnswerer::answerName(answer));
    QVERIFY(answerer.takeAnswered().isEmpty());
    QVERIFY(!answerer.answerOpenQuestion()); // nothing open any more
}

void TestQuestionAnswerer::parseAnswer()
{
    QuestionAnswerer::Answer answer = QuestionAnswerer::Yes;
    QVERIFY(QuestionAnswerer::parseAnswer("cancel", &answer));
    QCOMPARE(answer, QuestionAnswerer::Cancel);
    QVERIFY(QuestionAnswerer::parseAnswer("no", &answer));
    QCOMPARE(answer, QuestionAnswerer::No);
    QVERIFY(!QuestionAnswerer::parseAnswer("Yes", &answer));
    QVERIFY(!QuestionAnswerer::parseAnswer(QString(), &answer));
    QCOMPARE(answer, QuestionAnswerer::No);
}

QTEST_MAIN(TestQuestionAnswerer)
#include "tst_questionanswerer.moc"
