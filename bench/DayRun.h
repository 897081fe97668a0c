#pragma once
// The day-like run the repaint benchmarks draw: slowly drifting air
// temperature and humidity with a little noise, wet bulb and dew point
// derived from them, a surface a few degrees warmer; tenths as the meter
// sends them.
#include "base/Psychrometry.h"
#include "data/ReadingStore.h"

#include <cmath>

namespace bench {

inline void fillDayRun(LiveSeries& s, int count)
{
    unsigned seed = 12345;
    auto noise = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return ((seed >> 16) & 0x7fff) / 32767.0 - 0.5;
    };
    for (int i = 0; i < count; ++i) {
        const double t = i / double(count);
        const double air = 22.0 + 6.0 * std::sin(t * 6.283) + 0.2 * noise();
        const double rh = 55.0 - 15.0 * std::sin(t * 6.283 + 0.4) + 0.5 * noise();
        const double dp = psychro::dewPoint(air, rh);
        const double wb = psychro::wetBulb(air, rh);
        s.values[kAir][i] = float(std::round(air * 10) / 10);
        s.values[kWb][i] = float(std::round(wb * 10) / 10);
        s.values[kDp][i] = float(std::round(dp * 10) / 10);
        s.values[kKir][i] = float(std::round((air + 8.0 + 0.3 * noise()) * 10) / 10);
        s.values[kRh][i] = float(std::round(rh * 10) / 10);
    }
}

} // namespace bench
