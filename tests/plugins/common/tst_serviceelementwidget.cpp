#include "serviceelement.h"
#include "serviceelementwidget.h"

#include <elementdata.h>
#include <module.h>
#include <treenode.h>
#include <treenodemodel.h>

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

namespace {

class TextWidget : public ServiceElementWidget
{
    Q_OBJECT
public:
    explicit TextWidget(Module *module)
        : ServiceElementWidget(module, staticMetaObject.className(), QStringLiteral("ServiceTest"),
                               QT_TR_NOOP("Test"), PlainTextView,
                               QStringLiteral("_configPlainEdit"))
    {
    }
};

/** A widget with a configuration tree, as the Exim, Dovecot and CUPS widgets have. */
class TreeWidget : public ServiceElementWidget
{
    Q_OBJECT
public:
    explicit TreeWidget(Module *module)
        : ServiceElementWidget(module, staticMetaObject.className(), QStringLiteral("ServiceTest"),
                               QT_TR_NOOP("Tree"), TreeView, QStringLiteral("_confTreeView"))
    {
        setTreeRoot(new ConfRootTreeNode);
    }
};

ServiceHeavyElementData *heavyRecord(bool running, const QString &file, const QString &text)
{
    auto *record = new ServiceHeavyElementData;
    record->setState(running);
    record->setConfigFile(file);
    record->setConfigData(text);
    return record;
}

} // namespace

/** The form every service widget shares and what a read shows in it. */
class TestServiceElementWidget : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void form();
    void heavyReadShowsStateAndText();
    void lightReadShowsStateOnly();
    void ignoredReads_data();
    void ignoredReads();
    void stateTextIsNotMarkup();
    void resetShowsUndefined();
    void treeViewLoadsNodes();

private:
    Module *m_module = nullptr;
    CommonServiceElement *m_element = nullptr;
};

void TestServiceElementWidget::init()
{
    m_module = new Module(QStringLiteral("ServiceTestModule"));
    m_module->setData(QStringLiteral("administrator"), true);
    m_element = new CommonServiceElement(m_module, QStringLiteral("ServiceTest"),
                                         QStringLiteral("ServiceServices"), 2,
                                         QStringLiteral("Test"), QStringLiteral("Test"));
    m_module->appendElement(m_element);
}

void TestServiceElementWidget::cleanup()
{
    delete m_module;
    m_module = nullptr;
}

void TestServiceElementWidget::form()
{
    TextWidget widget(m_module);
    QCOMPARE(widget.objectName(), QStringLiteral("TextWidget"));
    QCOMPARE(widget.elementType(), QStringLiteral("ServiceTest"));
    QCOMPARE(widget.windowTitle(), QStringLiteral("Test"));
    QCOMPARE(widget.size(), QSize(400, 300));

    auto *grid = qobject_cast<QGridLayout *>(widget.layout());
    QVERIFY(grid);
    QCOMPARE(grid->objectName(), QStringLiteral("gridLayout_2"));
    auto *caption = widget.findChild<QLabel *>(QStringLiteral("_stateLabelLabel"));
    auto *state = widget.findChild<QLabel *>(QStringLiteral("_stateLabel"));
    auto *box = widget.findChild<QGroupBox *>(QStringLiteral("_confGroupBox"));
    auto *edit = widget.findChild<QPlainTextEdit *>(QStringLiteral("_configPlainEdit"));
    QVERIFY(caption && state && box && edit);
    QCOMPARE(caption->text(), QStringLiteral("State:"));
    QCOMPARE(state->text(), QStringLiteral("TextLabel"));
    QCOMPARE(box->title(), QStringLiteral("Configuration"));
    QVERIFY(edit->isReadOnly());

    int row, column, rowSpan, columnSpan;
    grid->getItemPosition(grid->indexOf(caption), &row, &column, &rowSpan, &columnSpan);
    QCOMPARE(QList<int>({row, column}), QList<int>({0, 0}));
    grid->getItemPosition(grid->indexOf(state), &row, &column, &rowSpan, &columnSpan);
    QCOMPARE(QList<int>({row, column}), QList<int>({0, 1}));
    // The boot state below the state, hidden until a read brings one.
    auto *bootCaption = widget.findChild<QLabel *>(QStringLiteral("_bootStateLabelLabel"));
    auto *boot = widget.findChild<QLabel *>(QStringLiteral("_bootStateLabel"));
    QVERIFY(bootCaption && boot);
    QCOMPARE(bootCaption->text(), QStringLiteral("Start at boot:"));
    QCOMPARE(boot->textFormat(), Qt::PlainText);
    QVERIFY(bootCaption->isHidden() && boot->isHidden());
    grid->getItemPosition(grid->indexOf(bootCaption), &row, &column, &rowSpan, &columnSpan);
    QCOMPARE(QList<int>({row, column}), QList<int>({1, 0}));
    grid->getItemPosition(grid->indexOf(boot), &row, &column, &rowSpan, &columnSpan);
    QCOMPARE(QList<int>({row, column}), QList<int>({1, 1}));
    grid->getItemPosition(grid->indexOf(box), &row, &column, &rowSpan, &columnSpan);
    QCOMPARE(QList<int>({row, column, rowSpan, columnSpan}), QList<int>({2, 0, 1, 2}));
    QCOMPARE(grid->columnStretch(1), 1);

    auto *inner = qobject_cast<QGridLayout *>(box->layout());
    QVERIFY(inner);
    QCOMPARE(inner->objectName(), QStringLiteral("gridLayout"));
    QCOMPARE(inner->itemAtPosition(0, 0)->widget(), edit);
    QVERIFY(!widget.findChild<QTreeView *>());
}

