#include "plot/GraphInteraction.h"

#include <algorithm>
#include <cmath>

namespace {

bool usableStep(double dx) { return dx > 0 && std::isfinite(dx); }

} // namespace

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
