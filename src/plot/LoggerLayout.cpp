#include "plot/LoggerLayout.h"

#include "base/LocalTime.h"

#include <algorithm>
#include <cmath>

using plot::truncClamped;

namespace loggerplot {

namespace {

constexpr int kLeftMargin = 306, kTopMargin = 90, kRightMargin = 61, kBottomMargin = 61;

bool usableStep(double dx) { return dx > 0 && std::isfinite(dx); }

// Sample steps between zoomed time labels: a quarter, a third or half of
// the plot, or one sample when a sample step spans the plot.
int labelStep(double W, double s, int p)
{
    double part = 0.25;
    if (p == 2)
        part = 0.5;
    else if (p == 3)
        part = double(0.33333334f);
    // A step just under one sample (rounding at the limits) still moves on.
    return std::max(truncClamped(W * part / s), 1);
}

void zoomedTimeAxis(const DisplayState& st, const RunInfo& run, Frame& f)
{
    const Geometry& g = f.geo;
    const double s = f.tf.dx;
    if (!usableStep(s))
        return;
    const double X0 = g.left + f.tf.X0;  // client x of sample 0, unshifted
    f.firstVisible = st.bScrollValid ? st.nFirstVisible : truncClamped(-f.tf.X0 / s);
    const int fv = f.firstVisible;
    const int n = f.count;
    const int64_t u = run.interval;
    const int64_t t0 = run.start + int64_t(fv - f.shift) * u;
    const int p = truncClamped(g.W / s);
    const int step = p <= 1 ? 1 : labelStep(g.W, s, p);
    for (int j = 0; j < kTimeLabels; ++j) {
        const int idx = fv + j * step;
        if (p <= 1) {
            if (idx < n)
                f.gridX[f.nGridX++] = truncClamped(X0 + s * idx);
        } else {
            f.gridX[f.nGridX++] = truncClamped(X0 + s * fv + s * step * j);
        }
        // A label names the time of the sample drawn at its line: only
        // samples of the set, never one before the first or after the last.
        const int shown = idx - f.shift;
        const double x = X0 + s * idx;
        if (idx < n && shown >= 0 && shown < n && g.left <= x && x <= g.right) {
            f.timeShown[j] = 1;
            f.timeX[j] = truncClamped(x);
            f.timeOf[j] = t0 + int64_t(j) * step * u;
        }
    }
}

} // namespace

Geometry Geometry::fromClient(int width, int height)
{
    Geometry g;
    g.cx = width;
    g.cy = height;
    g.left = kLeftMargin;
    g.top = kTopMargin;
    g.right = width - kRightMargin;
    g.bottom = height - kBottomMargin;
    g.W = g.right - g.left;
    g.H = g.bottom - g.top;
    return g;
}

QPoint Geometry::clamp(QPoint p) const
{
    return {std::clamp(p.x(), left, std::max(left, right)), std::clamp(p.y(), top, std::max(top, bottom))};
}

bool Geometry::insideDragBox(QPoint p) const
{
    return left - 50 < p.x() && p.x() < right + 50 && top - 20 < p.y() && p.y() < bottom + 40;
}

int Geometry::yLabelX(float value) const
{
    return static_cast<int>(plot::yLabelIndent(value) * 7.5 + left - 70);
}

int Geometry::yLabelY(int i) const
{
    return static_cast<int>(bottom - H * i * 0.1 - 5);
}

void resetDisplay(DisplayState& st)
{
    st.bUnzoomed = true;
    st.bCursorHidden = true;
    st.bNoDragMove = true;
    st.nZoomLevel = 0;
    st.nShift = 0;
}

bool Frame::usableStep() const
{
    return loggerplot::usableStep(tf.dx);
}

void layoutFrame(const DisplayState& st, const Geometry& geo, const RunInfo& run, YScaleValues scale, bool loaded,
                 Frame& f)
{
    f.geo = geo;
    f.loaded = loaded;
    f.unzoomed = st.bUnzoomed;
    f.count = loaded ? std::clamp(run.count, 0, kMaxSamples) : 0;
    f.level = st.bUnzoomed ? 0 : std::clamp(st.nZoomLevel, 0, plot::kMaxZoomDepth);
    f.shift = st.bUnzoomed ? 0 : st.nShift;
    f.nGridX = 0;
    std::fill(std::begin(f.timeShown), std::end(f.timeShown), 0);
    f.firstVisible = st.nFirstVisible;

    // Level 0: the whole set across the plot, the scale's axis values.
    f.axis[0] = plot::axisValues(scale);
    const int n = f.count;
    const plot::LevelTransform level0 {0, n >= 2 ? double(geo.W) / (n - 1) : 0.0, 1, 0};
    f.tf = f.level == 0 ? level0
                        : plot::composeLevels(st.zoom, f.level, geo.plotRect(), level0, f.axis, f.corners);
    f.yValue = f.axis[f.level];

    const double range = double(f.axis[0][10]) - f.axis[0][0];
    plot::CurveMap& m = f.map;
    m.X0 = geo.left + f.tf.X0;
    m.dx = f.tf.dx;
    m.shift = f.shift;
    m.baseH = geo.H;
    m.axisBottom = f.axis[0][0];
    m.yScale = range != 0 ? geo.H / range : 0;
    m.ay = f.tf.ay;
    m.by = geo.top + f.tf.by;
    // The logger rounds K/IR to tenths like the other curves.
    m.kir = plot::KirTenths::Round;

    f.startTime = run.start;
    f.endTime = run.start + int64_t(run.interval) * std::max(n - 1, 0);
    if (!f.unzoomed && loaded && geo.usable())
        zoomedTimeAxis(st, run, f);
}

bool keepFirstVisible(DisplayState& st, const Frame& f)
{
    if (st.bScrollValid || f.unzoomed || !f.loaded || !f.usableStep())
        return false;
    st.nFirstVisible = f.firstVisible;
    st.bScrollValid = true;
    return true;
}

namespace {

// A corner as fractions of the level's unshifted picture, so that a band
// dragged over scrolled curves zooms into what was under it.
void storeCorner(const DisplayState& st, const Frame& last, QPoint p, double& fx, double& fy)
{
    const Geometry& g = last.geo;
    const double shiftPx = st.bUnzoomed ? 0.0 : last.tf.dx * st.nShift;
    fx = g.W > 0 ? (p.x() - g.left - shiftPx) / g.W : 0.0;
    fy = g.H > 0 ? double(p.y() - g.top) / g.H : 0.0;
}

} // namespace

void press(DisplayState& st, const Frame& last, QPoint pointer)
{
    const QPoint p = last.geo.clamp(pointer);
    plot::ZoomStep& z = st.zoom[size_t(std::clamp(st.nZoomLevel, 0, plot::kMaxZoomDepth))];
    storeCorner(st, last, p, z.fStartX, z.fStartY);
    st.ptAnchor = st.ptLast = p;
    st.bDragging = true;
    st.bNoDragMove = true;
}

bool dragTo(DisplayState& st, const Frame& last, QPoint pointer)
{
    if (!st.bDragging)
        return false;
    const QPoint p = last.geo.clamp(pointer);
    const bool changed = p != st.ptLast;
    if (p != st.ptAnchor)
        st.bNoDragMove = false;
    st.ptLast = p;
    return changed;
}

bool nextLevelAccepted(const Frame& last, QPoint start, QPoint end)
{
    const Geometry& g = last.geo;
    const double s = last.tf.dx;
    if (last.level >= plot::kMaxZoomDepth || !usableStep(s) || !(s < g.W) || !g.usable())
        return false;
    // A purely vertical drag has no width to spread across the plot.
    if (start.x() == end.x())
        return false;
    const plot::SelectionSpan span = plot::selectionSpan(last.yValue, g.plotRect(), start.y(), end.y());
    return span.tenth - span.bottom > 0.1;
}

bool release(DisplayState& st, const Frame& last, QPoint pointer)
{
    const QPoint p = last.geo.clamp(pointer);
    const int level = std::clamp(st.nZoomLevel, 0, plot::kMaxZoomDepth);
    plot::ZoomStep& z = st.zoom[size_t(level)];
    storeCorner(st, last, p, z.fEndX, z.fEndY);
    st.bDragging = false;
    if (st.bNoDragMove || !last.loaded)
        return false;
    if (nextLevelAccepted(last, st.ptAnchor, p)) {
        st.nZoomLevel = level + 1;
        // The selection's fractions already hold the shift.
        st.nShift = 0;
    }
    st.bUnzoomed = false;
    st.bScrollValid = false;
    return true;
}

bool watchDrag(DisplayState& st, const Geometry& geo, QPoint pointer)
{
    if (!st.bDragging || geo.insideDragBox(pointer))
        return false;
    st.bDragging = false;
    st.bNoDragMove = true;
    return true;
}

int cursorSample(const Frame& last, int x)
{
    if (last.count == 1)
        return 0;  // no step to measure by: the one sample is under the cursor
    return plot::nearestSample(last.tf, last.geo.left, x, last.shift);
}

void scrollTo(DisplayState& st, int position)
{
    st.nShift = st.nFirstVisible - position;
}

int scrollPosition(const DisplayState& st)
{
    return st.nFirstVisible - st.nShift;
}

void buildReadout(const RunView& run, int sample, Readout& out)
{
    const bool fahrenheit = run.fahrenheit();
    for (int c = 0; c < kChannelCount; ++c) {
        const float stored = run.value(sample, c);
        if (c == kKir && stored <= kKirDashesAtOrBelow) {
            out.value[c] = QStringLiteral("------");
            continue;
        }
        const float shown = toDisplayUnit(stored, c, fahrenheit);
        // K/IR is cut toward zero; the others are rounded by the format.
        out.value[c] = QString::asprintf("%.1f", c == kKir ? cutToTenth(shown) : double(shown));
    }
    out.time = LocalTime::format(run.timeOf(sample), "%H:%M:%S");
}

void clearReadout(Readout& out)
{
    for (QString& v : out.value)
        v.clear();
    out.time.clear();
}

QString readoutUnit(const RunView& run, int channel)
{
    return channel == kRh ? QStringLiteral("%RH") : run.unit();
}

} // namespace loggerplot
