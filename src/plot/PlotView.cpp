#include "plot/PlotView.h"

#include "plot/PlotFrame.h"

#include <algorithm>
#include <cmath>

namespace plot {

namespace {

bool usable(double dx) { return dx > 0 && std::isfinite(dx); }

// A corner as fractions of the level's unshifted picture, so that a band
// dragged over scrolled curves zooms into what was under it.
void storeCorner(const ViewState& st, const PlotFrame& last, QPoint p, double& fx, double& fy)
{
    const PlotRect& g = last.plot;
    const double shiftPx = st.bAutoMode ? 0.0 : last.tf.dx * st.nScrollShift;
    fx = g.width > 0 ? (p.x() - g.left - shiftPx) / g.width : 0.0;
    fy = g.height > 0 ? double(p.y() - g.top) / g.height : 0.0;
}

ZoomStep& currentStep(ViewState& st)
{
    return st.zoomStack[size_t(std::clamp(int(st.nZoomLevel), 0, kMaxZoomDepth))];
}

} // namespace

void settleLive(ViewState& st, int count, int W)
{
    LiveCompression& live = st.live;
    // A new run's first reading starts over in auto mode.
    if (count == 1) {
        live.nCapacity = kStartCapacity;
        live.fZoomBasePixelsPerSample = live.fPixelsPerSample;
        st.nZoomLevel = 0;
        st.bAutoMode = 1;
        st.nScrollShift = 0;
    }
    if (W > 0) {
        live.fPixelsPerSample = static_cast<float>(W) / static_cast<float>(live.nCapacity - 1);
        // Compression: the run outgrew the width; leave one twelfth free.
        bool compressed = false;
        while (count >= live.nCapacity + 1) {
            const float step = static_cast<float>((W - W / 12.0) / live.nCapacity);
            live.nCapacity = truncClamped(W / static_cast<double>(step) + 1);
            compressed = true;
        }
        if (compressed)
            live.fPixelsPerSample = static_cast<float>(W) / static_cast<float>(live.nCapacity - 1);
    }
    // Level-0 base step: auto mode follows the live scale, zoom mode keeps
    // the capacity the run had when zooming began.
    if (count >= 1 && W > 0) {
        if (st.bAutoMode) {
            live.fZoomBasePixelsPerSample = live.fPixelsPerSample;
            live.nZoomBaseCapacity = live.nCapacity;
        } else {
            const int cap = live.nZoomBaseCapacity >= 2 ? live.nZoomBaseCapacity : live.nCapacity;
            live.fZoomBasePixelsPerSample = static_cast<float>(W) / static_cast<float>(cap - 1);
        }
    }
}

bool keepFirstVisible(ViewState& st, const PlotFrame& f)
{
    if (st.bFirstVisibleSet || f.autoMode || !f.hasRun || f.count == 0 || !f.usableStep() || !f.plot.usable())
        return false;
    st.nFirstVisible = f.firstVisible;
    st.bFirstVisibleSet = 1;
    return true;
}

QPoint clampToPlot(const PlotRect& g, QPoint p)
{
    return {std::clamp(p.x(), g.left, std::max(g.left, g.right())),
            std::clamp(p.y(), g.top, std::max(g.top, g.bottom()))};
}

bool insideWatchBox(const PlotRect& g, const PlotPolicy& policy, QPoint p)
{
    const Margins& m = policy.watchBox;
    return g.left - m.left < p.x() && p.x() < g.right() + m.right && g.top - m.top < p.y()
        && p.y() < g.bottom() + m.bottom;
}

int nearestSample(const PlotFrame& last, int x)
{
    if (!last.usableStep())
        return last.count == 1 ? 0 : -1;  // no step to measure by: the one sample is under the cursor
    return plot::nearestSample(last.tf, last.plot.left, x, last.shift);
}

bool moveCursor(ViewState& st, const PlotFrame& last, const PlotPolicy& policy, int x)
{
    const PlotRect& g = last.plot;
    if (policy.cursorHeldAtEdge)
        x = std::clamp(x, g.left, std::max(g.left, g.right() + policy.cursorReach));
    else if (!(g.left <= x && x <= g.right() + policy.cursorReach))
        return false;
    st.nCursorSample = nearestSample(last, x);
    st.nCursorX = x;
    st.bCursorHidden = 0;
    return true;
}

void bandPress(ViewState& st, const PlotFrame& last, QPoint pointer)
{
    const QPoint p = clampToPlot(last.plot, pointer);
    ZoomStep& z = currentStep(st);
    storeCorner(st, last, p, z.fStartX, z.fStartY);
    st.ptAnchor = st.ptLast = p;
    st.bBandActive = 1;
    st.bBandUnmoved = 1;
}

bool bandMove(ViewState& st, const PlotFrame& last, QPoint pointer)
{
    if (!st.bBandActive)
        return false;
    st.bDragging = true;
    const QPoint p = clampToPlot(last.plot, pointer);
    const bool changed = p != st.ptLast;
    if (p != st.ptAnchor)
        st.bBandUnmoved = 0;
    st.ptLast = p;
    return changed;
}

bool nextLevelAccepted(const PlotFrame& last, const PlotPolicy& policy, QPoint start, QPoint end,
                       const ZoomStep& selection)
{
    const PlotRect& g = last.plot;
    const double dx = last.tf.dx;
    if (last.level >= kMaxZoomDepth || !usable(dx) || !g.usable())
        return false;
    // A purely vertical drag has no width to spread across the plot.
    if (start.x() == end.x())
        return false;
    // Taken as dragged, an upward band has a negative height.
    double sy = start.y(), ey = end.y();
    if (policy.bandAnyDirection && sy > ey)
        std::swap(sy, ey);
    const SelectionSpan span = selectionSpan(last.yValue, g, sy, ey);
    if (!(span.tenth - span.bottom > 0.1))
        return false;
    if (policy.stepLimit == StepLimit::StepNarrowerThanPlot)
        return dx < g.width;
    const double widthFraction = std::fabs(selection.fEndX - selection.fStartX);
    return widthFraction > 0 && dx / widthFraction <= g.width;
}

bool bandRelease(ViewState& st, const PlotFrame& last, const PlotPolicy& policy, QPoint pointer)
{
    const QPoint p = clampToPlot(last.plot, pointer);
    ZoomStep& z = currentStep(st);
    storeCorner(st, last, p, z.fEndX, z.fEndY);
    st.bBandActive = 0;
    st.bDragging = false;
    if (st.bBandUnmoved || !last.hasRun)
        return false;
    if (nextLevelAccepted(last, policy, st.ptAnchor, p, z)) {
        st.nZoomLevel = static_cast<uint8_t>(std::clamp(int(st.nZoomLevel), 0, kMaxZoomDepth) + 1);
        // The selection's fractions already hold the shift.
        st.nScrollShift = 0;
    }
    // Accepted or not, the zoomed picture follows.
    st.bAutoMode = 0;
    st.bFirstVisibleSet = 0;
    st.bBandUnmoved = 1;
    return true;
}

bool bandWatch(ViewState& st, const PlotFrame& last, const PlotPolicy& policy, QPoint pointer)
{
    if (!st.bBandActive || insideWatchBox(last.plot, policy, pointer))
        return false;
    st.bBandActive = 0;
    st.bDragging = false;
    st.bBandUnmoved = 1;
    return true;
}

void undoZoom(ViewState& st)
{
    st.bAutoMode = 1;
    st.nZoomLevel = 0;
    st.nScrollShift = 0;
    st.bCursorHidden = 1;
    st.bBandUnmoved = 1;
    st.live.fZoomBasePixelsPerSample = st.live.fPixelsPerSample;
}

void stepBack(ViewState& st)
{
    if (st.bAutoMode)
        return;
    if (st.nZoomLevel == 0) {
        undoZoom(st);
        return;
    }
    st.nZoomLevel = static_cast<uint8_t>(std::min(int(st.nZoomLevel), kMaxZoomDepth) - 1);
    st.nScrollShift = 0;
    st.bFirstVisibleSet = 0;
    st.bCursorHidden = 1;
}

void scrollTo(ViewState& st, int position)
{
    st.nScrollShift = st.nFirstVisible - position;
}

int scrollPosition(const ViewState& st)
{
    return st.nFirstVisible - st.nScrollShift;
}

} // namespace plot
