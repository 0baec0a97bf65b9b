// Elements: the operations each kind offers by state and rights, and what reaches the module.

#include "testobjects.h"

#include <localhostconnection.h>
#include <vieweditelementwidget.h>

#include <QtTest>

namespace {

/** A service element whose extra operations a test sets. */
class ExtraServiceElement : public ServiceElement
{
public:
    using ServiceElement::ServiceElement;
    using ServiceElement::setExtraOperations;
};

/** This machine under another name: a connection to a remote host, as the framework sees it. */
class NamedHostConnection : public LocalHostConnection
{
public:
    QString remoteHost() const override { return QStringLiteral("db1"); }
};

OperationTypes ops(std::initializer_list<OperationType> list)
{
    OperationTypes set = 0;
    for (OperationType type : list)
        set |= OperationTypes(type);
    return set;
}

} // namespace

class TestElement : public QObject
{
    Q_OBJECT

private slots:
    void serviceOperations_data();
    void serviceOperations();
    void serviceForwardsWhatItHandles();
    void containerOperations();
    void supplementOperations();
    void accessNeedsPredicateAndModule();
    void titleCaptionAndRecord();
    void widgetForElementType();
    void operationNames();
};

void TestElement::serviceOperations_data()
{
    QTest::addColumn<bool>("rights");
    QTest::addColumn<QString>("state"); // "" unknown, "running", "stopped"
    QTest::addColumn<quint64>("always");
    QTest::addColumn<quint64>("whileRunning");
    QTest::addColumn<quint64>("expected");

    const quint64 reload = OperationReload;
    const quint64 control = OperationControl;
    QTest::newRow("no rights, running")
        << false << "running" << quint64(0) << quint64(0) << quint64(0x30);
    QTest::newRow("no rights, extras") << false << "running" << reload << control << quint64(0x30);
    QTest::newRow("state unknown") << true << "" << quint64(0) << quint64(0) << quint64(0x30);
    QTest::newRow("running") << true << "running" << quint64(0) << quint64(0) << quint64(0x6030);
    QTest::newRow("stopped") << true << "stopped" << quint64(0) << quint64(0) << quint64(0x1030);
    QTest::newRow("running with extras")
        << true << "running" << reload << control << quint64(0x1E030);
    QTest::newRow("stopped with extras")
        << true << "stopped" << reload << control << quint64(0x9030);
    QTest::newRow("unknown with extras") << true << "" << reload << control << quint64(0x8030);
    QTest::newRow("custom state text")
        << true << "active (exited)" << quint64(0) << quint64(0) << quint64(0x1030);
}

void TestElement::serviceOperations()
{
    QFETCH(bool, rights);
    QFETCH(QString, state);
    QFETCH(quint64, always);
    QFETCH(quint64, whileRunning);
    QFETCH(quint64, expected);

    Module module(QStringLiteral("M"));
    ExtraServiceElement element(&module, rights ? grantAccess : denyAccess);
    element.setExtraOperations(always, whileRunning);
    if (state == QLatin1String("running"))
        element.serviceData()->setState(true);
    else if (!state.isEmpty())
        element.serviceData()->setState(false,
                                        state == QLatin1String("stopped") ? QString() : state);
    QCOMPARE(element.availableOperations(), OperationTypes(expected));
    QCOMPARE(element.offeredOperations(), OperationTypes(expected));
    // A program's window opens on this machine only: Control is never offered for a remote
    // host, whatever the element says.
    module.setHostConnection(QSharedPointer<HostConnection>(new NamedHostConnection));
    QCOMPARE(element.availableOperations(), OperationTypes(expected));
    QCOMPARE(element.offeredOperations(), OperationTypes(expected & ~quint64(OperationControl)));
    QVERIFY(!element.isOperationAvailable(OperationControl));
    QCOMPARE(element.isOperationAvailable(OperationReadLight),
             (expected & OperationReadLight) != 0);

    // Without a service record the state is unknown.
    element.setElementData(new ElementData);
    QCOMPARE(element.availableOperations(), OperationTypes(rights ? 0x30 | always : 0x30));
}

void TestElement::serviceForwardsWhatItHandles()
{
    QList<OperationCall> log;
    RecordingModule module(QStringLiteral("M"), &log);
    ExtraServiceElement element(&module, grantAccess);
    for (OperationType type : allOperations())
        element.performOperation(type, nullptr, 0);
    QCOMPARE(typesOf(log),
             (QList<OperationType>{OperationReadLight, OperationReadHeavy, OperationStart,
                                   OperationStop, OperationRestart, OperationReload}));
    log.clear();
    element.setExtraOperations(OperationControl, OperationClearCache);
    element.performOperation(OperationControl, nullptr, 0);
    element.performOperation(OperationClearCache, nullptr, 0);
    element.performOperation(OperationDelete, nullptr, 0);
    QCOMPARE(typesOf(log), (QList<OperationType>{OperationControl, OperationClearCache}));
    QCOMPARE(log.first().element, &element);
}

