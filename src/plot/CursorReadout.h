#pragma once
// Status bar texts of the real-time graph: the idle texts and the cursor
// read-out of one sample.
#include "data/RunView.h"

#include <QString>

inline constexpr const char* kIdleTimeText = "time:";
inline constexpr const char* kIdleValuesText = "AIR:         WB:         DP:         K/IR:         RH:";

struct ReadoutTexts {
    QString time;    // status pane 1
    QString values;  // status pane 2
};

// The read-out of one sample of the run (0 <= sample < run.count()).
ReadoutTexts cursorReadout(const RunView& run, int sample);
