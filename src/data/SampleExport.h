#pragma once
// A run's samples in the formats other programs read without help, beside
// the tab-separated UTF-16 text export that Save writes (TextExport, kept as
// the original tools and macros read it):
//
//   csv    for spreadsheets and pandas: UTF-8 without a byte-order mark,
//          RFC 4180 (commas, CRLF; no field ever needs quotes), the header
//          time,utc_offset,air_C,wet_bulb_C,dew_point_C,k_ir_C,rh_percent
//          (_F for a run in degrees F). time is the local date and time in
//          ISO 8601 without an offset (2026-12-11T02:00:07), which
//          spreadsheets read as a date; utc_offset is the offset in force
//          at that sample (+01:00), so a run across a daylight-saving change
//          is unambiguous.
//   jsonl  for scripts: one JSON object a line,
//          {"time":"2026-12-11T02:00:07+01:00","air":22.5,"wet_bulb":16.3,
//           "dew_point":12.5,"k_ir":29.0,"rh":53.1,"unit":"C","sample":1}
//          The form of every JSON sample the program writes.
//
// Values are in the run's display unit with the tenths the text export
// shows (K/IR cut toward zero); a K/IR reading the meter did not have, and
// a value that is no number, is an empty field (null in JSON). A tenth
// that rounds to zero is written 0.0, never -0.0. In UTC (utc) the time is
// written in UTC: offset +00:00 in csv, a final Z in jsonl.
#include "base/Status.h"
#include "data/RunView.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <optional>

class QIODevice;

namespace SampleExport {

enum class Format { Tsv, Csv, Jsonl };

// "tsv", "csv", "jsonl".
std::optional<Format> formatNamed(const QString& name);

// The JSON names of the channels, in channel order: air, wet_bulb,
// dew_point, k_ir, rh.
const char* channelKey(int channel);

// The csv header line for the unit, without its line end.
const char* csvHeader(bool fahrenheit);

// Room for any line written below, terminator included.
inline constexpr size_t kMaxLineLength = 512;

// One sample of the run (0-based; numbered from 1 in the line) as its
// jsonl line with "\n", or its csv row with "\r\n", into out (room for
// kMaxLineLength). Returns the length, without a terminator. Allocates
// nothing.
size_t jsonLine(char* out, const RunView& run, int sample, bool utc);
size_t csvRow(char* out, const RunView& run, int sample, bool utc);

// A value as these formats write it, into out (room for
// TenthsText::kMaxLength); 0 when there is none to write.
int valueInto(char* out, float stored, int channel, bool fahrenheit);

// The whole run in the format (tsv: the text export's bytes, for which utc
// does not apply). A failure carries the device's error.
Status write(QIODevice& device, const RunView& run, Format format, bool utc);
QByteArray bytes(const RunView& run, Format format, bool utc);

} // namespace SampleExport
