#include "data/RunStats.h"

#include <cmath>

RunStats runStats(const RunView& run)
{
    RunStats stats;
    for (int c = 0; c < kChannelCount; ++c) {
        ChannelStats& s = stats[size_t(c)];
        double sum = 0;
        for (int i = 0; i < run.count(); ++i) {
            const float stored = run.value(i, c);
            if (c == kKir && stored <= kKirDashesAtOrBelow)
                continue;
            const double v = toDisplayUnit(stored, c, run.fahrenheit());
            if (!std::isfinite(v))
                continue;
            if (s.count == 0 || v < s.min) {
                s.min = v;
                s.minSample = i;
            }
            if (s.count == 0 || v > s.max) {
                s.max = v;
                s.maxSample = i;
            }
            sum += v;
            ++s.count;
        }
        if (s.count > 0)
            s.mean = sum / s.count;
    }
    return stats;
}
