#pragma once

// Small shell scripts written for one test, and checks on the processes they leave.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <sys/types.h>
#include <unistd.h>

/** A temporary directory holding executable scripts and the files they write. */
class ScriptDir
{
public:
    bool isValid() const { return m_dir.isValid(); }
    QString path(const QString &name) const { return m_dir.filePath(name); }

    /// Writes "#!/bin/sh" and @p body as @p name, executable; "@DIR@" becomes the directory.
    QString script(const QString &name, const QString &body) const
    {
        const QString file = path(name);
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return QString();
        QString text = QStringLiteral("#!/bin/sh\n") + body;
        text.replace(QLatin1String("@DIR@"), m_dir.path());
        out.write(text.toLocal8Bit());
        out.close();
        out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                           QFileDevice::ExeOwner | QFileDevice::ReadGroup | QFileDevice::ExeGroup |
                           QFileDevice::ReadOther | QFileDevice::ExeOther);
        return file;
    }

    QString read(const QString &name) const
    {
        QFile in(path(name));
        return in.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(in.readAll()) : QString();
    }

    /// The pid a script wrote into @p name, or 0; waits up to @p ms for the file.
    pid_t pidFrom(const QString &name, int ms = 5000) const
    {
        for (int waited = 0; waited <= ms; waited += 20) {
            const pid_t pid = pid_t(read(name).trimmed().toInt());
            if (pid > 0)
                return pid;
            QThread::msleep(20);
        }
        return 0;
    }

private:
    QTemporaryDir m_dir;
};

/** State letter of @p pid from /proc ('R', 'S', 'Z', ...), or 0 when there is none. */
inline char processState(pid_t pid, pid_t *parent = nullptr)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    // "pid (comm) S ppid ...": the command may hold spaces and parentheses.
    const int close = line.lastIndexOf(')');
    if (close < 0 || close + 2 >= line.size())
        return 0;
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    if (parent && fields.size() > 1)
        *parent = pid_t(fields.at(1).toInt());
    return fields.isEmpty() || fields.first().isEmpty() ? 0 : fields.first().at(0);
}

/** Not running: gone, or a zombie that only waits for init (orphans are not ours to reap). */
inline bool isDead(pid_t pid)
{
    const char state = processState(pid);
    return state == 0 || state == 'Z' || state == 'X';
}

/** Gone, and not left as a zombie of this process: it was reaped. */
inline bool isReaped(pid_t pid)
{
    pid_t parent = 0;
    const char state = processState(pid, &parent);
    return state == 0 || ((state == 'Z' || state == 'X') && parent != ::getpid());
}

/** Waits up to @p ms for @p pid to die. */
inline bool waitDead(pid_t pid, int ms = 5000)
{
    for (int waited = 0; waited <= ms; waited += 20) {
        if (isDead(pid))
            return true;
        QThread::msleep(20);
    }
    return isDead(pid);
}
