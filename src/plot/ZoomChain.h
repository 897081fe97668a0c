#pragma once
// Rubber-band zoom as every graph of a run does it: each level is the
// previous one seen through the rectangle the user dragged on it, so the
// whole chain from the unzoomed picture to the current level is one affine
// map per axis. Composing the maps at each repaint takes the place of a
// table of every sample's position at every level.
#include "plot/PlotScale.h"

#include <array>

namespace plot {

inline constexpr int kMaxZoomLevels = 100;
inline constexpr int kMaxZoomDepth = kMaxZoomLevels - 1; // deepest level reachable

// One selection, as fractions of the plot's width and height: the master
// copy, so that a resized plot keeps every zoom.
struct ZoomStep {
    double fStartX = 0, fStartY = 0, fEndX = 0, fEndY = 0;
};
using ZoomStack = std::array<ZoomStep, kMaxZoomLevels>;

// Where a selection lies on the plot in pixels, normalised so start <= end.
struct ZoomCorners {
    float sx = 0, sy = 0, ex = 0, ey = 0;
};

// Maps one level's picture to the plot: x = X0 + dx * (sample + shift),
// relative to the plot's left edge, and y = ay * y0 + by where y0 is the
// sample's unzoomed y relative to the plot's top.
struct LevelTransform {
    double X0 = 0;  // plot x of sample 0 (no shift)
    double dx = 0;  // pixels per sample
    double ay = 1;  // y scale relative to level 0
    double by = 0;  // y offset relative to level 0
};

struct PlotRect {
    int left = 0, top = 0, width = 0, height = 0;
    int right() const { return left + width; }
    int bottom() const { return top + height; }
    bool usable() const { return width > 0 && height > 0; }
    bool operator==(const PlotRect&) const = default;
};

// Composes level 0 -> `level` from the stacked selections. Fills the axis
// values of levels 0..level (axis[0] must hold level 0's on entry) and the
// pixel corners of selections 0..level-1.
LevelTransform composeLevels(const ZoomStack& stack, int level, const PlotRect& plot, LevelTransform base,
                             AxisValues* axis, ZoomCorners* corners);

// The axis values at a selection's lower edge and one tenth of its height
// above it, from the level's own axis values: a level is worth entering
// only when that tenth spans more than 0.1 value units.
struct SelectionSpan {
    double bottom = 0;
    double tenth = 0;
};
SelectionSpan selectionSpan(const AxisValues& level, const PlotRect& plot, double startY, double endY);

// Truncation toward zero that stays defined for coordinates far off the plot.
int truncClamped(double v);

// The sample nearest to view x at a level (floor, so a pointer left of
// sample 0 in a shifted view finds no sample); may lie outside the run.
// -1 when the level has no usable sample step.
int nearestSample(const LevelTransform& tf, int plotLeft, int x, int shift);

} // namespace plot
