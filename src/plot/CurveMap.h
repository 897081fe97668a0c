#pragma once
// Where each sample of a curve lands on a graph, as the real-time graph and
// the logger plot both place it: the reading is quantised, mapped onto the
// unzoomed plot by the axis values of level 0, and brought to the current
// zoom level by the composed affine map of ZoomChain.h.
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
    // y of a quantised reading q on the unzoomed plot: baseH - (q - axisBottom)
    // * yScale; on the current level: ay * that + by.
    double baseH = 0;
    double axisBottom = 0;
    double yScale = 0;
    double ay = 1;
    double by = 0;
    KirTenths kir = KirTenths::Cut;

    double x(int sample) const { return dx * (double(sample) + shift) + X0; }
    double y(int channel, float stored, bool fahrenheit) const
    {
        const double q = quantised(channel, stored, fahrenheit, kir);
        const double unzoomed = baseH - (q - axisBottom) * yScale;
        return ay * unzoomed + by;
    }
};

} // namespace plot
