#include "askpassdialog.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <QVBoxLayout>

namespace {
QLabel *addLabel(QVBoxLayout *layout, const QString &text, const char *name, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(label);
    return label;
}
} // namespace

AskpassDialog::Kind AskpassDialog::kindOf(const QString &prompt, const QString &mode)
{
    if (mode == QLatin1String("confirm"))
        return Confirm;
    if (mode == QLatin1String("none"))
        return Notice;
    // ssh's question for a key it does not know (or one known under another name or address).
    if (prompt.contains(QLatin1String("continue connecting (yes/no")))
        return HostKey;
    return Secret;
}

QString AskpassDialog::fingerprint(const QString &prompt)
{
    static const QRegularExpression pattern(
        QStringLiteral("\\b(SHA256:[A-Za-z0-9+/=]+|MD5(:[0-9a-fA-F]{2})+)"));
    return pattern.match(prompt).captured(1);
}

QString AskpassDialog::printablePrompt(const QString &prompt)
{
    QString text = prompt.left(MaxPromptLength);
    // Line ends as a terminal would show them.
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    for (QChar &c : text) {
        if ((c.category() == QChar::Other_Control || c.category() == QChar::Other_Format) &&
            c != QLatin1Char('\n') && c != QLatin1Char('\t'))
            c = QChar::ReplacementCharacter;
    }
    return text;
}

AskpassDialog::AskpassDialog(const QString &prompt, const QString &mode, QWidget *parent)
    : QDialog(parent), m_kind(kindOf(prompt, mode))
{
    setObjectName(QStringLiteral("AskpassDialog"));
    // The console waits behind it: the question must not hide under its window.
    setWindowFlag(Qt::WindowStaysOnTopHint);
    auto *layout = new QVBoxLayout(this);
    const QString text = printablePrompt(prompt).trimmed();
    auto *buttons = new QDialogButtonBox(this);
    buttons->setObjectName(QStringLiteral("_buttons"));
    switch (m_kind) {
    case HostKey: {
        setWindowTitle(tr("Unknown host key"));
        addLabel(layout, text, "_promptLabel", this);
        const QString print = fingerprint(prompt);
        addLabel(layout, tr("Fingerprint of the host's key:"), "_fingerprintTitle", this);
        QLabel *shown = addLabel(
            layout, print.isEmpty() ? tr("(ssh named none: do not accept the key)") : print,
            "_fingerprintLabel", this);
        QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        fixed.setBold(true);
        shown->setFont(fixed);
        addLabel(layout,
                 tr("Accept the key only when it matches the fingerprint the host's "
                    "administrator gave you. Yes records it in your known_hosts file."),
                 "_adviceLabel", this);
        m_yes = buttons->addButton(QDialogButtonBox::Yes);
        m_no = buttons->addButton(QDialogButtonBox::No);
        m_no->setDefault(true);
        connect(m_yes, &QPushButton::clicked, this, [this] { answer("yes\n", 0); });
        connect(m_no, &QPushButton::clicked, this, [this] { answer("no\n", 0); });
        break;
    }
    case Confirm:
        setWindowTitle(tr("Confirm"));
        addLabel(layout, text, "_promptLabel", this);
        m_yes = buttons->addButton(QDialogButtonBox::Yes);
        m_no = buttons->addButton(QDialogButtonBox::No);
        m_no->setDefault(true);
        connect(m_yes, &QPushButton::clicked, this, [this] { answer(QByteArray(), 0); });
        connect(m_no, &QPushButton::clicked, this, [this] { answer(QByteArray(), 1); });
        break;
    case Notice:
        setWindowTitle(tr("ssh"));
        addLabel(layout, text, "_promptLabel", this);
        m_ok = buttons->addButton(QDialogButtonBox::Ok);
        connect(m_ok, &QPushButton::clicked, this, [this] { answer(QByteArray(), 0); });
        break;
    case Secret:
        setWindowTitle(tr("Password"));
        addLabel(layout, text.isEmpty() ? tr("Password:") : text, "_promptLabel", this);
        m_secret = new QLineEdit(this);
        m_secret->setObjectName(QStringLiteral("_secretEdit"));
        m_secret->setEchoMode(QLineEdit::Password);
        layout->addWidget(m_secret);
        m_ok = buttons->addButton(QDialogButtonBox::Ok);
        m_cancel = buttons->addButton(QDialogButtonBox::Cancel);
        m_ok->setDefault(true);
        connect(m_ok, &QPushButton::clicked, this, [this] {
            QByteArray typed = m_secret->text().toUtf8();
            m_secret->clear();
            answer(typed + '\n', 0);
            typed.fill('\0');
        });
        connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
        break;
    }
    layout->addWidget(buttons);
    if (m_secret)
        m_secret->setFocus();
}

AskpassDialog::~AskpassDialog()
{
    m_answer.fill('\0');
}

void AskpassDialog::done(int result)
{
    if (m_secret)
        m_secret->clear();
    QDialog::done(result);
}

void AskpassDialog::answer(const QByteArray &text, int exitCode)
{
    m_answer.fill('\0');
    m_answer = text;
    m_exitCode = exitCode;
    accept();
}

QByteArray AskpassDialog::takeAnswer()
{
    QByteArray out = m_answer;
    // The copy shares the bytes until one of them changes: detach it before wiping ours.
    out.detach();
    m_answer.fill('\0');
    m_answer.clear();
    return out;
}
