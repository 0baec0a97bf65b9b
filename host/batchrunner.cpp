#include "batchrunner.h"

#include "batchreport.h"
#include "consolehost.h"
#include "createdialog.h"
#include "mainwindow.h"
#include "questionanswerer.h"
#include "widgetdumper.h"

#include <childprocess.h>
#include <choicetreenodeproxymodel.h>
#include <choicewidget.h>
#include <consoleregistry.h>
#include <element.h>
#include <module.h>
#include <taskdescription.h>
#include <vieweditelementwidget.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTextEdit>
#include <QTimer>

#include <cstdio>

namespace {
/// Runs what is queued now (deferred attaches, queued task ends) and what that queues.
void letQueuedEventsRun()
{
    for (int round = 0; round < 2; ++round) {
        QEventLoop loop;
        QTimer::singleShot(0, &loop, &QEventLoop::quit);
        loop.exec();
    }
}
} // namespace

BatchRunner::BatchRunner(ConsoleHost *host, MainWindow *window, QObject *parent)
    : QObject(parent), m_host(host), m_window(window), m_answerer(new QuestionAnswerer(this))
{
    connect(TaskObserver::instance(), &TaskObserver::taskFinished, this,
            &BatchRunner::onTaskFinished);
}

BatchRunner::~BatchRunner() = default;

void BatchRunner::onTaskFinished(const TaskReport &report)
{
    m_tasks.append(report);
}

bool BatchRunner::waitForTasks()
{
    TaskObserver *observer = TaskObserver::instance();
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        letQueuedEventsRun();
        if (observer->isIdle())
            return true;
        const qint64 left = stepTimeoutMs() - clock.elapsed();
        if (left <= 0)
            return false;
        observer->waitForIdle(int(left));
    }
}

qint64 BatchRunner::stepTimeoutMs() const
{
    // A change is waited for up to its limit, then left running: the step's own limit must
    // not cut that wait short, nor the reads that follow it.
    return qint64(m_stepTimeoutMs) + ChildProcess::changeLimitMs();
}

void BatchRunner::fail(const QString &message)
{
    m_badScript = true;
    m_error = message;
}

int BatchRunner::exitCode() const
{
    if (m_badScript)
        return ExitBadScript;
    // A change left running may yet fail: not knowing is no success.
    for (const TaskReport &task : m_tasks) {
        if (task.status == TaskDescription::TaskStatusFailed ||
            task.status == TaskDescription::TaskStatusUnknown)
            return ExitTaskFailed;
    }
    return ExitSuccess;
}

int BatchRunner::runFile(const QString &fileName)
{
    QFile file;
    bool opened;
    if (fileName == QLatin1String("-")) {
        opened = file.open(stdin, QIODevice::ReadOnly);
    } else {
        file.setFileName(fileName);
        opened = file.open(QIODevice::ReadOnly);
    }
    if (!opened) {
        fail(tr("cannot read the script %1: %2").arg(fileName, file.errorString()));
        return exitCode();
    }
    const QByteArray bytes = file.readAll();
    return run(QString::fromLocal8Bit(bytes));
}

int BatchRunner::run(const QString &script)
{
    BatchScript parsed;
    if (!parsed.parse(script)) {
        fail(tr("line %1: %2").arg(parsed.errorLine()).arg(parsed.errorString()));
        return exitCode();
    }
    if (m_badScript)
        return exitCode();
    // The first step does not wait for what the build started (the supplements' reads, which
    // yield to the state reads a step asks for, as in the window): those tasks end during the
    // steps, or are waited for at the end, and belong to the report either way.
    for (const BatchStep &step : parsed.steps()) {
        QJsonObject record;
        record.insert(QStringLiteral("line"), step.line);
        record.insert(QStringLiteral("step"), step.text);
        const int tasksBefore = m_tasks.size();
        QString error;
        m_answerer->setAnswer(QuestionAnswerer::Yes);
        m_answerer->start();
        const bool ok = runStep(step, &record, &error);
        m_answerer->stop();
        const QJsonArray questions = m_answerer->takeAnswered();
        if (!questions.isEmpty())
            record.insert(QStringLiteral("questions"), questions);
        record.insert(QStringLiteral("tasks"), m_tasks.size() - tasksBefore);
        record.insert(QStringLiteral("result"),
                      ok ? QStringLiteral("ok") : QStringLiteral("error"));
        if (!ok) {
            record.insert(QStringLiteral("error"), error);
            m_steps.append(record);
            // A bad step leaves the console in a state the rest of the script did not expect.
            fail(tr("line %1: %2").arg(step.line).arg(error));
            break;
        }
        m_steps.append(record);
    }
    waitForTasks();
    return exitCode();
}

