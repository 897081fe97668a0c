#include "app/SingleInstance.h"

#include "base/FileLock.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QThread>
#include <algorithm>
#include <utility>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace {

constexpr quint32 kMagic = 0x5A423734; // "ZB74"
constexpr quint32 kVersion = 1;
constexpr auto kStreamVersion = QDataStream::Qt_6_4;
// How long the running window waits for a later start to take its answer.
constexpr int kAnswerTimeoutMs = 2000;

// The settings folder as one path whatever way it was named: created (one
// level, as the settings file's path does) so it has a canonical path.
QString canonicalSettingsDir(const QString& settingsDir)
{
    QDir().mkdir(settingsDir);
    const QFileInfo info(settingsDir);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

QString errorText(int error)
{
#ifdef Q_OS_UNIX
    return QString::fromLocal8Bit(std::strerror(error));
#else
    Q_UNUSED(error);
    return {};
#endif
}

#ifdef Q_OS_UNIX
// The socket's address; false when the path does not fit in one.
bool socketAddress(const QByteArray& path, sockaddr_un* address)
{
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    if (path.isEmpty() || size_t(path.size()) >= sizeof address->sun_path)
        return false;
    std::memcpy(address->sun_path, path.constData(), size_t(path.size()));
    return true;
}

// Writes all of data to a socket, waiting for room until the deadline.
// Returns 0 or the error.
int writeAll(int fd, const QByteArray& data, const QDeadlineTimer& deadline)
{
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::send(fd, data.constData() + done, size_t(data.size() - done), MSG_NOSIGNAL);
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return errno;
        if (deadline.hasExpired())
            return ETIMEDOUT;
        pollfd p {fd, POLLOUT, 0};
        (void)::poll(&p, 1, int(std::max<qint64>(1, deadline.remainingTime())));
    }
    return 0;
}

// Reads what the socket has now onto buffer. Returns false once the other
// end has closed it or it failed.
bool readAvailable(int fd, QByteArray& buffer)
{
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n > 0) {
            buffer.append(chunk, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

#endif

} // namespace

SingleInstance::SingleInstance(const QString& settingsDir, const QString& runtimeDir, QObject* parent)
    : QObject(parent)
{
    if (runtimeDir.isEmpty())
        return;
    const QByteArray hash = QCryptographicHash::hash(canonicalSettingsDir(settingsDir).toUtf8(),
                                                     QCryptographicHash::Sha256)
                                .toHex()
                                .left(20);
    m_socketPath = QDir(runtimeDir).filePath(QStringLiteral("zb740-") + QString::fromLatin1(hash));
    m_lockPath = m_socketPath + QStringLiteral(".lock");
}

SingleInstance::~SingleInstance()
{
#ifdef Q_OS_UNIX
    for (auto it = m_peers.cbegin(); it != m_peers.cend(); ++it) {
        it.key()->setEnabled(false);
        ::close(int(it.key()->socket()));
    }
    if (m_listenFd >= 0) {
        m_listener->setEnabled(false);
        ::close(m_listenFd);
        ::unlink(QFile::encodeName(m_socketPath).constData());
    }
    if (m_lockFd >= 0) {
        // Removed while still held, so no other start can take the lock on
        // this file and miss the one the next start makes.
        ::unlink(QFile::encodeName(m_lockPath).constData());
        ::close(m_lockFd);
    }
#endif
}

SingleInstance::Role SingleInstance::claim(QString* note)
{
    if (m_socketPath.isEmpty()) {
        *note = QStringLiteral("no runtime folder to find another ZB740 in");
        return Role::Alone;
    }
#ifdef Q_OS_UNIX
    const QByteArray lockName = QFile::encodeName(m_lockPath);
    auto failed = [&](const QString& path, int error) {
        *note = QStringLiteral("%1: %2").arg(path, errorText(error));
        return Role::Alone;
    };
    // The holder removes the lock file as it ends: a lock taken on a file
    // removed meanwhile is no lock, so it is taken again on the new one.
    for (int attempt = 0;; ++attempt) {
        const int fd = ::open(lockName.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0)
            return failed(m_lockPath, errno);
        if (const int error = tryLockFile(fd)) {
            ::close(fd);
            if (error == EWOULDBLOCK)
                return Role::Second;
            return failed(m_lockPath, error);
        }
        struct stat held {}, named {};
        if (::fstat(fd, &held) == 0 && ::stat(lockName.constData(), &named) == 0 && held.st_dev == named.st_dev
            && held.st_ino == named.st_ino) {
            m_lockFd = fd;
            break;
        }
        ::close(fd);
        if (attempt == 100)
            return failed(m_lockPath, EAGAIN);
    }

    // No other start holds the lock: a socket file there is what a crash
    // left behind.
    const QByteArray socketName = QFile::encodeName(m_socketPath);
    sockaddr_un address {};
    if (!socketAddress(socketName, &address))
        return failed(m_socketPath, ENAMETOOLONG);
    ::unlink(socketName.constData());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return failed(m_socketPath, errno);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(fd);
        return failed(m_socketPath, error);
    }
    // Only the user's own programs may connect (the runtime folder is the
    // user's alone as well).
    if (::chmod(socketName.constData(), S_IRUSR | S_IWUSR) != 0 || ::listen(fd, SOMAXCONN) != 0) {
        const int error = errno;
        ::close(fd);
        ::unlink(socketName.constData());
        return failed(m_socketPath, error);
    }
    m_listenFd = fd;
    m_listener = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_listener, &QSocketNotifier::activated, this, &SingleInstance::onNewConnection);
    return Role::First;
