#pragma once
// What the print system said about the last job this thread handed to it.
// Qt passes a finished page to CUPS and does not look at the answer, so a
// queue that refuses the job (stopped, rejecting, gone) would go unnoticed.
#include <QString>
#include <optional>

namespace PrintQueueStatus {

// The reason the last request to CUPS failed, when CUPS is in use in this
// process and its last request failed; nothing otherwise.
std::optional<QString> lastFailure();

} // namespace PrintQueueStatus
