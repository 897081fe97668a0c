#include "plot/ZoomChain.h"

#include <cmath>
#include <utility>

namespace plot {

int truncClamped(double v)
{
    constexpr double kLimit = 1.0e9;
    if (!(v > -kLimit))
        return v != v ? 0 : -static_cast<int>(kLimit);
    if (v > kLimit)
        return static_cast<int>(kLimit);
    return static_cast<int>(v);
}

LevelTransform composeLevels(const ZoomStack& stack, int level, const PlotRect& plot, LevelTransform tf,
                             AxisValues* axis, ZoomCorners* corners)
{
    const int W = plot.width, H = plot.height;
    for (int j = 0; j < level; ++j) {
        const ZoomStep& z = stack[size_t(j)];
        float sx = static_cast<float>(plot.left + W * z.fStartX);
        float sy = static_cast<float>(plot.top + H * z.fStartY);
        float ex = static_cast<float>(plot.left + W * z.fEndX);
        float ey = static_cast<float>(plot.top + H * z.fEndY);
        if (sx > ex)
            std::swap(sx, ex);
        if (sy > ey)
            std::swap(sy, ey);
        corners[j] = {sx, sy, ex, ey};

        if (ex > sx) {
            const double kx = W / (static_cast<double>(ex) - sx);
            tf.X0 = (tf.X0 - (sx - plot.left)) * kx;
            tf.dx *= kx;
        }
        if (ey > sy) {
            const double ky = H / (static_cast<double>(ey) - sy);
            tf.ay *= ky;
            tf.by = (tf.by - (sy - plot.top)) * ky;
        }
        const AxisValues& a = axis[j];
        AxisValues& next = axis[j + 1];
        for (int i = 0; i <= kAxisDivisions; ++i)
            next[size_t(i)] = static_cast<float>(a[0] + (plot.bottom() - ey + i * (ey - sy) * 0.1) * (a[10] - a[0]) / H);
    }
    return tf;
}

SelectionSpan selectionSpan(const AxisValues& a, const PlotRect& plot, double sy, double ey)
{
    const double H = plot.height;
    SelectionSpan s;
    s.bottom = a[0] + (plot.bottom() - ey) * (a[10] - a[0]) / H;
    s.tenth = a[0] + ((ey - sy) * 0.1 + (plot.bottom() - ey)) * (a[10] - a[0]) / H;
    return s;
}

int nearestSample(const LevelTransform& tf, int plotLeft, int x, int shift)
{
    const double X0 = tf.X0, dx = tf.dx;
    if (!(dx > 0 && std::isfinite(dx)))
        return -1;
    int n = truncClamped(std::floor((x - X0 - plotLeft) / dx - shift));
    auto xs = [&](int k) { return plotLeft + X0 + dx * (double(k) + shift); };
    if (x - xs(n) > xs(n + 1) - x)
        ++n;
    return n;
}

} // namespace plot
