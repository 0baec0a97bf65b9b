#include "tarnsimulation.h"

#include "testhost.h"

#include <QFile>
#include <QFileInfo>

QString TarnSimulation::stateDirectory()
{
    return QStringLiteral("/var/lib/vell-demo/tarn");
}

QString TarnSimulation::demoDirectory()
{
    return QStringLiteral(OXA_DEMO_DIR);
}

bool TarnSimulation::copyFromDemo(const QString &source, const QString &target)
{
    QFile file(demoDirectory() + QLatin1Char('/') + source);
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("%1: %2").arg(file.fileName(), file.errorString());
        return false;
    }
    const int mode = QFileInfo(file).isExecutable() ? 0755 : 0644;
    if (!m_host.writeFile(target, file.readAll(), mode)) {
        m_error = m_host.errorString();
        return false;
    }
    return true;
}

bool TarnSimulation::install()
{
    return copyFromDemo(QStringLiteral("bin/tarn-simulation"),
                        m_host.toolPath(QStringLiteral("tarn-simulation"))) &&
           copyFromDemo(QStringLiteral("bin/tarn-client"),
                        m_host.toolPath(QStringLiteral("tarn-client"))) &&
           copyFromDemo(QStringLiteral("bin/tarn-init"),
                        m_host.toolPath(QStringLiteral("tarn-init"))) &&
           copyFromDemo(QStringLiteral("root/etc/init.d/tarnd"),
                        QStringLiteral("/etc/init.d/tarnd")) &&
           m_host.mkdir(stateDirectory());
}

bool TarnSimulation::removeTool(const QString &name)
{
    if (m_host.removePath(m_host.toolPath(name)))
        return true;
    m_error = m_host.errorString();
    return false;
}

bool TarnSimulation::setRole(Role role)
{
    const QByteArray text = role == Client ? "client\n" : "server\n";
    if (m_host.writeFile(stateDirectory() + QStringLiteral("/role"), text))
        return true;
    m_error = m_host.errorString();
    return false;
}

bool TarnSimulation::setReport(Role role, const QByteArray &text)
{
    const QString name = role == Client ? QStringLiteral("client") : QStringLiteral("server");
    if (m_host.writeFile(stateDirectory() + QStringLiteral("/%1.report").arg(name), text))
        return true;
    m_error = m_host.errorString();
    return false;
}

bool TarnSimulation::setRunning(const QString &name, bool running)
{
    const QString marker = stateDirectory() + QStringLiteral("/%1.stopped").arg(name);
    const bool done = running ? (!QFileInfo::exists(marker) || m_host.removePath(marker))
                              : m_host.writeFile(marker, QByteArray());
    if (!done)
        m_error = m_host.errorString();
    return done;
}

bool TarnSimulation::isRunning(const QString &name) const
{
    return !QFileInfo::exists(stateDirectory() + QStringLiteral("/%1.stopped").arg(name));
}

bool TarnSimulation::setFault(const QString &call, const QString &behaviour)
{
    if (m_host.writeFile(stateDirectory() + QStringLiteral("/fault.%1").arg(call),
                         behaviour.toLocal8Bit() + '\n'))
        return true;
    m_error = m_host.errorString();
    return false;
}

QStringList TarnSimulation::calls() const
{
    QFile file(stateDirectory() + QStringLiteral("/calls"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool TarnSimulation::clearCalls()
{
    const QString log = stateDirectory() + QStringLiteral("/calls");
    if (!QFileInfo::exists(log) || m_host.removePath(log))
        return true;
    m_error = m_host.errorString();
    return false;
}
