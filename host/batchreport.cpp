#include "batchreport.h"

#include "consolehost.h"
#include "reporttext.h"
#include "widgetdumper.h"

#include <consoleregistry.h>
#include <element.h>
#include <elementdata.h>
#include <module.h>
#include <plugin.h>
#include <taskdescription.h>
#include <taskobserver.h>

#include <QJsonDocument>

QJsonArray BatchReport::plugins(const ConsoleHost *host)
{
    QJsonArray out;
    for (const PluginRecord &record : host->plugins()) {
        if (!record.plugin)
            continue;
        QJsonObject entry;
        entry.insert(QStringLiteral("file"), record.file);
        entry.insert(QStringLiteral("className"), record.className);
        entry.insert(QStringLiteral("type"), record.plugin->type());
        entry.insert(QStringLiteral("name"), record.plugin->name());
        entry.insert(QStringLiteral("description"), record.plugin->description());
        entry.insert(QStringLiteral("valid"), record.checked && record.valid);
        entry.insert(QStringLiteral("requiredPackageNames"),
                     QJsonArray::fromStringList(record.plugin->requiredPackageNames()));
        if (!record.checkError.isEmpty())
            entry.insert(QStringLiteral("checkError"), record.checkError);
        out.append(entry);
    }
    return out;
}

QJsonArray BatchReport::loadErrors(const ConsoleHost *host)
{
    QJsonArray out;
    for (const PluginLoadIssue &issue : host->issues()) {
        QJsonObject entry;
        entry.insert(QStringLiteral("file"), issue.file);
        entry.insert(QStringLiteral("message"), issue.message);
        out.append(entry);
    }
    return out;
}

QJsonArray BatchReport::modules(const ConsoleRegistry *registry)
{
    QJsonArray out;
    for (Module *module : registry->modules()) {
        QJsonObject entry;
        entry.insert(QStringLiteral("objectName"), module->objectName());
        entry.insert(QStringLiteral("parentModule"), module->parentModuleName());
        entry.insert(QStringLiteral("level"), module->level());
        entry.insert(QStringLiteral("data"), QJsonObject::fromVariantMap(module->moduleData()));
        out.append(entry);
    }
    return out;
}

QString BatchReport::operationsText(OperationTypes operations)
{
    return QStringLiteral("0x") + QString::number(operations, 16).toUpper();
}

QString BatchReport::operationNames(OperationTypes operations)
{
    QStringList names;
    for (OperationType type : allOperations()) {
        if (operations & OperationTypes(type))
            names.append(operationName(type));
    }
    return names.join(QLatin1Char(' '));
}

QJsonObject BatchReport::element(Element *element)
{
    QJsonObject entry;
    entry.insert(QStringLiteral("id"), element->id());
    entry.insert(QStringLiteral("type"), element->elementType());
    entry.insert(QStringLiteral("class"), QString::fromLatin1(element->metaObject()->className()));
    entry.insert(QStringLiteral("parentId"), element->parentId());
    entry.insert(QStringLiteral("level"), element->level());
    entry.insert(QStringLiteral("title"), element->title());
    entry.insert(QStringLiteral("caption"), element->caption());
    entry.insert(QStringLiteral("operations"), operationsText(element->offeredOperations()));
    QJsonValue data = QJsonValue::Null;
    if (ElementData *record = element->elementData()) {
        QJsonObject object;
        object.insert(QStringLiteral("name"), record->name());
        object.insert(QStringLiteral("properties"),
                      QJsonObject::fromVariantMap(record->properties()));
        const ServiceLightElementData *light = element->serviceData();
        object.insert(QStringLiteral("state"),
                      light ? QJsonValue(light->state()) : QJsonValue(QJsonValue::Null));
        object.insert(QStringLiteral("textState"),
                      light ? QJsonValue(light->textState()) : QJsonValue(QJsonValue::Null));
        data = object;
    }
    entry.insert(QStringLiteral("data"), data);
    QJsonArray children;
    for (TreeNode *node : element->childNodes()) {
        if (Element *child = qobject_cast<Element *>(node))
            children.append(BatchReport::element(child));
    }
    entry.insert(QStringLiteral("children"), children);
    return entry;
}

