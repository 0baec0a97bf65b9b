// The cluster form: its layout, the two roles, validation, export and showing a read.

#include <clustermiscmodel.h>
#include <servicepgsqlclusterelement.h>
#include <servicepgsqlclusterselement.h>
#include <servicepgsqlelementwidget.h>

#include <elementdata.h>
#include <module.h>

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStringListModel>
#include <QTableView>
#include <QTest>

namespace {

bool grantAccess(const Module *)
{
    return true;
}

ElementData *readRecord()
{
    auto *record = new ElementData;
    record->setProperty("version", "15");
    record->setProperty("name", "main");
    record->setProperty("port", 5491);
    record->setProperty("state", true);
    record->setProperty("textState", "online");
    record->setProperty("directories",
                        QStringList{"/etc/postgresql/15/main", "/var/lib/postgresql/15/main",
                                    "/var/log/postgresql/postgresql-15-main.log"});
    return record;
}

} // namespace

class TestServicePgsqlElementWidget : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void form();
    void formLayout_data();
    void formLayout();
    void resetInRoles_data();
    void resetInRoles();
    void contentValid_data();
    void contentValid();
    void exportKeepsTheNameAsTyped();
    void portValidator_data();
    void portValidator();
    void blockingSilencesTheEditors();
    void resetIsNoEdit();
    void showsARead();
    void readWithoutPortOrUnknownVersion();
    void ignoresOtherReads();
    void caption();
    void infoModel();

private:
    QLineEdit *edit(const char *name) const { return m_widget->findChild<QLineEdit *>(name); }
    QComboBox *combo() const { return m_widget->findChild<QComboBox *>("_versionComboBox"); }
    QLabel *label(const char *name) const { return m_widget->findChild<QLabel *>(name); }

    Module *m_module = nullptr;
    QStringListModel *m_versions = nullptr;
    ServicePgsqlElementWidget *m_widget = nullptr;
};

void TestServicePgsqlElementWidget::init()
{
    m_module = new Module("ServicePgsqlModule");
    m_versions = new QStringListModel({"11", "15"}, m_module);
    m_widget = new ServicePgsqlElementWidget(m_versions, m_module, &grantAccess);
}

void TestServicePgsqlElementWidget::cleanup()
{
    delete m_widget;
    delete m_module;
}

void TestServicePgsqlElementWidget::form()
{
    QCOMPARE(m_widget->objectName(), QStringLiteral("ServicePgsqlElementWidget"));
    QCOMPARE(m_widget->windowTitle(), QStringLiteral("General"));
    QCOMPARE(m_widget->size(), QSize(400, 300));
    QCOMPARE(m_widget->elementType(), QStringLiteral("ServicePgsqlCluster"));
    QVERIFY(m_widget->isBlocked());

    auto *grid = m_widget->findChild<QGridLayout *>("gridLayout");
    QVERIFY(grid);
    QCOMPARE(grid->columnStretch(1), 1);
    QCOMPARE(grid->columnStretch(0), 0);

    QCOMPARE(label("_nameLabelLabel")->text(), QStringLiteral("Name:"));
    QCOMPARE(label("_versionLabelLabel")->text(), QStringLiteral("Version:"));
    QCOMPARE(label("_stateLabelLabel")->text(), QStringLiteral("State:"));
    QCOMPARE(label("_stateLabel")->text(), QStringLiteral("undefined"));
    QCOMPARE(label("_portLabelLabel")->text(), QStringLiteral("Port:"));
    QVERIFY(edit("_nameLineEdit")->text().isEmpty());
    QVERIFY(edit("_portLineEdit")->text().isEmpty());

    QCOMPARE(combo()->model(), static_cast<QAbstractItemModel *>(m_versions));
    QCOMPARE(edit("_portLineEdit")->validator(), m_widget->portValidator());
    QCOMPARE(m_widget->portValidator()->parent(), m_widget);
    QCOMPARE(m_widget->infoModel()->parent(), m_widget);

    auto *table = m_widget->findChild<QTableView *>("_infoTableView");
    QCOMPARE(table->model(), static_cast<QAbstractItemModel *>(m_widget->infoModel()));
    QCOMPARE(table->horizontalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    QCOMPARE(table->horizontalHeader()->stretchLastSection(), false);
    QCOMPARE(table->horizontalHeader()->sectionResizeMode(0), QHeaderView::Stretch);
    QCOMPARE(table->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectItems);
}

void TestServicePgsqlElementWidget::formLayout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("columnSpan");

    QTest::newRow("_nameLabelLabel") << "_nameLabelLabel" << 0 << 0 << 1;
    QTest::newRow("_nameLineEdit") << "_nameLineEdit" << 0 << 1 << 1;
    QTest::newRow("_versionLabelLabel") << "_versionLabelLabel" << 0 << 2 << 1;
    QTest::newRow("_versionComboBox") << "_versionComboBox" << 0 << 3 << 1;
    QTest::newRow("_stateLabelLabel") << "_stateLabelLabel" << 1 << 0 << 1;
    QTest::newRow("_stateLabel") << "_stateLabel" << 1 << 1 << 1;
    QTest::newRow("_portLabelLabel") << "_portLabelLabel" << 1 << 2 << 1;
    QTest::newRow("_portLineEdit") << "_portLineEdit" << 1 << 3 << 1;
    QTest::newRow("_bootStateLabelLabel") << "_bootStateLabelLabel" << 2 << 0 << 1;
    QTest::newRow("_bootStateLabel") << "_bootStateLabel" << 2 << 1 << 1;
    QTest::newRow("_infoTableView") << "_infoTableView" << 3 << 0 << 4;
}

