#include "packagelist.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <algorithm>

#include <unistd.h>

namespace {

const QString listsDirectory = QStringLiteral(OXA_PACKAGES_LISTS_DIR);

/// PostgreSQL major versions a Debian host can run clusters of, from Debian or from the
/// PostgreSQL project's archive: each has a list.
const QStringList pgsqlVersions = {
    QStringLiteral("9.4"), QStringLiteral("9.5"), QStringLiteral("9.6"), QStringLiteral("10"),
    QStringLiteral("11"),  QStringLiteral("12"),  QStringLiteral("13"),  QStringLiteral("14"),
    QStringLiteral("15"),  QStringLiteral("16"),  QStringLiteral("17"),  QStringLiteral("18")};
/// The directory service's own packages: they come with the directory, not from Debian.
const QStringList directoryPackages = {QStringLiteral("tarn-client")};
/// Written by scripts/debian-root into a root it has made and filled (holding the release).
const QString rootMark = QStringLiteral("/var/lib/vell-admin-service/debian-root");

/** A Debian release the lists serve, and the one PostgreSQL version it ships. */
struct Release
{
    QString codename;
    QString pgsql;
};
const QList<Release> releases = {{QStringLiteral("bookworm"), QStringLiteral("15")},
                                 {QStringLiteral("trixie"), QStringLiteral("17")}};

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

/// The major version a versioned PostgreSQL package is of ("postgresql-plperl-17"), or empty.
QString packageVersionOf(const QString &package)
{
    static const QRegularExpression versioned(
        QStringLiteral("^postgresql-(?:[a-z0-9]+-)*?(\\d+(?:\\.\\d+)?)$"));
    return versioned.match(package).captured(1);
}

bool shippedByARelease(const QString &version)
{
    return std::any_of(releases.cbegin(), releases.cend(),
                       [&](const Release &release) { return release.pgsql == version; });
}

/// A name no release ships (a PostgreSQL version of another archive, the directory's own):
/// optional, and exempt from the look-up.
bool isExempt(const QString &package)
{
    const QString version = packageVersionOf(package);
    return directoryPackages.contains(package) ||
           (!version.isEmpty() && !shippedByARelease(version));
}

/** Where one release's packages are looked up, and what was found there. */
struct Source
{
    QString root; ///< "/" for this machine
    QString skipReason;
    bool expected = false; ///< the root was named in the environment: missing, it fails in CI
    bool fresh = false;    ///< made by scripts/debian-root: only the service packages installed
    QSet<QString> available;
    QSet<QString> installed;
};

QString codenameOf(const QString &root)
{
    QFile file(QDir(root).filePath(QStringLiteral("etc/os-release")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("VERSION_CODENAME="))
            return QString::fromLatin1(line.mid(17)).remove(QLatin1Char('"')).trimmed();
    }
    return {};
}

/// Runs @p arguments on this machine (root "/") or inside @p root; its standard output.
bool runIn(const QString &root, const QStringList &arguments, QByteArray *output, QString *error)
{
    QProcess process;
    const bool chroot = root != QLatin1String("/");
    process.start(chroot ? QStringLiteral("chroot") : arguments.first(),
                  chroot ? QStringList{root} + arguments : arguments.mid(1), QIODevice::ReadOnly);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        process.kill();
        process.waitForFinished();
        *error = QStringLiteral("%1 in %2 did not finish: %3")
                     .arg(arguments.join(QLatin1Char(' ')).left(40), root,
                          QString::fromLocal8Bit(process.readAllStandardError()).trimmed());
        return false;
    }
    *output = process.readAllStandardOutput();
    return true;
}

/**
 * "apt-cache policy" for @p names in @p root: the names with a candidate from one of
 * @p codename's suites.
 */
QSet<QString> availableIn(const QString &root, const QString &codename, const QStringList &names,
                          QString *error)
{
    QByteArray output;
    if (!runIn(root, QStringList{QStringLiteral("apt-cache"), QStringLiteral("policy")} + names,
               &output, error))
        return {};
    // One block a package: "name:", its candidate, then its version table with the suites.
    const QRegularExpression suite(QStringLiteral(" %1(-[a-z]+)?/").arg(codename));
    QSet<QString> found;
    QString current;
    bool hasCandidate = false;
    bool fromRelease = false;
    const auto close = [&] {
        if (!current.isEmpty() && hasCandidate && fromRelease)
            found.insert(current);
    };
    for (const QString &line : QString::fromLocal8Bit(output).split(QLatin1Char('\n'))) {
        if (!line.startsWith(QLatin1Char(' ')) && line.endsWith(QLatin1Char(':'))) {
            close();
            current = line.chopped(1);
            hasCandidate = fromRelease = false;
        } else if (line.trimmed().startsWith(QLatin1String("Candidate:"))) {
            hasCandidate = !line.contains(QLatin1String("(none)"));
        } else if (suite.match(line).hasMatch()) {
            fromRelease = true;
        }
    }
    close();
    return found;
}

} // namespace

