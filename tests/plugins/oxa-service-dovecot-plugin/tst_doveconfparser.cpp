#include "doveconfparser.h"
#include "testhost.h"

#include <childprocess.h>
#include <treenode.h>

#include <QFile>
#include <QStandardPaths>
#include <QTest>

#include <functional>

namespace {

/// A node as "name=value", its children in braces: "service=auth{mode=0666}".
QString dump(const TreeNode *node)
{
    const auto *conf = qobject_cast<const ConfTreeNode *>(node);
    QString text = conf ? conf->name() + QLatin1Char('=') + conf->value() : QStringLiteral("?");
    if (node->childCount() > 0) {
        QStringList children;
        for (const TreeNode *child : node->childNodes())
            children << dump(child);
        text += QLatin1Char('{') + children.join(QLatin1String(", ")) + QLatin1Char('}');
    }
    return text;
}

QStringList dumpAll(const QList<TreeNode *> &nodes)
{
    QStringList texts;
    for (const TreeNode *node : nodes)
        texts << dump(node);
    return texts;
}

/// Owns what a parse returned.
struct Parsed
{
    explicit Parsed(const QByteArray &output) : nodes(DoveconfParser::parse(output)) {}
    ~Parsed() { qDeleteAll(nodes); }
    const ConfTreeNode *dovecot() const
    {
        return qobject_cast<const ConfTreeNode *>(nodes.value(0));
    }
    QStringList full() const
    {
        QStringList texts;
        for (const TreeNode *node : dovecot()->childNodes())
            texts << dump(node);
        return texts;
    }
    QStringList summary() const { return dumpAll(nodes.mid(1)); }

    QList<TreeNode *> nodes;
};

int depthBelow(const TreeNode *node)
{
    int depth = 0;
    while (node->childCount() > 0) {
        node = node->child(node->childCount() - 1);
        ++depth;
    }
    return depth;
}

} // namespace

/**
 * The doveconf reader: the shapes of its output (settings, comments, nested and unnamed
 * sections, the watched auth-client chain), misshapen output, and the real doveconf's.
 */
class TestDoveconfParser : public QObject
{
    Q_OBJECT

private slots:
    void shapes_data();
    void shapes();
    void fixedTables();
    void deepNestingIsCapped();
    void capturedOutput_data();
    void capturedOutput();
    void realDoveconfOutput();

private:
    /// Compares the parse of @p output with a plain reading of the same text.
    static void compareWithPlainReading(const QByteArray &output);
};