void TestElement::containerOperations()
{
    QList<OperationCall> log;
    RecordingModule module(QStringLiteral("M"), &log);
    ContainerElement container(&module, grantAccess);
    ContainerElement viewed(&module, denyAccess);
    QCOMPARE(container.availableOperations(), ops({OperationReadContent, OperationCreate}));
    QCOMPARE(viewed.availableOperations(), ops({OperationReadContent}));

    QVERIFY(container.contentFlag()); // not read yet
    for (OperationType type : allOperations())
        container.performOperation(type, nullptr, 0);
    QCOMPARE(typesOf(log), (QList<OperationType>{OperationCreate, OperationReadContent}));
    QVERIFY(!container.contentFlag());
}

void TestElement::supplementOperations()
{
    QList<OperationCall> log;
    RecordingModule module(QStringLiteral("M"), &log);
    SupplementElement element(&module, grantAccess);
    QCOMPARE(element.availableOperations(), ops({OperationReadHeavy}));
    for (OperationType type : allOperations())
        element.performOperation(type, nullptr, 0);
    QCOMPARE(typesOf(log), QList<OperationType>{OperationReadHeavy});
    QCOMPARE(element.treeNodeSpecialFlags(), int(TreeNodeFlagLeaf));
}

void TestElement::accessNeedsPredicateAndModule()
{
    Module module(QStringLiteral("M"));
    QVERIFY(Element(&module, grantAccess).isAccessible());
    QVERIFY(!Element(&module, nullptr).isAccessible());
    QVERIFY(!Element(nullptr, grantAccess).isAccessible());
    ServiceElement orphan(nullptr, grantAccess);
    orphan.serviceData()->setState(true);
    QCOMPARE(orphan.availableOperations(), ops({OperationReadLight, OperationReadHeavy}));
    orphan.performOperation(OperationReadLight, nullptr, 0); // no module: nothing, no crash
}

void TestElement::titleCaptionAndRecord()
{
    Module module(QStringLiteral("M"));
    Element element(&module, grantAccess);
    element.setTitle(QStringLiteral("Samba"));
    QCOMPARE(element.data(0, Qt::DisplayRole).toString(), QStringLiteral("Samba"));
    QCOMPARE(element.data(0, Qt::ToolTipRole).toString(), element.caption());
    QCOMPARE(element.data(1, Qt::DisplayRole), QVariant());
    QCOMPARE(element.contextType(), int(ContextOperation::ContextElement));
    QCOMPARE(element.elementContext(), &element);
    QCOMPARE(element.elementWidgetContext(), nullptr);

    element.setElementData(new ServiceLightElementData);
    QVERIFY(element.serviceData());
    element.setElementData(element.elementData()); // same record: kept, not deleted
    QVERIFY(element.serviceData());
    element.setElementData(new ElementData(QStringLiteral("plain")));
    QCOMPARE(element.serviceData(), nullptr);
    QCOMPARE(element.elementData()->name(), QStringLiteral("plain"));
}

void TestElement::widgetForElementType()
{
    Module module(QStringLiteral("M"));
    auto *any = new ViewEditElementWidget(&module, grantAccess);
    any->setElementType(ContextOperation::allElementType);
    auto *samba = new ViewEditElementWidget(&module, grantAccess);
    samba->setElementType(QStringLiteral("ServiceSamba"));
    module.insertElementWidget(any);
    module.insertElementWidget(samba);
    module.connectElementWidgets();

    Element element(&module, grantAccess);
    element.setElementType(QStringLiteral("ServiceSamba"));
    QCOMPARE(element.elementWidget(ElementWidgetRoleView), samba);
    QCOMPARE(element.elementWidget(ElementWidgetRoleCreate), nullptr);
    element.setElementType(QStringLiteral("Other"));
    QCOMPARE(element.elementWidget(ElementWidgetRoleView), any);
    QCOMPARE(module.elementWidgets().size(), 2);
    module.insertElementWidget(samba); // once
    QCOMPARE(module.elementWidgets().size(), 2);

    QSignalSpy changed(&module, &Module::elementWidgetChanged);
    samba->changeContent();
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).value<ViewEditElementWidget *>(), samba);
    // A widget inserted later joins on the next call; the others still relay once.
    auto *later = new ViewEditElementWidget(&module, grantAccess);
    module.insertElementWidget(later);
    module.connectElementWidgets();
    samba->changeContent();
    QCOMPARE(changed.count(), 2);
    later->changeContent();
    QCOMPARE(changed.count(), 3);
    QCOMPARE(changed.at(2).at(0).value<ViewEditElementWidget *>(), later);

    delete samba;
    QCOMPARE(module.elementWidget(QStringLiteral("ServiceSamba")), any);
}

void TestElement::operationNames()
{
    QCOMPARE(quint64(OperationClearCache), quint64(1) << 63);
    QCOMPARE(allOperations().size(), 14);
    QSet<QString> names;
    for (OperationType type : allOperations()) {
        const QString name = operationName(type);
        QVERIFY(!name.isEmpty());
        names.insert(name);
        QCOMPARE(operationFromName(name), type);
    }
    QCOMPARE(names.size(), 14);
    QCOMPARE(operationName(OperationReadLight), QStringLiteral("read-light"));
    QCOMPARE(operationName(OperationClearCache), QStringLiteral("clear-cache"));
    QCOMPARE(operationFromName(QStringLiteral("explode")), OperationNone);
}

QTEST_MAIN(TestElement)
#include "tst_element.moc"
