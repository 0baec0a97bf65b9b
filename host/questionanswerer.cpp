#include "questionanswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QJsonObject>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

QuestionAnswerer::QuestionAnswerer(QObject *parent) : QObject(parent), m_timer(new QTimer(this))
{
    // Not a zero interval: that would spin while a task runs.
    m_timer->setInterval(10);
    connect(m_timer, &QTimer::timeout, this, [this] { answerOpenQuestion(); });
}

bool QuestionAnswerer::parseAnswer(const QString &word, Answer *answer)
{
    if (word == QLatin1String("yes"))
        *answer = Yes;
    else if (word == QLatin1String("no"))
        *answer = No;
    else if (word == QLatin1String("cancel"))
        *answer = Cancel;
    else
        return false;
    return true;
}

QString QuestionAnswerer::answerName(Answer answer)
{
    switch (answer) {
    case Yes:
        return QStringLiteral("yes");
    case No:
        return QStringLiteral("no");
    case Cancel:
        break;
    }
    return QStringLiteral("cancel");
}

void QuestionAnswerer::start()
{
    m_timer->start();
}

void QuestionAnswerer::stop()
{
    m_timer->stop();
}

QAbstractButton *QuestionAnswerer::buttonFor(QMessageBox *box, Answer answer)
{
    const QList<QAbstractButton *> buttons = box->buttons();
    if (buttons.size() == 1)
        return buttons.first(); // a notice: acknowledging it is the only answer
    QList<QMessageBox::StandardButton> standard;
    QList<QMessageBox::ButtonRole> roles;
    switch (answer) {
    case Yes:
        standard = {QMessageBox::Yes,   QMessageBox::YesToAll, QMessageBox::Ok,
                    QMessageBox::Apply, QMessageBox::Save,     QMessageBox::Retry};
        roles = {QMessageBox::YesRole, QMessageBox::AcceptRole, QMessageBox::ApplyRole};
        break;
    case No:
        standard = {QMessageBox::No, QMessageBox::NoToAll, QMessageBox::Discard};
        roles = {QMessageBox::NoRole, QMessageBox::DestructiveRole};
        break;
    case Cancel:
        standard = {QMessageBox::Cancel, QMessageBox::Abort, QMessageBox::Close};
        roles = {QMessageBox::RejectRole};
        break;
    }
    for (QMessageBox::StandardButton which : std::as_const(standard)) {
        if (QAbstractButton *button = box->button(which))
            return button;
    }
    for (QMessageBox::ButtonRole role : std::as_const(roles)) {
        for (QAbstractButton *button : buttons) {
            if (box->buttonRole(button) == role)
                return button;
        }
    }
    // A question without that answer (no "No" on an Ok/Cancel box): back out of it, the way
    // Escape would (the box picks its escape button only once it is shown).
    if (answer != Yes) {
        if (QAbstractButton *escape = box->escapeButton())
            return escape;
        for (QMessageBox::ButtonRole role : {QMessageBox::RejectRole, QMessageBox::NoRole}) {
            for (QAbstractButton *button : buttons) {
                if (box->buttonRole(button) == role)
                    return button;
            }
        }
    }
    return nullptr;
}

bool QuestionAnswerer::answerOpenQuestion()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal) {
        // A box opened with open() is window-modal and may not be the active one yet.
        for (QWidget *top : QApplication::topLevelWidgets()) {
            if (top->isVisible() && qobject_cast<QDialog *>(top) && top->isModal()) {
                modal = top;
                break;
            }
        }
    }
    if (!modal)
        return false;
    QJsonObject record;
    record.insert(QStringLiteral("title"), modal->windowTitle());
    record.insert(QStringLiteral("answer"), answerName(m_answer));
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        record.insert(QStringLiteral("text"), box->text());
        QAbstractButton *button = buttonFor(box, m_answer);
        record.insert(QStringLiteral("button"), button ? button->text().remove(QLatin1Char('&'))
                                                       : QStringLiteral("(closed)"));
        m_answered.append(record);
        if (button)
            button->click();
        else
            box->reject();
        return true;
    }
    if (auto *dialog = qobject_cast<QDialog *>(modal)) {
        // A dialog of a plug-in's own: nobody can fill it in here, so it is backed out of.
        record.insert(QStringLiteral("text"), QString());
        record.insert(QStringLiteral("button"), QStringLiteral("(closed)"));
        m_answered.append(record);
        dialog->reject();
        return true;
    }
    return false;
}

QJsonArray QuestionAnswerer::takeAnswered()
{
    const QJsonArray answered = m_answered;
    m_answered = QJsonArray();
    return answered;
}
