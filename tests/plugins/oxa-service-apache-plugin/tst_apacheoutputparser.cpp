// The parsers of apache2ctl output, on output captured from the real server and on the line
// shapes it prints.

#include "apacheoutputparser.h"
#include "moduletreenodes.h"
#include "serviceapacheheavyelementdata.h"
#include "sitetreenodes.h"

#include <treenodemodel.h>

#include <QFile>
#include <QTest>

namespace {

QString fixture(const char *name)
{
    QFile file(QStringLiteral(OXA_APACHE_TEST_DATA "/%1").arg(QLatin1String(name)));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", name);
    return QString::fromLocal8Bit(file.readAll());
}

/// Each host row as "name|address|config|parent id|level".
QStringList hostRows(const ServiceApacheHeavyElementData &record)
{
    QStringList rows;
    for (TreeNode *node : record.data()) {
        auto *host = qobject_cast<HostTreeNode *>(node);
        if (!host)
            continue;
        rows << QStringLiteral("%1|%2|%3|%4|%5")
                    .arg(host->name(), host->address(), host->config(), host->parentId(),
                         QString::number(host->level()));
    }
    return rows;
}

/// Each module row as "name|type".
QStringList moduleRows(const ServiceApacheHeavyElementData &record)
{
    QStringList rows;
    for (TreeNode *node : record.data())
        rows << node->data(0, Qt::DisplayRole).toString() + QLatin1Char('|') +
                    node->data(1, Qt::DisplayRole).toString();
    return rows;
}

QSet<QString> setOf(const QStringList &list)
{
    return QSet<QString>(list.cbegin(), list.cend());
}

const QString enabled = QStringLiteral("/etc/apache2/sites-enabled/");

} // namespace

class TestApacheOutputParser : public QObject
{
    Q_OBJECT

private slots:
    void hostsFromCapturedOutput_data();
    void hostsFromCapturedOutput();
    void hostShapes_data();
    void hostShapes();
    void defaultServerOncePerBlock();
    void nothingForEmptyTextOrRecord();
    void garbageGivesNoHost();
    void hostParent_data();
    void hostParent();
    void siteAndHostCells();
    void modulesFromCapturedOutput_data();
    void modulesFromCapturedOutput();
    void moduleShapes_data();
    void moduleShapes();
};

void TestApacheOutputParser::hostsFromCapturedOutput_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("rows");

    const QString shapes = enabled + QStringLiteral("shapes.conf");
    const QString def = enabled + QStringLiteral("000-default.conf");
    // A freshly installed server: one compact line on the wildcard port.
    QTest::newRow("debian default")
        << QStringLiteral("apache2ctl-S-debian-default.txt")
        << QStringList{QStringLiteral("127.0.0.1|*:80|%1|Site_000-default.conf|2").arg(def)};
    // Debian 13's apache2 says the same of its default site.
    QTest::newRow("debian 13 default")
        << QStringLiteral("apache2ctl-S-trixie-default.txt")
        << QStringList{QStringLiteral("127.0.0.1|*:80|%1|Site_000-default.conf|2").arg(def)};
    QTest::newRow("address blocks")
        << QStringLiteral("apache2ctl-S-address-blocks.txt")
        << QStringList{
               QStringLiteral("six.example|[::1]:8081|%1|Site_shapes.conf|2").arg(shapes),
               QStringLiteral("def:six-a|[::1]:8082|%1|Site_shapes.conf|2").arg(shapes),
               QStringLiteral("six-a|[::1]:8082|%1|Site_shapes.conf|2").arg(shapes),
               QStringLiteral("six-b|[::1]:8082|%1|Site_shapes.conf|2").arg(shapes),
               QStringLiteral("def:local-one|127.0.0.1:8080|%1|Site_shapes.conf|2").arg(shapes),
               QStringLiteral("local-one|127.0.0.1:8080|%1|Site_shapes.conf|2").arg(shapes),
               QStringLiteral("local-two|127.0.0.1:8080|%1|Site_shapes.conf|2").arg(shapes),
               QStringLiteral("single4.example|192.0.2.7:80|%1|Site_shapes.conf|2").arg(shapes),
               QStringLiteral("def:127.0.0.1|*:80|%1|Site_000-default.conf|2").arg(def),
               QStringLiteral("127.0.0.1|*:80|%1|Site_000-default.conf|2").arg(def),
               QStringLiteral("a.example|*:80|%1|Site_shapes.conf|2").arg(shapes),
               QStringLiteral("b.example|*:80|%1|Site_shapes.conf|2").arg(shapes),
               QStringLiteral("secure.example|*:443|%1|Site_shapes.conf|2").arg(shapes),
               QStringLiteral("star.example|*:8443|%1|Site_shapes.conf|2").arg(shapes),
           };
    const QString any = enabled + QStringLiteral("any.conf");
    QTest::newRow("any port")
        << QStringLiteral("apache2ctl-S-any-port.txt")
        << QStringList{
               QStringLiteral("six-full|[2001:db8::5]:80|%1|Site_any.conf|2").arg(any),
               QStringLiteral("127.0.0.1|*:80|%1|Site_000-default.conf|2").arg(def),
               QStringLiteral("def:any-one|*:*|%1|Site_any.conf|2").arg(any),
               QStringLiteral("any-one|*:*|%1|Site_any.conf|2").arg(any),
               QStringLiteral("any-two|*:*|%1|Site_any.conf|2").arg(any),
               QStringLiteral("def-any|*:*|%1|Site_any.conf|2").arg(any),
           };
}