#else
    *note = QStringLiteral("no Unix-domain sockets on this system to find another ZB740 by");
    return Role::Alone;
#endif
}

Status SingleInstance::handOver(const QStringList& files, QString* answer, int timeoutMs)
{
    QStringList absolute;
    for (const QString& f : files)
        absolute << QFileInfo(f).absoluteFilePath();
    const QDeadlineTimer deadline(timeoutMs);
#ifdef Q_OS_UNIX
    auto noAnswer = [&](int error) {
        return Status::failure(Status::Code::Failed,
                               QStringLiteral("Another ZB740 runs for this settings folder but does not answer "
                                              "on %1: %2")
                                   .arg(QDir::toNativeSeparators(m_socketPath), errorText(error)));
    };
    sockaddr_un address {};
    if (!socketAddress(QFile::encodeName(m_socketPath), &address))
        return noAnswer(ENAMETOOLONG);

    // The running start may hold the lock and not listen yet: it is being
    // started. Try again until the time is up.
    int fd = -1;
    for (;;) {
        fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return noAnswer(errno);
        int rc;
        do {
            rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        } while (rc != 0 && errno == EINTR);
        if (rc == 0)
            break;
        const int error = errno;
        ::close(fd);
        if (deadline.hasExpired())
            return noAnswer(error);
        QThread::msleep(50);
    }
    // From here on the socket does not block: every wait is a poll bounded
    // by the deadline.
    (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);

    QByteArray request;
    {
        QDataStream out(&request, QIODevice::WriteOnly);
        out.setVersion(kStreamVersion);
        out << kMagic << kVersion << absolute;
    }
    bool answered = false;
    if (writeAll(fd, request, deadline) == 0) {
        QByteArray received;
        for (;;) {
            const bool open = readAvailable(fd, received);
            QDataStream in(received);
            in.setVersion(kStreamVersion);
            QString reply;
            in >> reply;
            if (in.status() == QDataStream::Ok) {
                *answer = reply;
                answered = true;
                break;
            }
            if (!open || deadline.hasExpired())
                break;
            pollfd p {fd, POLLIN, 0};
            (void)::poll(&p, 1, int(std::max<qint64>(1, deadline.remainingTime())));
        }
    }
    ::close(fd);
    if (answered)
        return Status::success();
#endif
    return Status::failure(Status::Code::Failed,
                           QStringLiteral("The ZB740 that runs for this settings folder did not answer on %1.")
                               .arg(QDir::toNativeSeparators(m_socketPath)));
}

void SingleInstance::setHandler(Handler handler)
{
    m_handler = std::move(handler);
    const QList<QStringList> waiting = std::exchange(m_waiting, {});
    for (const QStringList& files : waiting)
        (void)m_handler(files);
}

void SingleInstance::onNewConnection()
{
#ifdef Q_OS_UNIX
    for (;;) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return; // none waiting (or no descriptor left: the next call tries again)
        }
        auto* peer = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        m_peers.insert(peer, {});
        connect(peer, &QSocketNotifier::activated, this, [this, peer] { onReadable(peer); });
    }
#endif
}

void SingleInstance::onReadable(QSocketNotifier* peer)
{
#ifdef Q_OS_UNIX
    const auto it = m_peers.find(peer);
    if (it == m_peers.end())
        return;
    const int fd = int(peer->socket());
    const bool open = readAvailable(fd, *it);
    QDataStream in(*it);
    in.setVersion(kStreamVersion);
    quint32 magic = 0, version = 0;
    QStringList files;
    in >> magic >> version;
    if (in.status() == QDataStream::Ok && (magic != kMagic || version != kVersion)) {
        drop(peer); // not one of ours
        return;
    }
    in >> files;
    if (in.status() != QDataStream::Ok) {
        if (!open)
            drop(peer); // ended before its request was whole
        return;         // more to come
    }
    // Whole: no longer watched while the handler runs, so that one request
    // is answered once.
    m_peers.erase(it);
    peer->setEnabled(false);
    QByteArray reply;
    {
        QDataStream out(&reply, QIODevice::WriteOnly);
        out.setVersion(kStreamVersion);
        out << answer(files);
    }
    (void)writeAll(fd, reply, QDeadlineTimer(kAnswerTimeoutMs));
    drop(peer);
#else
    Q_UNUSED(peer);
#endif
}

void SingleInstance::drop(QSocketNotifier* peer)
{
#ifdef Q_OS_UNIX
    m_peers.remove(peer);
    peer->setEnabled(false);
    ::close(int(peer->socket()));
    peer->deleteLater();
#else
    Q_UNUSED(peer);
#endif
}

QString SingleInstance::answer(const QStringList& files)
{
    if (m_handler)
        return m_handler(files);
    m_waiting << files;
    return files.isEmpty() ? QStringLiteral("ZB740 is starting for this settings folder.")
                           : QStringLiteral("ZB740 is starting for this settings folder; it opens the files once its "
                                            "window is up.");
}
