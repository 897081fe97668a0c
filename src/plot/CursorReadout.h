#pragma once
// Status bar texts of the real-time graph: the idle texts and the cursor
// read-out of one sample.
#include <QString>
#include <cstdint>

struct LiveSeries;

inline constexpr const char* kIdleTimeText = "time:";
inline constexpr const char* kIdleValuesText = "AIR:         WB:         DP:         K/IR:         RH:";

struct ReadoutTexts {
    QString time;    // status pane 1
    QString values;  // status pane 2
};

// The read-out of sample `sample` of a run started at tStart with the given
// interval; temperatures in degrees F when `fahrenheit`.
ReadoutTexts cursorReadout(const LiveSeries& series, int sample, int64_t tStart, int sampleMs,
                           bool fahrenheit);
