#pragma once
// A run kept in a hurry: when the session ends (a logout, a shutdown) while
// samples of the run are in no journal, the window writes the whole run
// into a journal of its own before it exits. It goes into the recovery
// folder like any run's journal; when that folder takes nothing, into the
// settings folder, and then into the home folder, where it stands among the
// user's own files under a name that says what it is:
//
//   "ZB740 unsaved run 26-12-07 23.45.55.journal"
//
// The next start offers those journals with the ones of the recovery folder.
#include "base/Status.h"

#include <QString>
#include <QStringList>
#include <cstdint>

namespace EmergencyJournal {

inline constexpr char kPrefix[] = "ZB740 unsaved run ";

// A path for a new emergency journal of a run started at start in folder
// (which must exist): "<prefix><start>.journal", or "-2" and so on before
// the suffix when that is taken.
Status newPathIn(const QString& folder, int64_t start, QString& path);

// The emergency journals in folder, oldest name first (none when folder is
// empty or does not exist).
QStringList in(const QString& folder);

} // namespace EmergencyJournal
