#include "servicetasks.h"

#include "bootstate.h"
#include "childprocess.h"
#include "element.h"
#include "localhostconnection.h"
#include "taskmessages.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <pwd.h>
#include <unistd.h>

ServiceTask::ServiceTask(Element *element, const QString &program, const QString &action,
                         const QStringList &arguments, bool actionFirst)
    : ElementTask(element), m_scriptPath(program), m_action(action), m_arguments(arguments),
      m_actionFirst(actionFirst), m_heavyReadAfterChange(element && !element->serviceData())
{
    // The state read is copied into the element's record whole (name included): start from
    // the element's name so that a read does not blank it.
    if (const ServiceLightElementData *light = element ? element->serviceData() : nullptr)
        m_ownState.setName(light->name());
}

QStringList ServiceTask::composedArguments(const QString &action) const
{
    const QString word = action.isEmpty() ? m_action : action;
    QStringList arguments;
    if (m_actionFirst && !word.isEmpty())
        arguments << word;
    arguments << m_arguments;
    if (!m_actionFirst && !word.isEmpty())
        arguments << word;
    return arguments;
}

bool ServiceTask::isStatusAction() const
{
    return m_action == statusAction();
}

const ServiceLightElementData &ServiceTask::stateRecord() const
{
    if (const auto *light = dynamic_cast<const ServiceLightElementData *>(data()))
        return *light;
    return m_ownState;
}

ServiceLightElementData *ServiceTask::writableStateRecord()
{
    if (auto *light = dynamic_cast<ServiceLightElementData *>(data()))
        return light;
    return &m_ownState;
}

bool ServiceTask::isChange() const
{
    return !isStatusAction();
}

bool ServiceTask::readState(const QString &action)
{
    if (!takeState(host().run(m_scriptPath, composedArguments(action))))
        return false;
    readBootState();
    return true;
}

void ServiceTask::readBootState()
{
    if (m_bootUnit.isEmpty())
        return;
    const BootState::Reading reading = BootState::read(host(), m_bootUnit);
    writableStateRecord()->setBootState(reading.ok() ? reading.state : QObject::tr("unknown"));
    m_bootError = reading.error;
    m_bootRead = true;
}

bool ServiceTask::takeState(const ProcessResult &result)
{
    if (!result.finished) {
        fail(TaskMessages::notFinished(m_scriptPath, result));
        return false;
    }
    writableStateRecord()->setState(result.exitCode == 0);
    m_stateRead = true;
    return true;
}

void ServiceTask::run()
{
    if (isStatusAction()) {
        // The state is what was asked; a boot state that could not be read only warns.
        if (readState(m_action)) {
            if (m_bootError.isEmpty())
                succeed();
            else
                succeedPartly(m_bootError);
        }
        return;
    }
    if (runChangeTool(m_scriptPath, composedArguments()))
        succeed();
    if (m_heavyReadAfterChange)
        return;
    // Whatever the action did (a failed or unfinished one may have done part of it), what
    // state it left is a second, plain question. Its answer, or none, leaves the action's
    // outcome as it is.
    const TaskDescription before = taskDescription();
    if (!readState(statusAction()))
        setOutcome(before.status(), before.message());
}

void ServiceTask::afterRun()
{
    copyStateToElement();
    // After a change, the widgets showing the element take the new state from that one read.
    Element *e = element();
    if (!isStatusAction() && isStateRead() && e && e->serviceData())
        showInWidgets(writableStateRecord());
}

QList<FollowUp> ServiceTask::followUps() const
{
    // However the change ended: a failed one may have done part of its work.
    Element *e = element();
    if (!e || isStatusAction() || !m_heavyReadAfterChange)
        return {};
    return {FollowUp::perform(e, OperationReadHeavy)};
}

void ServiceTask::copyStateToElement()
{
    Element *e = element();
    if (!e || !isStateRead())
        return;
    if (ServiceLightElementData *light = e->serviceData()) {
        // A read without a boot unit leaves the boot state as the element had it.
        const QString boot = light->bootState();
        *light = stateRecord();
        if (!m_bootRead)
            light->setBootState(boot);
        e->emitNodeDataChanged();
    }
}

ReadPropertyLightServiceTask::ReadPropertyLightServiceTask(Element *element)
    : ServiceTask(element, QString(), statusAction())
{
    auto *record = new ServiceLightElementData;
    record->setName(stateRecord().name());
    setData(record);
}

int ReadPropertyLightServiceTask::priority() const
{
    return 10;
}

StartStopServiceTask::StartStopServiceTask(Element *element, const QString &action)
    : ServiceTask(element, QString(), action)
{
}