void TestServiceElementWidget::heavyReadShowsStateAndText()
{
    TextWidget widget(m_module);
    widget.setElement(m_element, ElementWidgetRoleView);
    QVERIFY(!widget.isBlocked());
    QSignalSpy read(&widget, &ViewEditElementWidget::contentRead);
    QScopedPointer<ServiceHeavyElementData> record(
        heavyRecord(true, QStringLiteral("/etc/test.conf"), QStringLiteral("[global]\n")));
    widget.afterSuccessfulRead(m_element, record.data());

    QVERIFY(widget.isBlocked());
    QCOMPARE(widget.stateLabel()->text(),
             QStringLiteral("<b>%1</b>").arg(ServiceLightElementData::runningText()));
    QCOMPARE(widget.configPlainEdit()->toPlainText(), QStringLiteral("[global]\n"));
    QCOMPARE(widget.configGroupBox()->title(), QStringLiteral("Configuration: /etc/test.conf"));
    QCOMPARE(read.count(), 1); // the base was called

    // A second read replaces the text rather than adding to it.
    record.reset(heavyRecord(false, QStringLiteral("/etc/test.conf"), QString()));
    widget.afterSuccessfulRead(m_element, record.data());
    QCOMPARE(widget.stateLabel()->text(),
             QStringLiteral("<b>%1</b>").arg(ServiceLightElementData::stoppedText()));
    QVERIFY(widget.configPlainEdit()->toPlainText().isEmpty());
    QCOMPARE(widget.configGroupBox()->title(), QStringLiteral("Configuration: /etc/test.conf"));
}

void TestServiceElementWidget::lightReadShowsStateOnly()
{
    TextWidget widget(m_module);
    widget.setElement(m_element, ElementWidgetRoleView);
    QScopedPointer<ServiceHeavyElementData> heavy(
        heavyRecord(true, QStringLiteral("/etc/test.conf"), QStringLiteral("text")));
    widget.afterSuccessfulRead(m_element, heavy.data());
    ServiceLightElementData light;
    light.setState(false);
    widget.afterSuccessfulRead(m_element, &light);
    QCOMPARE(widget.stateLabel()->text(),
             QStringLiteral("<b>%1</b>").arg(ServiceLightElementData::stoppedText()));
    QCOMPARE(widget.configPlainEdit()->toPlainText(), QStringLiteral("text"));
}

void TestServiceElementWidget::ignoredReads_data()
{
    QTest::addColumn<QString>("why");
    QTest::newRow("another element") << "element";
    QTest::newRow("creation role") << "role";
    QTest::newRow("plain record") << "record";
    QTest::newRow("no record") << "null";
}

