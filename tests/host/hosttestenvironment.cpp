#include "hosttestenvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace {
// One script for every test service: the name it is called by picks its state files.
const char genericScript[] = R"(#!/bin/sh
d=$(dirname "$0"); n=$(basename "$0"); a=$1; [ $# -gt 0 ] && shift
echo "$a $*" >> "$d/$n.log"
if [ -e "$d/$n.slow-$a" ]; then s=$(cat "$d/$n.slow-$a"); sleep "${s:-1}"; fi
if [ -e "$d/$n.fail-$a" ]; then echo "$a of $n failed on purpose" >&2; exit 1; fi
case "$a" in
status) [ -e "$d/$n.running" ] && exit 0; exit 3;;
start) touch "$d/$n.running";;
stop) rm -f "$d/$n.running";;
restart|reload|ping|clear) ;;
show) cat "$d/$n.conf" 2>/dev/null;;
update) : > "$d/$n.conf"; for kv in "$@"; do echo "$kv" >> "$d/$n.conf"; done;;
list) [ -d "$d/$n.items" ] && ls "$d/$n.items";;
create) mkdir -p "$d/$n.items" && echo "kind=$2" > "$d/$n.items/$1";;
delete) rm -f "$d/$n.items/$1";;
item) cat "$d/$n.items/$1";;
*) echo "unknown action $a" >&2; exit 2;;
esac
exit 0
)";
} // namespace

HostTestEnvironment::HostTestEnvironment()
{
    m_savedDir = qgetenv("OXA_HOST_TEST_DIR");
    if (!m_dir.isValid())
        return;
    for (const char *name :
         {"testservice", "testsub", "testgamma", "testorphan", "testcontainer"}) {
        QFile script(m_dir.filePath(QString::fromLatin1(name)));
        if (script.open(QIODevice::WriteOnly)) {
            script.write(genericScript);
            script.close();
            script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                  QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                  QFile::ExeOther);
        }
    }
    qputenv("OXA_HOST_TEST_DIR", m_dir.path().toLocal8Bit());
}

HostTestEnvironment::~HostTestEnvironment()
{
    if (m_savedDir.isEmpty())
        qunsetenv("OXA_HOST_TEST_DIR");
    else
        qputenv("OXA_HOST_TEST_DIR", m_savedDir);
}

QString HostTestEnvironment::pluginDirectory()
{
    return QStringLiteral(OXA_HOST_TEST_PLUGIN_DIR);
}

QString HostTestEnvironment::programPath()
{
    return QStringLiteral(OXA_HOST_PROGRAM);
}

QString HostTestEnvironment::frameworkLibraryPath()
{
    return QStringLiteral(OXA_HOST_FRAMEWORK_LIBRARY);
}

QString HostTestEnvironment::markerPluginPath()
{
    return QStringLiteral(OXA_HOST_MARKER_PLUGIN);
}

namespace {
bool writeText(const QString &path, const QString &text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    return file.write(text.toUtf8()) == text.toUtf8().size();
}
} // namespace

bool HostTestEnvironment::failAction(const QString &script, const QString &action)
{
    return writeText(filePath(script + QStringLiteral(".fail-") + action), QString());
}

bool HostTestEnvironment::slowAction(const QString &script, const QString &action,
                                     const QString &seconds)
{
    return writeText(filePath(script + QStringLiteral(".slow-") + action), seconds);
}

bool HostTestEnvironment::setRunning(const QString &script, bool running)
{
    const QString marker = filePath(script + QStringLiteral(".running"));
    if (running)
        return writeText(marker, QString());
    QFile::remove(marker);
    return !QFile::exists(marker);
}

bool HostTestEnvironment::writeConfig(const QString &script, const QString &text)
{
    return writeText(filePath(script + QStringLiteral(".conf")), text);
}

bool HostTestEnvironment::writeFile(const QString &name, const QString &text)
{
    const QString path = filePath(name);
    return QDir().mkpath(QFileInfo(path).path()) && writeText(path, text);
}

QString HostTestEnvironment::readFile(const QString &name) const
{
    QFile file(filePath(name));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

QStringList HostTestEnvironment::log(const QString &script) const
{
    return readFile(script + QStringLiteral(".log")).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QProcessEnvironment HostTestEnvironment::processEnvironment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("OXA_HOST_TEST_DIR"), path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.remove(QStringLiteral("VELL_ADMIN_PLUGIN_PATH"));
    return environment;
}
