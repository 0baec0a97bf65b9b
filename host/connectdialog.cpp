#include "connectdialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSysInfo>
#include <QVBoxLayout>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace {
const char recentKey[] = "connect/recentHosts";

/// The same user, host and port: "db1" and "DB1" are one host for ssh's resolver.
bool sameHost(const SshTarget &a, const SshTarget &b)
{
    return a.user == b.user && a.port == b.port && a.host.compare(b.host, Qt::CaseInsensitive) == 0;
}
} // namespace

QSettings *RecentHosts::consoleSettings(QObject *parent)
{
    return new QSettings(QStringLiteral("vell"), QStringLiteral("vell-admin-service"), parent);
}

QStringList RecentHosts::load(QSettings &settings)
{
    const QStringList stored = settings.value(QLatin1String(recentKey)).toStringList();
    // Oldest first, so that each lands ahead of those older than it.
    QStringList list;
    for (auto it = stored.crbegin(); it != stored.crend(); ++it)
        list = add(list, *it);
    return list;
}

void RecentHosts::record(QSettings &settings, const QString &given)
{
    settings.setValue(QLatin1String(recentKey), add(load(settings), given));
    settings.sync();
}

QStringList RecentHosts::add(const QStringList &list, const QString &given)
{
    QStringList out;
    SshTarget wanted;
    QString why;
    if (SshTarget::parse(given.trimmed(), &wanted, &why) && !isLocal(wanted))
        out.append(wanted.given);
    else
        wanted = SshTarget();
    for (const QString &entry : list) {
        SshTarget target;
        if (out.size() >= MaxCount)
            break;
        if (!SshTarget::parse(entry.trimmed(), &target, &why) || isLocal(target))
            continue;
        bool seen = false;
        for (const QString &kept : std::as_const(out)) {
            SshTarget keptTarget;
            SshTarget::parse(kept, &keptTarget, &why);
            seen = seen || sameHost(keptTarget, target);
        }
        if (!seen)
            out.append(target.given);
    }
    return out;
}

bool RecentHosts::isLocal(const SshTarget &target)
{
    const QString host = target.host.toLower();
    const QByteArray latin = host.toLatin1();
    in_addr v4{};
    if (::inet_pton(AF_INET, latin.constData(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (::inet_pton(AF_INET6, latin.constData(), &v6) == 1)
        return IN6_IS_ADDR_LOOPBACK(&v6) || (IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127);
    const QString own = QSysInfo::machineHostName().toLower();
    const auto shortName = [](const QString &name) { return name.section(QLatin1Char('.'), 0, 0); };
    return host == QLatin1String("localhost") || host.startsWith(QLatin1String("localhost.")) ||
           host == QLatin1String("ip6-localhost") || host == QLatin1String("ip6-loopback") ||
           (!own.isEmpty() && (host == own || shortName(host) == shortName(own)));
}

ConnectDialog::ConnectDialog(const QStringList &recentHosts, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("_connectDialog"));
    setWindowTitle(tr("Connect to host"));
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    m_hostBox = new QComboBox(this);
    m_hostBox->setObjectName(QStringLiteral("_hostBox"));
    m_hostBox->setEditable(true);
    m_hostBox->setInsertPolicy(QComboBox::NoInsert);
    m_hostBox->addItems(recentHosts);
    m_hostBox->setMinimumContentsLength(30);
    m_hostBox->lineEdit()->setPlaceholderText(tr("[user@]host[:port]"));
    form->addRow(tr("&Host:"), m_hostBox);
    layout->addLayout(form);
    auto *hint = new QLabel(tr("A new console window opens for the host. ssh reaches it with "
                               "your own keys, agent and configuration; the host needs the "
                               "package vell-admin-bridge."),
                            this);
    hint->setObjectName(QStringLiteral("_hintLabel"));
    hint->setWordWrap(true);
    layout->addWidget(hint);
    m_error = new QLabel(this);
    m_error->setObjectName(QStringLiteral("_errorLabel"));
    m_error->setWordWrap(true);
    m_error->setTextFormat(Qt::PlainText);
    m_error->hide();
    layout->addWidget(m_error);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("_buttons"));
    buttons->button(QDialogButtonBox::Ok)->setText(tr("&Connect"));
    connect(buttons, &QDialogButtonBox::accepted, this, &ConnectDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    connect(m_hostBox, &QComboBox::editTextChanged, m_error, &QWidget::hide);
}

void ConnectDialog::accept()
{
    SshTarget target;
    QString why;
    if (!SshTarget::parse(m_hostBox->currentText().trimmed(), &target, &why)) {
        m_error->setText(tr("Not a host: %1").arg(why));
        m_error->show();
        m_hostBox->setFocus();
        return;
    }
    m_target = target;
    QDialog::accept();
}