void TestApacheOutputParser::hostsFromCapturedOutput()
{
    QFETCH(QString, file);
    QFETCH(QStringList, rows);
    ServiceApacheHeavyElementData record;
    ApacheOutput::parseVirtualHosts(fixture(file.toLatin1().constData()), &record);
    QCOMPARE(hostRows(record), rows);
    QStringList names;
    for (const QString &row : rows)
        names << row.section(QLatin1Char('|'), 0, 0);
    QCOMPARE(record.blockedNames(), setOf(names));
    QVERIFY(record.checkedNames().isEmpty());
}

void TestApacheOutputParser::hostShapes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("rows");

    const QString def = QStringLiteral("/etc/apache2/sites-enabled/000-default");
    QTest::newRow("wildcard block under the default site")
        << QStringLiteral("VirtualHost configuration:\n"
                          "*:80                   is a NameVirtualHost\n"
                          "         default server S (%1:1)\n"
                          "         port 80 namevhost S (%1:1)\n")
               .arg(def)
        << QStringList{QStringLiteral("def:S|*:80|%1|Site_default|2").arg(def),
                       QStringLiteral("S|*:80|%1|Site_default|2").arg(def)};
    QTest::newRow("IPv4 line before a wildcard header")
        << QStringLiteral("10.1.2.3:8080 ip.example (/etc/apache2/sites-enabled/ip:3)\n"
                          "*:80 is a NameVirtualHost\n")
        << QStringList{
               QStringLiteral("ip.example|10.1.2.3:8080|/etc/apache2/sites-enabled/ip|Site_ip|2")};
    // Apache sorts addresses, so a specific address may well follow a wildcard block.
    QTest::newRow("IPv4 line after a wildcard block")
        << QStringLiteral("*:80 is a NameVirtualHost\n"
                          "    default server w (/etc/apache2/apache2.conf:9)\n"
                          "    port 80 namevhost w (/etc/apache2/apache2.conf:9)\n"
                          "10.1.2.3:8080 ip.example (/etc/apache2/sites-enabled/ip:3)\n")
        << QStringList{
               QStringLiteral("def:w|*:80|/etc/apache2/apache2.conf||1"),
               QStringLiteral("w|*:80|/etc/apache2/apache2.conf||1"),
               QStringLiteral("ip.example|10.1.2.3:8080|/etc/apache2/sites-enabled/ip|Site_ip|2")};
    QTest::newRow("_default_ compact line")
        << QStringLiteral("_default_:443          tls.example (/etc/apache2/sites-enabled/tls:2)\n")
        << QStringList{QStringLiteral(
               "tls.example|_default_:443|/etc/apache2/sites-enabled/tls|Site_tls|2")};
    QTest::newRow("compact wildcard opens its block")
        << QStringLiteral("*:443 one (/etc/apache2/sites-enabled/a:1)\n"
                          "    default server two (/etc/apache2/sites-enabled/a:5)\n")
        << QStringList{QStringLiteral("one|*:443|/etc/apache2/sites-enabled/a|Site_a|2"),
                       QStringLiteral("def:two|*:443|/etc/apache2/sites-enabled/a|Site_a|2")};
    QTest::newRow("IPv6 name-based block")
        << QStringLiteral("[fe80::1%eth0]:81 is a NameVirtualHost\n"
                          "    default server v (/etc/apache2/sites-available/v.conf:1)\n"
                          "    port 81 namevhost v (/etc/apache2/sites-available/v.conf:1)\n"
                          "            alias www.v\n"
                          "            wild alias *.v\n")
        << QStringList{QStringLiteral("def:v|[fe80::1%eth0]:81|/etc/apache2/sites-available/v.conf|"
                                      "Site_v.conf|2"),
                       QStringLiteral("v|[fe80::1%eth0]:81|/etc/apache2/sites-available/v.conf|"
                                      "Site_v.conf|2")};
    QTest::newRow("block lines without a header")
        << QStringLiteral("    default server lost (/etc/apache2/sites-enabled/a:1)\n"
                          "    port 80 namevhost lost (/etc/apache2/sites-enabled/a:1)\n")
        << QStringList();
    QTest::newRow("duplicate names stay rows")
        << QStringLiteral("*:80 is a NameVirtualHost\n"
                          "    port 80 namevhost twin (/etc/apache2/sites-enabled/a:1)\n"
                          "    port 80 namevhost twin (/etc/apache2/sites-enabled/b:1)\n")
        << QStringList{QStringLiteral("twin|*:80|/etc/apache2/sites-enabled/a|Site_a|2"),
                       QStringLiteral("twin|*:80|/etc/apache2/sites-enabled/b|Site_b|2")};
    QTest::newRow("CRLF-free garbage around hosts")
        << QStringLiteral("\n\nServerRoot: \"/etc/apache2\"\n*:80 x (/etc/apache2/sites-enabled/"
                          "x.conf:12)\nMutex default: dir=\"/var/run/apache2/\"\n")
        << QStringList{QStringLiteral("x|*:80|/etc/apache2/sites-enabled/x.conf|Site_x.conf|2")};
}

