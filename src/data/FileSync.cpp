#include "data/FileSync.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#endif

Status FileSync::syncFolderOf(const QString& filePath)
{
#if defined(Q_OS_UNIX)
    const QByteArray dir = QFile::encodeName(QFileInfo(filePath).absolutePath());
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return Status::failure(Status::Code::WriteFailed,
                               QStringLiteral("Could not open the folder \"%1\" to sync it: %2")
                                   .arg(QDir::toNativeSeparators(QFile::decodeName(dir)),
                                        QString::fromLocal8Bit(std::strerror(errno))));
    int rc;
    do {
        rc = ::fsync(fd);
    } while (rc != 0 && errno == EINTR);
    const int error = rc == 0 ? 0 : errno;
    ::close(fd);
    // EINVAL/ENOTSUP/EROFS: the file system does not sync folders.
    if (error != 0 && error != EINVAL && error != ENOTSUP && error != EROFS)
        return Status::failure(Status::Code::WriteFailed,
                               QStringLiteral("Could not sync the folder \"%1\": %2")
                                   .arg(QDir::toNativeSeparators(QFile::decodeName(dir)),
                                        QString::fromLocal8Bit(std::strerror(error))));
    return Status::success();
#else
    Q_UNUSED(filePath);
    return Status::success();
#endif
}
