// ChoiceTreeNodeProxyModel: check boxes by name over a tree, the names ticked and unticked
// since the load, and the signals that reach views and the widget.

#include "testobjects.h"

#include <choicetreenodeproxymodel.h>
#include <treenodemodel.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

using Tester = QAbstractItemModelTester;
using Choice = ChoiceTreeNodeProxyModel;

QSet<QString> names(const QStringList &list)
{
    return QSet<QString>(list.begin(), list.end());
}

/**
 * Modules to tick:   core(authz, ssl)  php  ssl (a second row named ssl, elsewhere)
 * Names are the display texts (ids) of column 0.
 */
struct Fixture
{
    TreeNode root;
    TreeNodeModel model{&root};
    Choice choice;
    std::unique_ptr<Tester> tester;

    Fixture()
    {
        auto *core = new CountedNode(QStringLiteral("core"));
        root.append({core, new CountedNode(QStringLiteral("php")),
                     new CountedNode(QStringLiteral("other"))});
        core->append(
            {new CountedNode(QStringLiteral("authz")), new CountedNode(QStringLiteral("ssl"))});
        root.child(2)->append(new CountedNode(QStringLiteral("ssl")));
        choice.setSourceModel(&model);
        tester = std::make_unique<Tester>(&choice, Tester::FailureReportingMode::Fatal);
    }
    ~Fixture()
    {
        tester.reset();
        root.clearDelete();
    }

    QModelIndex php() const { return choice.index(1, 0); }
    QModelIndex ssl() const { return choice.index(1, 0, choice.index(0, 0)); }
    QModelIndex otherSsl() const { return choice.index(0, 0, choice.index(2, 0)); }
};

} // namespace

class TestChoiceTreeNodeProxyModel : public QObject
{
    Q_OBJECT

private slots:
    void init() { CountedNode::alive = 0; }
    void cleanup() { QCOMPARE(CountedNode::alive, 0); }

    void loadShowsTicksWithoutStateChange();
    void userTicksAreRecorded_data();
    void userTicksAreRecorded();
    void blockedRowsCannotChange();
    void setNameChecked();
    void clearAddRemoveNamesMakesCurrentTheLoad();
    void rowsOfOneNameChangeTogether();
    void sourceChangesPassThrough();
    void nameRoleWinsOverDisplay();
};

void TestChoiceTreeNodeProxyModel::loadShowsTicksWithoutStateChange()
{
    Fixture f;
    QSignalSpy state(&f.choice, &Choice::stateChanged);
    QSignalSpy changed(&f.choice, &QAbstractItemModel::dataChanged);
    f.choice.setCheckedBlockedNames(names({"php", "ssl"}), names({"core"}));
    QCOMPARE(state.count(), 0);
    QCOMPARE(changed.count(), 1);

    QCOMPARE(f.php().data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(f.ssl().data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(f.choice.index(0, 0, f.choice.index(0, 0)).data(Qt::CheckStateRole).toInt(),
             int(Qt::Unchecked));
    const QModelIndex core = f.choice.index(0, 0);
    QCOMPARE(core.data(Qt::CheckStateRole), QVariant()); // blocked: no check box
    QVERIFY(!(f.choice.flags(core) & Qt::ItemIsUserCheckable));
    QVERIFY(f.choice.flags(f.php()) & Qt::ItemIsUserCheckable);
    QCOMPARE(core.data(Choice::StateRole).toInt(), int(Choice::ChoiceBlocked));
    QCOMPARE(f.php().data(Choice::StateRole).toInt(), int(Choice::ChoiceChecked));
    QCOMPARE(f.choice.index(2, 0).data(Choice::StateRole).toInt(), int(Choice::ChoiceUnchecked));
    QVERIFY(f.choice.addNames().isEmpty());
    QVERIFY(f.choice.removeNames().isEmpty());
}

void TestChoiceTreeNodeProxyModel::userTicksAreRecorded_data()
{
    // Each step "+name" ticks, "-name" unticks; loaded ticks: php and ssl.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<QStringList>("removed");
    QTest::addColumn<int>("stateChanges");

    QTest::newRow("tick new") << QStringList{"+authz"} << QStringList{"authz"} << QStringList{}
                              << 1;
    QTest::newRow("untick loaded")
        << QStringList{"-php"} << QStringList{} << QStringList{"php"} << 1;
    QTest::newRow("tick and untick again")
        << QStringList{"+authz", "-authz"} << QStringList{} << QStringList{} << 2;
    QTest::newRow("untick and tick again")
        << QStringList{"-php", "+php"} << QStringList{} << QStringList{} << 2;
    QTest::newRow("no change is no signal")
        << QStringList{"+php", "-other"} << QStringList{} << QStringList{} << 0;
    QTest::newRow("mixed") << QStringList{"+other", "-ssl", "+authz", "-php"}
                           << QStringList{"other", "authz"} << QStringList{"ssl", "php"} << 4;
}

void TestChoiceTreeNodeProxyModel::userTicksAreRecorded()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, added);
    QFETCH(QStringList, removed);
    QFETCH(int, stateChanges);

    Fixture f;
    f.choice.setCheckedBlockedNames(names({"php", "ssl"}), {});
    QSignalSpy state(&f.choice, &Choice::stateChanged);
    for (const QString &step : std::as_const(steps)) {
        const QModelIndex cell = f.choice.findName(step.mid(1));
        QVERIFY(cell.isValid());
        const bool tick = step.startsWith(QLatin1Char('+'));
        QVERIFY(f.choice.setData(cell, tick ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole));
        QCOMPARE(cell.data(Qt::CheckStateRole).toInt(), int(tick ? Qt::Checked : Qt::Unchecked));
    }
    QCOMPARE(f.choice.addNames(), names(added));
    QCOMPARE(f.choice.removeNames(), names(removed));
    QCOMPARE(state.count(), stateChanges);
}

