#pragma once
// Per-channel figures of a run: the lowest and highest value with the
// sample that first had it, and the mean, in the run's display unit (the
// values as the meter's arithmetic converts them, in single precision;
// the figures computed in double precision). A K/IR reading the meter did
// not have, and a value that is no number, take no part.
#include "data/RunView.h"

#include <array>

struct ChannelStats {
    int count = 0;       // values that took part
    double min = 0, max = 0, mean = 0;
    int minSample = -1;  // 0-based; -1 when no value took part
    int maxSample = -1;
};

using RunStats = std::array<ChannelStats, kChannelCount>;

RunStats runStats(const RunView& run);
