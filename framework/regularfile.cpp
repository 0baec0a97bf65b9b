#include "regularfile_p.h"

#include <hostiofiles.h>

#include <QCoreApplication>
#include <QFile>

#include <cstring>

#include <unistd.h>

RegularFile::Result RegularFile::open(QFile *file, const QString &path, QString *errorText)
{
    QString ignored;
    QString &why = errorText ? *errorText : ignored;
    why.clear();
    const hostio::OpenedFile opened =
        hostio::openRegularFile(QFile::encodeName(path).toStdString());
    switch (opened.status) {
    case hostio::Status::Ok:
        break;
    case hostio::Status::NotRegular:
        why = QCoreApplication::translate("QObject", "Not a regular file");
        return NotRegular;
    default:
        why = QString::fromLocal8Bit(std::strerror(opened.error));
        return opened.status == hostio::Status::Missing ? Missing : Failed;
    }
    if (!file->open(opened.fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(opened.fd);
        why = file->errorString();
        return Failed;
    }
    return Opened;
}
