#include "regularfile.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

RegularFile::Result RegularFile::open(QFile *file, const QString &path, QString *errorText)
{
    QString ignored;
    QString &why = errorText ? *errorText : ignored;
    why.clear();
    // O_NONBLOCK: opening a FIFO with no writer would wait for one for good.
    int fd;
    do
        fd = ::open(QFile::encodeName(path).constData(),
                    O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int error = errno;
        why = QString::fromLocal8Bit(std::strerror(error));
        return error == ENOENT ? Missing : Failed;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        why = QCoreApplication::translate("QObject", "Not a regular file");
        return NotRegular;
    }
    // A regular file never blocks; the flag only mattered for the opening.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        why = file->errorString();
        return Failed;
    }
    return Opened;
}
