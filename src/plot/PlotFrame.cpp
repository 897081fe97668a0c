#include "plot/PlotFrame.h"

#include <algorithm>
#include <cmath>

namespace plot {

namespace {

bool usable(double dx) { return dx > 0 && std::isfinite(dx); }

// A k-th part of the plot's width: W div k in whole pixels, else W times
// 1/k taken in single precision, as the logger always took it.
double plotPart(int W, int k, bool wholePixels)
{
    return wholePixels ? double(W / k) : W * double(1.0f / float(k));
}

// x of a vertical line through sample position `at` (unshifted), from the
// plot's left edge, cut to a whole pixel from the policy's origin.
int lineX(const PlotFrame& f, const PlotPolicy& policy, double at)
{
    if (policy.pixels == PixelOrigin::Plot)
        return truncClamped(f.tf.dx * at + f.tf.X0);
    return truncClamped((f.plot.left + f.tf.X0) + f.tf.dx * at) - f.plot.left;
}

// Window x of a time label at sample position `at` (unshifted).
double labelX(const PlotFrame& f, double at)
{
    return (f.plot.left + f.tf.X0) + f.tf.dx * at;
}

void fullViewTime(const RunInfo* run, const PlotPolicy& policy, PlotFrame& f)
{
    const PlotRect& p = f.plot;
    const int W = p.width, D = std::max(policy.divisions, 1);
    if (policy.fullView == FullViewTime::Divisions && f.count > 0) {
        // Lines on whole samples: a division holds as many samples as fit
        // in its width; one line more than the divisions, beyond the right
        // edge when the run was compressed.
        if (!(W > 0 && usable(f.tf.dx)))
            return;
        const int perDivision = truncClamped(plotPart(W, D, policy.wholePixelParts) / f.tf.dx);
        for (int i = 0; i <= D + 1 && f.nGridX < kMaxGridX; ++i)
            f.gridX[f.nGridX++] = lineX(f, policy, double(perDivision * i));
        const int every = std::max(policy.labelEvery, 1);
        for (int k = 0; k * every <= D && k < kTimeMarks; ++k) {
            const int at = perDivision * every * k;
            f.timeShown[k] = 1;
            f.timeX[k] = k == 0 ? p.left + policy.firstLabelInset : truncClamped(labelX(f, at));
            f.timeOf[k] = run->start + int64_t(at) * run->interval;
        }
        return;
    }
    // Plain divisions, both edges included.
    for (int i = 0; i <= D && f.nGridX < kMaxGridX; ++i)
        f.gridX[f.nGridX++] = i * W / D;
    if (policy.fullView == FullViewTime::RunEnds && run) {
        f.timeShown[0] = 1;
        f.timeX[0] = p.left;
        f.timeOf[0] = run->start;
        f.timeShown[1] = 1;
        f.timeX[1] = p.right() - policy.endLabelInset;
        f.timeOf[1] = run->start + int64_t(run->interval) * std::max(f.count - 1, 0);
    }
}

void zoomedTime(const ViewState& st, const RunInfo& run, const PlotPolicy& policy, PlotFrame& f)
{
    const PlotRect& p = f.plot;
    const double dx = f.tf.dx;
    const int n = f.count;
    f.firstVisible = st.bFirstVisibleSet ? st.nFirstVisible : truncClamped(-f.tf.X0 / dx);
    const int first = f.firstVisible;
    const int64_t u = run.interval;
    const int64_t t0 = run.start + int64_t(first - f.shift) * u;
    // Sample spacings across the plot: one mark per sample while a step
    // spans the plot, else a quarter (a third, half) of the plot's samples.
    const int spans = truncClamped(p.width / dx);
    int step = 1;
    if (spans >= 2)
        step = std::max(truncClamped(plotPart(p.width, std::min(spans, 4), policy.wholePixelParts) / dx), 1);
    f.markStep = step;
    for (int j = 0; j < kTimeMarks; ++j) {
        const int at = first + j * step;
        if (!(policy.marksWithinRun && spans <= 1 && at >= n))
            f.gridX[f.nGridX++] = lineX(f, policy, at);
        // The sample drawn at the mark: the curves are shifted right.
        const int sample = at - f.shift;
        const bool inRun = at < n && sample >= 0 && sample < n;
        const double x = labelX(f, at);
        f.timeOf[j] = t0 + int64_t(j) * step * u;
        if (n >= 1 && p.left <= x && x <= p.right() && (inRun || !policy.marksWithinRun)) {
            f.timeShown[j] = 1;
            f.timeX[j] = truncClamped(x);
        }
    }
}

// Each limit of a marked channel at the row its value maps to, when that
// row lies within the plot's picture (and the zoom level's Y range).
void layoutLimits(const LimitInputs& in, PlotFrame& f)
{
    f.nLimits = 0;
    if (!f.hasRun || f.map.yScale == 0)
        return;
    for (int c = 0; c < kChannelCount; ++c) {
        if (!in.channels[size_t(c)])
            continue;
        for (const float limit : {in.high[size_t(c)], in.low[size_t(c)]}) {
            const double y = f.map.yOfValue(double(limit));
            // Above the picture's top edge is outside the range, even where
            // the cut toward zero would give row 0.
            if (!std::isfinite(y) || y < f.mapOrigin.y())
                continue;
            const int row = truncClamped(y) - f.mapOrigin.y();
            if (row >= 0 && row < f.image.height && f.nLimits < kMaxLimitLines)
                f.limits[f.nLimits++] = {c, row};
        }
    }
}

} // namespace

bool PlotFrame::usableStep() const
{
    return usable(tf.dx);
}

void layoutFrame(const ViewState& st, QSize window, const RunInfo* run, YScaleValues scale, const PlotPolicy& policy,
                 PlotFrame& f, const LimitInputs& limits)
{
    f.window = window;
    f.plot = policy.plotRect(window);
    const PlotRect& p = f.plot;
    const int W = p.width, H = p.height;
    f.image = {p.left, p.top, std::max(W, 0), H >= 0 ? H + (policy.bottomRowIsPlot ? 1 : 0) : 0};
    f.hasRun = run != nullptr;
    f.autoMode = st.bAutoMode != 0;
    f.count = run ? std::clamp(run->count, 0, kMaxSamples) : 0;
    f.level = f.autoMode ? 0 : std::clamp(int(st.nZoomLevel), 0, kMaxZoomDepth);
    f.shift = f.autoMode ? 0 : st.nScrollShift;
    f.firstVisible = st.nFirstVisible;
    f.markStep = 0;
    f.nGridX = 0;
    std::fill(std::begin(f.gridX), std::end(f.gridX), 0);
    std::fill(std::begin(f.timeShown), std::end(f.timeShown), 0);
    std::fill(std::begin(f.timeX), std::end(f.timeX), 0);
    std::fill(std::begin(f.timeOf), std::end(f.timeOf), 0);

    // Level 0 from the policy's base, then the zoom chain to `level`.
    const int n = f.count;
    LevelTransform base {0, 0, 1, 0};
    if (policy.level0 == Level0::LiveCompression)
        base.dx = f.autoMode ? st.live.fPixelsPerSample : st.live.fZoomBasePixelsPerSample;
    else
        base.dx = n >= 2 ? double(W) / (n - 1) : 0.0;
    f.axis[0] = axisValues(scale);
    f.tf = composeLevels(st.zoomStack, f.level, p, base, f.axis, f.corners);
    f.yValue = f.axis[f.level];

    const double range = double(f.axis[0][10]) - f.axis[0][0];
    f.mapOrigin = policy.pixels == PixelOrigin::Window ? QPoint(p.left, p.top) : QPoint();
    CurveMap& m = f.map;
    m = CurveMap {};
    m.X0 = f.mapOrigin.x() + f.tf.X0;
    m.dx = f.tf.dx;
    m.shift = f.shift;
    m.baseH = H;
    m.axisBottom = f.axis[0][0];
    m.yScale = range != 0 ? H / range : 0;
    m.ay = f.tf.ay;
    m.by = f.mapOrigin.y() + f.tf.by;
    m.kir = policy.kir;

    for (int i = 0; i <= kAxisDivisions; ++i)
        f.gridY[i] = truncClamped(i * H * 0.1);
    layoutLimits(limits, f);

    // An empty run keeps the plain divisions, zoomed or not: nothing to mark.
    if (f.autoMode || (n == 0 && policy.fullView == FullViewTime::Divisions))
        fullViewTime(run, policy, f);
    else if (run && p.usable() && f.usableStep())
        zoomedTime(st, *run, policy, f);
}

} // namespace plot
