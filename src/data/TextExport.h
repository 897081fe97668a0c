#pragma once
// The text export (.csv) of a run: UTF-16LE with a byte-order mark, CRLF
// line ends, tab-separated, one row per sample with its local time. Written
// from the live run by Save and from a loaded data file by the command-line
// tool, through the same RunView so both give the same bytes.
#include "base/Status.h"
#include "data/RunView.h"

#include <QString>
#include <cstdint>

class QIODevice;

namespace TextExport {

// The header line for the unit, without the line end.
const char* headerLine(bool fahrenheit);
// One field of a sample row as the export shows it.
QByteArray formatValue(float stored, int channel, bool fahrenheit);
// The same into out, which has room for TenthsText::kMaxLength characters;
// no terminator. Returns the length.
int formatValueInto(char* out, float stored, int channel, bool fahrenheit);

// Writes the whole export to an open device; a failure carries the
// device's error.
Status write(QIODevice& device, const RunView& run);

} // namespace TextExport
