#include "base/DurableFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX

Status failure(Status::Code code, int error) { return Status::failure(code, qt_error_string(error)); }

// Writes all of bytes to fd, write after write; 0 or the errno of the first
// write that does not go through (a write that takes nothing is a full disk).
int writeAll(int fd, const QByteArray& bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(std::min<qint64>(bytes.size() - done, 1 << 20)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        done += n;
    }
    return 0;
}

int closeChecked(int fd)
{
    // After a failed close the descriptor is gone all the same (Linux).
    return ::close(fd) == 0 || errno == EINTR ? 0 : errno;
}

bool belowProc(const QByteArray& path) { return path == "/proc" || path.startsWith("/proc/"); }

// Resolves path as the kernel would on opening it, link by link, and
// refuses a link the kernel's protected_symlinks rule refuses: one in a
// sticky, world-writable folder that belongs neither to the user, nor to
// the folder's owner, nor to root. target is absolute and has no links,
// except below /proc (its links name open files and are the kernel's) and
// past a name that cannot be looked up.
Status resolve(const QByteArray& path, QByteArray& target)
{
    QByteArrayList rest; // names still to walk, the next one first
    auto walkNext = [&rest](const QByteArray& p) {
        const QByteArrayList names = p.split('/');
        for (qsizetype i = names.size() - 1; i >= 0; --i)
            rest.prepend(names[i]);
    };
    QByteArray done; // resolved so far: absolute, no links, "" for the root
    walkNext(path);
    if (!path.startsWith('/')) {
        QByteArray cwd(4096, '\0');
        while (::getcwd(cwd.data(), size_t(cwd.size())) == nullptr) {
            if (errno != ERANGE)
                return failure(Status::Code::CannotOpen, errno);
            cwd.resize(cwd.size() * 2);
        }
        walkNext(QByteArray(cwd.constData()));
    }
    int links = 0;
    while (!rest.isEmpty()) {
        if (belowProc(done)) {
            done += '/' + rest.join('/');
            break;
        }
        const QByteArray name = rest.takeFirst();
        if (name.isEmpty() || name == ".")
            continue;
        if (name == "..") {
            done.truncate(std::max<qsizetype>(done.lastIndexOf('/'), 0));
            continue;
        }
        const QByteArray next = done + '/' + name;
        struct stat link {};
        if (::lstat(next.constData(), &link) != 0) {
            // Missing (a new file, or a missing folder for the open to
            // report) or not to be looked at: the rest stays as it is.
            done = rest.isEmpty() ? next : next + '/' + rest.join('/');
            break;
        }
        if (!S_ISLNK(link.st_mode)) {
            done = next;
            continue;
        }
        if (++links > 40)
            return failure(Status::Code::CannotOpen, ELOOP);
        struct stat folder {};
        if (::stat(done.isEmpty() ? "/" : done.constData(), &folder) != 0)
            return failure(Status::Code::CannotOpen, errno);
        const bool shared = (folder.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH);
        if (shared && link.st_uid != ::geteuid() && link.st_uid != folder.st_uid && link.st_uid != 0)
            return Status::failure(
                Status::Code::PermissionDenied,
                QStringLiteral("The symbolic link \"%1\" belongs to another user in a shared folder; it is not followed.")
                    .arg(QDir::toNativeSeparators(QFile::decodeName(next))));
        QByteArray to(qsizetype(link.st_size > 0 ? link.st_size : 255) + 1, '\0');
        for (;;) {
            const ssize_t n = ::readlink(next.constData(), to.data(), size_t(to.size()));
            if (n < 0)
                return failure(Status::Code::CannotOpen, errno);
            if (n < to.size()) {
                to.truncate(n);
                break;
            }
            to.resize(to.size() * 2); // the link changed meanwhile
        }
        if (to.startsWith('/'))
            done.clear();
        walkNext(to);
    }
    target = done.isEmpty() ? QByteArray("/") : done;
    return Status::success();
}

#endif

} // namespace

DurableFile::DurableFile(const QString& path)
    : m_path(path)
#ifndef Q_OS_UNIX
    , m_file(path)
#endif
{
}

DurableFile::~DurableFile()
{
    abandon();
#ifdef Q_OS_UNIX
    if (m_folder >= 0)
        ::close(m_folder);
#endif
}

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

Status DurableFile::resolveForWriting(const QString& path, QString& target)
{
#ifdef Q_OS_UNIX
    QByteArray resolved;
    if (Status s = resolve(QFile::encodeName(path), resolved); !s.ok())
        return s;
    target = QFile::decodeName(resolved);
#else
    const QString canonical = QFileInfo(path).canonicalFilePath();
    target = canonical.isEmpty() ? QFileInfo(path).absoluteFilePath() : canonical;
#endif
    return Status::success();
}