/**
 * The package lists the plug-in ships: one per list name, well formed, and real packages of
 * Debian 12 and Debian 13, each looked up on this machine when it runs that release, else in
 * a root made by scripts/debian-root: $OXA_DEBIAN_ROOT_BOOKWORM or $OXA_DEBIAN_ROOT_TRIXIE
 * (then it must be there in CI), or /var/cache/vell-admin-service/roots/<release>.
 */
class TestPackageListFiles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyListNameHasAList();
    void listIsWellFormed_data();
    void listIsWellFormed();
    void packagesExistInRelease_data();
    void packagesExistInRelease();
    void everyNameIsARealPackage_data();
    void everyNameIsARealPackage();
    void freshInstallHasNoMissingPackage_data();
    void freshInstallHasNoMissingPackage();

private:
    void lookUp(const Release &release, const QStringList &names);
    /// Skips, or fails in CI when the root was expected, unless @p codename was looked up.
    bool requireSource(const QString &codename);

    QHash<QString, Source> m_sources;
};

void TestPackageListFiles::lookUp(const Release &release, const QStringList &names)
{
    Source &source = m_sources[release.codename];
    const QString variable = QStringLiteral("OXA_DEBIAN_ROOT_") + release.codename.toUpper();
    const QString defaultRoot =
        QStringLiteral("/var/cache/vell-admin-service/roots/") + release.codename;
    // A root made by scripts/debian-root first: its packages are a known, fresh install.
    source.expected = qEnvironmentVariableIsSet(qPrintable(variable));
    if (source.expected)
        source.root = QDir(qEnvironmentVariable(qPrintable(variable))).absolutePath();
    else if (QFile::exists(defaultRoot + rootMark) ||
             codenameOf(QStringLiteral("/")) != release.codename)
        source.root = defaultRoot;
    else
        source.root = QStringLiteral("/");
    if (source.root != QLatin1String("/")) {
        if (!QFile::exists(source.root + rootMark)) {
            source.skipReason = QStringLiteral("no %1 root made by scripts/debian-root in %2 "
                                               "(make one, or name it in %3)")
                                    .arg(release.codename, source.root, variable);
            return;
        }
        if (codenameOf(source.root) != release.codename) {
            source.skipReason =
                QStringLiteral("%1 is no %2 root").arg(source.root, release.codename);
            return;
        }
        if (geteuid() != 0) {
            source.skipReason =
                QStringLiteral("entering the %1 root needs root").arg(release.codename);
            return;
        }
        source.fresh = true;
    } else {
        source.fresh = QFile::exists(rootMark);
    }

    QString error;
    source.available = availableIn(source.root, release.codename, names, &error);
    if (!error.isEmpty()) {
        source.skipReason = error;
        return;
    }
    if (!source.available.contains(QStringLiteral("dpkg"))) {
        source.skipReason = QStringLiteral("apt has no %1 package lists in %2 (run apt-get update)")
                                .arg(release.codename, source.root);
        return;
    }
    QByteArray status;
    if (!runIn(source.root,
               {QStringLiteral("dpkg-query"), QStringLiteral("-W"),
                QStringLiteral("-f=${db:Status-Abbrev} ${Package}\\n")},
               &status, &error)) {
        source.skipReason = error;
        return;
    }
    for (const QByteArray &line : status.split('\n')) {
        if (line.startsWith("ii "))
            source.installed.insert(QString::fromLatin1(line.mid(4)));
    }
}

bool TestPackageListFiles::requireSource(const QString &codename)
{
    const Source &source = m_sources.value(codename);
    if (source.skipReason.isEmpty())
        return true;
    if (source.expected && qgetenv("CI").trimmed().toLower() == "true")
        QTest::qFail(qPrintable(source.skipReason), __FILE__, __LINE__);
    else
        QTest::qSkip(qPrintable(source.skipReason), __FILE__, __LINE__);
    return false;
}

void TestPackageListFiles::initTestCase()
{
    // One look-up a release for every list: apt-cache takes seconds to start.
    QSet<QString> names = {QStringLiteral("dpkg")};
    for (const QString &list : listNames()) {
        for (const PackageList::Entry &entry : readList(list)) {
            for (const QString &name : entry.alternatives) {
                names.insert(name);
                // An exempt version's name is checked by its counterpart of each release.
                const QString version = packageVersionOf(name);
                if (isExempt(name) && !version.isEmpty()) {
                    for (const Release &release : releases)
                        names.insert(name.chopped(version.size()) + release.pgsql);
                }
            }
        }
    }
    QStringList sorted(names.cbegin(), names.cend());
    sorted.sort();
    for (const Release &release : releases)
        lookUp(release, sorted);
}

