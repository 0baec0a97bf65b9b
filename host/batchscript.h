#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

/** One line of a batch script: the command and its words, already checked for their form. */
struct BatchStep
{
    int line = 0;
    QString text;      ///< the line as written, trimmed
    /// perform, create, set, apply, show or screenshot ("enable-at-boot E" and
    /// "disable-at-boot E" are read as "perform enable-at-boot E" and so on)
    QString command;
    QStringList words; ///< the words after the command
    /// create and set: the field=value pairs, in order.
    QList<QPair<QString, QString>> fields;
};

/**
 * A batch script: one step a line; blank lines and lines starting with # are skipped. Words
 * are separated by blanks; double quotes keep blanks in a word and a backslash escapes the
 * next character, so `name="two words"` is one word.
 */
class BatchScript
{
public:
    /// Parses the whole script; false (with errorLine() and errorString()) at the first bad
    /// line. Nothing runs from a script that does not parse.
    bool parse(const QString &text);

    QList<BatchStep> steps() const { return m_steps; }
    int errorLine() const { return m_errorLine; }
    QString errorString() const { return m_error; }

    /// Splits @p line into words; false with @p error for an unterminated quote.
    static bool splitWords(const QString &line, QStringList *words, QString *error);
    /// Checks one line's words; false with @p error when the step is malformed.
    static bool parseStep(const QStringList &words, BatchStep *step, QString *error);

private:
    QList<BatchStep> m_steps;
    int m_errorLine = 0;
    QString m_error;
};
