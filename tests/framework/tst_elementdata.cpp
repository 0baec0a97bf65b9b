// Element records: the light record's state and assignment, the heavy record's node list.

#include "testobjects.h"

#include <QtTest>

class TestElementData : public QObject
{
    Q_OBJECT

private slots:
    void init() { CountedNode::alive = 0; }
    void cleanup() { QCOMPARE(CountedNode::alive, 0); }

    void stateText_data();
    void stateText();
    void lightAssignmentCopiesStateTextAndName();
    void importTakesNameAndProperties();
    void heavyCopyLeavesNodes();
    void heavyDeletesOnlyNodesNoTreeTook();
};

void TestElementData::stateText_data()
{
    QTest::addColumn<bool>("running");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("running, framework text") << true << QString() << "running";
    QTest::newRow("stopped, framework text") << false << QString() << "stopped";
    QTest::newRow("own text") << true << "active (2 workers)"
                              << "active (2 workers)";
}

void TestElementData::stateText()
{
    QFETCH(bool, running);
    QFETCH(QString, text);
    QFETCH(QString, expected);

    ServiceLightElementData record;
    QVERIFY(!record.isStateKnown());
    QVERIFY(record.textState().isEmpty());
    record.setState(running, text);
    QVERIFY(record.isStateKnown());
    QCOMPARE(record.state(), running);
    QCOMPARE(record.textState(), expected);
}

void TestElementData::lightAssignmentCopiesStateTextAndName()
{
    ServiceLightElementData from;
    from.setName(QStringLiteral("smbd"));
    from.setState(true, QStringLiteral("active"));
    from.setProperty(QStringLiteral("port"), 445);
    ServiceLightElementData to;
    to.setName(QStringLiteral("old"));
    to.setProperty(QStringLiteral("configureParam"), QStringLiteral("keep"));

    to = from;
    QCOMPARE(to.name(), QStringLiteral("smbd"));
    QVERIFY(to.state());
    QCOMPARE(to.textState(), QStringLiteral("active"));
    QVERIFY(!to.hasProperty(QStringLiteral("port")));
    QCOMPARE(to.configureParams(), QStringLiteral("keep"));

    // Through the base of a heavy record, as a read task copies into an element.
    ServiceHeavyElementData heavy;
    heavy.setState(false);
    heavy.setConfigData(QStringLiteral("[global]"));
    to = heavy;
    QVERIFY(!to.state());
    QCOMPARE(to.textState(), QStringLiteral("stopped"));
    QCOMPARE(to.name(), QString());
}

void TestElementData::importTakesNameAndProperties()
{
    ElementData from(QStringLiteral("main"));
    from.setProperty(QStringLiteral("port"), 5432);
    ElementData to(QStringLiteral("old"));
    to.setProperty(QStringLiteral("gone"), true);
    to.importFrom(from);
    QCOMPARE(to.name(), QStringLiteral("main"));
    QCOMPARE(to.properties(), from.properties());
    to.importFrom(to);
    QCOMPARE(to.name(), QStringLiteral("main"));
}

void TestElementData::heavyCopyLeavesNodes()
{
    ServiceHeavyElementData original;
    original.setName(QStringLiteral("cupsd"));
    original.setState(true);
    original.setConfigFile(QStringLiteral("/etc/cups/cupsd.conf"));
    original.setConfigData(QStringLiteral("Listen 631"));
    original.setProperty(QStringLiteral("k"), 1);
    original.data() << new CountedNode(QStringLiteral("n"));

    const ServiceHeavyElementData copy(original);
    QCOMPARE(copy.name(), QStringLiteral("cupsd"));
    QVERIFY(copy.state());
    QCOMPARE(copy.textState(), QStringLiteral("running"));
    QCOMPARE(copy.configFile(), QStringLiteral("/etc/cups/cupsd.conf"));
    QCOMPARE(copy.configData(), QStringLiteral("Listen 631"));
    QCOMPARE(copy.property(QStringLiteral("k")).toInt(), 1);
    QVERIFY(copy.data().isEmpty()); // one owner per node
}

void TestElementData::heavyDeletesOnlyNodesNoTreeTook()
{
    TreeNode tree;
    auto *record = new ServiceHeavyElementData;
    auto *taken = new CountedNode(QStringLiteral("taken"));
    auto *orphan = new CountedNode(QStringLiteral("orphan"));
    auto *orphanChild = new CountedNode(QStringLiteral("orphanChild"));
    auto *listedChild = new CountedNode(QStringLiteral("listedChild"));
    orphan->append(orphanChild);
    orphan->append(listedChild);
    record->data() << taken << orphan << listedChild << orphan << nullptr
                   << new CountedNode(QStringLiteral("single"));
    tree.append(taken);
    QCOMPARE(CountedNode::alive, 5);

    delete record;
    QCOMPARE(CountedNode::alive, 1); // the node the tree took is the tree's
    QCOMPARE(tree.child(0), taken);
    tree.clearDelete();
}

QTEST_GUILESS_MAIN(TestElementData)
#include "tst_elementdata.moc"
