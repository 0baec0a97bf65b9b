#pragma once

#include "servicelog.h"

#include <vieweditelementwidget.h>

#include <QVector>

#include <memory>

class QLineEdit;
class QPlainTextEdit;

/**
 * Shows a service's log as read-only plain text, errors and warnings marked by a word and a
 * colour, with a filter field that narrows the lines shown as it is typed.
 */
class ServiceLogElementWidget : public ViewEditElementWidget
{
    Q_OBJECT
public:
    explicit ServiceLogElementWidget(Module *module, QWidget *parent = nullptr);
    ~ServiceLogElementWidget() override;

    /// Acts only for its own element in the viewing role: shows the read's lines.
    void afterSuccessfulRead(Element *element, ElementData *data) override;
    void reset() override;

    QPlainTextEdit *logTextEdit() const;
    QLineEdit *filterLineEdit() const;

private:
    void showLines();

    struct Form;
    std::unique_ptr<Form> m_form;
    QVector<ServiceLog::Line> m_lines;
};
