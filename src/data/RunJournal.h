#pragma once
// The run journal: while a run records, every committed sample goes to disk
// at once, so a crash of the program, the session or the machine loses at
// most the sample being written. A saved data file needs the whole run at
// the end; the journal holds it from the first sample on.
//
// Format (all integers little-endian, no padding), append-only:
//
//   header, 64 bytes
//     0  8  magic "ZB740JNL"
//     8  4  version (1)
//    12  4  header size (64)          16  4  record size (32)
//    20  8  start, seconds since 1970
//    28  4  interval in seconds       32  4  sample limit
//    36  1  unit flag at the start (1 = degrees F)
//    37  1  unit text length (0..8)   38  8  unit text, zero padded
//    46  2  zero
//    48  4  gain of the vertical scale   52  4  offset of the vertical scale
//    56  4  zero
//    60  4  CRC-32 of bytes 0..59
//
//   then records, 32 bytes each
//     0  1  kind: 'S' a committed sample, 'Y' a new vertical scale
//     1  1  flags: bit 0 = the meter showed degrees F at this sample
//     2  2  zero
//     4  4  'S': the sample's index (0, 1, 2, ... in order)
//           'Y': the number of samples before the change
//     8 20  'S': AIR, WB, DP, K/IR, RH as 32-bit floats (stored units)
//           'Y': gain and offset as 32-bit integers, then 12 zero bytes
//    28  4  CRC-32 of bytes 0..27
//
// Each record is written with one write and synced before the call returns,
// so only the last record can be cut short by a crash; the reader drops it
// and keeps everything before it.
//
// The unit: the data file keeps one unit flag, the one in force when the run
// is saved. Every sample record carries the flag the meter showed when that
// sample was committed, and a recovered run takes the flag of its last
// recovered sample (and the unit text that goes with it), which is what a
// Save right after that sample would have written. The samples themselves
// are always in degrees C, so a change of unit never changes a value.
// The vertical scale is the graph's at the start; each change during the
// run adds a scale record, and the last one read is the recovered scale.
#include "base/Channel.h"
#include "base/Status.h"
#include "data/DataFile.h"
#include "data/RunView.h"
#include "run/RunInfo.h"

#include <QString>
#include <cstdint>
#include <memory>

class QFile;
class QIODevice;

namespace Journal {
inline constexpr char kMagic[8] = {'Z', 'B', '7', '4', '0', 'J', 'N', 'L'};
inline constexpr uint32_t kVersion = 1;
inline constexpr int kHeaderSize = 64;
inline constexpr int kRecordSize = 32;
inline constexpr int kMaxUnitLength = 8;
// Start times a data file can hold in every time zone (its year is at most
// 9999): up to 9999-12-30 23:59:59 UTC.
inline constexpr int64_t kLatestStart = 253402214399;
} // namespace Journal

// What a data file needs besides the samples, as known when the run starts.
struct JournalFacts {
    int64_t start = 0;     // the run's first sample, seconds since 1970
    int32_t interval = 1;  // seconds between samples
    int32_t sampleLimit = kMaxRunSamples; // samples after which the run ends
    bool fahrenheit = false;
    QString unit;          // "C" or "F" (Latin-1, at most 8 characters)
    YScaleValues scale;    // the real-time graph's scale

    bool operator==(const JournalFacts&) const = default;
};

// Writes the journal of one run. Not copyable; destroying it closes the file
// and keeps it: a journal goes away only through remove(), once the run is
// saved durably or the user discarded it.
class RunJournal {
public:
    RunJournal();
    ~RunJournal();
    RunJournal(const RunJournal&) = delete;
    RunJournal& operator=(const RunJournal&) = delete;

    // Creates the journal at path with the run's facts and syncs it (and its
    // folder). Never replaces a file: an existing path is refused, since it
    // may be the only copy of an earlier run. A journal still open is closed
    // (and kept) first.
    Status begin(const QString& path, const JournalFacts& facts);

    // Appends the committed sample and syncs it before returning. Indexes
    // must come in order from 0 and stay below the sample limit. Allocates
    // nothing (except to word a failure). After a failed write the file is
    // cut back to its last whole record where possible, so the next call
    // can try again.
    Status append(int sampleIndex, const ChannelValues& values, bool fahrenheit);

    // Records a change of the graph's vertical scale; the same scale again
    // writes nothing.
    Status noteScale(YScaleValues scale);

    // Closes the file and keeps it (the run ended; it is not saved yet).
    void close();

    // Closes the file and removes it. Call only after the run's data file
    // and export are durable, or when the user discarded the run.
    Status remove();

    // Removes a journal file (one recovered or discarded) and syncs its
    // folder, so the removal survives a crash.
    static Status removeFile(const QString& path);

    bool isOpen() const;
    const QString& path() const { return m_path; }
    // Samples written so far.
    int count() const { return m_count; }

private:
    Status writeRecord(const unsigned char* record);

    QString m_path;
    int m_fd = -1;                  // POSIX
    std::unique_ptr<QFile> m_file;  // elsewhere
    int64_t m_size = 0;             // bytes written and whole
    int m_count = 0;
    int m_sampleLimit = 0;
    YScaleValues m_scale;
};

// A run read back from its journal: a fixed record, like the review record,
// allocated once by the caller (about 200 KB).
struct RecoveredRun {
    // start, interval and limit from the header; unit and scale as they
    // were at the last record recovered.
    JournalFacts facts;
    int count = 0;
    // Sample-major: sample i, channel c at i * kChannelCount + c.
    float values[kMaxSamples * kChannelCount] = {};
    // The last record was cut short or fails its checksum: the mark of a
    // write interrupted by a crash. It was dropped.
    bool tornRecordDropped = false;
    // Records lost because one before the last is damaged: reading stops at
    // the damaged record and drops it and every record after it. Zero for
    // any journal this program wrote, whatever moment it was stopped at.
    int damagedRecordsDropped = 0;
    // Byte offset of the first record not recovered (-1: none).
    int64_t firstDroppedAt = -1;

    RunInfo info() const;
    RunView view() const { return RunView::ofSampleMajor(values, info()); }
};

namespace Journal {

// Reads a journal from the device's current position to its end. Refuses
// (and leaves run as it was) a device that does not start with this
// program's journal header ("not a run journal", InvalidFormat) or whose
// header is cut short, damaged or impossible (Damaged). Damaged records are
// not a failure: the whole records before them are the recovered run. A
// device that fails to read fails too, with run's values part overwritten.
Status read(QIODevice& device, RecoveredRun& run);

// Opens path read-only and reads it as above.
Status load(const QString& path, RecoveredRun& run);

} // namespace Journal
