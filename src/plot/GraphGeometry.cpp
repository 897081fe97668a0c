#include "plot/GraphGeometry.h"

#include "run/RunState.h"

#include <cmath>

int truncClamped(double v)
{
    constexpr double kLimit = 1.0e9;
    if (!(v > -kLimit))
        return v != v ? 0 : -static_cast<int>(kLimit);
    if (v > kLimit)
        return static_cast<int>(kLimit);
    return static_cast<int>(v);
}

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
    const float v = toDisplayUnit(stored, channel, fahrenheit);
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