QJsonArray BatchReport::tree(const ConsoleRegistry *registry)
{
    QJsonArray out;
    for (TreeNode *node : registry->elementRoot()->childNodes()) {
        if (Element *element = qobject_cast<Element *>(node))
            out.append(BatchReport::element(element));
    }
    return out;
}

QJsonObject BatchReport::task(const TaskReport &report)
{
    QJsonObject entry;
    entry.insert(QStringLiteral("description"), report.description);
    entry.insert(QStringLiteral("status"), report.status);
    entry.insert(QStringLiteral("message"), report.message);
    entry.insert(QStringLiteral("element"), report.elementId);
    entry.insert(QStringLiteral("endedMs"), double(report.endedMs));
    return entry;
}

namespace {
/// One line of the text report; what tools printed and files held is in it, escaped.
QString line(int indent, const QString &text)
{
    return QString(indent, QLatin1Char(' ')) + ReportText::escaped(text) + QLatin1Char('\n');
}

void treeToText(const QJsonArray &elements, int indent, QString &out)
{
    for (const QJsonValue &value : elements) {
        const QJsonObject element = value.toObject();
        QString text = element.value(QStringLiteral("title")).toString();
        const QString id = element.value(QStringLiteral("id")).toString();
        if (!id.isEmpty())
            text += QStringLiteral(" [") + id + QLatin1Char(']');
        const OperationTypes ops =
            element.value(QStringLiteral("operations")).toString().mid(2).toULongLong(nullptr, 16);
        text += QStringLiteral(" operations ") +
                element.value(QStringLiteral("operations")).toString() + QStringLiteral(" (") +
                BatchReport::operationNames(ops) + QLatin1Char(')');
        const QJsonObject data = element.value(QStringLiteral("data")).toObject();
        const QString state = data.value(QStringLiteral("textState")).toString();
        if (!state.isEmpty())
            text += QStringLiteral(" state: ") + state;
        out += line(indent, text);
        treeToText(element.value(QStringLiteral("children")).toArray(), indent + 2, out);
    }
}
} // namespace

QJsonObject BatchReport::unconnected(const QString &host, const QString &error)
{
    QJsonObject report;
    report.insert(QStringLiteral("host"), host);
    report.insert(QStringLiteral("connected"), false);
    report.insert(QStringLiteral("error"), error);
    report.insert(QStringLiteral("exitCode"), 1);
    return report;
}

