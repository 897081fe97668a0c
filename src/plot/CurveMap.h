#pragma once
// Where each sample of a curve lands on a picture, as every graph of this
// program places it: the reading in its display unit, brought to tenths for
// the screen, mapped onto the unzoomed plot by the axis values of level 0,
// and brought to the current zoom level by the composed affine map of
// ZoomChain.h. The real-time graph, the logger plot and the printed page
// (at its own resolution, y growing upward) all place curves with it.
//
// The original design kept a table of every sample's x and y at every zoom
// level (10010 samples x 5 curves x 100 levels, single precision). Measured,
// those tables cost 40 MB, 16 ms to set up and 2.4 ms to rebuild at each
// switch of the displayed set, and saved nothing at repaint: one
// multiply-add per coordinate from the composed map is as fast as reading a
// table. So no graph keeps them.
#include "base/Channel.h"
#include "plot/PlotScale.h"

#include <array>

// Which curves are shown, in channel order.
using CurveSet = std::array<bool, kChannelCount>;
inline constexpr CurveSet kAllCurves {true, true, true, true, true};

namespace plot {

struct CurveMap {
    // x of sample s: X0 + dx * (s + shift).
    double X0 = 0;
    double dx = 0;
    int shift = 0;
    // y of a value q on the unzoomed plot: baseH - (q - axisBottom) *
    // yScale; on the current level: ay * that + by.
    double baseH = 0;
    double axisBottom = 0;
    double yScale = 0;
    double ay = 1;
    double by = 0;
    KirTenths kir = KirTenths::Cut;
    bool exact = false;  // readings as they are, not brought to tenths (the printed page)

    double x(int sample) const { return dx * (double(sample) + shift) + X0; }
    // The value a stored reading is drawn at: display unit, then tenths.
    double valueOf(int channel, float stored, bool fahrenheit) const
    {
        return exact ? double(toDisplayUnit(stored, channel, fahrenheit)) : quantised(channel, stored, fahrenheit, kir);
    }
    double yOfValue(double q) const
    {
        const double unzoomed = baseH - (q - axisBottom) * yScale;
        return ay * unzoomed + by;
    }
    double y(int channel, float stored, bool fahrenheit) const { return yOfValue(valueOf(channel, stored, fahrenheit)); }
};

// The map of a picture whose y grows upward, as a printed page: samples
// 0 .. count - 1 across left .. right, axis values a0 .. a10 across
// bottom .. top, readings as they are. At least two samples and a0 != a10.
inline CurveMap upwardMap(int count, double left, double right, double bottom, double top, double a0, double a10)
{
    CurveMap m;
    m.X0 = left;
    m.dx = (right - left) / (count - 1);
    // y = -(0 - (q - a0) x scale) + bottom: (q - a0) x scale + bottom.
    m.baseH = 0;
    m.axisBottom = a0;
    m.yScale = (top - bottom) / (a10 - a0);
    m.ay = -1;
    m.by = bottom;
    m.exact = true;
    return m;
}

} // namespace plot
