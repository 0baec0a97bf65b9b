// Module: forwarding of operations to child modules, supplements, and administrator rights.

#include "testobjects.h"

#include <QtTest>

#include <unistd.h>

namespace {

QStringList modulesOf(const QList<OperationCall> &log)
{
    QStringList names;
    for (const OperationCall &call : log)
        names << call.module;
    return names;
}

/** A work module as the package plug-in has: attach hangs one element under the context. */
class WorkModule : public RecordingModule
{
public:
    explicit WorkModule(QList<OperationCall> *log)
        : RecordingModule(QStringLiteral("ServicePackagesModule"), log)
    {
        hook = [this](ContextOperation *context, OperationType type, ElementData *&) {
            Element *target = context ? context->elementContext() : nullptr;
            if (!target)
                return;
            if (type == OperationAttach) {
                auto *added = new SupplementElement(this, grantAccess);
                added->setTitle(QStringLiteral("Packages"));
                appendElement(added);
                target->append(added);
            } else if (type == OperationDetach) {
                delete target;
            }
        };
    }
};

} // namespace

class TestModule : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { Module::setViewerMode(false); }

    void baseForwardsToChildrenInLoadOrder();
    void elementHandsOperationToModule();
    void childDeletedWhileForwarding();
    void childLinksFollowDeletion();
    void supplementAttachAndDetach();
    void supplementDetachSkipsElementsGone();
    void supplementWithoutTarget();
    void administratorHierarchy_data();
    void administratorHierarchy();
    void viewerModeRemovesRights();
    void ownsElements();
};

void TestModule::baseForwardsToChildrenInLoadOrder()
{
    // Services root -> (Samba, Mail -> (Dovecot, Exim), Tarn -> Tarnd); Mail keeps the base.
    QList<OperationCall> log;
    RecordingModule services(QStringLiteral("Services"), &log);
    RecordingModule samba(QStringLiteral("Samba"), &log);
    Module mail(QStringLiteral("Mail"));
    RecordingModule dovecot(QStringLiteral("Dovecot"), &log);
    RecordingModule exim(QStringLiteral("Exim"), &log);
    RecordingModule tarn(QStringLiteral("Tarn"), &log);
    RecordingModule tarnd(QStringLiteral("Tarnd"), &log);
    services.addChildModule(&samba);
    services.addChildModule(&mail);
    mail.addChildModule(&dovecot);
    mail.addChildModule(&exim);
    services.addChildModule(&tarn);
    tarn.addChildModule(&tarnd);

    Element root(&services, grantAccess);
    services.performOperation(&root, OperationReadLight, nullptr, 0);
    QCOMPARE(modulesOf(log),
             (QStringList{"Services", "Samba", "Dovecot", "Exim", "Tarn", "Tarnd"}));
    for (const OperationCall &call : std::as_const(log)) {
        QCOMPARE(call.type, OperationReadLight);
        QCOMPARE(call.element, &root);
    }

    // A group passes on whatever it is given, from wherever in the tree.
    log.clear();
    mail.performOperation(&root, OperationReadHeavy, nullptr, 0);
    QCOMPARE(modulesOf(log), (QStringList{"Dovecot", "Exim"}));
}

void TestModule::elementHandsOperationToModule()
{
    QList<OperationCall> log;
    RecordingModule module(QStringLiteral("M"), &log);
    RecordingModule child(QStringLiteral("Child"), &log);
    module.addChildModule(&child);
    auto *element = new ServiceElement(&module, grantAccess);
    module.appendElement(element);
    element->performOperation(OperationReadLight, nullptr, 0);
    QCOMPARE(modulesOf(log), (QStringList{"M", "Child"}));
    QCOMPARE(log.first().element, element);
    QCOMPARE(log.first().context->contextType(), int(ContextOperation::ContextElement));
}

void TestModule::childDeletedWhileForwarding()
{
    QList<OperationCall> log;
    RecordingModule parent(QStringLiteral("P"), &log);
    auto *first = new RecordingModule(QStringLiteral("First"), &log);
    auto *doomed = new RecordingModule(QStringLiteral("Doomed"), &log);
    RecordingModule last(QStringLiteral("Last"), &log);
    parent.addChildModule(first);
    parent.addChildModule(doomed);
    parent.addChildModule(&last);
    first->hook = [doomed](ContextOperation *, OperationType, ElementData *&) { delete doomed; };
    parent.performOperation(nullptr, OperationReadLight, nullptr, 0);
    QCOMPARE(modulesOf(log), (QStringList{"P", "First", "Last"}));
    QCOMPARE(parent.childModules(), (QList<Module *>{first, &last}));
    delete first;
    QCOMPARE(parent.childModules(), QList<Module *>{&last});
}

void TestModule::childLinksFollowDeletion()
{
    auto *a = new Module(QStringLiteral("A"));
    Module b(QStringLiteral("B"));
    Module child(QStringLiteral("C"));
    a->addChildModule(&child);
    QCOMPARE(child.parentModule(), a);
    b.addChildModule(&child); // moves
    QVERIFY(a->childModules().isEmpty());
    QCOMPARE(child.parentModule(), &b);
    a->addChildModule(a); // never its own child
    QVERIFY(a->childModules().isEmpty());
    a->addChildModule(&child);
    delete a;
    QCOMPARE(child.parentModule(), nullptr);
    QVERIFY(b.childModules().isEmpty());
}

