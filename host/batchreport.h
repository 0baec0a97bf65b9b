#pragma once

#include <oxaglobal.h>

#include <QJsonArray>
#include <QJsonObject>

class ConsoleHost;
class ConsoleRegistry;
class Element;
struct TaskReport;

/**
 * The parts of the batch report that describe the console (plug-ins, skipped libraries,
 * modules, the element tree, ended tasks) as JSON, and the text form of a whole report.
 */
class BatchReport
{
public:
    static QJsonArray plugins(const ConsoleHost *host);
    static QJsonArray loadErrors(const ConsoleHost *host);
    static QJsonArray modules(const ConsoleRegistry *registry);
    /// The shown elements, nested as in the tree.
    static QJsonArray tree(const ConsoleRegistry *registry);
    static QJsonObject element(Element *element);
    static QJsonObject task(const TaskReport &report);
    /// An operation set as the report writes it, e.g. "0x6030".
    static QString operationsText(OperationTypes operations);
    /// The names of the operations in @p operations ("read-light read-heavy ...").
    static QString operationNames(OperationTypes operations);

    /**
     * The whole report of a run whose remote host @p host could not be reached: the host,
     * "connected": false, the @p error and exit code 1 (a failed task); no tree.
     */
    static QJsonObject unconnected(const QString &host, const QString &error);

    /// The report in readable text, from its JSON form; a remote host's name first.
    static QString toText(const QJsonObject &report);
};
