#pragma once
// The facts of one recorded run as values: what a live run knows of itself
// and what a loaded data file tells. Views, files and the printed page take
// a run through this, never through the state machine that produced it.
#include <QString>
#include <cstdint>

struct RunInfo {
    int64_t start = 0;       // first sample, seconds since 1970 (0: not started)
    int interval = 0;        // seconds between samples (0: not set yet)
    int count = 0;           // committed samples
    bool fahrenheit = false; // temperatures shown in degrees F
    QString unit;            // "C" or "F" as the meter reported it

    bool operator==(const RunInfo&) const = default;
};
