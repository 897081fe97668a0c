#pragma once
// The data file (.AsmDat): a run's samples, its start time, interval and
// unit, and the vertical scale of the graph it was recorded with. Stored
// from the live run, loaded into the ReviewRecord.
#include "base/Status.h"
#include "base/YScale.h"
#include "data/ReadingStore.h"
#include "data/RunView.h"

#include <QString>
#include <cstdint>

class QIODevice;

inline constexpr char kDataFileMagic[] = "KM4471";
inline constexpr char kInvalidFormatText[] = "Invalid Format!";

namespace DataFile {

// Writes the run's samples with its start, interval and unit and the
// graph's scale. The device must be open for writing. A foreign file reads
// InvalidFormat with the message "Invalid Format!"; a file of this program
// that is cut short or impossible reads Damaged.
Status write(QIODevice& device, const RunView& run, YScaleValues scale);

// Reads a data file into record and scale. On any failure both are left
// exactly as they were: the samples are read into a scratch area first.
Status read(QIODevice& device, ReviewRecord& record, YScaleValues& scale);
// The same with the caller's scratch area (kMaxSamples x kChannelCount
// floats), so that loading file after file allocates nothing.
Status read(QIODevice& device, ReviewRecord& record, YScaleValues& scale, float* scratch);

// Opens path read-only and reads it as above. Only a plain file is read: a
// FIFO, device or folder fails with NotRegularFile without being waited for,
// and a file far larger than any data file is refused unread as Damaged.
Status load(const QString& path, ReviewRecord& record, YScaleValues& scale);
Status load(const QString& path, ReviewRecord& record, YScaleValues& scale, float* scratch);

// The record's start as seconds since 1970 (from its local fields).
int64_t startOf(const ReviewRecord& record);
// The record's run facts.
RunInfo infoOf(const ReviewRecord& record);

} // namespace DataFile
