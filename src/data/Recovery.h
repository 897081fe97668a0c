#pragma once
// Where journals live and what they are called. The window keeps the journal
// of its run in "<settings folder>/recovery/", named after the run's start
// ("26-12-07 23.45.55.journal"); a data file written from the command line
// has its journal beside it ("run.AsmDat.journal").
#include "base/Status.h"

#include <QString>
#include <QStringList>
#include <cstdint>

namespace Recovery {

inline constexpr char kJournalSuffix[] = ".journal";
inline constexpr char kDataSuffix[] = ".AsmDat";

// "<settingsDir>/recovery".
QString folderIn(const QString& settingsDir);

// The start time as a name, "%y-%m-%d %H.%M.%S" in local time, as the Save
// dialog proposes.
QString nameFor(int64_t start);

// A path for a new journal of a run started at start, in the recovery
// folder (created when missing): "<name>.journal", or "<name>-2.journal"
// and so on when that is taken, so no earlier journal is ever replaced.
Status newJournalPath(const QString& settingsDir, int64_t start, QString& path);

// The journals in the recovery folder, oldest name first (none when the
// folder does not exist; it is not created).
QStringList journalsIn(const QString& settingsDir);

// The journal kept while a data file is recorded: "<dataPath>.journal".
QString journalPathFor(const QString& dataPath);

// The data file a journal is recovered into by default: the journal's path
// without ".journal" when that names a data file ("run.AsmDat.journal" ->
// "run.AsmDat"), else "<start time>.AsmDat" beside the journal.
QString dataPathFor(const QString& journalPath, int64_t start);

} // namespace Recovery
