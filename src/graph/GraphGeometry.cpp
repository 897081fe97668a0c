#include "graph/GraphGeometry.h"

#include "app/RunState.h"

#include <cmath>

namespace {

// Truncation toward zero that stays defined for coordinates far off the plot.
int truncClamped(double v)
{
    constexpr double kLimit = 1.0e9;
    if (!(v > -kLimit))
        return v != v ? 0 : -static_cast<int>(kLimit);
    if (v > kLimit)
        return static_cast<int>(kLimit);
    return static_cast<int>(v);
}

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
    GraphPoint p{x, y};
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

int yLabelIndent(float v)
{
    if (v >= 0)
        return v < 10 ? 4 : v < 100 ? 3 : v < 1000 ? 2 : 1;
    return v > -10 ? 3 : v > -100 ? 2 : v > -1000 ? 1 : 0;
}

int yTickY(int H, int i) { return H + 23 - static_cast<int>(std::floor(i * (H - 1) / 10.0)); }
int yLabelX(float value) { return static_cast<int>(yLabelIndent(value) * 7.5 + 2.0); }
int yLabelY(int H, int i) { return H + 16 - static_cast<int>(std::floor(i * (H - 2) / 10.0)); }

double quantised(int channel, float stored, bool fahrenheit)
{
    const double v = toDisplayUnit(stored, channel, fahrenheit);
    return channel == kKir ? cutToTenth(v) : roundTenthAway(v);
}

double plotY(const GraphFrame& f, int channel, float stored, bool fahrenheit)
{
    const double live = f.geo.H - (quantised(channel, stored, fahrenheit) - f.axisBottom) * f.liveScale;
    return f.tf.ay * live + f.tf.by;
}

namespace {

// Level 0 -> level L: each level is the previous one seen through its
// selection, x' = (x - (sx - x0)) * W / (ex - sx) and y' likewise, so the
// whole chain is one affine map per axis. The axis values follow the same
// chain.
LevelTransform composeLevels(GraphState& st, const PlotGeometry& geo, LevelTransform tf)
{
    const int W = geo.W, H = geo.H;
    for (int j = 0; j < st.nZoomLevel; ++j) {
        ZoomStep& z = st.zoomStack[j];
        float sx = static_cast<float>(geo.x0 + W * z.fStartX);
        float sy = static_cast<float>(geo.y0 + H * z.fStartY);
        float ex = static_cast<float>(geo.x0 + W * z.fEndX);
        float ey = static_cast<float>(geo.y0 + H * z.fEndY);
        if (sx > ex)
            std::swap(sx, ex);
        if (sy > ey)
            std::swap(sy, ey);
        z.pxStartX = sx;
        z.pxStartY = sy;
        z.pxEndX = ex;
        z.pxEndY = ey;

        if (ex > sx) {
            const double kx = W / (static_cast<double>(ex) - sx);
            tf.X0 = (tf.X0 - (sx - geo.x0)) * kx;
            tf.dx *= kx;
        }
        if (ey > sy) {
            const double ky = H / (static_cast<double>(ey) - sy);
            tf.ay *= ky;
            tf.by = (tf.by - (sy - geo.y0)) * ky;
        }
        const float* a = st.fAxisValue[j];
        float* next = st.fAxisValue[j + 1];
        for (int i = 0; i <= kAxisDivisions; ++i)
            next[i] = static_cast<float>(a[0] + (geo.y1 - ey + i * (ey - sy) * 0.1) * (a[10] - a[0]) / H);
    }
    return tf;
}

void autoModeMarks(GraphState& st, const RunState& run, GraphFrame& f)
{
    const PlotGeometry& g = f.geo;
    const int s12 = truncClamped((g.W / 12) / static_cast<double>(st.fPixelsPerSample));
    if (f.count > 0) {
        for (int i = 0; i <= 13; ++i)
            f.gridX[f.nGridX++] = truncClamped(s12 * i * static_cast<double>(st.fPixelsPerSample));
    }
    const int64_t u = run.m_nSampleMs / 1000;
    st.tAxisTime[0] = run.m_tStart;
    for (int k = 1; k <= 4; ++k)
        st.tAxisTime[k] = run.m_tStart + int64_t(s12) * u * 3 * k;
    if (f.count >= 1) {
        f.timeLabelShown[0] = 1;
        f.timeLabelX[0] = g.x0 + 2;
        for (int k = 1; k <= 4; ++k) {
            f.timeLabelShown[k] = 1;
            f.timeLabelX[k] = truncClamped(s12 * static_cast<double>(st.fPixelsPerSample) * 3 * k + g.x0);
        }
    }
}

void zoomModeMarks(GraphState& st, GraphViewFields& view, const RunState& run, GraphFrame& f)
{
    const PlotGeometry& g = f.geo;
    const double X0 = f.tf.X0, dx = f.tf.dx;
    if (!usableStep(dx))
        return;
    const int shift = view.m_nScrollShift;
    if (!st.bFirstVisibleSet) {
        view.m_nFirstVisible = truncClamped(shift - (shift * dx + X0) / dx);
        st.bFirstVisibleSet = 1;
    }
    const int fv = view.m_nFirstVisible;
    const int64_t u = run.m_nSampleMs / 1000;
    st.tAxisTime[0] = run.m_tStart + int64_t(fv - shift) * u;

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
    const int64_t t0 = st.tAxisTime[0];
    for (int j = 0; j < kTimeMarks; ++j) {
        f.gridX[f.nGridX++] = truncClamped((double(step) * j + fv) * dx + X0);
        st.nAxisSample[j] = fv + step * j;
        st.tAxisTime[j] = t0 + int64_t(step) * j * u;
        const double x = dx * st.nAxisSample[j] + g.x0 + X0;
        if (f.count >= 1 && g.x0 <= x && x <= g.x1) {
            f.timeLabelShown[j] = 1;
            f.timeLabelX[j] = truncClamped(x);
        }
    }
}

} // namespace

void prepareFrame(GraphState& st, GraphViewFields& view, RunState& run, const PlotGeometry& geo,
                  GraphFrame& f)
{
    f = GraphFrame{};
    f.geo = geo;
    f.count = run.m_nCount;
    const int W = geo.W, H = geo.H;

    // Cursor keep-alive: a repaint caused by a committed sample keeps the
    // line; any other repaint removes it until the pointer moves again.
    if (run.m_bNewSample) {
        if (!st.bCursorHidden)
            run.m_bNewSample = false;
    } else {
        st.bCursorHidden = 1;
    }

    // A new run's first reading starts over in auto mode.
    if (f.count == 1) {
        st.nCapacity = kStartCapacity;
        st.fZoomBasePixelsPerSample = st.fPixelsPerSample;
        st.nZoomLevel = 0;
        st.bAutoMode = 1;
        view.m_nScrollShift = 0;
    }

    if (W > 0) {
        st.fPixelsPerSample = static_cast<float>(W) / static_cast<float>(st.nCapacity - 1);
        // Compression: the run outgrew the width; leave one twelfth free.
        bool compressed = false;
        while (f.count >= st.nCapacity + 1) {
            const float step = static_cast<float>((W - W / 12.0) / st.nCapacity);
            st.nCapacity = truncClamped(W / static_cast<double>(step) + 1);
            compressed = true;
        }
        if (compressed)
            st.fPixelsPerSample = static_cast<float>(W) / static_cast<float>(st.nCapacity - 1);
    }

    // Level-0 axis values.
    for (int i = 0; i <= kAxisDivisions; ++i)
        st.fAxisValue[0][i] = static_cast<float>((view.m_nYOffset + i) * view.m_nYGain);

    // Level-0 base step: auto mode follows the live scale, zoom mode keeps
    // the capacity the run had when zooming began.
    if (f.count >= 1 && W > 0) {
        if (st.bAutoMode) {
            st.fZoomBasePixelsPerSample = st.fPixelsPerSample;
            st.nZoomBaseCapacity = st.nCapacity;
        } else {
            const int cap = st.nZoomBaseCapacity >= 2 ? st.nZoomBaseCapacity : st.nCapacity;
            st.fZoomBasePixelsPerSample = static_cast<float>(W) / static_cast<float>(cap - 1);
        }
    }

    f.autoMode = st.bAutoMode != 0;
    f.axisBottom = st.fAxisValue[0][0];
    const double range = double(st.fAxisValue[0][10]) - st.fAxisValue[0][0];
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
        f.tf = LevelTransform{0, st.fPixelsPerSample, 1, 0};
        if (W > 0 && st.fPixelsPerSample > 0)
            autoModeMarks(st, run, f);
    } else {
        f.level = st.nZoomLevel;
        f.scrollShift = view.m_nScrollShift;
        f.tf = composeLevels(st, geo, LevelTransform{0, st.fZoomBasePixelsPerSample, 1, 0});
        if (W > 0 && H > 0)
            zoomModeMarks(st, view, run, f);
    }
    st.current = f.tf;
    for (int i = 0; i <= kAxisDivisions; ++i)
        f.yValue[i] = st.fAxisValue[f.level][i];
}

