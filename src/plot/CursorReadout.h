#pragma once
// The cursor read-out texts of both graphs: the real-time graph's status
// bar texts (its idle texts and one sample's read-out), and the logger
// plot's read-out above the plot (one value per curve and the time).
#include "data/RunView.h"

#include <QString>

inline constexpr const char* kIdleTimeText = "time:";
inline constexpr const char* kIdleValuesText = "AIR:         WB:         DP:         K/IR:         RH:";

struct ReadoutTexts {
    QString time;    // status pane 1
    QString values;  // status pane 2
};

// The status bar read-out of one sample of the run (0 <= sample < run.count()).
ReadoutTexts cursorReadout(const RunView& run, int sample);

namespace plot {

// The logger's read-out: "%.1f" of each curve's value, K/IR cut toward
// zero and "------" without a reading, and the time "%H:%M:%S".
struct Readout {
    QString value[kChannelCount];
    QString time;
    bool operator==(const Readout&) const = default;
};
// The texts of sample `sample` (0 <= sample < run.count()).
void buildReadout(const RunView& run, int sample, Readout& out);
void clearReadout(Readout& out);
// The unit written after a curve's value: the set's unit, "%RH" for RH.
QString readoutUnit(const RunView& run, int channel);

} // namespace plot