void TestChoiceTreeNodeProxyModel::blockedRowsCannotChange()
{
    Fixture f;
    f.choice.setCheckedBlockedNames(names({"php"}), names({"php", "core"}));
    QSignalSpy state(&f.choice, &Choice::stateChanged);
    QVERIFY(!f.choice.setData(f.php(), Qt::Unchecked, Qt::CheckStateRole));
    QVERIFY(!f.choice.setData(f.choice.index(0, 0), Qt::Checked, Qt::CheckStateRole));
    QVERIFY(!f.choice.setNameChecked(QStringLiteral("core"), true));
    QCOMPARE(state.count(), 0);
    QVERIFY(f.choice.addNames().isEmpty());
    QVERIFY(f.choice.removeNames().isEmpty());
    QVERIFY(f.choice.checkedNames().contains(QStringLiteral("php")));
}

void TestChoiceTreeNodeProxyModel::setNameChecked()
{
    Fixture f;
    f.choice.setCheckedBlockedNames({}, {});
    QSignalSpy state(&f.choice, &Choice::stateChanged);
    QVERIFY(f.choice.setNameChecked(QStringLiteral("authz"), true)); // nested row
    QVERIFY(!f.choice.setNameChecked(QStringLiteral("nothing"), true));
    QCOMPARE(state.count(), 1);
    QCOMPARE(f.choice.addNames(), names({"authz"}));
    QCOMPARE(f.choice.findName(QStringLiteral("authz")),
             f.choice.index(0, 0, f.choice.index(0, 0)));
    QCOMPARE(f.choice.findName(QStringLiteral("ssl")), f.ssl()); // depth first
}

void TestChoiceTreeNodeProxyModel::clearAddRemoveNamesMakesCurrentTheLoad()
{
    Fixture f;
    f.choice.setCheckedBlockedNames(names({"php"}), {});
    f.choice.setNameChecked(QStringLiteral("authz"), true);
    f.choice.clearAddRemoveNames();
    QVERIFY(f.choice.addNames().isEmpty());
    QCOMPARE(f.choice.checkedNames(), names({"php", "authz"}));
    // authz now counts as loaded: unticking it is a removal.
    f.choice.setNameChecked(QStringLiteral("authz"), false);
    QCOMPARE(f.choice.removeNames(), names({"authz"}));
    QVERIFY(f.choice.addNames().isEmpty());

    // A new load forgets pending changes.
    f.choice.setCheckedBlockedNames(names({"ssl"}), {});
    QVERIFY(f.choice.removeNames().isEmpty());
    QCOMPARE(f.choice.checkedNames(), names({"ssl"}));
}

void TestChoiceTreeNodeProxyModel::rowsOfOneNameChangeTogether()
{
    Fixture f;
    f.choice.setCheckedBlockedNames({}, {});
    QSignalSpy changed(&f.choice, &QAbstractItemModel::dataChanged);
    QVERIFY(f.choice.setData(f.ssl(), Qt::Checked, Qt::CheckStateRole));
    QCOMPARE(f.otherSsl().data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QList<QModelIndex> told;
    for (const QList<QVariant> &args : std::as_const(changed))
        told << args.at(0).value<QModelIndex>();
    QVERIFY(told.contains(f.ssl()));
    QVERIFY(told.contains(f.otherSsl()));
}

void TestChoiceTreeNodeProxyModel::sourceChangesPassThrough()
{
    Fixture f;
    f.choice.setCheckedBlockedNames(names({"late"}), {});
    QSignalSpy inserted(&f.choice, &QAbstractItemModel::rowsInserted);
    f.root.append(new CountedNode(QStringLiteral("late")));
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(f.choice.index(3, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    delete f.root.child(0);
    QCOMPARE(f.choice.rowCount(), 3);
    f.root.clearDelete();
    QCOMPARE(f.choice.rowCount(), 0);
    QCOMPARE(f.choice.findName(QStringLiteral("php")), QModelIndex());
}

void TestChoiceTreeNodeProxyModel::nameRoleWinsOverDisplay()
{
    // Rows may show a caption and be ticked by another name.
    class NamedNode : public CountedNode
    {
    public:
        NamedNode(const QString &caption, const QString &name) : CountedNode(caption), m_name(name)
        {
        }
        QVariant data(int column, int role) const override
        {
            if (column == 0 && role == TreeNodeModel::NameRole)
                return m_name;
            return CountedNode::data(column, role);
        }

    private:
        QString m_name;
    };
    TreeNode root;
    root.append(new NamedNode(QStringLiteral("SSL module"), QStringLiteral("ssl")));
    TreeNodeModel model(&root);
    Choice choice;
    choice.setSourceModel(&model);
    choice.setCheckedBlockedNames(names({"ssl"}), {});
    QCOMPARE(choice.nameOf(choice.index(0, 0)), QStringLiteral("ssl"));
    QCOMPARE(choice.index(0, 0).data().toString(), QStringLiteral("SSL module"));
    QCOMPARE(choice.index(0, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    root.clearDelete();
}

QTEST_GUILESS_MAIN(TestChoiceTreeNodeProxyModel)
#include "tst_choicetreenodeproxymodel.moc"
