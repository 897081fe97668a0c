#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <algorithm>
#include <utility>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr quint32 kMagic = 0x5A423734; // "ZB74"
constexpr quint32 kVersion = 1;
constexpr auto kStreamVersion = QDataStream::Qt_6_4;

// The settings folder as one path whatever way it was named: created (one
// level, as the settings file's path does) so it has a canonical path.
QString canonicalSettingsDir(const QString& settingsDir)
{
    QDir().mkdir(settingsDir);
    const QFileInfo info(settingsDir);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

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
    if (m_server)
        m_server->close(); // removes the socket file
#ifdef Q_OS_UNIX
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
    auto failed = [&](int error) {
        *note = QStringLiteral("%1: %2").arg(m_lockPath, QString::fromLocal8Bit(std::strerror(error)));
        return Role::Alone;
    };
    // The holder removes the lock file as it ends: a lock taken on a file
    // removed meanwhile is no lock, so it is taken again on the new one.
    for (int attempt = 0;; ++attempt) {
        const int fd = ::open(lockName.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0)
            return failed(errno);
        int rc;
        do {
            rc = ::flock(fd, LOCK_EX | LOCK_NB);
        } while (rc != 0 && errno == EINTR);
        if (rc != 0) {
            const int error = errno;
            ::close(fd);
            if (error == EWOULDBLOCK)
                return Role::Second;
            return failed(error);
        }
        struct stat held {}, named {};
        if (::fstat(fd, &held) == 0 && ::stat(lockName.constData(), &named) == 0 && held.st_dev == named.st_dev
            && held.st_ino == named.st_ino) {
            m_lockFd = fd;
            break;
        }
        ::close(fd);
        if (attempt == 100)
            return failed(EAGAIN);
    }
#else
    // No lock: a socket that answers is the running start.
    QLocalSocket probe;
    probe.connectToServer(m_socketPath);
    if (probe.waitForConnected(1000))
        return Role::Second;
#endif
    // No other start holds the lock: a socket file there is what a crash
    // left behind.
    QLocalServer::removeServer(m_socketPath);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_socketPath)) {
        *note = QStringLiteral("%1: %2").arg(m_socketPath, m_server->errorString());
        delete m_server;
        m_server = nullptr;
        return Role::Alone;
    }
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    return Role::First;
}

Status SingleInstance::handOver(const QStringList& files, QString* answer, int timeoutMs)
{
    QStringList absolute;
    for (const QString& f : files)
        absolute << QFileInfo(f).absoluteFilePath();

    // The running start may hold the lock and not listen yet: it is being
    // started. Try again until the time is up.
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(m_socketPath);
        if (socket.waitForConnected(int(std::max<qint64>(1, deadline.remainingTime()))))
            break;
        if (deadline.hasExpired())
            return Status::failure(Status::Code::Failed,
                                   QStringLiteral("Another ZB740 runs for this settings folder but does not answer "
                                                  "on %1: %2")
                                       .arg(QDir::toNativeSeparators(m_socketPath), socket.errorString()));
        socket.abort();
        QThread::msleep(50);
    }
    {
        QDataStream out(&socket);
        out.setVersion(kStreamVersion);
        out << kMagic << kVersion << absolute;
    }
    socket.flush();
    QDataStream in(&socket);
    in.setVersion(kStreamVersion);
    while (true) {
        in.startTransaction();
        QString reply;
        in >> reply;
        if (in.commitTransaction()) {
            *answer = reply;
            return Status::success();
        }
        if (deadline.hasExpired() || socket.state() != QLocalSocket::ConnectedState
            || !socket.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime()))))
            break;
    }
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
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadable(socket); });
        if (socket->bytesAvailable() > 0)
            onReadable(socket);
    }
}

void SingleInstance::onReadable(QLocalSocket* socket)
{
    QDataStream in(socket);
    in.setVersion(kStreamVersion);
    in.startTransaction();
    quint32 magic = 0, version = 0;
    QStringList files;
    in >> magic >> version;
    if (in.status() == QDataStream::Ok && (magic != kMagic || version != kVersion)) {
        in.abortTransaction();
        socket->disconnectFromServer(); // not one of ours
        return;
    }
    in >> files;
    if (!in.commitTransaction())
        return; // more to come
    QDataStream out(socket);
    out.setVersion(kStreamVersion);
    out << answer(files);
    socket->flush();
    socket->disconnectFromServer();
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
