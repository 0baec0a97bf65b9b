#pragma once

#include <QJsonArray>
#include <QJsonObject>

class QAbstractItemModel;
class QModelIndex;
class QWidget;

/**
 * Describes a widget and its child widgets as JSON for the batch report: object names,
 * classes, enabled state and what each shows (texts, combo box items, group box titles, the
 * rows of item views with their check marks).
 */
class WidgetDumper
{
public:
    /// The top widget: class, objectName, windowTitle and children.
    static QJsonObject dump(QWidget *widget);
    /// One child widget with its content and, for containers, its own children.
    static QJsonObject dumpChild(QWidget *widget);
    /// The rows below @p parent, as the view shows them.
    static QJsonArray dumpRows(const QAbstractItemModel *model, const QModelIndex &parent);
    /// A readable, indented rendering of a dump for the text report.
    static QString toText(const QJsonObject &dump, int indent = 0);

private:
    static QJsonArray dumpChildren(QWidget *widget);
};
