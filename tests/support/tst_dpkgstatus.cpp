#include "dpkgstatus.h"

#include <QTest>

class TestDpkgStatus : public QObject
{
    Q_OBJECT

private slots:
    void keepsStanzasAsWritten();
    void laterStanzaReplacesSamePackageAndArchitecture();
    void rejectsMalformedText_data();
    void rejectsMalformedText();
    void installsNewPackageWithEveryField();
    void reinstallKeepsOtherFields();
    void architectureQualifiedNames();
    void unknownPackagesAreReported();
};

static const QByteArray machineText =
    "Package: libc6\n"
    "Status: install ok installed\n"
    "Priority: optional\n"
    "Architecture: amd64\n"
    "Multi-Arch: same\n"
    "Version: 2.36-9+deb12u4\n"
    "Conffiles:\n"
    " /etc/ld.so.conf.d/x86_64-linux-gnu.conf d4e7a7b88a71b5ffd9e2644e71a0cfab\n"
    "Description: GNU C Library: Shared libraries\n"
    " Contains the standard libraries.\n"
    " .\n"
    " Second paragraph.\n"
    "\n"
    "Package: libc6\n"
    "Status: install ok installed\n"
    "Architecture: i386\n"
    "Version: 2.36-9+deb12u4\n"
    "\n";

void TestDpkgStatus::keepsStanzasAsWritten()
{
    DpkgStatus status;
    QVERIFY(status.merge(machineText));
    QCOMPARE(status.size(), 2);
    QCOMPARE(status.toText(), machineText);
    QCOMPARE(status.field(QStringLiteral("libc6"), "multi-arch"), QByteArray("same"));
    QCOMPARE(status.field(QStringLiteral("libc6:i386"), "Architecture"), QByteArray("i386"));

    // Files written on other systems may end lines in CR LF or lack the final blank line.
    DpkgStatus crlf;
    QVERIFY(crlf.merge("Package: a\r\nStatus: install ok installed\r\nVersion: 1\r\n"));
    QCOMPARE(crlf.toText(), QByteArray("Package: a\nStatus: install ok installed\nVersion: 1\n\n"));
}

void TestDpkgStatus::laterStanzaReplacesSamePackageAndArchitecture()
{
    DpkgStatus status;
    QVERIFY(status.merge(machineText));
    // dpkg's update journal holds whole stanzas that replace the status file's.
    QVERIFY(status.merge("Package: libc6\nStatus: deinstall ok config-files\n"
                         "Architecture: i386\nVersion: 2.36-9\n"));
    QCOMPARE(status.size(), 2);
    QCOMPARE(status.field(QStringLiteral("libc6:i386"), "Status"),
             QByteArray("deinstall ok config-files"));
    QCOMPARE(status.field(QStringLiteral("libc6:amd64"), "Status"),
             QByteArray("install ok installed"));
    QVERIFY(status.merge("Package: zlib1g\nStatus: install ok installed\nArchitecture: amd64\n"));
    QCOMPARE(status.size(), 3);
}

void TestDpkgStatus::rejectsMalformedText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("error");
    QTest::newRow("continuation first") << QByteArray(" orphan\nPackage: a\n")
                                        << QStringLiteral("line 1: continuation without a field");
    QTest::newRow("no colon") << QByteArray("Package: a\n\nnonsense\n")
                              << QStringLiteral("line 3: not a field: nonsense");
    QTest::newRow("empty name") << QByteArray("Package: a\n: value\n")
                                << QStringLiteral("line 2: not a field: : value");
}

void TestDpkgStatus::rejectsMalformedText()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, error);
    DpkgStatus status;
    QString message;
    QVERIFY(!status.merge(text, &message));
    QCOMPARE(message, error);
}

void TestDpkgStatus::installsNewPackageWithEveryField()
{
    DpkgStatus status;
    status.install(QStringLiteral("samba"), QStringLiteral("2:4.17.12+dfsg-0+deb12u1"),
                   DpkgStatus::installedStatus, "amd64");
    const QByteArray text = status.toText();
    // dpkg-query warns about an installed package that lacks one of these.
    for (const char *field :
         {"Package: samba\n", "Status: install ok installed\n", "Priority: optional\n",
          "Section: misc\n", "Maintainer: ", "Architecture: amd64\n",
          "Version: 2:4.17.12+dfsg-0+deb12u1\n", "Description: samba "})
        QVERIFY2(text.contains(field), field);
    QVERIFY(text.endsWith("\n\n"));
    // The description's second line is a continuation line.
    DpkgStatus reread;
    QVERIFY(reread.merge(text));
    QCOMPARE(reread.toText(), text);
}

void TestDpkgStatus::reinstallKeepsOtherFields()
{
    DpkgStatus status;
    QVERIFY(status.merge(machineText));
    status.install(QStringLiteral("libc6"), QStringLiteral("2.37-1"), "hold ok installed", "amd64");
    QCOMPARE(status.size(), 2);
    for (const QString &name : {QStringLiteral("libc6:amd64"), QStringLiteral("libc6:i386")}) {
        QCOMPARE(status.field(name, "Version"), QByteArray("2.37-1"));
        QCOMPARE(status.field(name, "Status"), QByteArray("hold ok installed"));
    }
    QVERIFY(status.toText().contains(" Second paragraph.\n"));
    QVERIFY(status.toText().contains("Multi-Arch: same\n"));
}

void TestDpkgStatus::architectureQualifiedNames()
{
    DpkgStatus status;
    QVERIFY(status.merge(machineText));
    QVERIFY(status.setStatus(QStringLiteral("libc6:i386"), DpkgStatus::configFilesStatus));
    QCOMPARE(status.field(QStringLiteral("libc6:amd64"), "Status"), DpkgStatus::installedStatus);
    QVERIFY(status.forget(QStringLiteral("libc6:i386")));
    QVERIFY(status.contains(QStringLiteral("libc6")));
    QVERIFY(!status.contains(QStringLiteral("libc6:i386")));
    status.install(QStringLiteral("libfoo:i386"), QStringLiteral("1"), DpkgStatus::installedStatus,
                   "amd64");
    QCOMPARE(status.field(QStringLiteral("libfoo"), "Architecture"), QByteArray("i386"));
    QCOMPARE(status.field(QStringLiteral("libfoo"), "Package"), QByteArray("libfoo"));
}

void TestDpkgStatus::unknownPackagesAreReported()
{
    DpkgStatus status;
    QVERIFY(status.merge(machineText));
    QVERIFY(!status.setStatus(QStringLiteral("libc"), DpkgStatus::installedStatus));
    QVERIFY(!status.forget(QStringLiteral("libc6:arm64")));
    QVERIFY(status.field(QStringLiteral("nothing"), "Version").isNull());
    QCOMPARE(status.size(), 2);
}

QTEST_GUILESS_MAIN(TestDpkgStatus)
#include "tst_dpkgstatus.moc"
