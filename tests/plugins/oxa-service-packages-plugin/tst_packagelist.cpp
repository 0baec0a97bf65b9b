#include "packagelist.h"
#include "packagetable.h"

#include <elementdata.h>

#include <QTest>

Q_DECLARE_METATYPE(PackageList::Record::Kind)

namespace {

/// "?" for an optional entry, its name, then "=a/b" when it names alternatives; ";" between.
QString names(const QList<PackageList::Entry> &entries)
{
    QStringList out;
    for (const PackageList::Entry &entry : entries) {
        QString text = (entry.optional ? QStringLiteral("?") : QString()) + entry.name;
        if (entry.alternatives != QStringList{entry.name})
            text += QLatin1Char('=') + entry.alternatives.join(QLatin1Char('/'));
        out.append(text);
    }
    return out.join(QLatin1Char(';'));
}

} // namespace

/** The plain functions behind the package read: list files, list names, records, report. */
class TestPackageList : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void listName_data();
    void listName();
    void listPath();
    void parseRecord_data();
    void parseRecord();
    void reportRowsInNameOrder();
    void reportOfNothingHasHeaderOnly();
    void reportEscapesData();
};

void TestPackageList::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected"); // "?" marks an optional entry

    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("only line feeds") << QStringLiteral("\n\n\n") << QString();
    QTest::newRow("plain") << QStringLiteral("samba\nsamba-common\n")
                           << QStringLiteral("samba;samba-common");
    QTest::newRow("no final line feed") << QStringLiteral("a\nb") << QStringLiteral("a;b");
    QTest::newRow("empty lines between") << QStringLiteral("\na\n\n\nb\n") << QStringLiteral("a;b");
    QTest::newRow("optional") << QStringLiteral("!smbclient") << QStringLiteral("?smbclient");
    QTest::newRow("every marker goes")
        << QStringLiteral("!!pkg\n!p!kg") << QStringLiteral("?pkg;?pkg");
    QTest::newRow("marker counts only first") << QStringLiteral("p!kg") << QStringLiteral("p!kg");
    QTest::newRow("marker per line") << QStringLiteral("!a\nb") << QStringLiteral("?a;b");
    QTest::newRow("blanks stay") << QStringLiteral("samba \n cups")
                                 << QStringLiteral("samba ; cups");
    QTest::newRow("carriage return stays")
        << QStringLiteral("samba\r\n") << QStringLiteral("samba\r");
    QTest::newRow("duplicates stay") << QStringLiteral("a\na") << QStringLiteral("a;a");
    QTest::newRow("alternatives") << QStringLiteral("libcups2 | libcups2t64\n")
                                  << QStringLiteral("libcups2 | libcups2t64=libcups2/libcups2t64");
    QTest::newRow("optional marker covers the line")
        << QStringLiteral("!a|!b\nc|d") << QStringLiteral("?a|b=a/b;c|d=c/d");
    QTest::newRow("empty alternatives dropped")
        << QStringLiteral("a||\tb\t|") << QStringLiteral("a||\tb\t|=a/b");
    QTest::newRow("line of bars only skipped")
        << QStringLiteral("|\n | \nc") << QStringLiteral("c");
    QTest::newRow("alternative with carriage return")
        << QStringLiteral("a|b\r\n") << QStringLiteral("a|b\r=a/b");
}

void TestPackageList::parse()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(names(PackageList::parse(text)), expected);
}

void TestPackageList::listName_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("elementType");
    QTest::addColumn<QVariant>("version"); // invalid: no "version" property
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain id") << QStringLiteral("ServiceSamba") << QStringLiteral("ServiceSamba")
                              << QVariant() << QStringLiteral("ServiceSamba");
    QTest::newRow("cut at first underscore")
        << QStringLiteral("ServiceFoo_bar_baz") << QStringLiteral("x") << QVariant()
        << QStringLiteral("ServiceFoo");
    QTest::newRow("leading underscore")
        << QStringLiteral("_x") << QStringLiteral("y") << QVariant() << QString();
    QTest::newRow("version text") << QStringLiteral("ServiceX_1") << QString()
                                  << QVariant(QStringLiteral("9.6"))
                                  << QStringLiteral("ServiceX-9.6");
    QTest::newRow("version number")
        << QStringLiteral("ServiceX") << QString() << QVariant(11) << QStringLiteral("ServiceX-11");
    QTest::newRow("empty version") << QStringLiteral("ServiceX") << QString() << QVariant(QString())
                                   << QStringLiteral("ServiceX-");
    QTest::newRow("cluster without id")
        << QString() << QStringLiteral("ServicePgsqlCluster") << QVariant(QStringLiteral("15"))
        << QStringLiteral("ServicePgsqlCluster-15");
}

void TestPackageList::listName()
{
    QFETCH(QString, id);
    QFETCH(QString, elementType);
    QFETCH(QVariant, version);
    QFETCH(QString, expected);

    ElementData data;
    data.setProperty(QStringLiteral("name"), QStringLiteral("main"));
    if (version.isValid())
        data.setProperty(QStringLiteral("version"), version);
    QCOMPARE(PackageList::listName(id, elementType, &data), expected);
    if (!version.isValid())
        QCOMPARE(PackageList::listName(id, elementType, nullptr), expected);
}

void TestPackageList::listPath()
{
    QCOMPARE(PackageList::listPath(QStringLiteral("ServiceSamba")),
             QStringLiteral("/usr/share/vell/data/oxa-service-packages-plugin/ServiceSamba"));
    // A list name is a file name, never a format: "%1" in it stays as it is.
    QCOMPARE(PackageList::listPath(QStringLiteral("A%1")),
             QStringLiteral("/usr/share/vell/data/oxa-service-packages-plugin/A%1"));
}

