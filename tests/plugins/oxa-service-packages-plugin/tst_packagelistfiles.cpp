#include "packagelist.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTest>

namespace {

const QString listsDirectory = QStringLiteral(OXA_PACKAGES_LISTS_DIR);

/// PostgreSQL major versions with a list: those Debian 11, 12 and 13 ship, and older ones
/// that upgraded hosts may still carry clusters of.
const QStringList pgsqlVersions = {QStringLiteral("9.4"), QStringLiteral("9.6"),
                                   QStringLiteral("11"),  QStringLiteral("13"),
                                   QStringLiteral("15"),  QStringLiteral("17")};
/// The one PostgreSQL version Debian 12 ships.
const QString debian12Pgsql = QStringLiteral("15");
/// The directory service's own packages: they come with the directory, not from Debian.
const QStringList directoryPackages = {QStringLiteral("tarn-client")};

QStringList listNames()
{
    QStringList names = {
        QStringLiteral("ServiceTarnServer"),  QStringLiteral("ServiceTarnClient"),
        QStringLiteral("ServiceApache"),      QStringLiteral("ServiceCron"),
        QStringLiteral("ServiceCups"),        QStringLiteral("ServiceKerberosKdc"),
        QStringLiteral("ServiceSamba"),       QStringLiteral("ServiceSlapd"),
        QStringLiteral("ServiceMailDovecot"), QStringLiteral("ServiceMailExim"),
    };
    for (const QString &version : pgsqlVersions)
        names.append(QStringLiteral("ServicePgsqlCluster-") + version);
    return names;
}

QList<PackageList::Entry> readList(const QString &name, QByteArray *raw = nullptr)
{
    QFile file(listsDirectory + QLatin1Char('/') + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    if (raw)
        *raw = bytes;
    return PackageList::parse(QString::fromLocal8Bit(bytes));
}

/// The version a PostgreSQL list is for, or empty.
QString pgsqlVersionOf(const QString &listName)
{
    const QString prefix = QStringLiteral("ServicePgsqlCluster-");
    return listName.startsWith(prefix) ? listName.mid(prefix.size()) : QString();
}

/**
 * "apt-cache policy" for @p names: the names whose candidate comes from a Debian 12 suite.
 * Empty with @p error set when apt-cache cannot answer.
 */
QSet<QString> inDebian12(const QStringList &names, QString *error)
{
    QProcess process;
    process.start(QStringLiteral("apt-cache"), QStringList{QStringLiteral("policy")} + names,
                  QIODevice::ReadOnly);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) {
        *error = QStringLiteral("apt-cache policy did not finish");
        return {};
    }
    // One block a package: "name:", its candidate, then its version table with the suites.
    QSet<QString> found;
    QString current;
    bool hasCandidate = false;
    bool fromDebian12 = false;
    const auto close = [&] {
        if (!current.isEmpty() && hasCandidate && fromDebian12)
            found.insert(current);
    };
    const QStringList lines = QString::fromLocal8Bit(process.readAllStandardOutput())
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        if (!line.startsWith(QLatin1Char(' ')) && line.endsWith(QLatin1Char(':'))) {
            close();
            current = line.chopped(1);
            hasCandidate = fromDebian12 = false;
        } else if (line.trimmed().startsWith(QLatin1String("Candidate:"))) {
            hasCandidate = !line.contains(QLatin1String("(none)"));
        } else if (line.contains(QLatin1String(" bookworm"))) {
            fromDebian12 = true;
        }
    }
    close();
    return found;
}

} // namespace

/** The package lists the plug-in ships: one per list name, well formed, real packages. */
class TestPackageListFiles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyListNameHasAList();
    void listIsWellFormed_data();
    void listIsWellFormed();
    void packagesExistInDebian12_data();
    void packagesExistInDebian12();

private:
    /// The name apt-cache is asked for in place of a listed one.
    static QString lookupName(const QString &listName, const QString &package);

    QSet<QString> m_inDebian12;
    QString m_skipReason;
};