StartServiceTask::StartServiceTask(Element *element)
    : StartStopServiceTask(element, QStringLiteral("start"))
{
}

StopServiceTask::StopServiceTask(Element *element)
    : StartStopServiceTask(element, QStringLiteral("stop"))
{
}

RServiceTask::RServiceTask(Element *element, const QString &action)
    : ServiceTask(element, QString(), action)
{
}

RestartServiceTask::RestartServiceTask(Element *element)
    : RServiceTask(element, QStringLiteral("restart"))
{
}

ReloadServiceTask::ReloadServiceTask(Element *element)
    : RServiceTask(element, QStringLiteral("reload"))
{
}

BootServiceTask::BootServiceTask(Element *element, const QString &unit, bool enable)
    : ServiceTask(element, QString(),
                  enable ? QStringLiteral("enable") : QStringLiteral("disable")),
      m_enable(enable)
{
    setBootUnit(unit);
    const QString title = element ? element->title() : QString();
    taskDescription().setDescription(enable
                                         ? QObject::tr("Enable %1 service at boot").arg(title)
                                         : QObject::tr("Disable %1 service at boot").arg(title));
}

QStringList BootServiceTask::commandLine(bool systemd) const
{
    return BootState::changeCommand(systemd, bootUnit(), m_enable);
}

void BootServiceTask::run()
{
    if (bootUnit().isEmpty()) {
        fail(TaskMessages::undefinedTarget());
        return;
    }
    const QStringList command = commandLine(BootState::isSystemd(host()));
    if (runChangeTool(command.first(), command.mid(1)))
        succeed();
    // What the change left is read however it ended; that read leaves its outcome alone.
    const TaskDescription outcome = taskDescription();
    if (!scriptPath().isEmpty())
        readState(statusAction());
    setOutcome(outcome.status(), outcome.message());
}

namespace {

const char runuser[] = "/usr/sbin/runuser";

/// A user of the passwd database, as run() needs it.
struct DesktopUser
{
    QByteArray name;
    uid_t uid = 0;
    QByteArray home;
    QByteArray shell;
};

/// Looks up @p name, or (with an empty name) @p uid; getpw*_r: tasks run on worker threads.
bool lookUpUser(const QByteArray &name, uid_t uid, DesktopUser *user)
{
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size_t(size > 0 ? size : 16384));
    for (;;) {
        passwd entry;
        passwd *found = nullptr;
        const int error =
            name.isEmpty()
                ? ::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found)
                : ::getpwnam_r(name.constData(), &entry, buffer.data(), buffer.size(), &found);
        if (error == ERANGE && buffer.size() < 1024 * 1024) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (error != 0 || !found)
            return false;
        user->name = found->pw_name;
        user->uid = found->pw_uid;
        user->home = found->pw_dir;
        user->shell = found->pw_shell;
        if (user->shell.isEmpty())
            user->shell = "/bin/sh";
        return true;
    }
}

/**
 * The desktop user a root console starts administration programs for: @p setName, else
 * SUDO_USER, else the user of PKEXEC_UID. False, with the reason, when there is none, it is
 * unknown, or it is root (a desktop program never runs with the administrator's rights).
 */
bool desktopUser(const QString &program, const QString &setName, DesktopUser *user, QString *error)
{
    QByteArray name = setName.toLocal8Bit();
    if (name.isEmpty())
        name = qgetenv("SUDO_USER");
    bool found = false;
    if (!name.isEmpty()) {
        found = lookUpUser(name, 0, user);
        if (!found)
            *error = QObject::tr("Cannot start \"%1\": there is no user \"%2\" to start it for.")
                         .arg(program, QString::fromLocal8Bit(name));
    } else {
        const QByteArray pkexecUid = qgetenv("PKEXEC_UID");
        bool ok = !pkexecUid.isEmpty() && std::all_of(pkexecUid.cbegin(), pkexecUid.cend(),
                                                      [](char c) { return c >= '0' && c <= '9'; });
        const uint uid = ok ? pkexecUid.toUInt(&ok) : 0;
        if (!ok) {
            *error = pkexecUid.isEmpty()
                         ? QObject::tr("Cannot start \"%1\": the desktop user to start it for is "
                                       "not known (start the console through sudo or pkexec).")
                               .arg(program)
                         : QObject::tr("Cannot start \"%1\": PKEXEC_UID \"%2\" is no user id.")
                               .arg(program, QString::fromLocal8Bit(pkexecUid));
            return false;
        }
        found = lookUpUser(QByteArray(), uid_t(uid), user);
        if (!found)
            *error = QObject::tr("Cannot start \"%1\": there is no user with the id %2 to start "
                                 "it for.")
                         .arg(program, QString::number(uid));
    }
    if (found && user->uid == 0) {
        *error = QObject::tr("Cannot start \"%1\" as root: a desktop program does not run with "
                             "administrator rights (start the console through sudo or pkexec "
                             "as the desktop user).")
                     .arg(program);
        return false;
    }
    return found;
}