void TestServicePgsqlElementWidget::formLayout()
{
    QFETCH(QString, name);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, columnSpan);
    auto *grid = m_widget->findChild<QGridLayout *>("gridLayout");
    auto *child = m_widget->findChild<QWidget *>(name);
    QVERIFY(child);
    const int index = grid->indexOf(child);
    QVERIFY(index >= 0);
    int r, c, rs, cs;
    grid->getItemPosition(index, &r, &c, &rs, &cs);
    QCOMPARE(r, row);
    QCOMPARE(c, column);
    QCOMPARE(rs, 1);
    QCOMPARE(cs, columnSpan);
}

void TestServicePgsqlElementWidget::resetInRoles_data()
{
    QTest::addColumn<int>("role");
    QTest::addColumn<QStringList>("versions");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("index");

    QTest::newRow("creation") << int(ElementWidgetRoleCreate) << QStringList{"11", "15"} << true
                              << -1;
    QTest::newRow("viewing") << int(ElementWidgetRoleView) << QStringList{"11", "15"} << false << 0;
    QTest::newRow("viewing without versions")
        << int(ElementWidgetRoleView) << QStringList{} << false << -1;
}

void TestServicePgsqlElementWidget::resetInRoles()
{
    QFETCH(int, role);
    QFETCH(QStringList, versions);
    QFETCH(bool, enabled);
    QFETCH(int, index);

    m_versions->setStringList(versions);
    // Leave something behind from an earlier cluster.
    ServicePgsqlClusterElement cluster(m_module);
    cluster.setElementData(readRecord());
    m_widget->setElement(&cluster, ElementWidgetRoleView);
    m_widget->afterSuccessfulRead(&cluster, cluster.elementData());
    QCOMPARE(m_widget->infoModel()->rowCount(), 3);

    ServicePgsqlClustersElement clusters(m_module);
    m_widget->setElement(&clusters, ElementWidgetRole(role));
    QVERIFY(edit("_nameLineEdit")->text().isEmpty());
    QVERIFY(edit("_portLineEdit")->text().isEmpty());
    QCOMPARE(label("_stateLabel")->text(), QStringLiteral("<b>undefined</b>"));
    QCOMPARE(edit("_nameLineEdit")->isEnabled(), enabled);
    QCOMPARE(combo()->isEnabled(), enabled);
    QCOMPARE(edit("_portLineEdit")->isEnabled(), enabled);
    QCOMPARE(combo()->currentIndex(), index);
    QCOMPARE(m_widget->infoModel()->rowCount(), 0);
    QVERIFY(!m_widget->isModified());
}

void TestServicePgsqlElementWidget::contentValid_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("port");
    QTest::addColumn<bool>("valid");

    QTest::newRow("name and version") << "main2" << 1 << "" << true;
    QTest::newRow("blank name") << "" << 1 << "" << false;
    QTest::newRow("blanks only") << "   " << 1 << "" << false;
    QTest::newRow("no version") << "main2" << -1 << "" << false;
    QTest::newRow("padded name") << "  main2 " << 0 << "" << true;
    QTest::newRow("port") << "main2" << 0 << "5433" << true;
    QTest::newRow("lowest port") << "main2" << 0 << "1" << true;
    QTest::newRow("highest port") << "main2" << 0 << "65535" << true;
    // Out of range: the validator lets them stand while typing, creation does not.
    QTest::newRow("port 0") << "main2" << 0 << "0" << false;
    QTest::newRow("port 65536") << "main2" << 0 << "65536" << false;
    QTest::newRow("port 99999") << "main2" << 0 << "99999" << false;
}

