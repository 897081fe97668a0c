#include "base/DurableFile.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

DurableFile::DurableFile(const QString& path) : m_path(path), m_file(path) {}

QString DurableFile::errorText(const QIODevice& device)
{
    const QString text = device.errorString();
    return text.isEmpty() ? QStringLiteral("Unknown error") : text;
}

Status DurableFile::fail(const QString& reason)
{
    abandon();
    return Status::failure(Status::Code::WriteFailed, reason);
}

Status DurableFile::open()
{
#ifdef Q_OS_UNIX
    // Follows a symbolic link to what it names, as the save itself does.
    struct stat st {};
    if (::stat(QFile::encodeName(m_path).constData(), &st) == 0 && !S_ISREG(st.st_mode))
        return Status::failure(Status::Code::NotRegularFile, QStringLiteral("Not a regular file"));
#else
    const QFileInfo info(m_path);
    if (info.exists() && !info.isFile())
        return Status::failure(Status::Code::NotRegularFile, QStringLiteral("Not a regular file"));
#endif
    if (!m_file.open(QIODevice::WriteOnly))
        return Status::failure(Status::Code::CannotOpen, errorText(m_file));
    m_content.open(QIODevice::WriteOnly);
    m_state = State::Open;
    return Status::success();
}

Status DurableFile::finish()
{
    if (m_state != State::Open)
        return Status::failure(Status::Code::WriteFailed, QStringLiteral("The file is not open for writing."));
    if (Status s = writeFully(m_file, m_content.data()); !s.ok())
        return fail(s.message());
#ifdef Q_OS_UNIX
    // QSaveFile syncs too, but ignores a failure; a file system may report
    // a lost write only here.
    while (::fsync(m_file.handle()) != 0) {
        if (errno != EINTR)
            return fail(qt_error_string(errno));
    }
#endif
    m_state = State::Finished;
    return Status::success();
}

Status DurableFile::writeFully(QFileDevice& file, const QByteArray& bytes)
{
#ifdef Q_OS_UNIX
    // Straight to the descriptor, past Qt's buffer, so that the reason of a
    // short write (ENOSPC, EFBIG, EIO) is the one reported: Qt loses it.
    const int fd = file.handle();
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(std::min<qint64>(bytes.size() - done, 1 << 20)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Status::failure(Status::Code::WriteFailed, qt_error_string(n < 0 ? errno : ENOSPC));
        done += n;
    }
    return Status::success();
#else
    if (file.write(bytes) != bytes.size() || !file.flush() || file.error() != QFileDevice::NoError)
        return Status::failure(Status::Code::WriteFailed, errorText(file));
    return Status::success();
#endif
}

Status DurableFile::commit()
{
    if (m_state != State::Finished)
        return fail(QStringLiteral("The file was not completely written."));
    if (!m_file.commit())
        return fail(errorText(m_file));
    m_state = State::Committed;
    return Status::success();
}

void DurableFile::abandon()
{
    if (m_state == State::Open || m_state == State::Finished)
        m_file.cancelWriting(); // the temporary file goes with m_file
    if (m_state != State::Committed)
        m_state = State::Abandoned;
}

Status DurableFile::syncFolderOf(const QString& path)
{
#ifdef Q_OS_UNIX
    // A symbolic link was saved through to its target: sync that folder.
    const QFileInfo info(path);
    const QString target = info.isSymLink() ? info.symLinkTarget() : info.absoluteFilePath();
    const QString folder = QFileInfo(target).absolutePath();
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return Status::failure(Status::Code::WriteFailed, qt_error_string(errno));
    int result;
    do {
        result = ::fsync(fd);
    } while (result != 0 && errno == EINTR);
    const int error = result == 0 ? 0 : errno;
    ::close(fd);
    // Some file systems cannot sync a folder and say so: their renames are
    // as durable as they get.
    if (error != 0 && error != EINVAL && error != ENOTSUP && error != EROFS)
        return Status::failure(Status::Code::WriteFailed,
                               QStringLiteral("The folder could not be synced to disk: %1").arg(qt_error_string(error)));
#else
    Q_UNUSED(path);
#endif
    return Status::success();
}
