#include "hostlayout.h"

#include "testhost.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

bool HostLayout::parsePackages(const QByteArray &text, QVector<Package> *packages, QString *error)
{
    const QList<QByteArray> lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        QByteArray line = lines.at(i);
        const int hash = line.indexOf('#');
        if (hash >= 0)
            line.truncate(hash);
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.size() == 1 && words.first().isEmpty())
            continue;
        if (words.size() < 2 || words.size() == 3 || words.size() == 4 || words.size() > 5) {
            if (error)
                *error = QStringLiteral("line %1: want \"name version\" or \"name version want "
                                        "flag state\", got \"%2\"")
                             .arg(i + 1)
                             .arg(QString::fromUtf8(line.trimmed()));
            return false;
        }
        Package package;
        package.name = QString::fromUtf8(words.at(0));
        package.version = QString::fromUtf8(words.at(1));
        package.status = words.size() == 5 ? QString::fromUtf8(words.mid(2).join(' '))
                                           : QStringLiteral("install ok installed");
        package.line = i + 1;
        packages->append(package);
    }
    return true;
}

bool HostLayout::apply(TestHost &host, const QString &directory, QString *error)
{
    const auto failed = [&](const QString &message) {
        if (error)
            *error = message;
        return false;
    };
    const QDir layout(directory);
    if (!layout.exists())
        return failed(QStringLiteral("%1 does not exist").arg(directory));

    const QString root = layout.filePath(QStringLiteral("root"));
    if (QFileInfo(root).isDir() && !host.copyTree(root, QStringLiteral("/")))
        return failed(host.errorString());

    // Programs go where the real ones are (or would be): children look them up on a fixed
    // search path only.
    const QDir bin(layout.filePath(QStringLiteral("bin")));
    const QFileInfoList programs =
        bin.exists()
            ? bin.entryInfoList(
                  QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name)
            : QFileInfoList();
    for (const QFileInfo &program : programs) {
        QFile in(program.filePath());
        if (program.isSymLink() || !program.isFile())
            return failed(QStringLiteral("%1 is no regular file").arg(program.filePath()));
        if (!in.open(QIODevice::ReadOnly))
            return failed(QStringLiteral("%1: %2").arg(in.fileName(), in.errorString()));
        struct stat st;
        const int mode = ::stat(QFile::encodeName(in.fileName()).constData(), &st) == 0
                             ? int(st.st_mode & 07777)
                             : 0755;
        if (!host.writeFile(host.toolPath(program.fileName()), in.readAll(), mode))
            return failed(host.errorString());
    }

    QFile list(layout.filePath(QStringLiteral("packages")));
    if (list.exists()) {
        if (!list.open(QIODevice::ReadOnly))
            return failed(QStringLiteral("%1: %2").arg(list.fileName(), list.errorString()));
        QVector<Package> packages;
        QString message;
        if (!parsePackages(list.readAll(), &packages, &message))
            return failed(QStringLiteral("%1: %2").arg(list.fileName(), message));
        for (const Package &package : packages) {
            if (!host.installPackage(package.name, package.version, package.status))
                return failed(QStringLiteral("%1: line %2: %3")
                                  .arg(list.fileName())
                                  .arg(package.line)
                                  .arg(host.errorString()));
        }
    }
    return true;
}