void TestServicePgsqlElementWidget::contentValid()
{
    QFETCH(QString, name);
    QFETCH(int, version);
    QFETCH(QString, port);
    QFETCH(bool, valid);
    ServicePgsqlClustersElement clusters(m_module);
    m_widget->setElement(&clusters, ElementWidgetRoleCreate);
    m_widget->blockEditWidget(false);
    edit("_nameLineEdit")->setText(name);
    combo()->setCurrentIndex(version);
    edit("_portLineEdit")->setText(port);
    QCOMPARE(m_widget->isContentValid(), valid);
}

void TestServicePgsqlElementWidget::exportKeepsTheNameAsTyped()
{
    ServicePgsqlClustersElement clusters(m_module);
    m_widget->setElement(&clusters, ElementWidgetRoleCreate);
    m_widget->blockEditWidget(false);
    QTest::keyClicks(edit("_nameLineEdit"), " main2 ");
    combo()->setCurrentIndex(1);
    QTest::keyClicks(edit("_portLineEdit"), "5433");
    std::unique_ptr<ElementData> record(m_widget->exportElementData());
    QCOMPARE(record->property("name").toString(), QStringLiteral(" main2 "));
    QCOMPARE(record->property("version").toString(), QStringLiteral("15"));
    QCOMPARE(record->property("port").type(), QVariant::Int);
    QCOMPARE(record->property("port").toInt(), 5433);

    edit("_portLineEdit")->clear();
    record.reset(m_widget->exportElementData());
    QCOMPARE(record->property("port").toInt(), 0);
    QVERIFY(record->hasProperty("port"));
}

void TestServicePgsqlElementWidget::portValidator_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("acceptable");

    QTest::newRow("lowest") << "1"
                            << "1" << true;
    QTest::newRow("highest") << "65535"
                             << "65535" << true;
    QTest::newRow("too high") << "65536"
                              << "65536" << false;
    QTest::newRow("zero") << "0"
                          << "0" << false;
    QTest::newRow("letters are refused") << "5a4b3"
                                         << "543" << true;
    QTest::newRow("sign is refused") << "-5"
                                     << "5" << true;
    QTest::newRow("six digits are refused") << "123456"
                                            << "12345" << true;
}

void TestServicePgsqlElementWidget::portValidator()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(bool, acceptable);
    ServicePgsqlClustersElement clusters(m_module);
    m_widget->setElement(&clusters, ElementWidgetRoleCreate);
    QTest::keyClicks(edit("_portLineEdit"), typed);
    QCOMPARE(edit("_portLineEdit")->text(), shown);
    QCOMPARE(edit("_portLineEdit")->hasAcceptableInput(), acceptable);
    QCOMPARE(m_widget->portValidator()->bottom(), 1);
    QCOMPARE(m_widget->portValidator()->top(), 65535);
}

void TestServicePgsqlElementWidget::blockingSilencesTheEditors()
{
    ServicePgsqlClustersElement clusters(m_module);
    m_widget->setElement(&clusters, ElementWidgetRoleCreate);
    QSignalSpy changed(m_widget, &ViewEditElementWidget::contentChanged);
    QVERIFY(m_widget->isBlocked());
    QTest::keyClicks(edit("_nameLineEdit"), "x");
    combo()->setCurrentIndex(1);
    QCOMPARE(changed.count(), 0);
    QVERIFY(!m_widget->isModified());

    m_widget->blockEditWidget(false);
    QVERIFY(!m_widget->isBlocked());
    QTest::keyClicks(edit("_nameLineEdit"), "y");
    QCOMPARE(changed.count(), 1);
    QTest::keyClicks(edit("_portLineEdit"), "5");
    QCOMPARE(changed.count(), 2);
    combo()->setCurrentIndex(0);
    QCOMPARE(changed.count(), 3);
    QVERIFY(m_widget->isModified());

    m_widget->blockEditWidget(true);
    QVERIFY(!m_widget->isModified());
    QTest::keyClicks(edit("_portLineEdit"), "4");
    QCOMPARE(changed.count(), 3);
}

void TestServicePgsqlElementWidget::resetIsNoEdit()
{
    ServicePgsqlClustersElement clusters(m_module);
    m_widget->setElement(&clusters, ElementWidgetRoleCreate);
    m_widget->blockEditWidget(false);
    QTest::keyClicks(edit("_nameLineEdit"), "main2");
    QTest::keyClicks(edit("_portLineEdit"), "5433");
    QVERIFY(m_widget->isModified());
    QSignalSpy changed(m_widget, &ViewEditElementWidget::contentChanged);
    m_widget->setElement(&clusters, ElementWidgetRoleCreate);
    QVERIFY(edit("_nameLineEdit")->text().isEmpty());
    QCOMPARE(changed.count(), 0);
    QVERIFY(!m_widget->isModified());
    // Still editable afterwards.
    QTest::keyClicks(edit("_nameLineEdit"), "z");
    QCOMPARE(changed.count(), 1);
}

