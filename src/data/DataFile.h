#pragma once
// The data file (.AsmDat): a run's samples, its start time, interval and
// unit, and the vertical scale of the graph it was recorded with. Stored
// from the live run, loaded into the ReviewRecord.
#include "data/ReadingStore.h"

#include <QString>
#include <cstdint>
#include <utility>

class QIODevice;
class RunState;

inline constexpr char kDataFileMagic[] = "KM4471";
inline constexpr char kInvalidFormatText[] = "Invalid Format!";

// A graph's vertical scale as values: gain in units per division, offset in
// divisions (for example 10 and -2), not as list indexes.
struct YScaleValues {
    int32_t gain = 10;
    int32_t offset = 0;
    bool operator==(const YScaleValues&) const = default;
};

// A point in time split into local calendar fields (four-digit year,
// month 1..12), as the data file stores a run's start.
struct LocalFields {
    int32_t year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};
LocalFields splitLocal(int64_t secondsSince1970);
// The moment local fields name, resolved by the C library (daylight saving
// chosen by the zone rules).
int64_t joinLocal(const LocalFields& f);

struct DataFileResult {
    enum Status { Ok, InvalidFormat, Damaged, CannotOpen, WriteFailed };
    Status status = Ok;
    QString message;  // empty when Ok; "Invalid Format!" for a foreign file

    bool ok() const { return status == Ok; }
    static DataFileResult failure(Status s, QString text) { return {s, std::move(text)}; }
};

namespace DataFile {

// Writes the first m_nCount samples of the live run with the run's
// bookkeeping and the graph's scale. The device must be open for writing.
DataFileResult write(QIODevice& device, const LiveSeries& live, const RunState& run, YScaleValues scale);

// Reads a data file into record and scale. On any failure both are left
// exactly as they were: the file is read into a scratch record first.
DataFileResult read(QIODevice& device, ReviewRecord& record, YScaleValues& scale);

// Opens path read-only and reads it as above.
DataFileResult load(const QString& path, ReviewRecord& record, YScaleValues& scale);

// The record's start as seconds since 1970 (from its local fields).
int64_t startOf(const ReviewRecord& record);

} // namespace DataFile
