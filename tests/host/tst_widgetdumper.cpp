#include "batchreport.h"
#include "reporttext.h"
#include "widgetdumper.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStandardItemModel>
#include <QTest>
#include <QTextEdit>
#include <QTreeView>
#include <QVBoxLayout>

/** The widget dumps of the batch report. */
class TestWidgetDumper : public QObject
{
    Q_OBJECT
private slots:
    void contentKeys();
    void nesting();
    void itemRows();
    void text();
    void escapes_data();
    void escapes();
    void reportTextIsEscaped();
};

namespace {
QJsonObject childNamed(const QJsonArray &children, const QString &name)
{
    for (const QJsonValue &value : children) {
        const QJsonObject child = value.toObject();
        if (child.value(QStringLiteral("objectName")).toString() == name)
            return child;
        const QJsonObject below =
            childNamed(child.value(QStringLiteral("children")).toArray(), name);
        if (!below.isEmpty())
            return below;
    }
    return QJsonObject();
}
} // namespace

void TestWidgetDumper::contentKeys()
{
    QWidget top;
    top.setObjectName(QStringLiteral("TopWidget"));
    top.setWindowTitle(QStringLiteral("Top"));
    auto *layout = new QVBoxLayout(&top);
    auto *label = new QLabel(QStringLiteral("running"), &top);
    label->setObjectName(QStringLiteral("_stateLabel"));
    auto *edit = new QLineEdit(QStringLiteral("main"), &top);
    edit->setObjectName(QStringLiteral("_nameEdit"));
    edit->setEnabled(false);
    auto *plain = new QPlainTextEdit(QStringLiteral("[global]\nworkgroup = X"), &top);
    plain->setObjectName(QStringLiteral("_configPlainEdit"));
    auto *rich = new QTextEdit(&top);
    rich->setObjectName(QStringLiteral("_reportEdit"));
    rich->setHtml(QStringLiteral("<b>bold</b> text"));
    auto *combo = new QComboBox(&top);
    combo->setObjectName(QStringLiteral("_modeCombo"));
    combo->addItems({QStringLiteral("fast"), QStringLiteral("safe")});
    combo->setCurrentIndex(1);
    auto *check = new QCheckBox(QStringLiteral("Enabled"), &top);
    check->setObjectName(QStringLiteral("_enabledCheck"));
    check->setChecked(true);
    for (QWidget *w : top.findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        layout->addWidget(w);

    const QJsonObject dump = WidgetDumper::dump(&top);
    QCOMPARE(dump.value("class").toString(), QStringLiteral("QWidget"));
    QCOMPARE(dump.value("objectName").toString(), QStringLiteral("TopWidget"));
    QCOMPARE(dump.value("windowTitle").toString(), QStringLiteral("Top"));
    const QJsonArray children = dump.value("children").toArray();
    QCOMPARE(children.size(), 6); // in creation order, nothing of Qt's own

    QCOMPARE(childNamed(children, "_stateLabel").value("text").toString(),
             QStringLiteral("running"));
    const QJsonObject editDump = childNamed(children, "_nameEdit");
    QCOMPARE(editDump.value("class").toString(), QStringLiteral("QLineEdit"));
    QCOMPARE(editDump.value("text").toString(), QStringLiteral("main"));
    QCOMPARE(editDump.value("enabled").toBool(), false);
    QVERIFY(!editDump.contains("children")); // a line edit's inner parts are not content
    QCOMPARE(childNamed(children, "_configPlainEdit").value("text").toString(),
             QStringLiteral("[global]\nworkgroup = X"));
    const QJsonObject richDump = childNamed(children, "_reportEdit");
    QCOMPARE(richDump.value("text").toString(), QStringLiteral("bold text"));
    QVERIFY(richDump.value("html").toString().contains(QLatin1String("font-weight")));
    const QJsonObject comboDump = childNamed(children, "_modeCombo");
    QCOMPARE(comboDump.value("currentText").toString(), QStringLiteral("safe"));
    QCOMPARE(comboDump.value("items").toArray(), (QJsonArray{"fast", "safe"}));
    QCOMPARE(childNamed(children, "_enabledCheck").value("checked").toBool(), true);
}

void TestWidgetDumper::nesting()
{
    QWidget top;
    auto *group = new QGroupBox(QStringLiteral("Configuration"), &top);
    group->setObjectName(QStringLiteral("_confGroupBox"));
    auto *inner = new QLabel(QStringLiteral("inside"), group);
    inner->setObjectName(QStringLiteral("_innerLabel"));
    auto *hidden = new QLabel(QStringLiteral("not shown"), &top);
    hidden->setObjectName(QStringLiteral("_hiddenLabel"));
    hidden->hide();

    const QJsonArray children = WidgetDumper::dump(&top).value("children").toArray();
    QCOMPARE(children.size(), 2);
    const QJsonObject groupDump = children.at(0).toObject();
    QCOMPARE(groupDump.value("title").toString(), QStringLiteral("Configuration"));
    const QJsonArray groupChildren = groupDump.value("children").toArray();
    QCOMPARE(groupChildren.size(), 1);
    QCOMPARE(groupChildren.at(0).toObject().value("text").toString(), QStringLiteral("inside"));
    QCOMPARE(children.at(1).toObject().value("visible").toBool(), false);
}

void TestWidgetDumper::itemRows()
{
    QStandardItemModel model;
    model.setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Value")});
    auto *checked = new QStandardItem(QStringLiteral("alpha"));
    checked->setCheckable(true);
    checked->setCheckState(Qt::Checked);
    auto *unchecked = new QStandardItem(QStringLiteral("beta"));
    unchecked->setCheckable(true);
    unchecked->setCheckState(Qt::Unchecked);
    unchecked->setEnabled(false);
    auto *plain = new QStandardItem(QStringLiteral("section"));
    plain->appendRow(
        {new QStandardItem(QStringLiteral("key")), new QStandardItem(QStringLiteral("value"))});
    model.appendRow({checked, new QStandardItem(QStringLiteral("1"))});
    model.appendRow({unchecked, new QStandardItem(QStringLiteral("2"))});
    model.appendRow(plain);
    QTreeView view;
    view.setObjectName(QStringLiteral("_confTreeView"));
    view.setModel(&model);

    const QJsonObject dump = WidgetDumper::dumpChild(&view);
    QCOMPARE(dump.value("headers").toArray(), (QJsonArray{"Name", "Value"}));
    const QJsonArray rows = dump.value("rows").toArray();
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows.at(0).toObject().value("cells").toArray(), (QJsonArray{"alpha", "1"}));
    QCOMPARE(rows.at(0).toObject().value("checked").toBool(), true);
    QCOMPARE(rows.at(0).toObject().value("enabled").toBool(), true);
    QCOMPARE(rows.at(1).toObject().value("checked").toBool(false), false);
    QVERIFY(rows.at(1).toObject().value("checked").isBool());
    QCOMPARE(rows.at(1).toObject().value("enabled").toBool(), false);
    QVERIFY(rows.at(2).toObject().value("checked").isNull());
    const QJsonArray below = rows.at(2).toObject().value("children").toArray();
    QCOMPARE(below.size(), 1);
    QCOMPARE(below.at(0).toObject().value("cells").toArray(), (QJsonArray{"key", "value"}));
    QVERIFY(!dump.contains("children")); // no viewport or scroll bars
}