void TestServicePgsqlElementWidget::showsARead()
{
    ServicePgsqlClusterElement cluster(m_module);
    cluster.setElementData(readRecord());
    m_widget->setElement(&cluster, ElementWidgetRoleView);
    m_widget->blockEditWidget(false);
    QSignalSpy read(m_widget, &ViewEditElementWidget::contentRead);
    std::unique_ptr<ElementData> record(readRecord());
    m_widget->afterSuccessfulRead(&cluster, record.get());
    QCOMPARE(read.count(), 1);
    QVERIFY(m_widget->isBlocked());
    QCOMPARE(edit("_nameLineEdit")->text(), QStringLiteral("main"));
    QCOMPARE(label("_stateLabel")->text(), QStringLiteral("<b>online</b>"));
    QCOMPARE(edit("_portLineEdit")->text(), QStringLiteral("5491"));
    QCOMPARE(combo()->currentText(), QStringLiteral("15"));
    QCOMPARE(m_widget->infoModel()->rows(), record->property("directories").toStringList());
    QVERIFY(!edit("_nameLineEdit")->isEnabled());
    QVERIFY(!m_widget->isModified());
}

void TestServicePgsqlElementWidget::readWithoutPortOrUnknownVersion()
{
    ServicePgsqlClusterElement cluster(m_module);
    m_widget->setElement(&cluster, ElementWidgetRoleView);
    QCOMPARE(combo()->currentText(), QStringLiteral("11"));
    std::unique_ptr<ElementData> record(readRecord());
    record->properties().remove("port");
    // A cluster left by a server version that is no longer installed.
    record->setProperty("version", "13");
    m_widget->afterSuccessfulRead(&cluster, record.get());
    QCOMPARE(edit("_portLineEdit")->text(), QStringLiteral("-1"));
    QCOMPARE(combo()->currentIndex(), -1);
    QVERIFY(combo()->currentText().isEmpty());
}

void TestServicePgsqlElementWidget::ignoresOtherReads()
{
    ServicePgsqlClusterElement shown(m_module);
    ServicePgsqlClusterElement other(m_module);
    m_widget->setElement(&shown, ElementWidgetRoleView);
    QSignalSpy read(m_widget, &ViewEditElementWidget::contentRead);
    std::unique_ptr<ElementData> record(readRecord());

    m_widget->afterSuccessfulRead(&other, record.get());
    m_widget->afterSuccessfulRead(&shown, nullptr);
    ServicePgsqlClustersElement clusters(m_module);
    m_widget->setElement(&clusters, ElementWidgetRoleCreate);
    m_widget->afterSuccessfulRead(&clusters, record.get());

    QCOMPARE(read.count(), 0);
    QVERIFY(edit("_nameLineEdit")->text().isEmpty());
    QCOMPARE(m_widget->infoModel()->rowCount(), 0);
}

void TestServicePgsqlElementWidget::caption()
{
    QCOMPARE(m_widget->caption(), QStringLiteral("Cluster PostgreSQL creation"));
    ServicePgsqlClusterElement cluster(m_module);
    cluster.setElementData(readRecord());
    m_widget->setElement(&cluster, ElementWidgetRoleView);
    QCOMPARE(m_widget->caption(), QStringLiteral("PostgreSQL database cluster: main - 15"));
}

void TestServicePgsqlElementWidget::infoModel()
{
    ClusterMiscModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    model.setData(QStringList{"/etc/postgresql/15/main", "/data", "/log"});
    QCOMPARE(resets.count(), 1);
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.headerData(0, Qt::Vertical).toString(), QStringLiteral("Config"));
    QCOMPARE(model.headerData(1, Qt::Vertical).toString(), QStringLiteral("Data"));
    QCOMPARE(model.headerData(2, Qt::Vertical).toString(), QStringLiteral("Log"));
    // Everything else is the plain table's: row and column numbers.
    MiscModel plain;
    plain.setData(QStringList{"a", "b", "c", "d"});
    model.setData(QStringList{"/etc/postgresql/15/main", "/data", "/log", "extra"});
    QCOMPARE(model.headerData(3, Qt::Vertical), plain.headerData(3, Qt::Vertical));
    QCOMPARE(model.headerData(0, Qt::Horizontal), plain.headerData(0, Qt::Horizontal));
    QVERIFY(!model.headerData(0, Qt::Vertical, Qt::ToolTipRole).isValid());
    QCOMPARE(model.data(model.index(1, 0)).toString(), QStringLiteral("/data"));
    model.clear();
    QCOMPARE(resets.count(), 3);
    QCOMPARE(model.rowCount(), 0);
}

QTEST_MAIN(TestServicePgsqlElementWidget)
#include "tst_servicepgsqlelementwidget.moc"
