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
// A journal holds at most kMaxScaleRecords of them, so no journal of a run
// of L samples is longer than header + (L + kMaxScaleRecords) records; the
// reader reads no further than that, whatever the file's size.
//
// In use: while a RunJournal holds its file (from begin() or reserve() on,
// until remove(), release(), the next begin() or its end) it keeps an
// exclusive advisory lock (flock) on it, released by the system with the
// process. A locked journal belongs to a run a running ZB740 still holds:
// FoundJournal, through which everything else reads and removes journals,
// leaves it alone. The lock is tried without waiting, on a file opened
// without blocking, and only on a regular file.
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
// Changes of the vertical scale one journal keeps: far more than a person
// makes in a run (later changes are not journaled).
inline constexpr int kMaxScaleRecords = 10000;
// What a journal reader says of a journal another program holds.
inline constexpr char kInUse[] = "in use by a running ZB740";
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

// Writes the journal of one run. Not copyable; destroying it lets the file
// go (unlocked) and keeps it: a journal goes away only through remove(),
// once the run is saved durably or the user discarded it.
class RunJournal {
public:
    RunJournal();
    ~RunJournal();
    RunJournal(const RunJournal&) = delete;
    RunJournal& operator=(const RunJournal&) = delete;

    // Takes the name for a journal to begin later: creates path empty and
    // locks it, so that from now on nobody else takes it (Busy when it
    // exists already, CannotOpen with the system's reason when it cannot be
    // made). A begin() of this path then writes into it, and a journal of
    // it that ends without a sample goes back to empty (empty()) rather
    // than away. release() removes the file while it is still empty.
    Status reserve(const QString& path);

    // Creates the journal at path with the run's facts and syncs it (and its
    // folder). Never replaces a file: an existing path is refused, since it
    // may be the only copy of an earlier run (except the empty file of this
    // object's reservation). A journal still held is let go (and kept) first.
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

    // The run ended: nothing more is written. The file is kept and still
    // held (locked) until remove(), release() or the next begin(): the run
    // is not saved yet, and the program that recorded it still has it.
    void close();

    // Lets the file go: closed, unlocked and kept (an empty reservation is
    // removed, as it holds nothing).
    void release();

    // A reserved journal without a sample goes back to the empty file
    // reserve() made: closed for writing, its name and lock kept for the
    // next begin().
    Status empty();

    // Removes the file (and lets it go). Call only after the run's data file
    // and export are durable, or when the user discarded the run.
    Status remove();

    // Removes a journal file (one recovered or discarded) and syncs its
    // folder, so the removal survives a crash. A journal another program
    // holds is refused (Busy), as is anything but a regular file.
    static Status removeFile(const QString& path);

    // Takes samples: begun and not closed.
    bool isOpen() const { return m_open; }
    // The name is this object's through empty runs (see reserve()).
    bool isReserved() const { return m_reserved; }
    const QString& path() const { return m_path; }
    // Samples written so far.
    int count() const { return m_count; }

private:
    Status writeRecord(const unsigned char* record);
    Status writeHeader(const unsigned char* header);
    bool holdsFile() const;
    void closeFile();

    QString m_path;
    int m_fd = -1;                  // POSIX
    std::unique_ptr<QFile> m_file;  // elsewhere
    bool m_open = false;
    bool m_reserved = false;
    int64_t m_size = 0;             // bytes written and whole
    int m_count = 0;
    int m_scaleRecords = 0;
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

// Reads a journal from the device's current position, up to its end or the
// longest journal its header allows, whichever comes first. Refuses
// (and leaves run as it was) a device that does not start with this
// program's journal header ("not a run journal", InvalidFormat) or whose
// header is cut short, damaged or impossible (Damaged). Damaged records are
// not a failure: the whole records before them are the recovered run (the
// records dropped are counted from the device's size, not read). A
// device that fails to read fails too, with run's values part overwritten.
Status read(QIODevice& device, RecoveredRun& run);

// Opens path read-only, only when it is a regular file and without
// blocking, and reads it as above. Whether another program holds it does
// not matter here (see FoundJournal).
Status load(const QString& path, RecoveredRun& run);

} // namespace Journal

// A journal found on disk (left by a crash, by an earlier run, or still
// held by the program recording it), opened to be read and perhaps
// removed: only a regular file, opened without blocking, and only when no
// other program holds it. Opened to take, it is locked in turn, so that two
// programs never recover or remove the same journal at once, and a running
// recording that looks for it sees it in use.
class FoundJournal {
public:
    enum class Access {
        Read, // alongside other readers
        Take, // alone: to recover or remove it
    };

    FoundJournal();
    ~FoundJournal();
    FoundJournal(const FoundJournal&) = delete;
    FoundJournal& operator=(const FoundJournal&) = delete;

    // Fails with Busy and Journal::kInUse when another program holds the
    // journal, with NotRegularFile for a FIFO, device or folder, or with
    // CannotOpen and the system's reason.
    Status open(const QString& path, Access access);

    // Reads it from its start, as Journal::read does.
    Status read(RecoveredRun& run);

    // After read(): the journal holds no sample at all (it is empty, ends
    // inside its header, or holds the header and at most a torn record), so
    // removing it loses nothing.
    bool holdsNoSample() const { return m_noSample; }

    // Removes the journal taken (and lets it go), unless its path names
    // another file by now; syncs its folder.
    Status remove();

    void close();
    const QString& path() const { return m_path; }

private:
    QString m_path;
    std::unique_ptr<QFile> m_file;
    bool m_taken = false;
    bool m_noSample = false;
};
