#include "data/EventLog.h"

#include "base/DurableFile.h"
#include "base/FileLock.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString errnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

} // namespace

EventLog::~EventLog()
{
    close();
}

Status EventLog::open(const QString& path)
{
    close();
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) {
        const int error = errno;
        return Status::failure(Status::Code::CannotOpen, errnoText(error));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Status::failure(Status::Code::NotRegularFile, QStringLiteral("not a regular file"));
    }
    if (const int error = tryLockFile(fd)) {
        ::close(fd);
        if (error == EWOULDBLOCK)
            return Status::failure(Status::Code::Busy, QStringLiteral("in use by another recording"));
        return Status::failure(Status::Code::CannotOpen, errnoText(error));
    }
    m_fd = fd;
    m_path = path;
    m_size = st.st_size;
    return Status::success();
}

void EventLog::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

Status EventLog::append(const MonitorEvent& event)
{
    QByteArray line = MonitorEvents::json(event);
    line.append('\n');
    m_pending.append(line);
    return retry();
}

Status EventLog::retry()
{
    while (!m_pending.isEmpty()) {
        if (Status s = writeLine(m_pending.first()); !s.ok())
            return s;
        m_pending.removeFirst();
    }
    // Lets go of the queue's storage once it has drained.
    if (m_pending.capacity() > 0)
        m_pending = QList<QByteArray>();
    return Status::success();
}

Status EventLog::writeLine(const QByteArray& line)
{
    if (m_fd < 0)
        return Status::failure(Status::Code::Failed, QStringLiteral("The events log is not open."));
    const char* data = line.constData();
    size_t left = size_t(line.size());
    int error = 0;
    while (left > 0) {
        const ssize_t n = ::write(m_fd, data, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            break;
        }
        if (n == 0) {
            error = EIO;
            break;
        }
        data += n;
        left -= size_t(n);
    }
    if (error == 0) {
        int rc;
        do {
            rc = ::fdatasync(m_fd);
        } while (rc != 0 && errno == EINTR);
        if (rc != 0)
            error = errno;
    }
    if (error != 0) {
        // Whole lines only: a part written goes again (best effort).
        if (::ftruncate(m_fd, m_size) != 0) {
            // The next line still starts on a line of its own when this
            // fails: the reader drops the broken line.
        }
        return Status::failure(Status::Code::WriteFailed, errnoText(error));
    }
    m_size += line.size();
    return Status::success();
}

qint64 EventLog::endOffset() const
{
    qint64 end = m_size;
    for (const QByteArray& line : m_pending)
        end += line.size();
    return end;
}

Status EventLog::lineAt(qint64 offset, QByteArray& line) const
{
    if (offset < 0 || offset >= endOffset())
        return Status::failure(Status::Code::Failed, QStringLiteral("no event at byte %1").arg(offset));
    if (offset >= m_size) {
        // Not written yet: in memory.
        qint64 at = m_size;
        for (const QByteArray& pending : m_pending) {
            if (at == offset) {
                line = pending.chopped(1);
                return Status::success();
            }
            at += pending.size();
        }
        return Status::failure(Status::Code::Failed, QStringLiteral("no event starts at byte %1").arg(offset));
    }
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return Status::failure(Status::Code::CannotOpen, file.errorString());
    if (!file.seek(offset))
        return Status::failure(Status::Code::Damaged, file.errorString());
    line = file.readLine(qint64(64) * 1024);
    // The log was cut or replaced under us: not a whole line where one was.
    if (!line.endsWith('\n') || (offset > 0 && !(file.seek(offset - 1) && file.read(1) == "\n")))
        return Status::failure(Status::Code::InvalidFormat, QStringLiteral("no event starts at byte %1").arg(offset));
    line.chop(1);
    return Status::success();
}

QString EventLog::pathBeside(const QString& dataPath)
{
    const QString suffix = QStringLiteral(".AsmDat");
    const QString base = dataPath.endsWith(suffix, Qt::CaseInsensitive) ? dataPath.chopped(suffix.size()) : dataPath;
    return base + QStringLiteral(".events.jsonl");
}

Status EventLog::save(const QString& path, const QList<MonitorEvent>& events)
{
    QByteArray bytes;
    for (const MonitorEvent& e : events)
        bytes.append(MonitorEvents::json(e)).append('\n');
    return DurableFile::save(path, bytes);
}

Status EventLog::load(const QString& path, QList<MonitorEvent>& events)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Status::failure(Status::Code::CannotOpen, file.errorString());
    int number = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        ++number;
        if (line.isEmpty())
            continue;
        MonitorEvent e;
        if (!MonitorEvents::fromJson(line, e))
            return Status::failure(Status::Code::InvalidFormat,
                                   QStringLiteral("line %1 is not an event").arg(number));
        events.append(e);
    }
    return Status::success();
}