bool BatchRunner::runStep(const BatchStep &step, QJsonObject *record, QString *error)
{
    bool ok = false;
    if (step.command == QLatin1String("perform"))
        ok = stepPerform(step, error);
    else if (step.command == QLatin1String("create"))
        ok = stepCreate(step, error);
    else if (step.command == QLatin1String("set"))
        ok = stepSet(step, error);
    else if (step.command == QLatin1String("apply"))
        ok = stepApply(step, error);
    else if (step.command == QLatin1String("show"))
        ok = stepShow(step, error);
    else if (step.command == QLatin1String("screenshot"))
        ok = stepScreenshot(step, record, error);
    else
        *error = tr("unknown step \"%1\"").arg(step.command);
    if (ok && !waitForTasks()) {
        *error = tr("tasks still running after %1 s").arg(stepTimeoutMs() / 1000);
        return false;
    }
    return ok;
}

Element *BatchRunner::resolve(const QString &selector, QString *error) const
{
    ConsoleRegistry *registry = m_host->registry();
    Element *element = registry->resolve(selector);
    if (element)
        return element;
    // Say why an element the plug-ins do have is not there to be named.
    const QString last = selector.section(QLatin1Char('/'), -1);
    for (Element *hidden : registry->hiddenElements()) {
        const QString name = hidden->id().isEmpty() ? hidden->title() : hidden->id();
        if (name == last) {
            *error = tr("unknown element \"%1\": it is not shown, since its parent element "
                        "\"%2\" does not exist")
                         .arg(selector, hidden->parentId());
            return nullptr;
        }
    }
    *error = tr("unknown element \"%1\"").arg(selector);
    return nullptr;
}

bool BatchRunner::stepPerform(const BatchStep &step, QString *error)
{
    const OperationType operation = operationFromName(step.words.at(0));
    Element *element = resolve(step.words.at(1), error);
    if (!element)
        return false;
    ConsoleRegistry *registry = m_host->registry();
    if (registry->performOperation(element, operation))
        return true;
    // Attach and detach belong to the supplement modules, not to the element's own offer.
    if (operation == OperationAttach || operation == OperationDetach) {
        bool routed = false;
        for (Module *module : registry->modules()) {
            auto *supplement = qobject_cast<SupplementModule *>(module);
            if (!supplement || !supplement->workModule())
                continue;
            if (operation == OperationAttach &&
                (supplement->parentElementId() == element->id() ||
                 supplement->parentElementId() == element->elementType())) {
                supplement->attach(element);
                routed = true;
            } else if (operation == OperationDetach &&
                       supplement->attachedElements().contains(element)) {
                supplement->workModule()->performOperation(element, OperationDetach, nullptr, 0);
                routed = true;
                break; // the element may be gone now
            }
        }
        if (routed)
            return true;
        *error = tr("no supplement module can %1 \"%2\"").arg(step.words.at(0), step.words.at(1));
        return false;
    }
    *error = tr("\"%1\" does not offer %2 now (it offers: %3)")
                 .arg(step.words.at(1), step.words.at(0),
                      BatchReport::operationNames(element->offeredOperations()));
    return false;
}