void TestApacheOutputParser::hostShapes()
{
    QFETCH(QString, text);
    QFETCH(QStringList, rows);
    ServiceApacheHeavyElementData record;
    ApacheOutput::parseVirtualHosts(text, &record);
    QCOMPARE(hostRows(record), rows);
    QStringList names;
    for (const QString &row : rows)
        names << row.section(QLatin1Char('|'), 0, 0);
    QCOMPARE(record.blockedNames(), setOf(names));
}

void TestApacheOutputParser::defaultServerOncePerBlock()
{
    // A second default-server line in one block is ignored; the next header re-arms it.
    const QString text = QStringLiteral("*:80 is a NameVirtualHost\n"
                                        "  default server first (/etc/apache2/x.conf:1)\n"
                                        "  default server second (/etc/apache2/x.conf:2)\n"
                                        "*:81 is a NameVirtualHost\n"
                                        "  default server third (/etc/apache2/x.conf:3)\n"
                                        "  default server fourth (/etc/apache2/x.conf:4)\n");
    ServiceApacheHeavyElementData record;
    ApacheOutput::parseVirtualHosts(text, &record);
    QCOMPARE(hostRows(record),
             (QStringList{QStringLiteral("def:first|*:80|/etc/apache2/x.conf||1"),
                          QStringLiteral("def:third|*:81|/etc/apache2/x.conf||1")}));
}

