#pragma once
// The data sets the logger window has loaded since it was opened: up to 100,
// each a full copy of a loaded record with the scale it was saved with. The
// samples of all slots are one block allocated once (about 20 MB); appending
// copies into it and never allocates. After 100 sets the table starts over
// at slot 0, and the earlier sets are gone.
#include "base/YScale.h"
#include "data/ReadingStore.h"
#include "data/RunView.h"

#include <QString>
#include <cstdint>
#include <memory>

struct LoggerDataSet {
    int64_t start = 0;      // first sample, seconds since 1970
    QString unit;           // unit text of the temperature read-outs
    int32_t offset = 0;     // Y offset in divisions
    int32_t gain = 0;       // Y gain in value units per division
    int32_t interval = 0;   // seconds between samples
    uint8_t unitFlag = 0;   // 1: temperatures shown in degrees F
    int32_t count = 0;      // samples held
    float* samples = nullptr;  // count x 5 values, sample after sample, in the table's block

    RunInfo info() const;
    YScaleValues scale() const { return {gain, offset}; }
};

class LoggerSetTable {
public:
    static constexpr int kSlots = 100;

    LoggerSetTable();
    LoggerSetTable(const LoggerSetTable&) = delete;
    LoggerSetTable& operator=(const LoggerSetTable&) = delete;

    // Index of the last stored set, -1 when the table is empty.
    int lastIndex() const { return m_nLast; }
    bool empty() const { return m_nLast < 0; }
    const LoggerDataSet& set(int index) const { return m_sets[index]; }
    RunView view(int index) const;

    struct Appended {
        int slot = 0;          // where the set went
        bool wrapped = false;  // the table was full and starts over at slot 0
    };
    // Copies the record with its scale into the next slot.
    Appended append(const ReviewRecord& record, YScaleValues scale);

    // Copies stored set `index` back into the record (count, values, unit
    // flag, start, interval, unit text) and returns its scale. False, with
    // nothing changed, for an index that holds no set.
    bool copyTo(int index, ReviewRecord& record, YScaleValues& scale) const;

    // Empties the table; the slots keep their bytes.
    void clear() { m_nLast = -1; }

private:
    std::unique_ptr<float[]> m_block;
    LoggerDataSet m_sets[kSlots];
    int m_nLast = -1;
};