QString TestPackageListFiles::lookupName(const QString &listName, const QString &package)
{
    // Debian 12 ships PostgreSQL 15 only: another version's packages are checked by their
    // Debian 12 counterparts, which must exist under the same names.
    const QString version = pgsqlVersionOf(listName);
    if (!version.isEmpty() && package.endsWith(QLatin1Char('-') + version))
        return package.chopped(version.size()) + debian12Pgsql;
    return package;
}

void TestPackageListFiles::initTestCase()
{
    // One look-up for every list: apt-cache takes seconds to start.
    if (QStandardPaths::findExecutable(QStringLiteral("apt-cache")).isEmpty()) {
        m_skipReason = QStringLiteral("apt-cache is not available here: Debian 12's packages "
                                      "cannot be looked up");
        return;
    }
    QSet<QString> names = {QStringLiteral("dpkg")};
    for (const QString &list : listNames()) {
        for (const PackageList::Entry &entry : readList(list))
            names.insert(lookupName(list, entry.name));
    }
    QStringList sorted(names.cbegin(), names.cend());
    sorted.sort();
    QString error;
    m_inDebian12 = inDebian12(sorted, &error);
    if (!error.isEmpty())
        m_skipReason = error;
    else if (!m_inDebian12.contains(QStringLiteral("dpkg")))
        m_skipReason = QStringLiteral("apt has no Debian 12 package lists here (run apt-get "
                                      "update)");
}

void TestPackageListFiles::everyListNameHasAList()
{
    const QStringList files = QDir(listsDirectory).entryList(QDir::Files);
    const QSet<QString> shipped(files.cbegin(), files.cend());
    for (const QString &name : listNames())
        QVERIFY2(shipped.contains(name), qPrintable(name));
    QVERIFY(QDir(listsDirectory).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
}

void TestPackageListFiles::listIsWellFormed_data()
{
    QTest::addColumn<QString>("name");
    for (const QString &name : listNames())
        QTest::newRow(qPrintable(name)) << name;
}

void TestPackageListFiles::listIsWellFormed()
{
    QFETCH(QString, name);
    QByteArray raw;
    const QList<PackageList::Entry> entries = readList(name, &raw);
    QVERIFY2(!entries.isEmpty(), "no package");
    // Lines are used as they stand: a blank or a carriage return would become part of a name.
    QVERIFY(!raw.contains('\r'));
    QVERIFY(raw.endsWith('\n'));
    static const QRegularExpression packageName(QStringLiteral("^[a-z0-9][a-z0-9+.-]+$"));
    QSet<QString> seen;
    int required = 0;
    const QString version = pgsqlVersionOf(name);
    static const QRegularExpression versioned(
        QStringLiteral("^postgresql-(?:[a-z0-9]+-)*?(\\d+(?:\\.\\d+)?)$"));
    for (const PackageList::Entry &entry : entries) {
        QVERIFY2(packageName.match(entry.name).hasMatch(), qPrintable(entry.name));
        QVERIFY2(!seen.contains(entry.name), qPrintable(entry.name + QStringLiteral(" twice")));
        seen.insert(entry.name);
        if (!entry.optional)
            ++required;
        // A cluster's list names the packages of its own version only.
        const QRegularExpressionMatch match = versioned.match(entry.name);
        if (match.hasMatch())
            QCOMPARE(match.captured(1), version);
    }
    QVERIFY2(required > 0, "every package is optional");
}

void TestPackageListFiles::packagesExistInDebian12_data()
{
    listIsWellFormed_data();
}

void TestPackageListFiles::packagesExistInDebian12()
{
    QFETCH(QString, name);
    if (!m_skipReason.isEmpty())
        QSKIP(qPrintable(m_skipReason));
    int asked = 0;
    QStringList missing;
    for (const PackageList::Entry &entry : readList(name)) {
        if (directoryPackages.contains(entry.name))
            continue;
        ++asked;
        if (!m_inDebian12.contains(lookupName(name, entry.name)))
            missing.append(entry.name);
    }
    if (asked == 0)
        QSKIP("the list names only the directory service's own packages");
    missing.sort();
    QVERIFY2(missing.isEmpty(),
             qPrintable(QStringLiteral("not in Debian 12: ") + missing.join(QLatin1String(", "))));
}

QTEST_GUILESS_MAIN(TestPackageListFiles)
#include "tst_packagelistfiles.moc"
