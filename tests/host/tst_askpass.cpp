#include "askpassdialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

/** The question program's dialog, answered as an administrator would, offscreen. */
class TestAskpass : public QObject
{
    Q_OBJECT
private slots:
    void answers_data();
    void answers();
    void promptIsPlainAndBounded();
};

namespace {
const char hostKeyPrompt[] =
    "The authenticity of host 'db1 (192.0.2.7)' can't be established.\n"
    "ED25519 key fingerprint is SHA256:3Qp0m7Jx1LwXcVdT+9zYq8bR2kF5nH4sG6aE0iU/oPc.\n"
    "This key is not known by any other names.\n"
    "Are you sure you want to continue connecting (yes/no/[fingerprint])? ";
const char oldHostKeyPrompt[] =
    "The authenticity of host '[127.0.0.1]:2222' can't be established.\n"
    "RSA key fingerprint is MD5:9a:3c:11:0f:aa:bb:cc:dd:ee:ff:00:11:22:33:44:55.\n"
    "Are you sure you want to continue connecting (yes/no)? ";
} // namespace

void TestAskpass::answers_data()
{
    QTest::addColumn<QString>("prompt");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("press"); // yes, no, ok, cancel, escape
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("fingerprint");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("exitCode");

    const QString key = QString::fromLatin1(hostKeyPrompt);
    const QString sha = QStringLiteral("SHA256:3Qp0m7Jx1LwXcVdT+9zYq8bR2kF5nH4sG6aE0iU/oPc");
    QTest::newRow("host key: yes")
        << key << QString() << QString() << "yes" << int(AskpassDialog::HostKey) << sha
        << QByteArray("yes\n") << 0;
    QTest::newRow("host key: no") << key << QString() << QString() << "no"
                                  << int(AskpassDialog::HostKey) << sha << QByteArray("no\n") << 0;
    QTest::newRow("host key: closed") << key << QString() << QString() << "escape"
                                      << int(AskpassDialog::HostKey) << sha << QByteArray() << 1;
    QTest::newRow("host key, MD5, yes/no")
        << QString::fromLatin1(oldHostKeyPrompt) << QString() << QString() << "yes"
        << int(AskpassDialog::HostKey) << "MD5:9a:3c:11:0f:aa:bb:cc:dd:ee:ff:00:11:22:33:44:55"
        << QByteArray("yes\n") << 0;
    QTest::newRow("password") << "root@db1's password: " << QString() << "s3cret w\xc3\xb6rd"
                              << "ok" << int(AskpassDialog::Secret) << QString()
                              << QByteArray("s3cret w\xc3\xb6rd\n") << 0;
    QTest::newRow("empty password is an answer")
        << "(admin@db1) Password: " << QString() << QString() << "ok" << int(AskpassDialog::Secret)
        << QString() << QByteArray("\n") << 0;
    QTest::newRow("passphrase: cancelled")
        << "Enter passphrase for key '/root/.ssh/id_ed25519': " << QString() << "typed"
        << "cancel" << int(AskpassDialog::Secret) << QString() << QByteArray() << 1;
    QTest::newRow("passphrase: closed")
        << "Enter passphrase for key '/root/.ssh/id_ed25519': " << QString() << "typed"
        << "escape" << int(AskpassDialog::Secret) << QString() << QByteArray() << 1;
    QTest::newRow("confirm: yes")
        << "Allow use of key /root/.ssh/id_ed25519?\nKey fingerprint SHA256:abc."
        << "confirm" << QString() << "yes" << int(AskpassDialog::Confirm) << QString()
        << QByteArray() << 0;
    QTest::newRow("confirm: no") << "Allow use of key /root/.ssh/id_ed25519?"
                                 << "confirm" << QString() << "no" << int(AskpassDialog::Confirm)
                                 << QString() << QByteArray() << 1;
    QTest::newRow("confirm: closed")
        << "Allow use of key /root/.ssh/id_ed25519?"
        << "confirm" << QString() << "escape" << int(AskpassDialog::Confirm) << QString()
        << QByteArray() << 1;
    QTest::newRow("notice") << "Confirm user presence for key ED25519-SK SHA256:abc"
                            << "none" << QString() << "ok" << int(AskpassDialog::Notice)
                            << QString() << QByteArray() << 0;
}

void TestAskpass::answers()
{
    QFETCH(QString, prompt);
    QFETCH(QString, mode);
    QFETCH(QString, typed);
    QFETCH(QString, press);
    QFETCH(int, kind);
    QFETCH(QString, fingerprint);
    QFETCH(QByteArray, answer);
    QFETCH(int, exitCode);

    AskpassDialog dialog(prompt, mode);
    QCOMPARE(int(dialog.kind()), kind);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *shown = dialog.findChild<QLabel *>(QStringLiteral("_promptLabel"));
    QVERIFY(shown);
    QCOMPARE(shown->text(), prompt.trimmed());
    auto *print = dialog.findChild<QLabel *>(QStringLiteral("_fingerprintLabel"));
    QCOMPARE(print != nullptr, kind == AskpassDialog::HostKey);
    if (print)
        QCOMPARE(print->text(), fingerprint);
    QCOMPARE(dialog.secretEdit() != nullptr, kind == AskpassDialog::Secret);
    if (dialog.secretEdit()) {
        QCOMPARE(dialog.secretEdit()->echoMode(), QLineEdit::Password);
        dialog.secretEdit()->insert(typed);
    }
    const QHash<QString, QPushButton *> buttons{{QStringLiteral("yes"), dialog.yesButton()},
                                                {QStringLiteral("no"), dialog.noButton()},
                                                {QStringLiteral("ok"), dialog.okButton()},
                                                {QStringLiteral("cancel"), dialog.cancelButton()}};
    if (press == QLatin1String("escape")) {
        QTest::keyClick(&dialog, Qt::Key_Escape);
    } else {
        QVERIFY(buttons.value(press));
        QTest::mouseClick(buttons.value(press), Qt::LeftButton);
    }
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.takeAnswer(), answer);
    QCOMPARE(dialog.exitCode(), exitCode);
    // The secret is gone from the dialog, and the answer is handed out once.
    QCOMPARE(dialog.takeAnswer(), QByteArray());
    if (dialog.secretEdit())
        QCOMPARE(dialog.secretEdit()->text(), QString());
}

void TestAskpass::promptIsPlainAndBounded()
{
    // A keyboard-interactive prompt is the server's: no markup, no terminal escapes, bounded.
    const QString prompt = QStringLiteral("<b>Code</b>\x1b[2J: ") +
                           QString(2 * AskpassDialog::MaxPromptLength, QLatin1Char('x'));
    AskpassDialog dialog(prompt, QString());
    auto *shown = dialog.findChild<QLabel *>(QStringLiteral("_promptLabel"));
    QVERIFY(shown);
    QCOMPARE(shown->textFormat(), Qt::PlainText);
    QVERIFY(shown->text().startsWith(QStringLiteral("<b>Code</b>\ufffd[2J: x")));
    QCOMPARE(shown->text().size(), AskpassDialog::MaxPromptLength);
    QCOMPARE(AskpassDialog::printablePrompt(QStringLiteral("a\r\nb\rc\td\x7f")),
             QStringLiteral("a\nb\nc\td\ufffd"));
}

QTEST_MAIN(TestAskpass)
#include "tst_askpass.moc"
