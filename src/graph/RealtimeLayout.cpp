#include "graph/RealtimeLayout.h"

#include <algorithm>
#include <cmath>

using plot::truncClamped;

namespace {

bool usableStep(double dx) { return dx > 0 && std::isfinite(dx); }

} // namespace

PlotGeometry PlotGeometry::fromClient(int width, int height, Rect frameClient)
{
    PlotGeometry g;
    g.T = frameClient.y;
    g.FR = frameClient.x + frameClient.w;
    g.FB = frameClient.y + frameClient.h;
    g.R = width;
    g.B = height;
    g.x1 = g.R - 50;
    g.y1 = g.B - 200;
    g.W = g.x1 - g.x0;
    g.H = g.y1 - g.y0;
    return g;
}

GraphPoint PlotGeometry::clamp(int x, int y) const
{
    GraphPoint p {x, y};
    if (p.x < x0)
        p.x = x0;
    if (p.x > x1)
        p.x = x1;
    if (p.y < y0)
        p.y = y0;
    if (p.y > y1)
        p.y = y1;
    return p;
}

int yTickY(int H, int i) { return H + 23 - static_cast<int>(std::floor(i * (H - 1) / 10.0)); }
int yLabelX(float value) { return static_cast<int>(plot::yLabelIndent(value) * 7.5 + 2.0); }
int yLabelY(int H, int i) { return H + 16 - static_cast<int>(std::floor(i * (H - 2) / 10.0)); }

plot::CurveMap curveMap(const GraphFrame& f)
{
    plot::CurveMap m;
    m.X0 = f.tf.X0;
    m.dx = f.tf.dx;
    m.shift = f.autoMode ? 0 : f.scrollShift;
    m.baseH = f.geo.H;
    m.axisBottom = f.axisBottom;
    m.yScale = f.liveScale;
    m.ay = f.tf.ay;
    m.by = f.tf.by;
    m.kir = plot::KirTenths::Cut;
    return m;
}

double plotY(const GraphFrame& f, int channel, float stored, bool fahrenheit)
{
    return curveMap(f).y(channel, stored, fahrenheit);
}

void settleScale(GraphState& st, int count, int W)
{
    // A new run's first reading starts over in auto mode.
    if (count == 1) {
        st.nCapacity = kStartCapacity;
        st.fZoomBasePixelsPerSample = st.fPixelsPerSample;
        st.nZoomLevel = 0;
        st.bAutoMode = 1;
        st.nScrollShift = 0;
    }
    if (W > 0) {
        st.fPixelsPerSample = static_cast<float>(W) / static_cast<float>(st.nCapacity - 1);
        // Compression: the run outgrew the width; leave one twelfth free.
        bool compressed = false;
        while (count >= st.nCapacity + 1) {
            const float step = static_cast<float>((W - W / 12.0) / st.nCapacity);
            st.nCapacity = truncClamped(W / static_cast<double>(step) + 1);
            compressed = true;
        }
        if (compressed)
            st.fPixelsPerSample = static_cast<float>(W) / static_cast<float>(st.nCapacity - 1);
    }
    // Level-0 base step: auto mode follows the live scale, zoom mode keeps
    // the capacity the run had when zooming began.
    if (count >= 1 && W > 0) {
        if (st.bAutoMode) {
            st.fZoomBasePixelsPerSample = st.fPixelsPerSample;
            st.nZoomBaseCapacity = st.nCapacity;
        } else {
            const int cap = st.nZoomBaseCapacity >= 2 ? st.nZoomBaseCapacity : st.nCapacity;
            st.fZoomBasePixelsPerSample = static_cast<float>(W) / static_cast<float>(cap - 1);
        }
    }
}