void TestWidgetDumper::text()
{
    QWidget top;
    top.setObjectName(QStringLiteral("TopWidget"));
    auto *label = new QLabel(QStringLiteral("two\nlines"), &top);
    label->setObjectName(QStringLiteral("_stateLabel"));
    const QString text = WidgetDumper::toText(WidgetDumper::dump(&top));
    QVERIFY2(text.contains(QLatin1String("QWidget TopWidget")), qPrintable(text));
    QVERIFY2(text.contains(QLatin1String("  QLabel _stateLabel text=\"two\\nlines\"")),
             qPrintable(text));
    // Longer texts become an indented block.
    auto *config = new QLabel(QStringLiteral("[global]\nworkgroup = X\n"), &top);
    config->setObjectName(QStringLiteral("_configLabel"));
    const QString block = WidgetDumper::toText(WidgetDumper::dump(&top));
    QVERIFY2(block.contains(QLatin1String("  QLabel _configLabel\n    | [global]\n"
                                          "    | workgroup = X\n")),
             qPrintable(block));
}

void TestWidgetDumper::escapes_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("printed");
    QTest::newRow("plain text stays") << "smb.conf: ok \\ [x]"
                                      << "smb.conf: ok \\ [x]";
    QTest::newRow("terminal escape") << "\x1b]0;owned\x07\x1b[2J"
                                     << "\\e]0;owned\\x07\\e[2J";
    QTest::newRow("line breaks and tabs") << "a\r\nb\tc"
                                          << "a\\r\\nb\\tc";
    QTest::newRow("DEL and C1 controls") << QString::fromUtf8("x\x7f\xc2\x9b") << "x\\x7f\\x9b";
    QTest::newRow("bidirectional override") << QString::fromUtf8("a\xe2\x80\xae"
                                                                 "b")
                                            << "a\\u{202e}b";
    QTest::newRow("other text beyond ASCII")
        << QString::fromUtf8("K\xc3\xb6ln") << QString::fromUtf8("K\xc3\xb6ln");
}

void TestWidgetDumper::escapes()
{
    QFETCH(QString, raw);
    QFETCH(QString, printed);
    QCOMPARE(ReportText::escaped(raw), printed);
}

void TestWidgetDumper::reportTextIsEscaped()
{
    // What tools print and files hold reaches the text report through task messages, widget
    // texts, blocks and rows: none of it may reach the terminal raw.
    const QString hostile = QStringLiteral("\x1b[31mred\x1b[0m\r");
    QWidget top;
    auto *label = new QLabel(hostile, &top);
    label->setObjectName(QStringLiteral("_stateLabel"));
    auto *block = new QLabel(hostile + QStringLiteral("\n") + hostile + QStringLiteral("\n"), &top);
    block->setObjectName(QStringLiteral("_configLabel"));
    auto *view = new QTreeView(&top);
    auto *model = new QStandardItemModel(&top);
    model->setHorizontalHeaderLabels({hostile});
    model->appendRow(new QStandardItem(hostile));
    view->setModel(model);
    QJsonObject widget = WidgetDumper::dump(&top);
    widget.insert(QStringLiteral("element"), hostile);
    QJsonObject task{{QStringLiteral("description"), hostile},
                     {QStringLiteral("message"), hostile},
                     {QStringLiteral("element"), hostile}};
    const QJsonObject report{{QStringLiteral("tasks"), QJsonArray{task}},
                             {QStringLiteral("widgets"), QJsonArray{widget}},
                             {QStringLiteral("error"), hostile}};
    const QString text = BatchReport::toText(report);
    // Label, two block lines, header, row, step element, task element, description, message,
    // error.
    QCOMPARE(text.count(QStringLiteral("\\e[31mred")), 10);
    for (const QChar c : text)
        QVERIFY2(c == QLatin1Char('\n') || c.unicode() >= 0x20, qPrintable(text));
}

QTEST_MAIN(TestWidgetDumper)
#include "tst_widgetdumper.moc"
