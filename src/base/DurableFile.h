#pragma once
// Replacing a file so that, whatever happens (a full disk, a crash, a power
// cut), the file is at every moment either wholly its old self or wholly
// the new one. The new contents are gathered in memory; finish() writes
// them to a temporary file beside the target and syncs it, checking every
// write and the sync itself (a failure abandons the new file with the
// system's own reason, such as "No space left on device": Qt's buffered
// writes lose it after a partial write, and its QSaveFile::commit() even
// puts a file in place after a failed final flush). commit() then renames
// the file over the target, and syncFolderOf() makes the rename itself
// survive a crash.
//
// Several files saved together are finished all before the first is
// committed, so none replaces its target unless all are complete on disk:
//   a.open(); b.open(); write both; a.finish(); b.finish();
//   a.commit(); b.commit(); DurableFile::syncFolder(folder);
// Only after syncFolder() succeeded is the save durable.
//
// A target that exists and is not a plain file (a FIFO, a device node, a
// folder) is refused: renaming over it would replace the node itself.
// Dropping the object without commit() leaves the target untouched and
// removes the temporary file.
#include "base/Status.h"

#include <QBuffer>
#include <QSaveFile>
#include <QString>

class DurableFile {
public:
    explicit DurableFile(const QString& path);
    DurableFile(const DurableFile&) = delete;
    DurableFile& operator=(const DurableFile&) = delete;

    const QString& path() const { return m_path; }

    Status open();
    // Where the new contents are written (in memory, so writes here do not
    // fail; open() makes it writable).
    QIODevice& device() { return m_content; }
    // Writes and syncs the new contents; the target is still untouched.
    Status finish();
    // Puts the finished file in place of the target.
    Status commit();
    // Drops the new contents; the target stays as it was.
    void abandon();

    // Syncs the folder that holds path, so that a completed rename in it
    // survives a crash. A file system that cannot sync folders is no error.
    static Status syncFolderOf(const QString& path);

    // The system's reason for a failed operation on an open device.
    static QString errorText(const QIODevice& device);

    // Writes all of bytes to an open file (a FIFO, a terminal, standard
    // output) in its current position, write after write, failing with the
    // system's reason for the first write that does not go through.
    static Status writeFully(QFileDevice& file, const QByteArray& bytes);

private:
    enum class State { Closed, Open, Finished, Committed, Abandoned };
    Status fail(const QString& reason);

    QString m_path;
    QSaveFile m_file;
    QBuffer m_content;
    State m_state = State::Closed;
};
