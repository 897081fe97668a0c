#pragma once
// One repaint of a run plot, laid out before any pixel is drawn: where the
// plot lies, the level's map from samples to pixels, the Y labels, the value
// grid, the vertical grid and the time labels, the first visible sample.
// layoutFrame() fills it from the view state, the window's size, the run,
// the Y scale and the graph's policy, for the real-time graph and the
// logger plot alike; a renderer draws it (widgets/PlotRenderer.h) and the
// interaction functions of PlotView.h measure against it. Fixed size.
#include "plot/CurveMap.h"
#include "plot/PlotPolicy.h"
#include "plot/PlotView.h"
#include "plot/ZoomChain.h"
#include "run/RunInfo.h"

#include <QPoint>
#include <QSize>
#include <cstdint>

namespace plot {

// Vertical grid lines: the unzoomed picture's divisions (up to 15, with
// both edges) or the zoomed picture's ten time marks.
inline constexpr int kMaxGridX = 16;
inline constexpr int kTimeMarks = 10;

// The alarm limits a plot marks: each channel's high and low limit as the
// alarms compare them, plain numbers in the unit the run is shown in (a run
// in degrees F draws its curves converted, and the limits stand beside
// those values as they are), for the channels in `channels` only.
struct LimitInputs {
    CurveSet channels {};  // none: no limit lines
    ChannelValues high {};
    ChannelValues low {};
};

// A limit line: a dashed row of the plot's picture in its curve's colour.
struct LimitLine {
    int channel = 0;
    int row = 0;  // from the top of the plot's picture
    bool operator==(const LimitLine&) const = default;
};
inline constexpr int kMaxLimitLines = 2 * kChannelCount;

struct PlotFrame {
    // Where: window pixels.
    QSize window;
    PlotRect plot;            // the scale's rectangle: W x H
    PlotRect image;           // what the plot's picture covers: the plot, and its bottom row when the policy says so
    bool hasRun = false;      // a run is shown (the logger: a set is loaded)
    bool autoMode = true;     // the whole run at level 0
    int count = 0;            // samples of the run
    int level = 0;
    int shift = 0;            // applied to the curves (zoomed only)

    LevelTransform tf;        // level 0 -> level: x = X0 + dx * (s + shift), relative to the plot's top-left
    CurveMap map;             // the curves, in the policy's pixel origin
    QPoint mapOrigin;         // the map's coordinates of the plot's top-left corner

    AxisValues axis[kMaxZoomLevels] = {};        // levels 0..level
    ZoomCorners corners[kMaxZoomLevels] = {};    // selections 0..level-1, window pixels
    AxisValues yValue {};     // the Y labels shown: the axis values of `level`

    // The value grid's eleven lines: trunc(i x H x 0.1) below the plot's top.
    int gridY[kAxisDivisions + 1] = {};
    // Vertical grid lines, x from the plot's left edge.
    int nGridX = 0;
    int gridX[kMaxGridX] = {};

    // The time axis: label j stands at window x timeX[j] when shown and names
    // the time timeOf[j].
    uint8_t timeShown[kTimeMarks] = {};
    int timeX[kTimeMarks] = {};
    int64_t timeOf[kTimeMarks] = {};
    int firstVisible = 0;     // sample at the zoomed plot's left edge, unshifted
    int markStep = 0;         // samples between two zoomed time marks

    // The limit lines that fall within the plot's picture at this level, cut
    // to whole rows as the curves are: a reading at a limit lies on its line.
    int nLimits = 0;
    LimitLine limits[kMaxLimitLines] = {};

    // One sample step in pixels that a level can be built on.
    bool usableStep() const;
};

// Lays out one repaint. `run` is null when the window shows no run (the
// logger's empty table); without a run no limit line is drawn either. Reads
// only.
void layoutFrame(const ViewState& st, QSize window, const RunInfo* run, YScaleValues scale, const PlotPolicy& policy,
                 PlotFrame& out, const LimitInputs& limits = {});

} // namespace plot