void TestServiceElementWidget::ignoredReads()
{
    QFETCH(QString, why);

    TextWidget widget(m_module);
    CommonServiceElement other(m_module, QStringLiteral("ServiceOther"),
                               QStringLiteral("ServiceServices"), 2, QStringLiteral("Other"),
                               QStringLiteral("Other"));
    widget.setElement(m_element, why == QLatin1String("role") ? ElementWidgetRoleCreate
                                                              : ElementWidgetRoleView);
    QSignalSpy read(&widget, &ViewEditElementWidget::contentRead);
    QScopedPointer<ServiceHeavyElementData> heavy(
        heavyRecord(true, QStringLiteral("/etc/test.conf"), QStringLiteral("text")));
    ElementData plain;
    ElementData *data = heavy.data();
    if (why == QLatin1String("record"))
        data = &plain;
    else if (why == QLatin1String("null"))
        data = nullptr;
    widget.afterSuccessfulRead(why == QLatin1String("element") ? &other : m_element, data);

    QCOMPARE(read.count(), 0);
    QVERIFY(!widget.isBlocked());
    QVERIFY(widget.configPlainEdit()->toPlainText().isEmpty());
    QCOMPARE(widget.configGroupBox()->title(), QStringLiteral("Configuration"));
}

void TestServiceElementWidget::stateTextIsNotMarkup()
{
    TextWidget widget(m_module);
    widget.setElement(m_element, ElementWidgetRoleView);
    ServiceLightElementData light;
    light.setState(true, QStringLiteral("<i>up</i> & running"));
    // A tool's message as the boot state is shown as it is, in a plain-text label.
    light.setBootState(QStringLiteral("<img src=x> enabled"));
    widget.afterSuccessfulRead(m_element, &light);
    QCOMPARE(widget.stateLabel()->text(),
             QStringLiteral("<b>&lt;i&gt;up&lt;/i&gt; &amp; running</b>"));
    QCOMPARE(widget.bootStateLabel()->text(), QStringLiteral("<img src=x> enabled"));
    QCOMPARE(widget.bootStateLabel()->textFormat(), Qt::PlainText);
    QVERIFY(!widget.bootStateLabel()->isHidden());
}

void TestServiceElementWidget::resetShowsUndefined()
{
    TextWidget widget(m_module);
    widget.setElement(m_element, ElementWidgetRoleView); // setElement resets
    QCOMPARE(widget.stateLabel()->text(), QStringLiteral("<b>undefined</b>"));
    ServiceLightElementData light;
    light.setState(true);
    light.setBootState(QStringLiteral("masked"));
    widget.afterSuccessfulRead(m_element, &light);
    QCOMPARE(widget.bootStateLabel()->text(), QStringLiteral("masked"));
    widget.reset();
    QCOMPARE(widget.stateLabel()->text(), QStringLiteral("<b>undefined</b>"));
    QCOMPARE(widget.bootStateLabel()->text(), QStringLiteral("undefined"));
}

void TestServiceElementWidget::treeViewLoadsNodes()
{
    TreeWidget widget(m_module);
    QVERIFY(!widget.configPlainEdit());
    QTreeView *view = widget.findChild<QTreeView *>(QStringLiteral("_confTreeView"));
    QCOMPARE(view, widget.configTreeView());
    QVERIFY(view->model());
    widget.setElement(m_element, ElementWidgetRoleView);

    QScopedPointer<ServiceHeavyElementData> record(heavyRecord(true, QString(), QString()));
    auto *section = new ConfTreeNode(QStringLiteral("section"), QString());
    section->setId(QStringLiteral("Section_a"));
    auto *entry = new ConfTreeNode(QStringLiteral("key"), QStringLiteral("value"));
    entry->setParentId(QStringLiteral("Section_a"));
    record->data() << entry << section;
    widget.afterSuccessfulRead(m_element, record.data());

    // The tree took the nodes over; the record holds none any more.
    QVERIFY(record->data().isEmpty());
    QCOMPARE(widget.treeRoot()->childCount(), 1);
    QCOMPARE(widget.treeRoot()->child(0), section);
    QCOMPARE(section->childCount(), 1);
    QCOMPARE(view->model()->rowCount(), 1);
    QCOMPARE(view->model()->index(0, 0).data().toString(), QStringLiteral("section"));

    // A second read replaces the first one's nodes.
    QPointer<TreeNode> former = section;
    record.reset(heavyRecord(true, QString(), QString()));
    record->data() << new ConfTreeNode(QStringLiteral("other"), QStringLiteral("1"));
    widget.afterSuccessfulRead(m_element, record.data());
    QVERIFY(former.isNull());
    QCOMPARE(view->model()->rowCount(), 1);
    QCOMPARE(view->model()->index(0, 0).data().toString(), QStringLiteral("other"));
}

QTEST_MAIN(TestServiceElementWidget)
#include "tst_serviceelementwidget.moc"
