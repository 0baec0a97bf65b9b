#pragma once

#include <QJsonArray>
#include <QObject>

class QMessageBox;
class QTimer;

/**
 * Answers the questions that pop up while a batch step runs: it watches for a modal message
 * box (or other dialog) and presses the button that matches the step's answer (yes, no or
 * cancel), recording each question and what it pressed.
 */
class QuestionAnswerer : public QObject
{
    Q_OBJECT
public:
    enum Answer
    {
        Yes,
        No,
        Cancel
    };

    explicit QuestionAnswerer(QObject *parent = nullptr);

    /// "yes", "no" or "cancel"; false for anything else.
    static bool parseAnswer(const QString &word, Answer *answer);
    static QString answerName(Answer answer);

    void setAnswer(Answer answer) { m_answer = answer; }
    Answer answer() const { return m_answer; }

    /// Watches (every few milliseconds, also inside the dialogs' own event loops) until stop().
    void start();
    void stop();
    /// Looks once: answers the topmost open question, if any; true when it pressed something.
    bool answerOpenQuestion();

    /// The questions answered since the last takeAnswered(): {title, text, answer, button}.
    QJsonArray takeAnswered();

    /// The button of @p box that @p answer presses (a lone button whatever the answer).
    static class QAbstractButton *buttonFor(QMessageBox *box, Answer answer);

private:
    QTimer *m_timer;
    Answer m_answer = Yes;
    QJsonArray m_answered;
};