void TestDoveconfParser::shapes_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QStringList>("full");
    QTest::addColumn<QStringList>("summary");

    QTest::newRow("empty output") << QByteArray() << QStringList() << QStringList();
    QTest::newRow("comments and blanks")
        << QByteArray("# 2.3.19.1 (9b53102964): /etc/dovecot/dovecot.conf\n\n   \n  # OS: Linux\n")
        << QStringList() << QStringList();
    QTest::newRow("comment after a setting")
        << QByteArray("ssl = yes # comment\n") << QStringList{"ssl=yes"} << QStringList{"ssl=yes"};
    QTest::newRow("summary keys in output order")
        << QByteArray("protocols = imap pop3\nmail_uid = vmail\nlisten = *, ::\nunix = 1\n"
                      "auth_mechanisms = plain login\nssl = no\ndisable_plaintext_auth = yes\n")
        << QStringList{"protocols=imap pop3",
                       "mail_uid=vmail",
                       "listen=*, ::",
                       "unix=1",
                       "auth_mechanisms=plain login",
                       "ssl=no",
                       "disable_plaintext_auth=yes"}
        << QStringList{"protocols=imap pop3",         "listen=*, ::", "unix=1",
                       "auth_mechanisms=plain login", "ssl=no",       "disable_plaintext_auth=yes"};
    QTest::newRow("empty value, trailing blank, CR")
        << QByteArray("protocols = \nchroot =\r\nssl=required\n")
        << QStringList{"protocols=", "chroot=", "ssl=required"}
        << QStringList{"protocols=", "ssl=required"};
    // The key is the longest run of non-blanks before an "=" followed by the value.
    QTest::newRow("= inside a value")
        << QByteArray("mail_location = mbox:~/mail:INBOX=/var/mail/%u\na=b=c\n")
        << QStringList{"mail_location=mbox:~/mail:INBOX=/var/mail/%u", "a=b=c"} << QStringList();
    QTest::newRow("setting inside a section stays out of the summary")
        << QByteArray("service imap-login {\n  inet_listener imap {\n    listen = *\n  }\n"
                      "  ssl = yes\n}\n")
        << QStringList{"service=imap-login{inet_listener=imap{listen=*}, ssl=yes}"}
        << QStringList();
    QTest::newRow("section without a name")
        << QByteArray("plugin {\n  sieve = file:~/sieve;active=~/.dovecot.sieve\n}\n")
        << QStringList{"plugin={sieve=file:~/sieve;active=~/.dovecot.sieve}"} << QStringList();
    QTest::newRow("watched chain")
        << QByteArray("service auth {\n  unix_listener auth-client {\n    mode = 0666\n  }\n}\n")
        << QStringList{"service=auth{unix_listener=auth-client{mode=0666}}"}
        << QStringList{"service=auth{unix_listener=auth-client{mode=0666}}"};
    QTest::newRow("watched chain: only the listener's part")
        << QByteArray("service auth {\n  client_limit = 0\n  unix_listener auth-login {\n"
                      "    mode = 0600\n  }\n  unix_listener auth-client {\n    group = \n"
                      "    inner x {\n      a = b\n    }\n    user = $default_internal_user\n"
                      "  }\n  user = root\n}\nssl = yes\n")
        << QStringList{"service=auth{client_limit=0, unix_listener=auth-login{mode=0600}, "
                       "unix_listener=auth-client{group=, inner=x{a=b}, "
                       "user=$default_internal_user}, user=root}",
                       "ssl=yes"}
        << QStringList{"service=auth{unix_listener=auth-client{group=, inner=x{a=b}, "
                       "user=$default_internal_user}}",
                       "ssl=yes"};
    QTest::newRow("watched chain twice")
        << QByteArray("service auth {\nunix_listener auth-client {\nmode = 1\n}\n}\n"
                      "service auth {\nunix_listener auth-client {\nmode = 2\n}\n}\n")
        << QStringList{"service=auth{unix_listener=auth-client{mode=1}}",
                       "service=auth{unix_listener=auth-client{mode=2}}"}
        << QStringList{"service=auth{unix_listener=auth-client{mode=1}}",
                       "service=auth{unix_listener=auth-client{mode=2}}"};
    QTest::newRow("watched chain elsewhere is not watched")
        << QByteArray(
               "protocol imap {\nservice auth {\nunix_listener auth-client {\nmode = 1\n}\n}\n}\n")
        << QStringList{"protocol=imap{service=auth{unix_listener=auth-client{mode=1}}}"}
        << QStringList();
    // Dovecot 2.4 prints a list given in section form as that section; the names are
    // each version's own (no translation between 2.3's and 2.4's).
    QTest::newRow("2.4: summary key as a section")
        << QByteArray("auth_allow_cleartext = no\nprotocols {\n  imap = yes\n  pop3 = yes\n}\n"
                      "ssl = yes\n")
        << QStringList{"auth_allow_cleartext=no", "protocols={imap=yes, pop3=yes}", "ssl=yes"}
        << QStringList{"auth_allow_cleartext=no", "protocols={imap=yes, pop3=yes}", "ssl=yes"};
    QTest::newRow("2.4: summary key as a named or nested section is not summary")
        << QByteArray("protocols imap {\n  a = 1\n}\nservice x {\n  protocols {\n"
                      "    imap = yes\n  }\n}\n")
        << QStringList{"protocols=imap{a=1}", "service=x{protocols={imap=yes}}"} << QStringList();
    // doveconf's own default configuration has "mailbox "Sent Messages" {".
    QTest::newRow("name in quotes, with blanks")
        << QByteArray("namespace inbox {\n  mailbox \"Sent Messages\" {\n    special_use = \\Sent\n"
                      "  }\n  mailbox \"a \\\" b\" {\n  }\n  mailbox Drafts {\n  }\n}\n")
        << QStringList{"namespace=inbox{mailbox=\"Sent Messages\"{special_use=\\Sent}, "
                       "mailbox=\"a \\\" b\", mailbox=Drafts}"}
        << QStringList();
    QTest::newRow("quote never closed: read as the expression reads it")
        << QByteArray("mailbox \"Sent Messages {\n}\n") << QStringList{"\"Sent=Messages"}
        << QStringList();
    QTest::newRow("closing brace with a comment")
        << QByteArray("namespace inbox {\n  inbox = yes\n} # end\nssl = yes\n")
        << QStringList{"namespace=inbox{inbox=yes}", "ssl=yes"} << QStringList{"ssl=yes"};
    QTest::newRow("stray closing braces are ignored")
        << QByteArray("}\n}\nssl = yes\nplugin {\n}\n}\nlisten = *\n")
        << QStringList{"ssl=yes", "plugin=", "listen=*"} << QStringList{"ssl=yes", "listen=*"};
    QTest::newRow("sections open at the end stay")
        << QByteArray("service auth {\nunix_listener auth-client {\nmode = 0600\n")
        << QStringList{"service=auth{unix_listener=auth-client{mode=0600}}"}
        << QStringList{"service=auth{unix_listener=auth-client{mode=0600}}"};
    QTest::newRow("lines of no pattern are skipped")
        << QByteArray("garbage\nfoo{\n{\n!include_try local.conf\nssl = yes\n")
        << QStringList{"ssl=yes"} << QStringList{"ssl=yes"};
    static const char withNul[] = "ssl = yes\0 = trailing\nlisten = *\n";
    QTest::newRow("NUL ends its line only")
        << QByteArray(withNul, sizeof withNul - 1) << QStringList{"ssl=yes", "listen=*"}
        << QStringList{"ssl=yes", "listen=*"};
    QTest::newRow("no final line feed")
        << QByteArray("listen = *") << QStringList{"listen=*"} << QStringList{"listen=*"};
    const QByteArray latin1("login_greeting = caf\xe9\n");
    QTest::newRow("local 8-bit decoding")
        << latin1
        << QStringList{QStringLiteral("login_greeting=") +
                       QString::fromLocal8Bit(QByteArray("caf\xe9"))}
        << QStringList();
}