namespace {

void autoModeMarks(const GraphState& st, const RunInfo& run, GraphFrame& f)
{
    const PlotGeometry& g = f.geo;
    const int s12 = truncClamped((g.W / 12) / static_cast<double>(st.fPixelsPerSample));
    if (f.count > 0) {
        for (int i = 0; i <= 13; ++i)
            f.gridX[f.nGridX++] = truncClamped(s12 * i * static_cast<double>(st.fPixelsPerSample));
    }
    const int64_t u = run.interval;
    f.tAxisTime[0] = run.start;
    for (int k = 1; k <= 4; ++k)
        f.tAxisTime[k] = run.start + int64_t(s12) * u * 3 * k;
    if (f.count >= 1) {
        f.timeLabelShown[0] = 1;
        f.timeLabelX[0] = g.x0 + 2;
        for (int k = 1; k <= 4; ++k) {
            f.timeLabelShown[k] = 1;
            f.timeLabelX[k] = truncClamped(s12 * static_cast<double>(st.fPixelsPerSample) * 3 * k + g.x0);
        }
    }
}

void zoomModeMarks(const GraphState& st, const RunInfo& run, GraphFrame& f)
{
    const PlotGeometry& g = f.geo;
    const double X0 = f.tf.X0, dx = f.tf.dx;
    if (!usableStep(dx))
        return;
    const int shift = st.nScrollShift;
    f.firstVisible = st.bFirstVisibleSet ? st.nFirstVisible : truncClamped(shift - (shift * dx + X0) / dx);
    const int fv = f.firstVisible;
    const int64_t u = run.interval;
    f.tAxisTime[0] = run.start + int64_t(fv - shift) * u;

    const int n = truncClamped(g.W / dx);
    int step = 1;
    if (n >= 4)
        step = truncClamped((g.W / 4) / dx);
    else if (n == 3)
        step = truncClamped((g.W / 3) / dx);
    else if (n == 2)
        step = truncClamped((g.W / 2) / dx);
    // Integer division of W can leave the step just under one sample.
    if (step < 1)
        step = 1;
    const int64_t t0 = f.tAxisTime[0];
    for (int j = 0; j < kTimeMarks; ++j) {
        f.gridX[f.nGridX++] = truncClamped((double(step) * j + fv) * dx + X0);
        f.nAxisSample[j] = fv + step * j;
        f.tAxisTime[j] = t0 + int64_t(step) * j * u;
        const double x = dx * f.nAxisSample[j] + g.x0 + X0;
        if (f.count >= 1 && g.x0 <= x && x <= g.x1) {
            f.timeLabelShown[j] = 1;
            f.timeLabelX[j] = truncClamped(x);
        }
    }
}

} // namespace

void layoutFrame(const GraphState& st, const PlotGeometry& geo, const RunInfo& run, YScaleValues scale,
                 GraphFrame& f)
{
    f.geo = geo;
    f.count = run.count;
    f.nGridX = 0;
    std::fill(std::begin(f.gridX), std::end(f.gridX), 0);
    std::fill(std::begin(f.tAxisTime), std::end(f.tAxisTime), 0);
    std::fill(std::begin(f.nAxisSample), std::end(f.nAxisSample), 0);
    std::fill(std::begin(f.timeLabelX), std::end(f.timeLabelX), 0);
    std::fill(std::begin(f.timeLabelShown), std::end(f.timeLabelShown), 0);
    f.firstVisible = st.nFirstVisible;
    const int W = geo.W, H = geo.H;

    f.axis[0] = plot::axisValues(scale);
    f.autoMode = st.bAutoMode != 0;
    f.axisBottom = f.axis[0][0];
    const double range = double(f.axis[0][10]) - f.axis[0][0];
    f.liveScale = range != 0 ? H / range : 0;

    if (f.count == 0) {
        for (int i = 0; i <= 12; ++i)
            f.gridX[f.nGridX++] = i * W / 12;
    }
    for (int i = 1; i <= kAxisDivisions; ++i)
        f.gridY[i - 1] = truncClamped(i * H * 0.1);

    if (f.autoMode) {
        f.level = 0;
        f.scrollShift = 0;
        f.tf = plot::LevelTransform {0, st.fPixelsPerSample, 1, 0};
        if (W > 0 && st.fPixelsPerSample > 0)
            autoModeMarks(st, run, f);
    } else {
        f.level = st.nZoomLevel;
        f.scrollShift = st.nScrollShift;
        f.tf = plot::composeLevels(st.zoomStack, f.level, geo.plotRect(),
                                   plot::LevelTransform {0, st.fZoomBasePixelsPerSample, 1, 0}, f.axis, f.corners);
        if (W > 0 && H > 0)
            zoomModeMarks(st, run, f);
    }
    f.yValue = f.axis[f.level];
}

