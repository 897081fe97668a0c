#pragma once
// Files that are not plain files, for the tests that make sure the program
// never blocks on them, never reads them without end and never replaces
// them: FIFOs, device nodes and a small real file system that fills up.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

inline bool makeFifo(const QString& path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

// A character device node like the system's /dev/null (1,3), /dev/zero (1,5)
// or /dev/full (1,7), made inside the test's folder. Needs root.
inline bool makeCharDevice(const QString& path, unsigned major, unsigned minor)
{
    return ::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0666, makedev(major, minor)) == 0;
}

inline mode_t fileTypeOf(const QString& path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return st.st_mode & S_IFMT;
}

// Guards a test whose code under test might block reading a FIFO: when the
// test has not called done() within the grace period, it opens the FIFO for
// writing and closes it again (repeatedly), so a reader blocked in open()
// or read() gets an end of file and the test can fail instead of hanging.
class FifoUnblocker {
public:
    explicit FifoUnblocker(const QString& fifo, std::chrono::milliseconds grace = std::chrono::seconds(10))
        : m_path(QFile::encodeName(fifo))
    {
        m_thread = std::thread([this, grace] {
            const auto deadline = std::chrono::steady_clock::now() + grace;
            while (!m_done && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            while (!m_done) {
                const int fd = ::open(m_path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd >= 0) {
                    ++m_unblocked;
                    ::close(fd);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
    }
    ~FifoUnblocker() { done(); }

    // Ends the guard; returns how often a blocked reader had to be released.
    int done()
    {
        m_done = true;
        if (m_thread.joinable())
            m_thread.join();
        return m_unblocked;
    }

private:
    QByteArray m_path;
    std::atomic<bool> m_done {false};
    std::atomic<int> m_unblocked {0};
    std::thread m_thread;
};

// A small tmpfs mounted on a folder for the lifetime of the object: a real
// file system that runs out of space. Mounting needs root; without it the
// test is skipped, except in CI (the CI variable set), where it must run.
class ScopedTmpfs {
public:
    // Call from the test body; GTEST_SKIP/FAIL return from this function only,
    // so callers check mounted() afterwards.
    void mount(const QString& folder, int sizeKiB)
    {
        m_folder = QFile::encodeName(folder);
        const bool ci = !qEnvironmentVariableIsEmpty("CI");
        if (::geteuid() != 0) {
            if (ci)
                FAIL() << "CI must run the full-disk tests as root (mounting a small tmpfs needs it)";
            GTEST_SKIP() << "needs root to mount a small tmpfs for the full-disk tests";
        }
        // The mount is made in a mount namespace of this process's own (the
        // test's thread and the programs it starts), so that it goes away
        // with the process even when a test is killed before unmounting.
        static const bool ownNamespace = ::unshare(CLONE_NEWNS) == 0
            && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        (void)ownNamespace;
        const QByteArray options = "size=" + QByteArray::number(sizeKiB) + "k,mode=0755";
        if (::mount("tmpfs", m_folder.constData(), "tmpfs", MS_NOSUID, options.constData()) != 0) {
            const int e = errno;
            if (ci)
                FAIL() << "cannot mount a tmpfs on " << m_folder.constData() << ": " << std::strerror(e);
            GTEST_SKIP() << "cannot mount a tmpfs on " << m_folder.constData() << ": " << std::strerror(e);
        }
        m_mounted = true;
    }
    ~ScopedTmpfs()
    {
        if (m_mounted && ::umount(m_folder.constData()) != 0)
            ::umount2(m_folder.constData(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }

    // Makes the mounted file system read-only (EROFS for every write, root's
    // too).
    bool remountReadOnly()
    {
        return m_mounted
            && ::mount(nullptr, m_folder.constData(), nullptr, MS_REMOUNT | MS_RDONLY | MS_NOSUID, nullptr) == 0;
    }

    qint64 freeBytes() const
    {
        struct statvfs s {};
        if (::statvfs(m_folder.constData(), &s) != 0)
            return -1;
        return qint64(s.f_bavail) * qint64(s.f_frsize);
    }

    // Writes a filler file so that exactly `free` bytes stay free (a
    // multiple of the page size). Returns false when that cannot be done.
    bool leaveFree(qint64 free)
    {
        const qint64 now = freeBytes();
        if (now < free)
            return false;
        QFile filler(QString::fromLocal8Bit(m_folder) + QStringLiteral("/filler"));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Append))
            return false;
        const QByteArray block(qint64(now - free), 'f');
        if (filler.write(block) != block.size() || !filler.flush())
            return false;
        filler.close();
        return freeBytes() == free;
    }

private:
    QByteArray m_folder;
    bool m_mounted = false;
};
