#include "base/RegularFile.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

Status notRegular()
{
    return Status::failure(Status::Code::NotRegularFile, QStringLiteral("Not a regular file"));
}

Status tooLarge(qint64 size, qint64 maxBytes)
{
    return Status::failure(Status::Code::Damaged,
                           QStringLiteral("The file holds %1 bytes, more than %2.").arg(size).arg(maxBytes));
}

} // namespace

Status RegularFile::open(const QString& path, QFile& file)
{
#ifdef Q_OS_UNIX
    // Without O_NONBLOCK, opening a FIFO waits for a writer.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return Status::failure(Status::Code::CannotOpen, qt_error_string(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return Status::failure(Status::Code::CannotOpen, qt_error_string(error));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return notRegular();
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return Status::failure(Status::Code::CannotOpen, file.errorString());
    }
    return Status::success();
#else
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return notRegular();
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly))
        return Status::failure(Status::Code::CannotOpen, file.errorString());
    if (file.isSequential()) {
        file.close();
        return notRegular();
    }
    return Status::success();
#endif
}

Status RegularFile::read(const QString& path, qint64 maxBytes, QByteArray& out)
{
    out.clear();
    QFile file;
    if (Status s = open(path, file); !s.ok())
        return s;
    if (file.size() > maxBytes)
        return tooLarge(file.size(), maxBytes);
    // The file may grow while it is read: read what it holds and one byte
    // more, then, when that byte came, on to one byte past the limit.
    const qint64 expected = file.size();
    QByteArray bytes = file.read(expected + 1);
    if (bytes.size() > expected)
        bytes += file.read(maxBytes + 1 - bytes.size());
    if (file.error() != QFileDevice::NoError)
        return Status::failure(Status::Code::CannotOpen, file.errorString());
    if (bytes.size() > maxBytes)
        return tooLarge(bytes.size(), maxBytes);
    out = std::move(bytes);
    return Status::success();
}
