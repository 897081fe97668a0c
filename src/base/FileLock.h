#pragma once
// Advisory whole-file locks taken without waiting, as the run journals, the
// event log and the one-window-per-settings-folder lock take them. The lock
// belongs to the open file: it goes when the file is closed or the process
// ends, however it ends.
#include <cerrno>
#include <sys/file.h>

// Takes the lock on fd without waiting: 0, EWOULDBLOCK when another open
// file holds it, or the error number.
inline int tryLockFile(int fd, bool exclusive = true)
{
    int rc;
    do {
        rc = ::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    return rc == 0 ? 0 : errno;
}
