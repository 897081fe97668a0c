#pragma once
// Making a file's name durable: after a file is created, renamed into place or
// removed, the folder that holds it must be synced too, or a crash can bring
// back the old entry (or none) even though the file's bytes were on disk.
#include "base/Status.h"

#include <QString>

namespace FileSync {

// Syncs the folder that holds filePath. A file system that cannot sync a
// folder (some refuse the call) counts as done: nothing more can be asked
// of it. Where the platform has no such call this does nothing.
Status syncFolderOf(const QString& filePath);

} // namespace FileSync