QString BatchReport::toText(const QJsonObject &report)
{
    QString out;
    if (report.contains(QStringLiteral("host"))) {
        const bool connected = report.value(QStringLiteral("connected")).toBool();
        out += line(0, QStringLiteral("Host: %1%2")
                           .arg(report.value(QStringLiteral("host")).toString(),
                                connected ? QString() : QStringLiteral(" (not connected)")));
        if (!connected) {
            out += line(0, QStringLiteral("Error: ") +
                               report.value(QStringLiteral("error")).toString());
            out += QStringLiteral("Exit code: %1\n")
                       .arg(report.value(QStringLiteral("exitCode")).toInt());
            return out;
        }
    }
    out += QStringLiteral("Plug-ins:\n");
    for (const QJsonValue &value : report.value(QStringLiteral("plugins")).toArray()) {
        const QJsonObject plugin = value.toObject();
        QStringList packages;
        for (const QJsonValue &p : plugin.value(QStringLiteral("requiredPackageNames")).toArray())
            packages.append(p.toString());
        out += line(2, QStringLiteral("%1 %2 (type %3, %4): %5%6")
                           .arg(plugin.value(QStringLiteral("valid")).toBool()
                                    ? QStringLiteral("[valid]  ")
                                    : QStringLiteral("[invalid]"),
                                plugin.value(QStringLiteral("name")).toString())
                           .arg(plugin.value(QStringLiteral("type")).toInt())
                           .arg(plugin.value(QStringLiteral("file")).toString(),
                                plugin.value(QStringLiteral("description")).toString(),
                                packages.isEmpty() ? QString()
                                                   : QStringLiteral("; packages: ") +
                                                         packages.join(QStringLiteral(", "))));
    }
    const QJsonArray errors = report.value(QStringLiteral("loadErrors")).toArray();
    if (!errors.isEmpty()) {
        out += QStringLiteral("Skipped libraries:\n");
        for (const QJsonValue &value : errors) {
            const QJsonObject error = value.toObject();
            out += line(2, error.value(QStringLiteral("file")).toString() + QStringLiteral(": ") +
                               error.value(QStringLiteral("message")).toString());
        }
    }
    out += QStringLiteral("Modules:\n");
    for (const QJsonValue &value : report.value(QStringLiteral("modules")).toArray()) {
        const QJsonObject module = value.toObject();
        const QString parent = module.value(QStringLiteral("parentModule")).toString();
        out +=
            line(2, QStringLiteral("%1 (level %2%3)")
                        .arg(module.value(QStringLiteral("objectName")).toString())
                        .arg(module.value(QStringLiteral("level")).toInt())
                        .arg(parent.isEmpty() ? QString() : QStringLiteral(", under ") + parent));
    }
    out += QStringLiteral("Tree:\n");
    treeToText(report.value(QStringLiteral("tree")).toArray(), 2, out);
    out += QStringLiteral("Tasks:\n");
    for (const QJsonValue &value : report.value(QStringLiteral("tasks")).toArray()) {
        const QJsonObject task = value.toObject();
        QString message = task.value(QStringLiteral("message")).toString();
        message.replace(QLatin1Char('\n'), QStringLiteral(" / "));
        out += line(
            2,
            QStringLiteral("%1 ms  %2  %3: %4%5")
                .arg(qint64(task.value(QStringLiteral("endedMs")).toDouble()), 6)
                .arg(TaskDescription::statusName(task.value(QStringLiteral("status")).toInt()), -9)
                .arg(task.value(QStringLiteral("element")).toString(),
                     task.value(QStringLiteral("description")).toString(),
                     message.isEmpty() ? QString() : QStringLiteral(" -- ") + message));
    }
    const QJsonArray widgets = report.value(QStringLiteral("widgets")).toArray();
    if (!widgets.isEmpty()) {
        out += QStringLiteral("Widgets:\n");
        for (const QJsonValue &value : widgets) {
            const QJsonObject widget = value.toObject();
            out +=
                line(2, QStringLiteral("show ") +
                            widget.value(QStringLiteral("element")).toString() + QLatin1Char(':'));
            out += WidgetDumper::toText(widget, 4);
        }
    }
    out += QStringLiteral("Steps:\n");
    for (const QJsonValue &value : report.value(QStringLiteral("steps")).toArray()) {
        const QJsonObject step = value.toObject();
        QString text = QStringLiteral("line %1: %2 -- %3")
                           .arg(step.value(QStringLiteral("line")).toInt())
                           .arg(step.value(QStringLiteral("step")).toString(),
                                step.value(QStringLiteral("result")).toString());
        if (step.contains(QStringLiteral("error")))
            text += QStringLiteral(": ") + step.value(QStringLiteral("error")).toString();
        out += line(2, text);
        for (const QJsonValue &q : step.value(QStringLiteral("questions")).toArray()) {
            const QJsonObject question = q.toObject();
            out += line(4, QStringLiteral("question \"%1\": answered %2 (%3)")
                               .arg(question.value(QStringLiteral("text")).toString(),
                                    question.value(QStringLiteral("answer")).toString(),
                                    question.value(QStringLiteral("button")).toString()));
        }
    }
    const QString error = report.value(QStringLiteral("error")).toString();
    if (!error.isEmpty())
        out += line(0, QStringLiteral("Error: ") + error);
    out += QStringLiteral("Exit code: %1\n").arg(report.value(QStringLiteral("exitCode")).toInt());
    return out;
}