bool BatchRunner::fillField(QWidget *form, const QString &name, const QString &value,
                            QString *error)
{
    if (!form) {
        *error = tr("no form to fill");
        return false;
    }
    const QList<QWidget *> named = form->findChildren<QWidget *>(name);
    for (QWidget *widget : named) {
        const bool editor =
            qobject_cast<QLineEdit *>(widget) || qobject_cast<QComboBox *>(widget) ||
            qobject_cast<QAbstractButton *>(widget) || qobject_cast<QAbstractSpinBox *>(widget) ||
            qobject_cast<QPlainTextEdit *>(widget) || qobject_cast<QTextEdit *>(widget);
        if (!editor)
            continue;
        if (!widget->isEnabled()) {
            *error = tr("the field \"%1\" is disabled").arg(name);
            return false;
        }
        if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
            if (edit->isReadOnly()) {
                *error = tr("the field \"%1\" is read-only").arg(name);
                return false;
            }
            // As typed: the editing signals fire and the validator has its say.
            edit->selectAll();
            edit->del();
            edit->insert(value);
            if (edit->text() != value) {
                *error = tr("the field \"%1\" does not take \"%2\"").arg(name, value);
                return false;
            }
            return true;
        }
        if (auto *combo = qobject_cast<QComboBox *>(widget)) {
            const int index = combo->findText(value);
            if (index < 0 && !combo->isEditable()) {
                QStringList items;
                for (int i = 0; i < combo->count(); ++i)
                    items.append(combo->itemText(i));
                *error = tr("the field \"%1\" has no item \"%2\" (items: %3)")
                             .arg(name, value, items.join(QStringLiteral(", ")));
                return false;
            }
            if (index >= 0) {
                combo->setCurrentIndex(index);
                // What a user's choice would also tell.
                emit combo->activated(index);
                emit combo->textActivated(combo->itemText(index));
            } else {
                combo->setEditText(value);
            }
            return true;
        }
        if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
            if (!button->isCheckable()) {
                *error = tr("the field \"%1\" is a button, not a field").arg(name);
                return false;
            }
            const bool on = value == QLatin1String("on");
            if (!on && value != QLatin1String("off")) {
                *error = tr("the field \"%1\" takes on or off, not \"%2\"").arg(name, value);
                return false;
            }
            if (button->isChecked() != on)
                button->click();
            return true;
        }
        if (auto *spin = qobject_cast<QSpinBox *>(widget)) {
            bool ok = false;
            const int number = value.toInt(&ok);
            if (!ok || number < spin->minimum() || number > spin->maximum()) {
                *error = tr("the field \"%1\" takes a number from %2 to %3, not \"%4\"")
                             .arg(name, QString::number(spin->minimum()),
                                  QString::number(spin->maximum()), value);
                return false;
            }
            spin->setValue(number);
            return true;
        }
        if (auto *plain = qobject_cast<QPlainTextEdit *>(widget)) {
            if (plain->isReadOnly()) {
                *error = tr("the field \"%1\" is read-only").arg(name);
                return false;
            }
            plain->setPlainText(value);
            return true;
        }
        if (auto *rich = qobject_cast<QTextEdit *>(widget)) {
            if (rich->isReadOnly()) {
                *error = tr("the field \"%1\" is read-only").arg(name);
                return false;
            }
            rich->setPlainText(value);
            return true;
        }
    }
    // A row of a choice list, by name.
    for (ChoiceWidget *choice : form->findChildren<ChoiceWidget *>()) {
        ChoiceTreeNodeProxyModel *model = choice->choiceModel();
        if (!model || !model->findName(name).isValid())
            continue;
        const bool on = value == QLatin1String("on");
        if (!on && value != QLatin1String("off")) {
            *error = tr("the choice \"%1\" takes on or off, not \"%2\"").arg(name, value);
            return false;
        }
        if (!choice->isEnabled()) {
            *error = tr("the choice \"%1\" is disabled").arg(name);
            return false;
        }
        if (!model->setNameChecked(name, on)) {
            *error = tr("the choice \"%1\" cannot be changed").arg(name);
            return false;
        }
        return true;
    }
    *error = tr("no field \"%1\" in %2").arg(name, form->objectName());
    return false;
}

bool BatchRunner::stepCreate(const BatchStep &step, QString *error)
{
    Element *container = resolve(step.words.at(0), error);
    if (!container)
        return false;
    if (!container->isOperationAvailable(OperationCreate)) {
        *error = tr("\"%1\" does not offer create now").arg(step.words.at(0));
        return false;
    }
    ViewEditElementWidget *widget = container->elementWidget(ElementWidgetRoleCreate);
    if (!widget) {
        *error = tr("\"%1\" has no creation form").arg(step.words.at(0));
        return false;
    }
    // The same dialog as the GUI's, never shown; it gives the widget back when it goes.
    CreateDialog dialog(container, widget, m_window);
    for (const auto &field : step.fields) {
        if (!fillField(dialog.widget(), field.first, field.second, error))
            return false;
    }
    if (!dialog.isCreateEnabled()) {
        *error =
            tr("the creation form of \"%1\" is not complete or not valid").arg(step.words.at(0));
        return false;
    }
    dialog.create();
    return true;
}

bool BatchRunner::showInWindow(Element *element, QString *error)
{
    if (!m_window) {
        *error = tr("no window");
        return false;
    }
    if (m_window->currentElement() == element)
        return true;
    if (!m_window->selectElement(element)) {
        *error = tr("\"%1\" is not shown in the tree").arg(element->caption());
        return false;
    }
    if (!waitForTasks()) {
        *error = tr("tasks still running after %1 s").arg(stepTimeoutMs() / 1000);
        return false;
    }
    // The reads may have replaced the element (a content read): it must still be shown.
    if (m_window->currentElement() != element) {
        *error = tr("the element went away while it was read");
        return false;
    }
    return true;
}