int nearestSample(const GraphState& st, const PlotGeometry& geo, int x, int scrollShift)
{
    const double X0 = st.current.X0, dx = st.current.dx;
    if (!usableStep(dx))
        return -1;
    const int shift = st.bAutoMode ? 0 : scrollShift;
    // Floor, not truncation, so that a pointer left of sample 0 in a shifted
    // view finds no sample instead of sample 0.
    int n = truncClamped(std::floor((x - X0 - geo.x0) / dx - shift));
    auto xs = [&](int k) { return geo.x0 + X0 + dx * (double(k) + shift); };
    if (x - xs(n) > xs(n + 1) - x)
        ++n;
    return n;
}

void bandPress(GraphState& st, const GraphViewFields& view, const PlotGeometry& geo, GraphPoint p)
{
    ZoomStep& s = st.zoomStack[st.nZoomLevel];
    s.pxStartX = static_cast<float>(p.x);
    s.pxStartY = static_cast<float>(p.y);
    // Fractions of the unshifted picture of this level, so a selection made
    // in a scrolled view zooms into what was under the band.
    const double shiftPx = st.bAutoMode ? 0.0 : st.current.dx * view.m_nScrollShift;
    s.fStartX = geo.W > 0 ? (p.x - geo.x0 - shiftPx) / geo.W : 0.0;
    s.fStartY = geo.H > 0 ? double(p.y - geo.y0) / geo.H : 0.0;
    st.ptAnchor = st.ptLast = p;
    st.bBandActive = 1;
    st.bBandUnmoved = 1;
}