void TestDoveconfParser::shapes()
{
    QFETCH(QByteArray, output);
    QFETCH(QStringList, full);
    QFETCH(QStringList, summary);

    Parsed parsed(output);
    QVERIFY(parsed.dovecot());
    QCOMPARE(parsed.dovecot()->name(), QStringLiteral("DOVECOT"));
    QCOMPARE(parsed.dovecot()->value(), QString());
    for (const TreeNode *node : parsed.nodes)
        QVERIFY(!node->parentNode());
    QCOMPARE(parsed.full(), full);
    QCOMPARE(parsed.summary(), summary);
}

void TestDoveconfParser::fixedTables()
{
    QCOMPARE(DoveconfParser::summaryKeys(),
             (QSet<QString>{"disable_plaintext_auth", "auth_allow_cleartext", "auth_mechanisms",
                            "ssl", "listen", "protocols", "unix"}));
    QCOMPARE(DoveconfParser::watchedPaths().size(), 1);
    QCOMPARE(DoveconfParser::watchedPaths().first(),
             (DoveconfParser::SectionPath{{"service", "auth"}, {"unix_listener", "auth-client"}}));
    QCOMPARE(DoveconfParser::prepareLine(QStringLiteral("  a = b # c # d ")),
             QStringLiteral("a = b"));
}

void TestDoveconfParser::deepNestingIsCapped()
{
    // Far deeper than any real configuration: the tree stops at the cap, its settings go to
    // the deepest section kept, and the closings still find their way back to the top.
    const int depth = 5000;
    QByteArray output;
    for (int i = 0; i < depth; ++i)
        output += "section s" + QByteArray::number(i) + " {\n";
    output += "deep = yes\n";
    output += QByteArray("}\n").repeated(depth);
    output += "ssl = yes\n";

    Parsed parsed(output);
    const QList<TreeNode *> &top = parsed.dovecot()->childNodes();
    QCOMPARE(top.size(), 2);
    QCOMPARE(depthBelow(top.first()), DoveconfParser::maxSectionDepth);
    QCOMPARE(dump(top.last()), QStringLiteral("ssl=yes"));
    QCOMPARE(parsed.summary(), QStringList{"ssl=yes"});
}

void TestDoveconfParser::capturedOutput_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("topLevel");        // top-level entries the output has
    QTest::addColumn<QStringList>("summary"); // as the output says them, in its order

    // Debian 13's dovecot-core 2.4.1 with its own configuration: plain doveconf prints only
    // what differs from the defaults, none of the summary's settings among it; "-a" prints
    // them all. 2.4 spells the plain-text switch auth_allow_cleartext.
    QTest::newRow("2.4.1 plain") << QStringLiteral("doveconf-2.4.1-trixie.txt") << 24
                                 << QStringList();
    QTest::newRow("2.4.1 -a") << QStringLiteral("doveconf-a-2.4.1-trixie.txt") << 691
                              << QStringList{"auth_allow_cleartext=no", "auth_mechanisms=",
                                             "listen=", "protocols=", "ssl=yes"};
    // dovecot-imapd and dovecot-pop3d installed: each adds "protocols { x = yes }".
    QTest::newRow("2.4.1 -a, imapd and pop3d")
        << QStringLiteral("doveconf-a-2.4.1-trixie-imapd-pop3d.txt") << 692
        << QStringList{"auth_allow_cleartext=no",
                       "auth_mechanisms=", "listen=", "protocols={imap=yes, pop3=yes}", "ssl=yes"};
    // Debian 12's 2.3.19.1 prints the same with "-a" as without.
    QTest::newRow("2.3.19.1 -a") << QStringLiteral("doveconf-a-2.3.19.1-bookworm.txt") << 0
                                 << QStringList{
                                        "auth_mechanisms=plain",
                                        "disable_plaintext_auth=yes",
                                        "listen=*, ::",
                                        "protocols=",
                                        "service=auth{unix_listener=auth-client{group=, mode=0600, "
                                        "user=$default_internal_user}}",
                                        "ssl=yes"};
}

