#include "widgetdumper.h"

#include "reporttext.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace {
QString className(const QObject *object)
{
    return QString::fromLatin1(object->metaObject()->className());
}

/// Widgets whose inner widgets are their own business (scroll bars, viewports, popups).
bool isLeaf(const QWidget *widget)
{
    return qobject_cast<const QAbstractScrollArea *>(widget) ||
           qobject_cast<const QComboBox *>(widget) ||
           qobject_cast<const QAbstractSpinBox *>(widget) ||
           qobject_cast<const QLineEdit *>(widget) || qobject_cast<const QAbstractButton *>(widget);
}

QJsonValue checkedValue(const QAbstractItemModel *model, const QModelIndex &first)
{
    const int columns = model->columnCount(first.parent());
    for (int column = 0; column < columns; ++column) {
        const QVariant state =
            model->index(first.row(), column, first.parent()).data(Qt::CheckStateRole);
        if (state.isValid())
            return state.toInt() == Qt::Checked;
    }
    return QJsonValue::Null;
}
} // namespace

QJsonObject WidgetDumper::dump(QWidget *widget)
{
    QJsonObject object;
    if (!widget)
        return object;
    object.insert(QStringLiteral("class"), className(widget));
    object.insert(QStringLiteral("objectName"), widget->objectName());
    object.insert(QStringLiteral("windowTitle"), widget->windowTitle());
    object.insert(QStringLiteral("enabled"), widget->isEnabled());
    object.insert(QStringLiteral("children"), dumpChildren(widget));
    return object;
}

QJsonArray WidgetDumper::dumpChildren(QWidget *widget)
{
    QJsonArray children;
    for (QObject *child : widget->children()) {
        auto *childWidget = qobject_cast<QWidget *>(child);
        // Windows of their own (dialogs, menus) and Qt's private parts are not content.
        if (!childWidget || childWidget->isWindow() ||
            childWidget->objectName().startsWith(QLatin1String("qt_")))
            continue;
        children.append(dumpChild(childWidget));
    }
    return children;
}

QJsonObject WidgetDumper::dumpChild(QWidget *widget)
{
    QJsonObject object;
    object.insert(QStringLiteral("objectName"), widget->objectName());
    object.insert(QStringLiteral("class"), className(widget));
    object.insert(QStringLiteral("enabled"), widget->isEnabled());
    object.insert(QStringLiteral("visible"), !widget->isHidden());

    if (auto *label = qobject_cast<QLabel *>(widget)) {
        object.insert(QStringLiteral("text"), label->text());
    } else if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
        object.insert(QStringLiteral("text"), edit->text());
    } else if (auto *plain = qobject_cast<QPlainTextEdit *>(widget)) {
        object.insert(QStringLiteral("text"), plain->toPlainText());
    } else if (auto *rich = qobject_cast<QTextEdit *>(widget)) {
        object.insert(QStringLiteral("text"), rich->toPlainText());
        object.insert(QStringLiteral("html"), rich->toHtml());
    } else if (auto *combo = qobject_cast<QComboBox *>(widget)) {
        object.insert(QStringLiteral("currentText"), combo->currentText());
        QJsonArray items;
        for (int i = 0; i < combo->count(); ++i)
            items.append(combo->itemText(i));
        object.insert(QStringLiteral("items"), items);
    } else if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
        object.insert(QStringLiteral("text"), button->text());
        if (button->isCheckable())
            object.insert(QStringLiteral("checked"), button->isChecked());
    }
    if (auto *group = qobject_cast<QGroupBox *>(widget)) {
        object.insert(QStringLiteral("title"), group->title());
        if (group->isCheckable())
            object.insert(QStringLiteral("checked"), group->isChecked());
    }
    if (auto *view = qobject_cast<QAbstractItemView *>(widget)) {
        const QAbstractItemModel *model = view->model();
        QJsonArray headers;
        if (model) {
            for (int column = 0; column < model->columnCount(view->rootIndex()); ++column)
                headers.append(model->headerData(column, Qt::Horizontal).toString());
        }
        object.insert(QStringLiteral("headers"), headers);
        object.insert(QStringLiteral("rows"),
                      model ? dumpRows(model, view->rootIndex()) : QJsonArray());
    }
    if (!isLeaf(widget)) {
        const QJsonArray children = dumpChildren(widget);
        if (!children.isEmpty())
            object.insert(QStringLiteral("children"), children);
    }
    return object;
}