/// A clean environment of @p user for a desktop program, with the display the console has.
QList<QByteArray> userEnvironment(const DesktopUser &user)
{
    QList<QByteArray> entries = ChildProcess::fixedEnvironment();
    entries << "HOME=" + user.home << "USER=" + user.name << "LOGNAME=" + user.name
            << "SHELL=" + user.shell;
    for (const char *variable : {"DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY"}) {
        const QByteArray value = qgetenv(variable);
        if (!value.isEmpty())
            entries << QByteArray(variable) + '=' + value;
    }
    entries << "XDG_RUNTIME_DIR=/run/user/" + QByteArray::number(quint64(user.uid));
    return entries;
}

} // namespace

ControlServiceTask::ControlServiceTask(Element *element) : ElementTask(element)
{
}

QStringList ControlServiceTask::commandLine() const
{
    QString program = host().findProgram(m_programName);
    if (program.isEmpty())
        program = m_programName;
    if (!host().isPrivileged())
        return {program};
    DesktopUser user;
    QString error;
    const QString name = desktopUser(m_programName, m_userName, &user, &error)
                             ? QString::fromLocal8Bit(user.name)
                             : m_userName;
    return {QString::fromLatin1(runuser), QStringLiteral("-u"), name, QStringLiteral("--"),
            program};
}

void ControlServiceTask::run()
{
    const QString program = host().findProgram(m_programName);
    // Root on the host: the tool goes to the desktop user, never runs as root.
    const bool asRoot = host().isPrivileged();
    DesktopUser user;
    QString error;
    if (m_programName.isEmpty()) {
        fail(TaskMessages::notFinished(m_programName, 0));
    } else if (program.isEmpty()) {
        fail(m_programName.contains(QLatin1Char('/'))
                 ? QObject::tr("Cannot start \"%1\": there is no such program.").arg(m_programName)
                 : QObject::tr("Cannot start \"%1\": there is no such program in %2.")
                       .arg(m_programName, ChildProcess::fixedSearchPath()));
    } else if (asRoot && !desktopUser(m_programName, m_userName, &user, &error)) {
        fail(error);
    } else {
        // The tool lives on its own: it must not write into the console's output (a batch
        // report goes there) nor wait for input from it.
        const DetachedStart start =
            asRoot
                ? host().startDetached(QString::fromLatin1(runuser),
                                       {QStringLiteral("-u"), QString::fromLocal8Bit(user.name),
                                        QStringLiteral("--"), program},
                                       userEnvironment(user), StartGraceMs)
                : host().startDetached(program, {}, ChildProcess::ownEnvironment(), StartGraceMs);
        const QString who = asRoot ? QString::fromLocal8Bit(user.name) : QString();
        if (start.state == DetachedStart::NotStarted) {
            fail(QObject::tr("Cannot start \"%1\": %2")
                     .arg(asRoot ? QString::fromLatin1(runuser) : program,
                          QString::fromLocal8Bit(strerror(start.code))));
        } else if (start.state == DetachedStart::Killed) {
            fail(QObject::tr("\"%1\" ended at once, killed by signal %2.")
                     .arg(m_programName, QString::number(start.code)));
        } else if (start.failed() && asRoot) {
            fail(QObject::tr("\"%1\" (as user %2) ended at once with exit code %3.")
                     .arg(m_programName, who, QString::number(start.code)));
        } else if (start.failed()) {
            fail(QObject::tr("\"%1\" ended at once with exit code %2.")
                     .arg(m_programName, QString::number(start.code)));
        } else {
            succeed();
        }
    }
}

bool ControlServiceTask::existPackage(const QString &package)
{
    return existPackage(*LocalHostConnection::outsideConsole(), package);
}

bool ControlServiceTask::existPackage(const HostConnection &host, const QString &package)
{
    if (package.isEmpty())
        return false;
    const ProcessResult result =
        host.run(QStringLiteral("dpkg-query"),
                 {QStringLiteral("--showformat=${db:Status-Abbrev}${binary:Package}\n"),
                  QStringLiteral("--show"), package});
    if (!result.succeeded())
        return false;
    for (const QString &line : result.outputLines()) {
        // "ii " then the name, possibly with an architecture qualifier.
        if (!line.startsWith(QLatin1String("ii ")))
            continue;
        const QString name = line.mid(3).trimmed().section(QLatin1Char(':'), 0, 0);
        if (name == package)
            return true;
    }
    return false;
}
