#include "batchscript.h"

#include "questionanswerer.h"

#include <oxaglobal.h>

#include <QCoreApplication>

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("BatchScript", text);
}

bool parseFields(const QStringList &words, int from, BatchStep *step, QString *error)
{
    for (int i = from; i < words.size(); ++i) {
        const QString &word = words.at(i);
        const int eq = word.indexOf(QLatin1Char('='));
        if (eq <= 0) {
            *error = tr("\"%1\" is not of the form field=value").arg(word);
            return false;
        }
        step->fields.append({word.left(eq), word.mid(eq + 1)});
    }
    return true;
}
} // namespace

bool BatchScript::splitWords(const QString &line, QStringList *words, QString *error)
{
    words->clear();
    QString word;
    bool inWord = false;
    bool quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == QLatin1Char('\\') && i + 1 < line.size()) {
            word += line.at(++i);
            inWord = true;
        } else if (c == QLatin1Char('"')) {
            quoted = !quoted;
            inWord = true;
        } else if (c.isSpace() && !quoted) {
            if (inWord)
                words->append(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quoted) {
        *error = tr("unterminated quote");
        return false;
    }
    if (inWord)
        words->append(word);
    return true;
}

bool BatchScript::parseStep(const QStringList &words, BatchStep *step, QString *error)
{
    if (words.isEmpty()) {
        *error = tr("empty step");
        return false;
    }
    step->command = words.first();
    step->words = words.mid(1);
    step->fields.clear();
    const QString &command = step->command;
    const int count = step->words.size();
    if (command == QLatin1String("perform")) {
        if (count != 2) {
            *error = tr("usage: perform <operation> <element>");
            return false;
        }
        if (operationFromName(step->words.at(0)) == OperationNone) {
            *error = tr("unknown operation \"%1\"").arg(step->words.at(0));
            return false;
        }
        return true;
    }
    // A boot change is the operation of that name on one element.
    if (command == QLatin1String("enable-at-boot") || command == QLatin1String("disable-at-boot")) {
        if (count != 1) {
            *error = tr("usage: %1 <element>").arg(command);
            return false;
        }
        step->words.prepend(command);
        step->command = QStringLiteral("perform");
        return true;
    }
    if (command == QLatin1String("create") || command == QLatin1String("set")) {
        if (count < 1) {
            *error = command == QLatin1String("create")
                         ? tr("usage: create <container> <field>=<value>...")
                         : tr("usage: set <element> <field>=<value>...");
            return false;
        }
        return parseFields(step->words, 1, step, error);
    }
    if (command == QLatin1String("apply")) {
        QuestionAnswerer::Answer answer;
        if (count < 1 || count > 2) {
            *error = tr("usage: apply <element> [yes|no|cancel]");
            return false;
        }
        if (count == 2 && !QuestionAnswerer::parseAnswer(step->words.at(1), &answer)) {
            *error = tr("the answer must be yes, no or cancel, not \"%1\"").arg(step->words.at(1));
            return false;
        }
        return true;
    }
    if (command == QLatin1String("show")) {
        if (count != 1) {
            *error = tr("usage: show <element>");
            return false;
        }
        return true;
    }
    if (command == QLatin1String("screenshot")) {
        if (count != 2) {
            *error = tr("usage: screenshot <element> <file.png>");
            return false;
        }
        return true;
    }
    *error = tr("unknown step \"%1\"").arg(command);
    return false;
}

bool BatchScript::parse(const QString &text)
{
    m_steps.clear();
    m_errorLine = 0;
    m_error.clear();
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        QStringList words;
        QString error;
        BatchStep step;
        step.line = i + 1;
        step.text = line;
        if (!splitWords(line, &words, &error) || !parseStep(words, &step, &error)) {
            m_steps.clear();
            m_errorLine = i + 1;
            m_error = error;
            return false;
        }
        m_steps.append(step);
    }
    return true;
}