void TestPackageListFiles::everyListNameHasAList()
{
    const QStringList files = QDir(listsDirectory).entryList(QDir::Files);
    const QSet<QString> shipped(files.cbegin(), files.cend());
    for (const QString &name : listNames())
        QVERIFY2(shipped.contains(name), qPrintable(name));
    QCOMPARE(shipped.size(), listNames().size());
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
    for (const PackageList::Entry &entry : entries) {
        // Alternatives are written "a | b", one blank each side.
        QCOMPARE(entry.name, entry.alternatives.join(QLatin1String(" | ")));
        for (const QString &alternative : entry.alternatives) {
            QVERIFY2(packageName.match(alternative).hasMatch(), qPrintable(alternative));
            QVERIFY2(!seen.contains(alternative),
                     qPrintable(alternative + QStringLiteral(" twice")));
            seen.insert(alternative);
            // A cluster's list names the packages of its own version only.
            const QString packageVersion = packageVersionOf(alternative);
            if (!packageVersion.isEmpty())
                QCOMPARE(packageVersion, version);
            // What no release ships cannot be required: a fresh host would miss it.
            QVERIFY2(entry.optional || !isExempt(alternative) ||
                         directoryPackages.contains(alternative),
                     qPrintable(alternative + QStringLiteral(" is in no release: mark it \"!\"")));
        }
        if (!entry.optional)
            ++required;
    }
    QVERIFY2(required > 0, "every package is optional");
}

void TestPackageListFiles::packagesExistInRelease_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("codename");
    QTest::addColumn<QString>("pgsql");
    // Every list of Debian's packages, in each release.
    for (const Release &release : releases) {
        for (const QString &name : listNames()) {
            if (!name.startsWith(QLatin1String("ServiceTarn")))
                QTest::addRow("%s %s", qPrintable(name), qPrintable(release.codename))
                    << name << release.codename << release.pgsql;
        }
    }
}

void TestPackageListFiles::packagesExistInRelease()
{
    QFETCH(QString, name);
    QFETCH(QString, codename);
    QFETCH(QString, pgsql);
    if (!requireSource(codename))
        return;
    const Source &source = m_sources.value(codename);
    int asked = 0;
    QStringList missing;
    // Every required line has a package of the release; a versioned PostgreSQL line only
    // where the release ships that version.
    for (const PackageList::Entry &entry : readList(name)) {
        const QString version = packageVersionOf(entry.alternatives.first());
        if (entry.optional || (!version.isEmpty() && version != pgsql))
            continue;
        ++asked;
        if (std::none_of(
                entry.alternatives.cbegin(), entry.alternatives.cend(),
                [&](const QString &package) { return source.available.contains(package); }))
            missing.append(entry.name);
    }
    QVERIFY2(asked > 0, "the list requires nothing of this release");
    QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("not in %1: ").arg(codename) +
                                           missing.join(QLatin1String(", "))));
}

void TestPackageListFiles::everyNameIsARealPackage_data()
{
    listIsWellFormed_data();
}

void TestPackageListFiles::everyNameIsARealPackage()
{
    QFETCH(QString, name);
    for (const Release &release : releases) {
        if (!requireSource(release.codename))
            return;
    }
    // Each name is a package of one release at least; a version no release ships is checked
    // by its counterpart of a release (postgresql-plperl-16 by postgresql-plperl-17, say).
    QStringList missing;
    for (const PackageList::Entry &entry : readList(name)) {
        for (const QString &package : entry.alternatives) {
            if (directoryPackages.contains(package))
                continue;
            const QString version = packageVersionOf(package);
            bool found = false;
            for (const Release &release : releases) {
                const QString lookup =
                    isExempt(package) ? package.chopped(version.size()) + release.pgsql : package;
                found = found || m_sources.value(release.codename).available.contains(lookup);
            }
            if (!found)
                missing.append(package);
        }
    }
    QVERIFY2(missing.isEmpty(),
             qPrintable(QStringLiteral("in no release: ") + missing.join(QLatin1String(", "))));
}

void TestPackageListFiles::freshInstallHasNoMissingPackage_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("codename");
    // The services a root of each release holds: Debian's, and the release's own PostgreSQL.
    for (const Release &release : releases) {
        for (const QString &name : listNames()) {
            const QString version = pgsqlVersionOf(name);
            if (!name.startsWith(QLatin1String("ServiceTarn")) &&
                (version.isEmpty() || version == release.pgsql))
                QTest::addRow("%s %s", qPrintable(name), qPrintable(release.codename))
                    << name << release.codename;
        }
    }
}

void TestPackageListFiles::freshInstallHasNoMissingPackage()
{
    QFETCH(QString, name);
    QFETCH(QString, codename);
    if (!requireSource(codename))
        return;
    const Source &source = m_sources.value(codename);
    if (!source.fresh)
        QSKIP("this machine's packages are no fresh install by scripts/debian-root");
    // The root holds the services as scripts/install-services installs them: each required
    // line has an installed package, or the console would warn about a sound host.
    QStringList missing;
    for (const PackageList::Entry &entry : readList(name)) {
        if (!entry.optional && std::none_of(entry.alternatives.cbegin(), entry.alternatives.cend(),
                                            [&](const QString &package) {
                                                return source.installed.contains(package);
                                            }))
            missing.append(entry.name);
    }
    QVERIFY2(missing.isEmpty(),
             qPrintable(QStringLiteral("not installed in the %1 root: ").arg(codename) +
                        missing.join(QLatin1String(", "))));
}

QTEST_GUILESS_MAIN(TestPackageListFiles)
#include "tst_packagelistfiles.moc"
