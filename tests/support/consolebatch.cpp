#include "consolebatch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonValue>
#include <QProcess>
#include <QProcessEnvironment>

namespace {

const QString childrenKey = QStringLiteral("children");

QJsonObject findElement(const QJsonArray &elements, const QString &key, const QString &value,
                        QString *parentId, const QString &parent)
{
    for (const QJsonValue &item : elements) {
        const QJsonObject element = item.toObject();
        if (element.value(key).toString() == value) {
            if (parentId)
                *parentId = parent;
            return element;
        }
        const QJsonObject found =
            findElement(element.value(childrenKey).toArray(), key, value, parentId,
                        element.value(QStringLiteral("id")).toString());
        if (!found.isEmpty())
            return found;
    }
    return QJsonObject();
}

QString cell(const QJsonObject &row, int column)
{
    return row.value(QStringLiteral("cells")).toArray().at(column).toString();
}

} // namespace

ConsoleBatch::ConsoleBatch(const QStringList &pluginFiles)
{
    // Only these libraries: the build's directory also holds every other plug-in.
    if (!m_plugins.isValid()) {
        m_error = QStringLiteral("no temporary plug-in directory: ") + m_plugins.errorString();
        return;
    }
    for (const QString &path : pluginFiles) {
        if (!QFile::link(path, m_plugins.filePath(QFileInfo(path).fileName()))) {
            m_error = QStringLiteral("cannot link the plug-in ") + path;
            return;
        }
    }
}

void ConsoleBatch::setRunAs(const QStringList &command)
{
    m_runAs = command;
    QFile::setPermissions(m_plugins.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                                QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                                QFileDevice::ExeOther);
}

ConsoleBatchResult ConsoleBatch::run(const QByteArray &script, int timeoutMs) const
{
    ConsoleBatchResult result;
    QProcess console;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.remove(QStringLiteral("VELL_ADMIN_PLUGIN_PATH"));
    for (const QString &name : m_unset)
        environment.remove(name);
    for (int i = 0; i + 1 < m_set.size(); i += 2)
        environment.insert(m_set.at(i), m_set.at(i + 1));
    console.setProcessEnvironment(environment);
    QStringList command = m_runAs;
    command << QStringLiteral(OXA_CONSOLE_FILE) << QStringLiteral("--plugin-dir")
            << m_plugins.path() << QStringLiteral("--batch") << QStringLiteral("-")
            << QStringLiteral("--json") << m_arguments;
    console.start(command.takeFirst(), command);
    if (!console.waitForStarted()) {
        result.errors = "the console did not start: " + console.errorString().toLocal8Bit();
        return result;
    }
    console.write(script);
    console.closeWriteChannel();
    if (!console.waitForFinished(timeoutMs)) {
        console.kill();
        console.waitForFinished();
        result.errors = console.readAllStandardError() + "\nthe console did not finish";
        return result;
    }
    result.errors = console.readAllStandardError();
    if (console.exitStatus() != QProcess::NormalExit) {
        result.errors += "\nthe console crashed";
        return result;
    }
    result.ran = true;
    result.exitCode = console.exitCode();
    QJsonParseError parseError;
    const QByteArray output = console.readAllStandardOutput();
    result.report = QJsonDocument::fromJson(output, &parseError).object();
    result.reportParsed = parseError.error == QJsonParseError::NoError;
    if (!result.reportParsed)
        result.errors += "\nthe report is no JSON document: " + output;
    return result;
}

QJsonObject ConsoleBatch::childById(const QJsonArray &elements, const QString &id)
{
    for (const QJsonValue &value : elements) {
        if (value.toObject().value(QStringLiteral("id")).toString() == id)
            return value.toObject();
    }
    return QJsonObject();
}

QJsonObject ConsoleBatch::elementById(const QJsonArray &tree, const QString &id, QString *parentId)
{
    return findElement(tree, QStringLiteral("id"), id, parentId, QString());
}

QJsonObject ConsoleBatch::elementByTitle(const QJsonArray &tree, const QString &title)
{
    return findElement(tree, QStringLiteral("title"), title, nullptr, QString());
}

QStringList ConsoleBatch::ids(const QJsonArray &elements)
{
    QStringList list;
    for (const QJsonValue &value : elements)
        list << value.toObject().value(QStringLiteral("id")).toString();
    return list;
}

QJsonObject ConsoleBatch::widgetOf(const QJsonObject &report, const QString &element)
{
    for (const QJsonValue &value : report.value(QStringLiteral("widgets")).toArray()) {
        if (value.toObject().value(QStringLiteral("element")).toString() == element)
            return value.toObject();
    }
    return QJsonObject();
}

QJsonObject ConsoleBatch::widgetChild(const QJsonObject &widget, const QString &objectName)
{
    for (const QJsonValue &value : widget.value(childrenKey).toArray()) {
        const QJsonObject child = value.toObject();
        if (child.value(QStringLiteral("objectName")).toString() == objectName)
            return child;
        const QJsonObject below = widgetChild(child, objectName);
        if (!below.isEmpty())
            return below;
    }
    return QJsonObject();
}

QStringList ConsoleBatch::rowTexts(const QJsonArray &rows, const QString &indent)
{
    QStringList texts;
    for (const QJsonValue &value : rows) {
        const QJsonObject row = value.toObject();
        texts << indent + cell(row, 0);
        texts << rowTexts(row.value(childrenKey).toArray(), indent + QStringLiteral("  "));
    }
    return texts;
}

QStringList ConsoleBatch::firstCells(const QJsonObject &view)
{
    QStringList cells;
    for (const QJsonValue &row : view.value(QStringLiteral("rows")).toArray())
        cells << cell(row.toObject(), 0);
    return cells;
}

QStringList ConsoleBatch::pairTexts(const QJsonObject &view)
{
    QStringList texts;
    for (const QJsonValue &row : view.value(QStringLiteral("rows")).toArray())
        texts << cell(row.toObject(), 0) + QLatin1Char('=') + cell(row.toObject(), 1);
    return texts;
}

QJsonObject ConsoleBatch::taskByDescription(const QJsonObject &report, const QString &description)
{
    QJsonObject found;
    for (const QJsonValue &value : report.value(QStringLiteral("tasks")).toArray()) {
        if (value.toObject().value(QStringLiteral("description")).toString() == description)
            found = value.toObject();
    }
    return found;
}

QList<QJsonObject> ConsoleBatch::tasksOf(const QJsonObject &report, const QString &element)
{
    QList<QJsonObject> tasks;
    for (const QJsonValue &value : report.value(QStringLiteral("tasks")).toArray()) {
        if (value.toObject().value(QStringLiteral("element")).toString() == element)
            tasks << value.toObject();
    }
    return tasks;
}

QStringList ConsoleBatch::taskDescriptions(const QJsonObject &report)
{
    QStringList descriptions;
    for (const QJsonValue &value : report.value(QStringLiteral("tasks")).toArray())
        descriptions << value.toObject().value(QStringLiteral("description")).toString();
    return descriptions;
}