void TestModule::supplementAttachAndDetach()
{
    QList<OperationCall> log;
    WorkModule work(&log);
    Module service(QStringLiteral("ServiceSambaModule"));
    auto *parent = new ServiceElement(&service, grantAccess);
    parent->setId(QStringLiteral("ServiceSamba"));
    service.appendElement(parent);
    auto *own = new Element(&service, grantAccess);
    service.appendElement(own);
    parent->append(own);

    SupplementModule supplement(
        QStringLiteral("ServicePackagesSambaModule"), 3, QStringLiteral("ServiceSambaModule"),
        QStringLiteral("Packages of Samba"), QStringLiteral("ServiceSamba"), &work);
    QCOMPARE(supplement.level(), 3);
    QCOMPARE(supplement.parentModuleName(), QStringLiteral("ServiceSambaModule"));
    QCOMPARE(supplement.parentElementId(), QStringLiteral("ServiceSamba"));
    QCOMPARE(supplement.getData(QStringLiteral("description")).toString(),
             QStringLiteral("Packages of Samba"));
    QCOMPARE(supplement.workModule(), &work);

    supplement.attach(parent);
    QCOMPARE(typesOf(log), QList<OperationType>{OperationAttach});
    QCOMPARE(log.first().element, parent);
    QCOMPARE(parent->childCount(), 2);
    const QList<Element *> attached = supplement.attachedElements();
    QCOMPARE(attached.size(), 1);
    QCOMPARE(attached.first(), parent->child(1));

    log.clear();
    supplement.detach();
    QCOMPARE(typesOf(log), QList<OperationType>{OperationDetach});
    QCOMPARE(log.first().element, attached.first());
    QCOMPARE(parent->childNodes(), QList<TreeNode *>{own}); // only what the attach added
    QVERIFY(supplement.attachedElements().isEmpty());
    log.clear();
    supplement.detach();
    QVERIFY(log.isEmpty());
}

void TestModule::supplementDetachSkipsElementsGone()
{
    QList<OperationCall> log;
    WorkModule work(&log);
    Module service(QStringLiteral("S"));
    Element parent(&service, grantAccess);
    SupplementModule supplement(QStringLiteral("Sup"), 3, QStringLiteral("S"), QString(),
                                QStringLiteral("P"), &work);
    supplement.attach(&parent);
    delete parent.child(0);
    log.clear();
    supplement.detach();
    QVERIFY(log.isEmpty());
}

void TestModule::supplementWithoutTarget()
{
    QList<OperationCall> log;
    auto *work = new WorkModule(&log);
    SupplementModule supplement(QStringLiteral("Sup"), 3, QStringLiteral("S"), QString(),
                                QStringLiteral("P"), work);
    supplement.attach(nullptr);
    QVERIFY(log.isEmpty());
    delete work;
    Module service(QStringLiteral("S"));
    Element parent(&service, grantAccess);
    supplement.attach(&parent); // the work module is gone
    QCOMPARE(parent.childCount(), 0);
    supplement.detach();
}

void TestModule::administratorHierarchy_data()
{
    // Entries of grandparent, parent and module: "" none, "1" true, "0" false.
    QTest::addColumn<QString>("grand");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QString>("own");
    QTest::addColumn<bool>("expected");

    QTest::newRow("none anywhere") << ""
                                   << ""
                                   << "" << false;
    QTest::newRow("from grandparent") << "1"
                                      << ""
                                      << "" << true;
    QTest::newRow("nearest wins") << "1"
                                  << "0"
                                  << "" << false;
    QTest::newRow("own entry first") << "0"
                                     << "0"
                                     << "1" << true;
    QTest::newRow("own false") << "1"
                               << "1"
                               << "0" << false;
}

void TestModule::administratorHierarchy()
{
    QFETCH(QString, grand);
    QFETCH(QString, parent);
    QFETCH(QString, own);
    QFETCH(bool, expected);

    Module g(QStringLiteral("G")), p(QStringLiteral("P")), m(QStringLiteral("M"));
    g.addChildModule(&p);
    p.addChildModule(&m);
    const QString key = QStringLiteral("administrator");
    if (!grand.isEmpty())
        g.setData(key, grand == QLatin1String("1"));
    if (!parent.isEmpty())
        p.setData(key, parent == QLatin1String("1"));
    if (!own.isEmpty())
        m.setData(key, own == QLatin1String("1"));
    QCOMPARE(Module::isAdministratorHierarchy(&m), expected);
    QVERIFY(!Module::isAdministratorHierarchy(nullptr));
}

void TestModule::viewerModeRemovesRights()
{
    Module module(QStringLiteral("M"));
    QCOMPARE(Module::isAdministrator(&module), ::geteuid() == 0);
    Module::setViewerMode(true);
    QVERIFY(Module::viewerMode());
    QVERIFY(!Module::isAdministrator(&module));
    Module::setViewerMode(false);
    QCOMPARE(Module::isAdministrator(&module), ::geteuid() == 0);
}

void TestModule::ownsElements()
{
    auto *module = new Module(QStringLiteral("M"));
    QCOMPARE(module->getData(QStringLiteral("paranoid")), QVariant(false));
    QVERIFY(!module->isParanoid());
    auto *first = new CountedNode(QStringLiteral("node"));
    auto *a = new Element(nullptr, grantAccess);
    auto *b = new Element(module, grantAccess);
    module->appendElement(a);
    module->appendElement(b);
    module->appendElement(a);
    QCOMPARE(a->module(), module); // given its module
    QCOMPARE(module->elements(), (QList<Element *>{a, b}));
    QCOMPARE(module->firstElement(), a);
    a->append(first);
    delete a;
    QCOMPARE(module->elements(), QList<Element *>{b});
    QCOMPARE(module->firstElement(), b);
    QCOMPARE(CountedNode::alive, 0);
    const QPointer<Element> guard(b);
    delete module;
    QVERIFY(guard.isNull());
}

QTEST_GUILESS_MAIN(TestModule)
#include "tst_module.moc"