Status DurableFile::open()
{
    if (m_state != State::Closed)
        return Status::failure(Status::Code::Failed, QStringLiteral("The file was opened already."));
#ifdef Q_OS_UNIX
    QByteArray target;
    if (Status s = resolve(QFile::encodeName(m_path), target); !s.ok())
        return s;
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash == 0 ? QByteArray("/") : target.left(slash);
    m_name = target.mid(slash + 1);
    if (m_name.isEmpty() || m_name == "." || m_name == "..")
        return Status::failure(Status::Code::NotRegularFile, QStringLiteral("Not a regular file"));
    m_folder = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (m_folder < 0)
        return failure(Status::Code::CannotOpen, errno);

    // Looked at in the folder itself, never through a link: a link there
    // now came after the resolution above, and the rename replaces it.
    struct stat old {};
    const bool exists = ::fstatat(m_folder, m_name.constData(), &old, AT_SYMLINK_NOFOLLOW) == 0;
    if (!exists && errno != ENOENT)
        return failure(Status::Code::CannotOpen, errno);
    if (exists && !S_ISREG(old.st_mode) && !S_ISLNK(old.st_mode))
        return Status::failure(Status::Code::NotRegularFile, QStringLiteral("Not a regular file"));
    // A file the user may not write is not replaced either, though the
    // folder would allow it.
    if (exists && S_ISREG(old.st_mode) && ::faccessat(m_folder, m_name.constData(), W_OK, AT_EACCESS) != 0)
        return failure(Status::Code::CannotOpen, errno);

    // The temporary file: a new name beside the target, never an existing
    // file or link (O_EXCL), readable by nobody else until it has the old
    // file's permissions.
    for (int attempt = 0; m_fd < 0; ++attempt) {
        m_tempName = m_name + '.'
                   + QByteArray::number(QRandomGenerator::system()->generate64() & 0xffffffffffffULL, 36);
        m_fd = ::openat(m_folder, m_tempName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        exists ? 0600 : 0666);
        if (m_fd < 0 && (errno != EEXIST || attempt >= 100))
            return failure(Status::Code::CannotOpen, errno);
    }
    if (exists && S_ISREG(old.st_mode) && ::fchmod(m_fd, old.st_mode & 07777) != 0) {
        // Kept private: better than wider than the old file.
    }
#else
    const QFileInfo info(m_path);
    if (info.exists() && !info.isFile())
        return Status::failure(Status::Code::NotRegularFile, QStringLiteral("Not a regular file"));
    if (!m_file.open(QIODevice::WriteOnly))
        return Status::failure(Status::Code::CannotOpen, errorText(m_file));
#endif
    m_content.open(QIODevice::WriteOnly);
    m_state = State::Open;
    return Status::success();
}

Status DurableFile::finish() { return finishWith(m_content.data()); }

Status DurableFile::finishWith(const QByteArray& bytes)
{
    if (m_state != State::Open)
        return Status::failure(Status::Code::WriteFailed, QStringLiteral("The file is not open for writing."));
#ifdef Q_OS_UNIX
    if (const int error = writeAll(m_fd, bytes); error != 0)
        return fail(qt_error_string(error));
    while (::fsync(m_fd) != 0) {
        if (errno != EINTR)
            return fail(qt_error_string(errno));
    }
#else
    if (Status s = writeFully(m_file, bytes); !s.ok())
        return fail(s.message());
#endif
    m_state = State::Finished;
    return Status::success();
}

Status DurableFile::writeFully(QFileDevice& file, const QByteArray& bytes)
{
#ifdef Q_OS_UNIX
    // Straight to the descriptor, past Qt's buffer, so that the reason of a
    // short write (ENOSPC, EFBIG, EIO) is the one reported: Qt loses it.
    if (const int error = writeAll(file.handle(), bytes); error != 0)
        return failure(Status::Code::WriteFailed, error);
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
#ifdef Q_OS_UNIX
    if (const int error = closeChecked(m_fd); error != 0) {
        m_fd = -1;
        return fail(qt_error_string(error));
    }
    m_fd = -1;
    if (::renameat(m_folder, m_tempName.constData(), m_folder, m_name.constData()) != 0)
        return fail(qt_error_string(errno));
#else
    if (!m_file.commit())
        return fail(errorText(m_file));
#endif
    m_state = State::Committed;
    return Status::success();
}

void DurableFile::abandon()
{
#ifdef Q_OS_UNIX
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_state == State::Open || m_state == State::Finished)
        ::unlinkat(m_folder, m_tempName.constData(), 0);
#else
    if (m_state == State::Open || m_state == State::Finished)
        m_file.cancelWriting(); // the temporary file goes with m_file
#endif
    if (m_state != State::Committed)
        m_state = State::Abandoned;
}

Status DurableFile::save(const QString& path, const QByteArray& bytes)
{
    DurableFile file(path);
    if (Status s = file.open(); !s.ok())
        return s;
    // The bytes as they are, never copied into the device first.
    if (Status s = file.finishWith(bytes); !s.ok())
        return s;
    if (Status s = file.commit(); !s.ok())
        return s;
    return syncFolderOf(path);
}

Status DurableFile::saveOrWriteThrough(const QString& path, const QByteArray& bytes)
{
#ifdef Q_OS_UNIX
    QByteArray target;
    if (Status s = resolve(QFile::encodeName(path), target); !s.ok())
        return s;
    struct stat st {};
    const bool proc = belowProc(target);
    if (proc || (::stat(target.constData(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))) {
        // The resolved node itself, never a link planted there meanwhile;
        // below /proc the links are the kernel's own.
        const int fd = ::open(target.constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC | (proc ? 0 : O_NOFOLLOW));
        if (fd < 0)
            return failure(Status::Code::CannotOpen, errno);
        int error = 0;
        if (::fstat(fd, &st) != 0)
            error = errno;
        else if (S_ISREG(st.st_mode) && ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_APPEND) != 0)
            error = errno;
        if (error == 0)
            error = writeAll(fd, bytes);
        const int closed = closeChecked(fd);
        if (error == 0)
            error = closed;
        if (error != 0)
            return failure(Status::Code::WriteFailed, error);
        return Status::success();
    }
#endif
    return save(path, bytes);
}

Status DurableFile::syncFolderOf(const QString& path)
{
#ifdef Q_OS_UNIX
    // A symbolic link was saved through to its target: sync that folder.
    QString target;
    if (Status s = resolveForWriting(path, target); !s.ok())
        return s;
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
