#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>
#include <QTemporaryDir>

/// What one run of the console in batch mode gave back.
struct ConsoleBatchResult
{
    /// The console started and ended on its own (no crash, no time-out).
    bool ran = false;
    /// The console's exit code; -1 when it did not run.
    int exitCode = -1;
    /// The JSON report; empty when the console did not run or printed no JSON document.
    QJsonObject report;
    /// Whether standard output parsed as a JSON document.
    bool reportParsed = false;
    /// Standard error, plus a note of what went wrong when the console did not run.
    QByteArray errors;

    /// Shorthands for the report's top-level arrays.
    QJsonArray tree() const { return report.value(QStringLiteral("tree")).toArray(); }
    QJsonArray tasks() const { return report.value(QStringLiteral("tasks")).toArray(); }
    QJsonArray widgets() const { return report.value(QStringLiteral("widgets")).toArray(); }
};

/**
 * Runs the console (`vell-admin-service --batch - --json`) on a script with only the chosen
 * plug-in libraries, linked into a temporary plug-in directory of its own, plus the JSON
 * walkers the batch tests share. The console's path comes from OXA_CONSOLE_FILE.
 */
class ConsoleBatch
{
public:
    /// Links @p pluginFiles (paths of plug-in libraries) into a fresh plug-in directory.
    explicit ConsoleBatch(const QStringList &pluginFiles);

    /// The plug-in directory exists and every library is linked into it.
    bool isValid() const { return m_error.isEmpty(); }
    /// Why isValid() is false.
    QString errorString() const { return m_error; }
    QString pluginDir() const { return m_plugins.path(); }

    /// Drops @p name from the console's environment (VELL_ADMIN_PLUGIN_PATH always is).
    void unsetEnvironment(const QString &name) { m_unset << name; }
    /// Gives the console's environment @p name with @p value (SUDO_USER, say).
    void setEnvironment(const QString &name, const QString &value) { m_set << name << value; }

    /// Starts the console through @p command (runuser -u USER --, say): the plug-in
    /// directory becomes readable by everybody.
    void setRunAs(const QStringList &command);
    /// Gives the console @p arguments after the batch options (--bridge COMMAND, say).
    void setArguments(const QStringList &arguments) { m_arguments = arguments; }

    /// Runs the console on @p script (one step a line); kills it after @p timeoutMs.
    ConsoleBatchResult run(const QByteArray &script, int timeoutMs = 120000) const;

    /// The element with @p id among @p elements, not below them.
    static QJsonObject childById(const QJsonArray &elements, const QString &id);
    /// The element with @p id anywhere in @p tree, depth first; @p parentId gets its
    /// parent's id (empty at the top).
    static QJsonObject elementById(const QJsonArray &tree, const QString &id,
                                   QString *parentId = nullptr);
    /// The first element with @p title anywhere in @p tree, depth first.
    static QJsonObject elementByTitle(const QJsonArray &tree, const QString &title);
    /// The ids of @p elements, in order.
    static QStringList ids(const QJsonArray &elements);

    /// The dump of the widget the step `show @p element` added, the first one.
    static QJsonObject widgetOf(const QJsonObject &report, const QString &element);
    /// The child widget named @p objectName anywhere below @p widget, depth first.
    static QJsonObject widgetChild(const QJsonObject &widget, const QString &objectName);

    /// The first cells of @p rows, children below their parent indented by two blanks more.
    static QStringList rowTexts(const QJsonArray &rows, const QString &indent = QString());
    /// The first cells of an item view's top-level rows.
    static QStringList firstCells(const QJsonObject &view);
    /// An item view's top-level rows as "first cell=second cell".
    static QStringList pairTexts(const QJsonObject &view);

    /// The last task with @p description in @p report (tasks are in the order they ended).
    static QJsonObject taskByDescription(const QJsonObject &report, const QString &description);
    /// The tasks of @p element in @p report, in the order they ended.
    static QList<QJsonObject> tasksOf(const QJsonObject &report, const QString &element);
    /// The descriptions of all tasks in @p report.
    static QStringList taskDescriptions(const QJsonObject &report);

private:
    QTemporaryDir m_plugins;
    QString m_error;
    QStringList m_unset;
    QStringList m_set; ///< name, value, name, value...
    QStringList m_runAs;
    QStringList m_arguments;
};