bool BatchRunner::stepSet(const BatchStep &step, QString *error)
{
    Element *element = resolve(step.words.at(0), error);
    if (!element || !showInWindow(element, error))
        return false;
    if (!m_window->isEditing() && !m_window->editCurrent()) {
        *error =
            m_window->currentWidget()
                ? tr("\"%1\" cannot be edited (it does not offer update now)").arg(step.words.at(0))
                : tr("\"%1\" has no widget to edit").arg(step.words.at(0));
        return false;
    }
    for (const auto &field : step.fields) {
        if (!fillField(m_window->currentWidget(), field.first, field.second, error))
            return false;
    }
    return true;
}

bool BatchRunner::stepApply(const BatchStep &step, QString *error)
{
    Element *element = resolve(step.words.at(0), error);
    if (!element)
        return false;
    if (!m_window || m_window->currentElement() != element || !m_window->isEditing()) {
        *error = tr("\"%1\" is not being edited (set comes first)").arg(step.words.at(0));
        return false;
    }
    if (!m_window->currentWidget()->isContentValid()) {
        *error = tr("the changes to \"%1\" are not valid").arg(step.words.at(0));
        return false;
    }
    QuestionAnswerer::Answer answer = QuestionAnswerer::Yes;
    if (step.words.size() > 1)
        QuestionAnswerer::parseAnswer(step.words.at(1), &answer);
    m_answerer->setAnswer(answer);
    m_window->applyCurrent();
    return true;
}

bool BatchRunner::stepShow(const BatchStep &step, QString *error)
{
    Element *element = resolve(step.words.at(0), error);
    if (!element)
        return false;
    const bool wasCurrent = m_window && m_window->currentElement() == element;
    if (!showInWindow(element, error))
        return false;
    // Shown already: read again as a new selection would, unless edits would be lost.
    if (wasCurrent && !m_window->isEditing()) {
        m_window->readElement(element, false);
        if (!waitForTasks()) {
            *error = tr("tasks still running after %1 s").arg(stepTimeoutMs() / 1000);
            return false;
        }
    }
    QJsonObject dump;
    if (ViewEditElementWidget *widget = m_window->currentWidget()) {
        dump = WidgetDumper::dump(widget);
    } else {
        dump.insert(QStringLiteral("class"), QString());
        dump.insert(QStringLiteral("objectName"), QString());
        dump.insert(QStringLiteral("windowTitle"), QString());
        dump.insert(QStringLiteral("children"), QJsonArray());
    }
    dump.insert(QStringLiteral("element"), step.words.at(0));
    m_widgets.append(dump);
    return true;
}

bool BatchRunner::stepScreenshot(const BatchStep &step, QJsonObject *record, QString *error)
{
    Element *element = resolve(step.words.at(0), error);
    if (!element)
        return false;
    if (!m_window) {
        *error = tr("no window");
        return false;
    }
    if (!m_window->isVisible()) {
        m_window->show();
        letQueuedEventsRun();
    }
    if (!showInWindow(element, error))
        return false;
    letQueuedEventsRun();
    const QPixmap picture = m_window->grab();
    const QString file = step.words.at(1);
    if (picture.isNull() || !picture.save(file, "PNG")) {
        *error = tr("cannot write the picture to %1").arg(file);
        return false;
    }
    record->insert(QStringLiteral("file"), QFileInfo(file).absoluteFilePath());
    return true;
}

QJsonObject BatchRunner::report() const
{
    QJsonObject report;
    if (!m_hostName.isEmpty()) {
        report.insert(QStringLiteral("host"), m_hostName);
        report.insert(QStringLiteral("connected"), true);
    }
    report.insert(QStringLiteral("plugins"), BatchReport::plugins(m_host));
    report.insert(QStringLiteral("loadErrors"), BatchReport::loadErrors(m_host));
    report.insert(QStringLiteral("modules"), BatchReport::modules(m_host->registry()));
    report.insert(QStringLiteral("tree"), BatchReport::tree(m_host->registry()));
    QJsonArray tasks;
    for (const TaskReport &task : m_tasks)
        tasks.append(BatchReport::task(task));
    report.insert(QStringLiteral("tasks"), tasks);
    report.insert(QStringLiteral("widgets"), m_widgets);
    report.insert(QStringLiteral("steps"), m_steps);
    QStringList errors;
    for (const QString &error : {m_connectionNotice, m_error}) {
        if (!error.isEmpty())
            errors.append(error);
    }
    if (!errors.isEmpty())
        report.insert(QStringLiteral("error"), errors.join(QLatin1Char('\n')));
    report.insert(QStringLiteral("exitCode"), exitCode());
    return report;
}

QString BatchRunner::textReport() const
{
    return BatchReport::toText(report());
}