void keepFirstVisible(GraphState& st, const GraphFrame& frame)
{
    if (!st.bFirstVisibleSet && !frame.autoMode && usableStep(frame.tf.dx) && frame.geo.usable()) {
        st.nFirstVisible = frame.firstVisible;
        st.bFirstVisibleSet = 1;
    }
}

int nearestSample(const GraphState& st, const GraphFrame& last, int x)
{
    return plot::nearestSample(last.tf, last.geo.x0, x, st.bAutoMode ? 0 : st.nScrollShift);
}

void bandPress(GraphState& st, const GraphFrame& last, const PlotGeometry& geo, GraphPoint p)
{
    plot::ZoomStep& s = st.zoomStack[st.nZoomLevel];
    // Fractions of the unshifted picture of this level, so a selection made
    // in a scrolled view zooms into what was under the band.
    const double shiftPx = st.bAutoMode ? 0.0 : last.tf.dx * st.nScrollShift;
    s.fStartX = geo.W > 0 ? (p.x - geo.x0 - shiftPx) / geo.W : 0.0;
    s.fStartY = geo.H > 0 ? double(p.y - geo.y0) / geo.H : 0.0;
    st.ptPress = st.ptAnchor = st.ptLast = p;
    st.bBandActive = 1;
    st.bBandUnmoved = 1;
}

bool bandMove(GraphState& st, GraphPoint p)
{
    if (!st.bBandActive)
        return false;
    st.bDragging = true;
    const bool changed = !(p == st.ptLast);
    if (!(p == st.ptAnchor))
        st.bBandUnmoved = 0;
    st.ptLast = p;
    return changed;
}

bool bandRelease(GraphState& st, const GraphFrame& last, const PlotGeometry& geo, GraphPoint p)
{
    const int L = st.nZoomLevel;
    plot::ZoomStep& s = st.zoomStack[size_t(L)];
    const double shiftPx = st.bAutoMode ? 0.0 : last.tf.dx * st.nScrollShift;
    s.fEndX = geo.W > 0 ? (p.x - geo.x0 - shiftPx) / geo.W : 0.0;
    s.fEndY = geo.H > 0 ? double(p.y - geo.y0) / geo.H : 0.0;
    st.bBandActive = 0;
    st.bDragging = false;
    if (st.bBandUnmoved)
        return false;

    const float startX = float(std::min(st.ptPress.x, p.x)), endX = float(std::max(st.ptPress.x, p.x));
    const float startY = float(std::min(st.ptPress.y, p.y)), endY = float(std::max(st.ptPress.y, p.y));
    if (geo.W > 0 && geo.H > 0) {
        const plot::SelectionSpan span = plot::selectionSpan(last.axis[L], geo.plotRect(), startY, endY);
        // A level needs a tenth of more than 0.1 value units, some width, and
        // at most one sample step across the whole plot.
        const double widthFraction = std::fabs(s.fEndX - s.fStartX);
        const bool wide = widthFraction > 0 && endX > startX && last.tf.dx / widthFraction <= geo.W;
        if (L < plot::kMaxZoomDepth && span.tenth - span.bottom > 0.1 && wide) {
            st.nZoomLevel = static_cast<uint8_t>(L + 1);
            // The selection's fractions already include the shift.
            st.nScrollShift = 0;
        }
    }
    st.bAutoMode = 0;
    st.bFirstVisibleSet = 0;
    st.bBandUnmoved = 1;
    return true;
}

bool bandWatch(GraphState& st, const PlotGeometry& geo, int x, int y)
{
    if (geo.inSurroundings(x, y) || !st.bBandActive)
        return false;
    st.bBandActive = 0;
    st.bDragging = false;
    st.bBandUnmoved = 1;
    return true;
}

void undoZoom(GraphState& st)
{
    st.nZoomLevel = 0;
    st.bAutoMode = 1;
    st.fZoomBasePixelsPerSample = st.fPixelsPerSample;
    st.nScrollShift = 0;
}

void scrollTo(GraphState& st, int position) { st.nScrollShift = st.nFirstVisible - position; }

int scrollPosition(const GraphState& st) { return st.nFirstVisible - st.nScrollShift; }