QJsonArray WidgetDumper::dumpRows(const QAbstractItemModel *model, const QModelIndex &parent)
{
    QJsonArray rows;
    const int rowCount = model->rowCount(parent);
    const int columns = model->columnCount(parent);
    for (int row = 0; row < rowCount; ++row) {
        const QModelIndex first = model->index(row, 0, parent);
        QJsonArray cells;
        for (int column = 0; column < columns; ++column)
            cells.append(model->index(row, column, parent).data(Qt::DisplayRole).toString());
        QJsonObject entry;
        entry.insert(QStringLiteral("cells"), cells);
        entry.insert(QStringLiteral("checked"), checkedValue(model, first));
        entry.insert(QStringLiteral("enabled"), bool(model->flags(first) & Qt::ItemIsEnabled));
        entry.insert(QStringLiteral("children"), dumpRows(model, first));
        rows.append(entry);
    }
    return rows;
}

namespace {
QString quoted(const QString &text)
{
    QString out = text;
    out.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    out.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    out.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + out + QLatin1Char('"');
}

void rowsToText(const QJsonArray &rows, int indent, QString &out)
{
    for (const QJsonValue &value : rows) {
        const QJsonObject row = value.toObject();
        QStringList cells;
        for (const QJsonValue &cell : row.value(QStringLiteral("cells")).toArray())
            cells.append(cell.toString());
        QString mark;
        const QJsonValue checked = row.value(QStringLiteral("checked"));
        if (checked.isBool())
            mark = checked.toBool() ? QStringLiteral("[x] ") : QStringLiteral("[ ] ");
        out += QString(indent, QLatin1Char(' ')) + QStringLiteral("- ") + mark +
               ReportText::escaped(cells.join(QStringLiteral(" | ")));
        if (!row.value(QStringLiteral("enabled")).toBool(true))
            out += QStringLiteral(" (disabled)");
        out += QLatin1Char('\n');
        rowsToText(row.value(QStringLiteral("children")).toArray(), indent + 2, out);
    }
}
} // namespace

QString WidgetDumper::toText(const QJsonObject &dump, int indent)
{
    // What widgets show came from tools and files: every part is escaped before it is printed.
    QString out;
    const QString pad(indent, QLatin1Char(' '));
    out += dump.value(QStringLiteral("class")).toString();
    const QString name = dump.value(QStringLiteral("objectName")).toString();
    if (!name.isEmpty())
        out += QLatin1Char(' ') + name;
    if (dump.contains(QStringLiteral("windowTitle")))
        out += QStringLiteral(" title=") +
               quoted(dump.value(QStringLiteral("windowTitle")).toString());
    if (!dump.value(QStringLiteral("enabled")).toBool(true))
        out += QStringLiteral(" (disabled)");
    if (!dump.value(QStringLiteral("visible")).toBool(true))
        out += QStringLiteral(" (hidden)");
    QStringList blocks;
    for (const char *key : {"title", "text", "currentText"}) {
        const QString k = QString::fromLatin1(key);
        if (!dump.contains(k))
            continue;
        const QString value = dump.value(k).toString();
        // Several lines read better as an indented block below the widget's line.
        if (value.count(QLatin1Char('\n')) > 1)
            blocks.append(value);
        else
            out += QLatin1Char(' ') + k + QLatin1Char('=') + quoted(value);
    }
    if (dump.contains(QStringLiteral("checked")))
        out += dump.value(QStringLiteral("checked")).toBool() ? QStringLiteral(" [x]")
                                                              : QStringLiteral(" [ ]");
    if (dump.contains(QStringLiteral("items"))) {
        QStringList items;
        for (const QJsonValue &item : dump.value(QStringLiteral("items")).toArray())
            items.append(item.toString());
        out += QStringLiteral(" items=[") + items.join(QStringLiteral(", ")) + QLatin1Char(']');
    }
    out = pad + ReportText::escaped(out) + QLatin1Char('\n');
    for (const QString &block : std::as_const(blocks)) {
        for (const QString &line : block.split(QLatin1Char('\n')))
            out += pad + QStringLiteral("  | ") + ReportText::escaped(line) + QLatin1Char('\n');
    }
    if (dump.contains(QStringLiteral("headers"))) {
        QStringList headers;
        for (const QJsonValue &header : dump.value(QStringLiteral("headers")).toArray())
            headers.append(header.toString());
        out += pad + QStringLiteral("  headers: ") +
               ReportText::escaped(headers.join(QStringLiteral(" | "))) + QLatin1Char('\n');
        rowsToText(dump.value(QStringLiteral("rows")).toArray(), indent + 2, out);
    }
    for (const QJsonValue &child : dump.value(QStringLiteral("children")).toArray())
        out += toText(child.toObject(), indent + 2);
    return out;
}
