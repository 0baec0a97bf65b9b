#include "servicelogelementwidget.h"

#include "servicelogheavyelementdata.h"

#include <element.h>
#include <elementdata.h>
#include <module.h>

#include <QFontDatabase>
#include <QGridLayout>
#include <QLineEdit>
#include <QList>
#include <QPlainTextEdit>
#include <QTextBlock>

struct ServiceLogElementWidget::Form
{
    QGridLayout *gridLayout = nullptr;
    QLineEdit *filterLineEdit = nullptr;
    QPlainTextEdit *logTextEdit = nullptr;
};

ServiceLogElementWidget::ServiceLogElementWidget(Module *module, QWidget *parent)
    : ViewEditElementWidget(module, Module::isAdministratorHierarchy, parent),
      m_form(std::make_unique<Form>())
{
    setElementType(QStringLiteral("ServiceLog"));
    setSecondElementType(ContextOperation::allElementType);
    setNumber(997);

    if (objectName().isEmpty())
        setObjectName(QStringLiteral("ServiceLogElementWidget"));
    resize(400, 300);
    m_form->gridLayout = new QGridLayout(this);
    m_form->gridLayout->setObjectName(QStringLiteral("gridLayout"));
    m_form->filterLineEdit = new QLineEdit(this);
    m_form->filterLineEdit->setObjectName(QStringLiteral("_filterLineEdit"));
    m_form->filterLineEdit->setPlaceholderText(tr("Filter"));
    m_form->filterLineEdit->setClearButtonEnabled(true);
    m_form->gridLayout->addWidget(m_form->filterLineEdit, 0, 0, 1, 1);
    m_form->logTextEdit = new QPlainTextEdit(this);
    m_form->logTextEdit->setObjectName(QStringLiteral("_logTextEdit"));
    m_form->logTextEdit->setReadOnly(true);
    m_form->logTextEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_form->logTextEdit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_form->gridLayout->addWidget(m_form->logTextEdit, 1, 0, 1, 1);
    setWindowTitle(tr("Log"));
    // Filtering is viewing, not editing: it works whether or not the widget is blocked.
    connect(m_form->filterLineEdit, &QLineEdit::textChanged, this,
            &ServiceLogElementWidget::showLines);
}

ServiceLogElementWidget::~ServiceLogElementWidget() = default;

QPlainTextEdit *ServiceLogElementWidget::logTextEdit() const
{
    return m_form->logTextEdit;
}

QLineEdit *ServiceLogElementWidget::filterLineEdit() const
{
    return m_form->filterLineEdit;
}

void ServiceLogElementWidget::afterSuccessfulRead(Element *element, ElementData *data)
{
    if (!element || element != this->element() || role() != ElementWidgetRoleView || !data)
        return;
    if (!dynamic_cast<ServiceLightElementData *>(data))
        return;
    if (!isBlocked())
        blockEditWidget(true);
    if (const auto *log = dynamic_cast<ServiceLogHeavyElementData *>(data)) {
        m_lines = log->lines();
        showLines();
    }
    ViewEditElementWidget::afterSuccessfulRead(element, data);
}

void ServiceLogElementWidget::reset()
{
    m_lines.clear();
    m_form->logTextEdit->clear();
    ViewEditElementWidget::reset();
}

void ServiceLogElementWidget::showLines()
{
    const QString filter = m_form->filterLineEdit->text();
    QPlainTextEdit *view = m_form->logTextEdit;
    view->setPlainText(ServiceLog::text(m_lines, filter));
    // Errors and warnings stand out; their word in the text says the same without colour.
    QList<QTextEdit::ExtraSelection> marks;
    QTextBlock block = view->document()->firstBlock();
    for (const ServiceLog::Line &line : std::as_const(m_lines)) {
        if (!ServiceLog::matches(line, filter))
            continue;
        QColor colour;
        if (line.mark == ServiceLog::Mark::Error)
            colour = QColor(255, 210, 210);
        else if (line.mark == ServiceLog::Mark::Warning)
            colour = QColor(255, 240, 190);
        if (colour.isValid() && block.isValid()) {
            QTextEdit::ExtraSelection mark;
            mark.cursor = QTextCursor(block);
            mark.cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
            mark.format.setBackground(colour);
            mark.format.setForeground(QColor(Qt::black));
            mark.format.setProperty(QTextFormat::FullWidthSelection, true);
            marks.append(mark);
        }
        block = block.next();
    }
    view->setExtraSelections(marks);
    // Newest last: the newest lines are what is looked for first.
    view->moveCursor(QTextCursor::End);
}
