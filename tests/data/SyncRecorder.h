#pragma once
// Records the process's file syncs and renames in the order they happen,
// for the tests of what a save leaves on disk at every moment. Only for a
// test executable built with exported symbols (ENABLE_EXPORTS).
#include <string>
#include <sys/types.h>
#include <vector>

namespace SyncRecorder {

enum class Kind { FileSync, FolderSync, Rename };

struct Event {
    Kind kind;
    dev_t device; // of the synced file or folder
    ino_t inode;
    std::string target; // of a rename
};

// Starts recording; a non-zero errno makes every sync of a plain file (or
// of a folder) fail with it.
void start(int fileSyncErrno = 0, int folderSyncErrno = 0);
// Stops recording and returns what happened since start().
std::vector<Event> stop();

} // namespace SyncRecorder