void TestApacheOutputParser::nothingForEmptyTextOrRecord()
{
    ServiceApacheHeavyElementData record;
    ApacheOutput::parseVirtualHosts(QString(), &record);
    ApacheOutput::parseModules(QString(), &record);
    QVERIFY(record.data().isEmpty());
    QVERIFY(record.blockedNames().isEmpty());
    // No record: nothing to write to, and no crash.
    ApacheOutput::parseVirtualHosts(fixture("apache2ctl-S-address-blocks.txt"), nullptr);
    ApacheOutput::parseModules(fixture("apache2ctl-M-debian-default.txt"), nullptr);
}

void TestApacheOutputParser::garbageGivesNoHost()
{
    QString garbage;
    for (int i = 0; i < 256; ++i)
        garbage += QChar(i ? i : 1);
    garbage += QStringLiteral("\n(((((:1)\n*:\n[::1]:\n1.2.3.4:5 (x:1)\nport 80 namevhost\n");
    garbage += QString(5000, QLatin1Char('(')) + QLatin1Char('\n');
    ServiceApacheHeavyElementData record;
    ApacheOutput::parseVirtualHosts(garbage, &record);
    ApacheOutput::parseModules(garbage, &record);
    QCOMPARE(record.data().size(), 0);
}

void TestApacheOutputParser::hostParent_data()
{
    QTest::addColumn<QString>("config");
    QTest::addColumn<QString>("parentId");
    QTest::addColumn<int>("level");

    QTest::newRow("enabled 000-default") << QStringLiteral("/etc/apache2/sites-enabled/000-default")
                                         << QStringLiteral("Site_default") << 2;
    QTest::newRow("000-default.conf keeps its name")
        << QStringLiteral("/etc/apache2/sites-enabled/000-default.conf")
        << QStringLiteral("Site_000-default.conf") << 2;
    QTest::newRow("available site")
        << QStringLiteral("/etc/apache2/sites-available/shop") << QStringLiteral("Site_shop") << 2;
    QTest::newRow("main configuration file")
        << QStringLiteral("/etc/apache2/apache2.conf") << QString() << 1;
    QTest::newRow("conf-enabled") << QStringLiteral("/etc/apache2/conf-enabled/x.conf") << QString()
                                  << 1;
    QTest::newRow("subdirectory of a site directory")
        << QStringLiteral("/etc/apache2/sites-enabled/deep/er.conf")
        << QStringLiteral("Site_er.conf") << 2;
    QTest::newRow("undefined row of an available site")
        << QStringLiteral("/etc/apache2/sites-available/default-ssl.conf")
        << QStringLiteral("Site_default-ssl.conf") << 2;
}

void TestApacheOutputParser::hostParent()
{
    QFETCH(QString, config);
    QFETCH(QString, parentId);
    QFETCH(int, level);
    HostTreeNode host(QStringLiteral("h"), QStringLiteral("*:80"), config);
    QCOMPARE(host.id(), QStringLiteral("Host_h"));
    QCOMPARE(host.parentId(), parentId);
    QCOMPARE(host.level(), level);
}

