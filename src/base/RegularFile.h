#pragma once
// Reading a file only when it is a plain file of a size worth reading. A
// FIFO, a device, a socket or a folder is never waited for and never read
// (/dev/zero would be read until memory runs out, a FIFO without a writer
// would hold the program forever): the file is opened without blocking and
// looked at through the open descriptor before anything is read.
#include "base/Status.h"

#include <QByteArray>
#include <QString>

class QFile;

namespace RegularFile {

// Opens path read-only into file. Fails with CannotOpen and the system's
// reason (missing, no permission, ...) or with NotRegularFile and "Not a
// regular file" (FIFO, device, socket, folder).
Status open(const QString& path, QFile& file);

// Reads the whole file at path into out, failing as open() does, or with
// Damaged when it holds more than maxBytes bytes (refused unread). out is
// left empty on any failure.
Status read(const QString& path, qint64 maxBytes, QByteArray& out);

} // namespace RegularFile
