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
//
// Symbolic links in the path are followed, so a save through a link the
// user made replaces the file it names and keeps the link. A link that
// another user made in a folder where everybody may create files (a sticky,
// world-writable folder such as /tmp) is not followed: the save is refused,
// naming the link. This is the rule the kernel's protected_symlinks applies
// to opening: such a link is followed only when it belongs to the user, to
// the folder's owner (or to root). Without it, anybody could plant a link in
// /tmp and have another user's save replace a file of that user's own.
#include "base/Status.h"

#include <QBuffer>
#include <QByteArray>
#include <QString>

#ifndef Q_OS_UNIX
#include <QSaveFile>
#endif

class QFileDevice;

class DurableFile {
public:
    explicit DurableFile(const QString& path);
    ~DurableFile();
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

    // The whole of bytes as the new contents of the file at path, through
    // open(), finish() and commit(), with the folder synced after.
    static Status save(const QString& path, const QByteArray& bytes);

    // As save(), for an output file named on a command line: a FIFO, a
    // device node (a terminal, /dev/null) or a link into /proc such as
    // /dev/stdout (which names whatever the process's output is) is written
    // through, never replaced. A plain file reached through /proc (the
    // shell's redirection of standard output) is appended to, never
    // truncated. A FIFO waits for its reader, as for any program writing
    // to it. A folder is refused.
    static Status saveOrWriteThrough(const QString& path, const QByteArray& bytes);

    // The path a file written at path ends up at: every symbolic link in it
    // resolved, the last name included (a name that does not exist yet is
    // kept as it is). Fails, naming the link, on a link that is not to be
    // followed (see above), and on a loop of links. A path below /proc is
    // left to the system from there on. Other trouble (a missing folder, no
    // permission) is left to the operation that follows.
    static Status resolveForWriting(const QString& path, QString& target);

    // Syncs the folder that holds path (the folder of the file a link at
    // path names), so that a completed rename in it survives a crash. A file
    // system that cannot sync folders is no error.
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
    // finish() with bytes as the new contents in place of the device's.
    Status finishWith(const QByteArray& bytes);

    QString m_path;
    QBuffer m_content;
    State m_state = State::Closed;
#ifdef Q_OS_UNIX
    // The folder of the resolved target, open, so that the temporary file
    // is made and renamed in that very folder even when a name on the way
    // to it changes meanwhile.
    int m_folder = -1;
    int m_fd = -1;          // the temporary file
    QByteArray m_name;      // of the target in m_folder
    QByteArray m_tempName;  // of the temporary file in m_folder
#else
    QSaveFile m_file;
#endif
};
