#pragma once
// Writing a run to disk as its data file and its text export beside it.
// Each file is written to a temporary file and only replaces its target once
// complete, so a failed save never destroys or truncates an existing file.
#include "base/Status.h"
#include "data/DataFile.h"
#include "data/TextExport.h"

#include <QString>

namespace RunFiles {

// The text export that goes with a data file: same folder, same base name,
// ".csv" in place of ".AsmDat" (Test1.AsmDat -> Test1.csv). A name with
// another extension keeps it (run.dat -> run.dat.csv), so the export can
// never land on the data file itself.
QString exportPathFor(const QString& dataPath);

// Writes the data file at dataPath and the text export beside it. A failure
// names the file and the reason. When it returns ok, both files and their
// names are synced to the disk: a journal of the run may be removed.
Status saveRun(const QString& dataPath, const RunView& run, YScaleValues scale);

// Writes only the text export of a run to path, with the same safety.
Status saveExport(const QString& path, const RunView& run);

} // namespace RunFiles