void TestPackageList::parseRecord_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<PackageList::Record::Kind>("kind");
    QTest::addColumn<QString>("version");

    using R = PackageList::Record;
    QTest::newRow("nothing") << QString() << R::Unknown << QString();
    QTest::newRow("installed") << QStringLiteral("samba\t2:4.17.12\tinstall ok installed")
                               << R::Installed << QStringLiteral("2:4.17.12");
    QTest::newRow("unpacked") << QStringLiteral("a\t1.0\tinstall ok unpacked") << R::Installed
                              << QStringLiteral("1.0");
    QTest::newRow("half-configured") << QStringLiteral("a\t1.0\tinstall ok half-configured")
                                     << R::Installed << QStringLiteral("1.0");
    QTest::newRow("empty version")
        << QStringLiteral("a\t\tinstall ok installed") << R::Installed << QString();
    QTest::newRow("config files") << QStringLiteral("a\t1.0\tdeinstall ok config-files")
                                  << R::NotInstalled << QString();
    QTest::newRow("deinstall still installed")
        << QStringLiteral("a\t1.0\tdeinstall ok installed") << R::NotInstalled << QString();
    QTest::newRow("hold") << QStringLiteral("a\t1.0\thold ok installed") << R::NotInstalled
                          << QString();
    QTest::newRow("not anchored elsewhere")
        << QStringLiteral("a\t1.0\tpurge install ok") << R::NotInstalled << QString();
    QTest::newRow("case matters") << QStringLiteral("a\t1.0\tInstall ok installed")
                                  << R::NotInstalled << QString();
    QTest::newRow("only mentioned to dpkg")
        << QStringLiteral("a\t\tunknown ok not-installed") << R::Unknown << QString();
    QTest::newRow("wanted, never installed")
        << QStringLiteral("a\t\tinstall ok not-installed") << R::NotInstalled << QString();
    QTest::newRow("wanted, only config files")
        << QStringLiteral("a\t1.0\tinstall ok config-files") << R::NotInstalled << QString();
    QTest::newRow("purged") << QStringLiteral("a\t\tpurge ok not-installed") << R::NotInstalled
                            << QString();
    QTest::newRow("awaiting triggers") << QStringLiteral("a\t1.0\tinstall ok triggers-pending")
                                       << R::Installed << QStringLiteral("1.0");
    QTest::newRow("two fields") << QStringLiteral("a\t1.0") << R::Malformed << QString();
    QTest::newRow("several records")
        << QStringLiteral("a\t1\tinstall ok installedb\t2\tinstall ok installed") << R::Malformed
        << QString();
    QTest::newRow("garbage") << QStringLiteral("dpkg-query: error") << R::Malformed << QString();
    QTest::newRow("empty fields") << QStringLiteral("\t\t") << R::NotInstalled << QString();
}

void TestPackageList::parseRecord()
{
    QFETCH(QString, output);
    QFETCH(PackageList::Record::Kind, kind);
    QFETCH(QString, version);
    const PackageList::Record record = PackageList::parseRecord(output);
    QCOMPARE(record.kind, kind);
    QCOMPARE(record.version, version);
}

void TestPackageList::reportRowsInNameOrder()
{
    QMap<QString, QString> packages;
    packages.insert(QStringLiteral("samba-common"), QStringLiteral("2:4.17.12"));
    packages.insert(QStringLiteral("Zeta"), QStringLiteral("not installed"));
    packages.insert(QStringLiteral("samba"), QStringLiteral("unknown package"));
    const QString html = PackageList::htmlReport(packages, QStringLiteral("Package Name"),
                                                 QStringLiteral("Version"));
    QVERIFY(html.startsWith(QLatin1String("<table border=\"1\"><tr><th>Package Name</th>"
                                          "<th>Version</th></tr>")));
    QVERIFY(html.endsWith(QLatin1String("</table>")));
    // Code-unit order: upper case before lower case.
    const QList<QStringList> expected = {
        {QStringLiteral("Package Name"), QStringLiteral("Version")},
        {QStringLiteral("Zeta"), QStringLiteral("not installed")},
        {QStringLiteral("samba"), QStringLiteral("unknown package")},
        {QStringLiteral("samba-common"), QStringLiteral("2:4.17.12")},
    };
    QCOMPARE(tableCells(html), expected);
}

void TestPackageList::reportOfNothingHasHeaderOnly()
{
    const QString html = PackageList::htmlReport({}, QStringLiteral("N"), QStringLiteral("V"));
    QCOMPARE(html, QStringLiteral("<table border=\"1\"><tr><th>N</th><th>V</th></tr></table>"));
}

void TestPackageList::reportEscapesData()
{
    QMap<QString, QString> packages;
    packages.insert(QStringLiteral("a<b>&c"), QStringLiteral("1.0&<i>x</i>"));
    packages.insert(QStringLiteral("</table>\"q\""), QStringLiteral("&amp;"));
    const QString html =
        PackageList::htmlReport(packages, QStringLiteral("<N>"), QStringLiteral("V&"));
    QVERIFY(!html.contains(QLatin1String("<b>")));
    QVERIFY(!html.contains(QLatin1String("<i>")));
    const QList<QStringList> expected = {
        {QStringLiteral("<N>"), QStringLiteral("V&")},
        {QStringLiteral("</table>\"q\""), QStringLiteral("&amp;")},
        {QStringLiteral("a<b>&c"), QStringLiteral("1.0&<i>x</i>")},
    };
    QCOMPARE(tableCells(html), expected);
}

QTEST_MAIN(TestPackageList)
#include "tst_packagelist.moc"
