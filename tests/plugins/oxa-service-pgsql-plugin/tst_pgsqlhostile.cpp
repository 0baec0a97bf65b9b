// Cluster names that look like options never reach Debian's PostgreSQL tools as options:
// the argument lists, and the real pg_dropcluster and pg_ctlcluster in the disposable host.

#include <servicepgsqlclusterelement.h>
#include <servicepgsqlmodule.h>
#include <servicepgsqltasks.h>
#include <testhost.h>

#include <elementdata.h>

#include <QTest>

#include <memory>

class TestPgsqlHostile : public QObject
{
    Q_OBJECT

private slots:
    void argumentsEndTheOptions_data();
    void argumentsEndTheOptions();
    void realToolsTakeTheNameAsAName_data();
    void realToolsTakeTheNameAsAName();

private:
    ServicePgsqlClusterElement *cluster(const QString &version, const QString &name);

    std::unique_ptr<ServicePgsqlModule> m_module{new ServicePgsqlModule(nullptr)};
};

ServicePgsqlClusterElement *TestPgsqlHostile::cluster(const QString &version, const QString &name)
{
    auto *element = new ServicePgsqlClusterElement(m_module.get());
    auto *record = new ElementData;
    record->setProperty(QStringLiteral("version"), version);
    record->setProperty(QStringLiteral("name"), name);
    record->setProperty(QStringLiteral("port"), 5433);
    element->setElementData(record);
    return element;
}

void TestPgsqlHostile::argumentsEndTheOptions_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("create");
    QTest::addColumn<QStringList>("drop");
    QTest::addColumn<QStringList>("start");

    QTest::newRow("plain names keep their form")
        << "15" << "main" << QStringList{"-p", "5433", "15", "main"}
        << QStringList{"15", "main", "--stop"} << QStringList{"15", "main", "start"};
    QTest::newRow("option-like name")
        << "15" << "--stop-server" << QStringList{"-p", "5433", "--", "15", "--stop-server"}
        << QStringList{"--stop", "--", "15", "--stop-server"}
        << QStringList{"--", "15", "--stop-server", "start"};
    QTest::newRow("option-like version") << "-f" << "main"
                                         << QStringList{"-p", "5433", "--", "-f", "main"}
                                         << QStringList{"--stop", "--", "-f", "main"}
                                         << QStringList{"--", "-f", "main", "start"};
    QTest::newRow("a dash inside is no option")
        << "15" << "a-b" << QStringList{"-p", "5433", "15", "a-b"}
        << QStringList{"15", "a-b", "--stop"} << QStringList{"15", "a-b", "start"};
}

void TestPgsqlHostile::argumentsEndTheOptions()
{
    QFETCH(QString, version);
    QFETCH(QString, name);
    QFETCH(QStringList, create);
    QFETCH(QStringList, drop);
    QFETCH(QStringList, start);

    std::unique_ptr<ServicePgsqlClusterElement> element(cluster(version, name));
    ServicePgsqlClusterCreateTask createTask(element.get(),
                                             new ElementData(*element->elementData()));
    QCOMPARE(createTask.arguments(), create);
    ServicePgsqlClusterDeleteTask dropTask(element.get());
    QCOMPARE(dropTask.arguments(), drop);
    ServicePgsqlClusterStartTask startTask(element.get());
    QCOMPARE(startTask.composedArguments(), start);
}

void TestPgsqlHostile::realToolsTakeTheNameAsAName_data()
{
    QTest::addColumn<QString>("name");
    // Options of the tools: each would have changed what the command does.
    QTest::newRow("--stop-server") << "--stop-server";
    QTest::newRow("-f (force)") << "-f";
    QTest::newRow("--foreground") << "--foreground";
}

void TestPgsqlHostile::realToolsTakeTheNameAsAName()
{
    QFETCH(QString, name);
    TestHost host;
    OXA_REQUIRE_TEST_HOST(host);

    // No such cluster: the tools must say so about that very name, not about an option.
    std::unique_ptr<ServicePgsqlClusterElement> element(cluster(QStringLiteral("15"), name));
    ServicePgsqlClusterDeleteTask drop(element.get());
    drop.run();
    QCOMPARE(drop.status(), TaskDescription::TaskStatusFailed);
    QVERIFY2(drop.taskDescription().message().contains(QLatin1String("does not exist")),
             qPrintable(drop.taskDescription().message()));

    ServicePgsqlClusterStartTask start(element.get());
    start.run();
    QCOMPARE(start.status(), TaskDescription::TaskStatusFailed);
    QVERIFY2(start.taskDescription().message().contains(
                 QStringLiteral("'15 %1' does not exist").arg(name)),
             qPrintable(start.taskDescription().message()));
}

OXA_TEST_MAIN(TestPgsqlHostile)
#include "tst_pgsqlhostile.moc"
