#pragma once
// Writing a run to disk as its data file and its text export beside it.
// Both are written through DurableFile: each new file goes to a temporary
// file first, both are complete and synced to disk before either replaces
// its target, and the folder is synced after the renames. A failed save
// (a full disk, a failed sync) leaves the old files exactly as they were,
// and a crash at any moment leaves each file wholly old or wholly new.
#include "base/Status.h"
#include "data/DataFile.h"
#include "data/TextExport.h"

#include <QString>

class QFileDevice;

namespace RunFiles {

// The text export that goes with a data file: same folder, same base name,
// ".csv" in place of ".AsmDat" (Test1.AsmDat -> Test1.csv). A name with
// another extension keeps it (run.dat -> run.dat.csv), so the export can
// never land on the data file itself.
QString exportPathFor(const QString& dataPath);

// Writes the data file at dataPath and the text export beside it. A failure
// names the file and the reason ("Could not save "x.csv": No space left on
// device"). Success means both files are in place and durable: a journal
// of the run may be removed after it.
Status saveRun(const QString& dataPath, const RunView& run, YScaleValues scale);

// Writes only the text export of a run to path, with the same safety; the
// message of a failure is the reason alone (the caller names the file).
// A path that names a FIFO, a device node or, like /dev/stdout, the
// process's own output is written to directly, never replaced by a plain
// file; a folder is refused. Links are followed as DurableFile follows
// them (one another user planted in a shared folder is refused).
Status saveExport(const QString& path, const RunView& run);

// Writes the text export to an open, unbuffered file (standard output,
// say); a failure is the system's reason.
Status writeExport(QFileDevice& file, const RunView& run);

} // namespace RunFiles