bool bandMove(GraphState& st, GraphViewFields& view, GraphPoint p)
{
    if (!st.bBandActive)
        return false;
    view.m_bDragging = 1;
    const bool changed = !(p == st.ptLast);
    if (!(p == st.ptAnchor))
        st.bBandUnmoved = 0;
    st.ptLast = p;
    return changed;
}

bool bandRelease(GraphState& st, GraphViewFields& view, const PlotGeometry& geo, GraphPoint p)
{
    const int L = st.nZoomLevel;
    ZoomStep& s = st.zoomStack[L];
    s.pxEndX = static_cast<float>(p.x);
    s.pxEndY = static_cast<float>(p.y);
    const double shiftPx = st.bAutoMode ? 0.0 : st.current.dx * view.m_nScrollShift;
    s.fEndX = geo.W > 0 ? (p.x - geo.x0 - shiftPx) / geo.W : 0.0;
    s.fEndY = geo.H > 0 ? double(p.y - geo.y0) / geo.H : 0.0;
    st.bBandActive = 0;
    view.m_bDragging = 0;
    if (st.bBandUnmoved)
        return false;

    if (s.pxStartX > s.pxEndX)
        std::swap(s.pxStartX, s.pxEndX);
    if (s.pxStartY > s.pxEndY)
        std::swap(s.pxStartY, s.pxEndY);
    if (geo.W > 0 && geo.H > 0) {
        const float* a = st.fAxisValue[L];
        const double sy = s.pxStartY, ey = s.pxEndY;
        const double bottom = a[0] + (geo.y1 - ey) * (a[10] - a[0]) / geo.H;
        const double tenth = a[0] + ((ey - sy) * 0.1 + (geo.y1 - ey)) * (a[10] - a[0]) / geo.H;
        if (L + 1 < kMaxZoomLevels) {
            st.fAxisValue[L + 1][0] = static_cast<float>(bottom);
            st.fAxisValue[L + 1][1] = static_cast<float>(tenth);
        }
        // A level needs a tenth of more than 0.1 value units, some width, and
        // at most one sample step across the whole plot.
        const double widthFraction = std::fabs(s.fEndX - s.fStartX);
        const bool wide = widthFraction > 0 && s.pxEndX > s.pxStartX
                          && st.current.dx / widthFraction <= geo.W;
        if (L < kMaxZoomDepth && tenth - bottom > 0.1 && wide) {
            st.nZoomLevel = static_cast<uint8_t>(L + 1);
            // The selection's fractions already include the shift.
            view.m_nScrollShift = 0;
        }
    }
    st.bAutoMode = 0;
    st.bFirstVisibleSet = 0;
    st.bBandUnmoved = 1;
    return true;
}

bool bandWatch(GraphState& st, GraphViewFields& view, const PlotGeometry& geo, int x, int y)
{
    if (geo.inSurroundings(x, y) || !st.bBandActive)
        return false;
    st.bBandActive = 0;
    view.m_bDragging = 0;
    st.bBandUnmoved = 1;
    return true;
}

void undoZoom(GraphState& st, GraphViewFields& view)
{
    st.nZoomLevel = 0;
    st.bAutoMode = 1;
    st.fZoomBasePixelsPerSample = st.fPixelsPerSample;
    view.m_nScrollShift = 0;
}

void scrollTo(GraphViewFields& view, int position) { view.m_nScrollShift = view.m_nFirstVisible - position; }

int scrollPosition(const GraphViewFields& view) { return view.m_nFirstVisible - view.m_nScrollShift; }
