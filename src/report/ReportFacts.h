#pragma once
// What the full test report states about a run besides its curves: the
// report's id, the data's hash as printed and as carried in the PDF's
// metadata, each shown channel's figures against its limits and against the
// Y range of the graph. Window-free; the page and zb740-cli read it.
#include "data/RunStats.h"
#include "report/ReportInput.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace ReportFacts {

// A limit as the page prints it: one decimal; a side the limits leave open
// (a command line may give only a high or only a low limit) is -∞ or ∞.
QString limitText(double limit);


// "unsaved run: no hash", printed and carried in place of a hash.
inline constexpr char kNoHashText[] = "unsaved run: no hash";
// The hash's label in the footer and in the PDF's keywords.
inline constexpr char kHashLabel[] = "SHA-256 of the data: ";

// SHA-256 of bytes (32 bytes).
QByteArray sha256(const QByteArray& bytes);
// The hash in 64 lower-case hex digits, or kNoHashText when there is none.
QString hashText(const QByteArray& sha256);
// The report's id: the first 12 hex digits of the hash and the print time
// in local time ("3f2a9c0b1d4e-20261208-093000"); the print time alone for
// a run without a hash.
QString reportId(const QByteArray& sha256, int64_t printedAt);

// One shown channel's row of the table.
struct ChannelFacts {
    ChannelStats stats;  // min, max (with their samples) and mean
    int outside = 0;     // samples below the low or above the high limit
    int above = 0;       // samples above the graph's Y range
    int below = 0;       // samples below it
};
using Facts = std::array<ChannelFacts, kChannelCount>;

// The figures of every channel (hidden ones too) in the display unit: the
// values that take part in the statistics (RunStats) are compared with the
// limits (a value equal to a limit lies within) and with the axis's range.
Facts facts(const ReportInput& in);

// "PASS: no sample outside [5.0, 30.0]", "FAIL: 3 samples outside [5.0,
// 30.0]", "\u2014" when no limit applies or no value took part.
QString verdict(const ChannelFacts& f, const std::optional<LimitPair>& limit);

// When at least one curve is shown and none of them has a value within the
// axis's range: "None of the shown curves lies within the Y scale
// 0.0\u201320.0."; nothing otherwise.
std::optional<QString> offScaleNote(const ReportInput& in);

// The XMP packet of the report's PDF: its title, the report's id and the
// hash ("SHA-256 of the data: <hex>" or kNoHashText) in its keywords.
QByteArray xmpPacket(const QString& title, const QString& id, const QString& hashText);

// What a report PDF carries as the data's hash: the 64 hex digits of the
// last keywords entry with one, or nothing when the file carries none.
std::optional<QByteArray> hashCarried(const QByteArray& pdf);

} // namespace ReportFacts