void TestDoveconfParser::capturedOutput()
{
    QFETCH(QString, file);
    QFETCH(int, topLevel);
    QFETCH(QStringList, summary);
    QFile data(QStringLiteral(OXA_DOVECOT_TEST_DATA "/") + file);
    QVERIFY2(data.open(QIODevice::ReadOnly), qPrintable(data.fileName()));
    const QByteArray output = data.readAll();

    Parsed parsed(output);
    QCOMPARE(parsed.summary(), summary);
    if (topLevel > 0)
        QCOMPARE(parsed.dovecot()->childCount(), topLevel);
    compareWithPlainReading(output);
}

void TestDoveconfParser::realDoveconfOutput()
{
    if (QStandardPaths::findExecutable(QStringLiteral("doveconf")).isEmpty()) {
        if (TestHost::mustRun())
            QFAIL("doveconf is not installed (scripts/install-services installs dovecot-core)");
        QSKIP("doveconf is not installed");
    }
    // As the heavy read asks: every setting, whichever version runs (2.3 or 2.4).
    const ProcessResult result = ChildProcess::run(QStringLiteral("doveconf"), {"-a"});
    QVERIFY(result.finished);
    QVERIFY2(result.outputLines().size() > 300, qPrintable(result.errorText()));
    compareWithPlainReading(result.standardOutput);
}

void TestDoveconfParser::compareWithPlainReading(const QByteArray &output)
{
    const QStringList lines = QString::fromLocal8Bit(output).split(QLatin1Char('\n'));
    // What the output says, read plainly: its top-level entries, the summary keys among them
    // (a setting, or 2.4's unnamed section of that name), and the lines of the auth-client
    // listener inside "service auth" where the output has one (2.3 always does).
    QStringList topLevel;
    QStringList summaryKeys;
    QStringList listener;
    int entries = 0;
    int depth = 0;
    bool inAuth = false;
    bool inListener = false;
    bool sawListener = false;
    for (const QString &line : lines) {
        const QString text = DoveconfParser::prepareLine(line);
        if (text.isEmpty())
            continue;
        if (text == QLatin1String("}")) {
            if (inListener && depth == 2)
                inListener = false;
            if (inAuth && depth == 1)
                inAuth = false;
            --depth;
            continue;
        }
        ++entries;
        const QString name = text.section(QLatin1Char(' '), 0, 0);
        if (depth == 0) {
            topLevel << name;
            const bool setting = text.section(QLatin1Char(' '), 1, 1) == QLatin1String("=");
            if (DoveconfParser::summaryKeys().contains(name) &&
                (setting || text == name + QLatin1String(" {")))
                summaryKeys << name;
        }
        if (inListener)
            listener << text;
        if (text.endsWith(QLatin1Char('{'))) {
            ++depth;
            if (depth == 1 && text == QLatin1String("service auth {"))
                inAuth = true;
            if (inAuth && depth == 2 && text == QLatin1String("unix_listener auth-client {"))
                inListener = sawListener = true;
        }
    }
    QCOMPARE(depth, 0);

    Parsed parsed(output);
    const QList<TreeNode *> &full = parsed.dovecot()->childNodes();
    QStringList names;
    int nodes = 0;
    std::function<void(const TreeNode *)> count = [&](const TreeNode *node) {
        ++nodes;
        for (const TreeNode *child : node->childNodes())
            count(child);
    };
    for (const TreeNode *node : full) {
        names << qobject_cast<const ConfTreeNode *>(node)->name();
        count(node);
    }
    QCOMPARE(names, topLevel);
    QCOMPARE(nodes, entries);

    // The summary: the top-level keys in output order, and where "service auth" comes, the
    // watched chain with every line of the listener.
    const QList<TreeNode *> summary = parsed.nodes.mid(1);
    QCOMPARE(summary.size(), summaryKeys.size() + (sawListener ? 1 : 0));
    QStringList summaryNames;
    const TreeNode *auth = nullptr;
    for (const TreeNode *node : summary) {
        const QString name = qobject_cast<const ConfTreeNode *>(node)->name();
        if (name == QLatin1String("service"))
            auth = node;
        else
            summaryNames << name;
    }
    QCOMPARE(summaryNames, summaryKeys);
    if (!sawListener)
        return;
    QVERIFY(auth);
    QCOMPARE(dump(auth).left(39), QStringLiteral("service=auth{unix_listener=auth-client{"));
    QCOMPARE(auth->childCount(), 1);
    QCOMPARE(auth->child(0)->childCount(), listener.size());
}

QTEST_GUILESS_MAIN(TestDoveconfParser)
#include "tst_doveconfparser.moc"
