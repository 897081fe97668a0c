// Stands in front of the C library's fsync, fdatasync and rename calls of
// the whole process (Qt's included: the test executable exports these
// symbols), records them in order and can make the syncs of plain files
// fail. Everything else goes on to the real functions.
#include "SyncRecorder.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <dlfcn.h>
#include <fcntl.h>
#include <string>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::mutex g_mutex;
std::vector<SyncRecorder::Event> g_events;
std::atomic<bool> g_recording {false};
std::atomic<int> g_fileSyncErrno {0};
std::atomic<int> g_folderSyncErrno {0};

template <typename Fn>
Fn next(const char* name)
{
    return reinterpret_cast<Fn>(::dlsym(RTLD_NEXT, name));
}

void record(SyncRecorder::Event e)
{
    if (!g_recording)
        return;
    std::lock_guard<std::mutex> lock(g_mutex);
    g_events.push_back(std::move(e));
}

// Records a sync of fd and says whether it is to fail (with errno set).
bool syncFails(int fd)
{
    struct stat st {};
    if (!g_recording || ::fstat(fd, &st) != 0)
        return false;
    const bool folder = S_ISDIR(st.st_mode);
    record({folder ? SyncRecorder::Kind::FolderSync : SyncRecorder::Kind::FileSync, st.st_dev, st.st_ino, {}});
    const int fail = folder ? g_folderSyncErrno.load() : g_fileSyncErrno.load();
    if (fail == 0)
        return false;
    errno = fail;
    return true;
}

void recordRename(const char* target)
{
    record({SyncRecorder::Kind::Rename, 0, 0, target ? std::string(target) : std::string()});
}

// A rename's target relative to a folder descriptor, as a full path.
void recordRenameAt(int dir, const char* target)
{
    if (!target || target[0] == '/' || dir == AT_FDCWD) {
        recordRename(target);
        return;
    }
    char folder[4096];
    const std::string fd = "/proc/self/fd/" + std::to_string(dir);
    const ssize_t n = ::readlink(fd.c_str(), folder, sizeof folder - 1);
    if (n <= 0) {
        recordRename(target);
        return;
    }
    recordRename((std::string(folder, size_t(n)) + '/' + target).c_str());
}

} // namespace

extern "C" int fsync(int fd)
{
    static const auto real = next<int (*)(int)>("fsync");
    return syncFails(fd) ? -1 : real(fd);
}

extern "C" int fdatasync(int fd)
{
    static const auto real = next<int (*)(int)>("fdatasync");
    return syncFails(fd) ? -1 : real(fd);
}

extern "C" int rename(const char* from, const char* to) noexcept
{
    static const auto real = next<int (*)(const char*, const char*)>("rename");
    recordRename(to);
    return real(from, to);
}

extern "C" int renameat(int fromDir, const char* from, int toDir, const char* to) noexcept
{
    static const auto real = next<int (*)(int, const char*, int, const char*)>("renameat");
    recordRenameAt(toDir, to);
    return real(fromDir, from, toDir, to);
}

extern "C" int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) noexcept
{
    static const auto real = next<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
    recordRenameAt(toDir, to);
    return real(fromDir, from, toDir, to, flags);
}

void SyncRecorder::start(int fileSyncErrno, int folderSyncErrno)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_events.clear();
    g_fileSyncErrno = fileSyncErrno;
    g_folderSyncErrno = folderSyncErrno;
    g_recording = true;
}

std::vector<SyncRecorder::Event> SyncRecorder::stop()
{
    g_recording = false;
    g_fileSyncErrno = 0;
    g_folderSyncErrno = 0;
    std::lock_guard<std::mutex> lock(g_mutex);
    return std::move(g_events);
}