void TestApacheOutputParser::siteAndHostCells()
{
    SitesRootTreeNode root;
    QCOMPARE(root.columnCount(), 3);
    QCOMPARE(root.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral("Name"));
    QCOMPARE(root.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral("Address"));
    QCOMPARE(root.headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral("Config"));
    QVERIFY(!root.headerData(3, Qt::Horizontal, Qt::DisplayRole).isValid());
    QVERIFY(!root.headerData(0, Qt::Vertical, Qt::DisplayRole).isValid());
    QVERIFY(!root.headerData(0, Qt::Horizontal, Qt::ToolTipRole).isValid());

    SiteTreeNode site(QStringLiteral("shop"));
    QCOMPARE(site.id(), QStringLiteral("Site_shop"));
    QCOMPARE(site.level(), 1);
    QCOMPARE(site.data(0, Qt::ToolTipRole).toString(), QStringLiteral("shop"));
    QVERIFY(!site.data(1, Qt::DisplayRole).isValid());
    QVERIFY(!site.data(0, TreeNodeModel::NameRole).isValid());

    HostTreeNode host(QStringLiteral("h"), QStringLiteral("*:80"), QStringLiteral("/x"));
    QCOMPARE(host.data(1, Qt::DisplayRole).toString(), QStringLiteral("*:80"));
    QCOMPARE(host.data(2, Qt::ToolTipRole).toString(), QStringLiteral("/x"));
    QVERIFY(!host.data(0, TreeNodeModel::NameRole).isValid());
    QVERIFY(!host.data(3, Qt::DisplayRole).isValid());

    ModulesRootTreeNode modules;
    QCOMPARE(modules.columnCount(), 2);
    QCOMPARE(modules.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral("Type"));
    ModuleStaticTreeNode core(QStringLiteral("core"));
    QCOMPARE(core.id(), QStringLiteral("Module_core"));
    QVERIFY(!core.data(1, Qt::EditRole).isValid());
    QCOMPARE(core.data(0, Qt::ToolTipRole).toString(), QStringLiteral("core"));
}

void TestApacheOutputParser::modulesFromCapturedOutput_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("debian 12 default") << QStringLiteral("apache2ctl-M-debian-default.txt");
    QTest::newRow("debian 13 default") << QStringLiteral("apache2ctl-M-trixie-default.txt");
}

void TestApacheOutputParser::modulesFromCapturedOutput()
{
    QFETCH(QString, file);
    const QString output = fixture(file.toLatin1().constData());
    ServiceApacheHeavyElementData record;
    ApacheOutput::parseModules(output, &record);
    const QStringList rows = moduleRows(record);
    QCOMPARE(rows.size(), 27);
    QCOMPARE(rows.first(), QStringLiteral("core|static"));
    QVERIFY(rows.contains(QStringLiteral("mpm_event|shared")));
    QVERIFY(rows.contains(QStringLiteral("unixd|static")));
    QCOMPARE(record.blockedNames(), (QSet<QString>{"core", "so", "watchdog", "http", "log_config",
                                                   "logio", "version", "unixd"}));
    QCOMPARE(record.checkedNames().size(), 19);
    QVERIFY(record.checkedNames().contains(QStringLiteral("mpm_event")));
    QVERIFY(record.checkedNames().contains(QStringLiteral("access_compat")));
    QVERIFY(qobject_cast<ModuleStaticTreeNode *>(record.data().first()));

    // Each " name_module (kind)" line of the output is one row, in its order.
    QStringList listed;
    for (const QString &line : output.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1Char(' ')) && line.contains(QLatin1String("_module (")))
            listed << line.trimmed()
                          .replace(QLatin1String("_module ("), QLatin1String("|"))
                          .chopped(1);
    }
    QCOMPARE(rows, listed);
}

void TestApacheOutputParser::moduleShapes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("module name holding _module")
        << QStringLiteral(" proxy_module_module (shared)\n")
        << QStringList{QStringLiteral("proxy_module|shared")};
    QTest::newRow("unknown kind counts as static")
        << QStringLiteral(" odd_module (builtin)\n") << QStringList{QStringLiteral("odd|static")};
    QTest::newRow("heading and confirmation lines")
        << QStringLiteral("Loaded Modules:\nSyntax OK\n core_module (static)\n")
        << QStringList{QStringLiteral("core|static")};
    QTest::newRow("no blank before the name")
        << QStringLiteral("core_module (static)\n") << QStringList();
}

void TestApacheOutputParser::moduleShapes()
{
    QFETCH(QString, text);
    QFETCH(QStringList, rows);
    ServiceApacheHeavyElementData record;
    ApacheOutput::parseModules(text, &record);
    QCOMPARE(moduleRows(record), rows);
}

QTEST_GUILESS_MAIN(TestApacheOutputParser)
#include "tst_apacheoutputparser.moc"
