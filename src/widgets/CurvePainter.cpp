#include "widgets/CurvePainter.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif

namespace {

// Coordinates beyond this are clipped here before they become integers.
constexpr double kSafeCoord = 1 << 20;

bool safe(double x, double y) { return std::fabs(x) < kSafeCoord && std::fabs(y) < kSafeCoord; }

// Readings up to this size have a finite y in either unit on any map of
// usual numbers: only larger ones (and those that are no number) may be
// gaps, and only they need mapping to find out.
constexpr float kPlainReading = 1e30f;

// Liang-Barsky clip of a segment to the box. A clipped end is placed from
// the nearer of the two ends: for an end far beyond the picture (a reading
// of 1e38 lies some 1e39 pixels off) the parameter is within rounding of 1,
// and placing the point from the far end would lose the near end's position
// altogether. So each parameter t comes with its complement 1 - t, worked
// out from the other end rather than subtracted.
bool clipSegment(double& xa, double& ya, double& xb, double& yb, const ClipBox& box)
{
    double t0 = 0, t1 = 1;    // parameters of the clipped ends from a
    double u0 = 1, u1 = 0;    // 1 - t0 and 1 - t1, from b
    const double dx = xb - xa, dy = yb - ya;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {xa - box.xLo, box.xHi - xa, ya - box.yLo, box.yHi - ya};
    const double qb[4] = {box.xLo - xb, xb - box.xHi, box.yLo - yb, yb - box.yHi};  // p - q
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
            continue;
        }
        const double r = q[i] / p[i];
        if (p[i] < 0) {
            if (r > t1)
                return false;
            if (r > t0) {
                t0 = r;
                u0 = qb[i] / p[i];
            }
        } else {
            if (r < t0)
                return false;
            if (r < t1) {
                t1 = r;
                u1 = qb[i] / p[i];
            }
        }
    }
    const double nxa = t0 <= 0.5 ? xa + t0 * dx : xb - u0 * dx;
    const double nya = t0 <= 0.5 ? ya + t0 * dy : yb - u0 * dy;
    const double nxb = t1 >= 0.5 ? xb - u1 * dx : xa + t1 * dx;
    const double nyb = t1 >= 0.5 ? yb - u1 * dy : ya + t1 * dy;
    xa = nxa;
    ya = nya;
    xb = nxb;
    yb = nyb;
    return true;
}

// Whole pixels of a coordinate: a plain conversion where it is exact (it
// truncates toward zero as std::trunc does, without a library call), the
// double itself beyond.
inline double wholePixels(double v)
{
    return std::fabs(v) < kSafeCoord ? double(static_cast<int64_t>(v)) : std::trunc(v);
}

// After Qt's fills and blends the upper halves of the vector registers are
// left dirty on processors with AVX, which slows the scalar coordinate loop
// that follows until they are cleared.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
__attribute__((target("avx"))) void clearUpperVectorState() { _mm256_zeroupper(); }
const bool kHasAvx = __builtin_cpu_supports("avx");
void afterQtDrawing()
{
    if (kHasAvx)
        clearUpperVectorState();
}
#else
void afterQtDrawing() {}
#endif

} // namespace

void ColumnInk::reset(int width, int height)
{
    m_width = std::max(width, 0);
    m_height = std::max(height, 0);
    m_top.assign(size_t(m_width) * kCurves, 0);
    m_bottom.assign(size_t(m_width) * kCurves, 0);
    clear();
}

void ColumnInk::clear()
{
    std::fill(m_top.begin(), m_top.end(), std::numeric_limits<int>::max());
    std::fill(m_bottom.begin(), m_bottom.end(), std::numeric_limits<int>::min());
    m_all = false;
}

void ColumnInk::mark(int c, int left, int right, int top, int bottom)
{
    left = std::max(left, 0);
    right = std::min(right, m_width - 1);
    top = std::max(top, 0);
    bottom = std::min(bottom, m_height - 1);
    if (top > bottom)
        return;
    for (int x = left; x <= right; ++x)
        markColumn(c, x, top, bottom);
}

qint64 ColumnInk::area() const
{
    qint64 pixels = 0;
    for (size_t i = 0; i < m_top.size(); ++i)
        if (m_top[i] <= m_bottom[i])
            pixels += m_bottom[i] - m_top[i] + 1;
    return pixels;
}

CurvePainter::CurvePainter()
    : m_x(new double[kMaxSamples])
    , m_columnStart(new int[kMaxSamples + 1])
    , m_lines(static_cast<QLine*>(::operator new[](sizeof(QLine) * 4 * kMaxSamples)))
{
    for (int c = 0; c < kChannelCount; ++c)
        m_pen[c] = QPen(kCurveScreenColor[c], 0);
}

QLine* CurvePainter::addSegment(QLine* out, double xa, double ya, double xb, double yb, const ClipBox& box,
                                QPoint origin) const
{
    // Only ends that are numbers are clipped, and only clipped ends that
    // came out as safe coordinates become integers: a value that is no
    // number draws nothing, and so does a segment so far off that clipping
    // it loses all precision.
    if (!(safe(xa, ya) && safe(xb, yb))) {
        if (!(std::isfinite(xa) && std::isfinite(ya) && std::isfinite(xb) && std::isfinite(yb))
            || !clipSegment(xa, ya, xb, yb, box) || !(safe(xa, ya) && safe(xb, yb)))
            return out;
    }
    *out++ = QLine(int(xa) - origin.x(), int(ya) - origin.y(), int(xb) - origin.x(), int(yb) - origin.y());
    return out;
}

QImage* CurvePainter::writableImage(QPainter& p)
{
    if (p.device() == nullptr || p.device()->devType() != QInternal::Image || !p.transform().isIdentity()
        || p.hasClipping() || p.compositionMode() != QPainter::CompositionMode_SourceOver
        || p.testRenderHint(QPainter::Antialiasing))
        return nullptr;
    auto* image = static_cast<QImage*>(p.device());
    const QImage::Format f = image->format();
    return f == QImage::Format_RGB32 || f == QImage::Format_ARGB32_Premultiplied ? image : nullptr;
}

inline void CurvePainter::Pixels::column(int x, int top, int bottom) const
{
    top = std::max(top, 0);
    bottom = std::min(bottom, height - 1);
    if (top > bottom)
        return;
    QRgb* at = bits + top * stride + x;
    for (int y = top; y <= bottom; ++y, at += stride)
        *at = colour;
    if (ink)
        ink->markColumn(curve, x, top, bottom);
}

inline void CurvePainter::writeSpan(const Pixels& px, double x, double yLow, double yHigh, const ClipBox& box,
                             QPoint origin)
{
    // The pixels drawing the column's vertical segments would set: the
    // whole span, both ends included, clipped like those segments.
    if (x < box.xLo || x > box.xHi || yHigh < box.yLo || yLow > box.yHi)
        return;
    yLow = std::max(yLow, box.yLo);
    yHigh = std::min(yHigh, box.yHi);
    const int column = int(x) - origin.x();
    if (column < 0 || column >= px.width)
        return;
    px.column(column, int(yLow) - origin.y(), int(yHigh) - origin.y());
}

void CurvePainter::finishCurve(QPainter& p, int channel, const QLine* end, ColumnInk* ink)
{
    if (end == m_lines.get())
        return;
    m_qtSegments += int(end - m_lines.get());
    // An aliased line sets pixels inside the box of its ends; one pixel
    // more on each side costs nothing and leaves no doubt.
    if (ink)
        for (const QLine* l = m_lines.get(); l != end; ++l)
            ink->mark(channel, std::min(l->x1(), l->x2()) - 1, std::max(l->x1(), l->x2()) + 1, std::min(l->y1(), l->y2()) - 1,
                      std::max(l->y1(), l->y2()) + 1);
    p.setPen(m_pen[channel]);
    p.drawLines(m_lines.get(), int(end - m_lines.get()));
    afterQtDrawing();
}

void CurvePainter::drawEverySegment(QPainter& p, const RunView& run, int count, const CurveSet& shown,
                                    const plot::CurveMap& mapIn, const ClipBox& box, QPoint origin)
{
    const plot::CurveMap map = mapIn;
    const int n = std::min({count, run.count(), kMaxSamples});
    m_qtSegments = 0;
    if (n < 2)
        return;
    for (int s = 0; s < n; ++s)
        m_x[s] = std::trunc(map.x(s));
    const bool fahrenheit = run.fahrenheit();
    for (int c = 0; c < kChannelCount; ++c) {
        if (!shown[size_t(c)])
            continue;
        const ChannelSpan values = run.channel(c);
        QLine* out = m_lines.get();
        double ya = std::trunc(map.y(c, values[0], fahrenheit));
        for (int s = 1; s < n; ++s) {
            const double yb = std::trunc(map.y(c, values[s], fahrenheit));
            // A value that is no number (or infinite) ends the curve there:
            // neither segment that touches it is drawn.
            if (std::isfinite(ya) && std::isfinite(yb))
                out = addSegment(out, m_x[s - 1], ya, m_x[s], yb, box, origin);
            ya = yb;
        }
        finishCurve(p, c, out, nullptr);
    }
}

namespace {

// One curve's readings placed on whole pixel rows exactly as
// wholePixels(CurveMap::y()) places them, with the map's numbers held
// here rather than read through a reference at every reading.
class RowMap {
public:
    RowMap(const plot::CurveMap& map, int channel, bool fahrenheit)
        : m_baseH(map.baseH), m_axisBottom(map.axisBottom), m_yScale(map.yScale), m_ay(map.ay), m_by(map.by)
        , m_toFahrenheit(fahrenheit && channel != kRh)
        , m_tenths(map.exact ? Tenths::None : channel == kKir && map.kir == plot::KirTenths::Cut ? Tenths::Cut
                                                                                                : Tenths::Round)
    {
    }
    double operator()(float stored) const
    {
        const float v = m_toFahrenheit ? stored * 1.8f + 32.0f : stored;
        const double q = m_tenths == Tenths::Round ? roundTenthAway(v)
            : m_tenths == Tenths::Cut              ? cutToTenth(v)
                                                   : double(v);
        const double unzoomed = m_baseH - (q - m_axisBottom) * m_yScale;
        return wholePixels(m_ay * unzoomed + m_by);
    }

private:
    enum class Tenths { Round, Cut, None };
    double m_baseH, m_axisBottom, m_yScale, m_ay, m_by;
    bool m_toFahrenheit;
    Tenths m_tenths;
};

// The first index in [lo, hi) at which pred turns false (pred holds on a
// prefix of the range).
template <class Pred>
int partitionPoint(int lo, int hi, const Pred& pred)
{
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (pred(mid))
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

} // namespace

void CurvePainter::draw(QPainter& p, const RunView& run, int count, const CurveSet& shown,
                        const plot::CurveMap& mapIn, const ClipBox& box, QPoint origin, ColumnInk* ink)
{
    // A local copy: the stores into the buffers below cannot alias it, so
    // its fields stay in registers through the loops.
    const plot::CurveMap map = mapIn;
    const int n = std::min({count, run.count(), kMaxSamples});
    m_qtSegments = 0;
    if (n < 2 || !(map.dx > 0) || !std::isfinite(map.dx) || !std::isfinite(map.X0))
        return;
    // Any of the y map's numbers that is no number makes every y no number:
    // every reading is a gap.
    if (!(std::isfinite(map.baseH) && std::isfinite(map.axisBottom) && std::isfinite(map.yScale)
          && std::isfinite(map.ay) && std::isfinite(map.by)))
        return;

    // A map of numbers so extreme that a plain reading's y might overflow
    // has every reading looked at.
    const double worstQ = 1.8 * double(kPlainReading) + 32 + std::fabs(map.axisBottom);
    const double worstY = std::fabs(map.ay) * (std::fabs(map.baseH) + worstQ * std::fabs(map.yScale)) + std::fabs(map.by);
    const float plainBound = worstY < 1e300 ? kPlainReading : -1.0f;

    // Spans and connectors go straight into the picture when the painter
    // draws onto an image as it is, untransformed and unclipped.
    if (QImage* image = writableImage(p)) {
        drawDirect(p, *image, run, n, shown, map, box, origin, plainBound, ink);
        return;
    }
    // Through a transform or a clip the pixels Qt sets are not known here.
    if (ink)
        ink->markAll();

    // x grows with the sample: only samples from the last one left of the
    // box to the first one right of it have segments that can show.
    for (int s = 0; s < n; ++s)
        m_x[s] = wholePixels(map.x(s));
    const int firstIn = int(std::lower_bound(m_x.get(), m_x.get() + n, box.xLo) - m_x.get());
    const int lastIn = int(std::upper_bound(m_x.get(), m_x.get() + n, box.xHi) - m_x.get()) - 1;
    const int begin = std::max(firstIn - 1, 0);
    const int end = std::min(lastIn + 1, n - 1);  // last sample looked at
    if (end <= begin)
        return;

    const bool fahrenheit = run.fahrenheit();
    const double* x = m_x.get();
    for (int c = 0; c < kChannelCount; ++c) {
        if (!shown[size_t(c)])
            continue;
        const ChannelSpan values = run.channel(c);
        auto yOf = [&](int s) { return wholePixels(map.y(c, values[s], fahrenheit)); };
        // A reading whose y is no number (or infinite) is a gap: no segment
        // starts or ends at it. Plain readings are never one.
        auto isGap = [&](int s) {
            return !(std::fabs(values[s]) <= plainBound) && !std::isfinite(yOf(s));
        };
        QLine* out = m_lines.get();
        int prevLast = -2;  // the last sample of the part before, and its y
        double prevY = 0;
        int s = begin;
        while (s <= end) {
            if (isGap(s)) {
                ++s;
                continue;
            }
            // One column, or the part of it between two gaps: samples
            // s .. last share their x and none is a gap. The y map keeps
            // the order of the readings (or reverses it), so the lowest
            // and highest points are those of the least and greatest
            // reading: only they, the first and the last are mapped.
            int last = s, least = s, greatest = s;
            float vLeast = values[s], vGreatest = vLeast;
            while (last < end && x[last + 1] == x[s]) {
                const float v = values[last + 1];
                if (!(std::fabs(v) <= plainBound) && isGap(last + 1))
                    break;
                ++last;
                if (v < vLeast) {
                    vLeast = v;
                    least = last;
                } else if (v > vGreatest) {
                    vGreatest = v;
                    greatest = last;
                }
            }
            const double yFirst = yOf(s);
            // The segment from the column before, as drawn between the
            // samples, unless the sample before is a gap.
            if (prevLast == s - 1)
                out = addSegment(out, x[s - 1], prevY, x[s], yFirst, box, origin);
            double yLast = yFirst;
            if (last > s) {
                yLast = yOf(last);
                auto yAt = [&](int i) { return i == s ? yFirst : i == last ? yLast : yOf(i); };
                // first, lowest, highest, last, in sample order, each once
                const int keep[4] = {s, std::min(least, greatest), std::max(least, greatest), last};
                int prev = keep[0];
                double yPrev = yFirst;
                for (int k = 1; k < 4; ++k) {
                    if (keep[k] == prev)
                        continue;
                    const double y = yAt(keep[k]);
                    out = addSegment(out, x[s], yPrev, x[s], y, box, origin);
                    prev = keep[k];
                    yPrev = y;
                }
            }
            prevLast = last;
            prevY = yLast;
            s = last + 1;
        }
        finishCurve(p, c, out, nullptr);
    }
}

void CurvePainter::drawDirect(QPainter& p, QImage& image, const RunView& run, int n, const CurveSet& shown,
                              const plot::CurveMap& map, const ClipBox& box, QPoint origin, float plainBound,
                              ColumnInk* ink)
{
    auto xOf = [&map](int s) { return wholePixels(map.x(s)); };
    // x grows with the sample: only samples from the last one left of the
    // box to the first one right of it have segments that can show. Found
    // by bisection on the map, not by placing every sample.
    const int firstIn = partitionPoint(0, n, [&](int s) { return xOf(s) < box.xLo; });
    const int lastIn = partitionPoint(0, n, [&](int s) { return xOf(s) <= box.xHi; }) - 1;
    const int begin = std::max(firstIn - 1, 0);
    const int end = std::min(lastIn + 1, n - 1);  // last sample looked at
    if (end <= begin)
        return;

    // The columns from begin to end, each as its first sample and its x.
    // The first sample of the next column is estimated from the map, then
    // settled on by placing the samples beside the estimate: a few samples
    // placed per column instead of every one.
    int columns = 0;
    for (int s = begin; s <= end;) {
        const double column = xOf(s);
        m_columnStart[columns] = s;
        m_x[columns] = column;
        ++columns;
        int next = s + 1;
        const double estimate = std::ceil((column + 1 - map.X0) / map.dx) - map.shift;
        if (estimate > next)
            next = int(std::min(estimate, double(end + 1)));
        while (next > s + 1 && xOf(next - 1) > column)
            --next;
        while (next <= end && xOf(next) <= column)
            ++next;
        s = next;
    }
    m_columnStart[columns] = end + 1;

    Pixels px;
    px.bits = reinterpret_cast<QRgb*>(image.bits());
    px.stride = image.bytesPerLine() / qsizetype(sizeof(QRgb));
    px.width = image.width();
    px.height = image.height();
    px.ink = ink;
    // Columns whose connector to the next column may be written by the
    // rule: both its columns inside the image.
    const double ox = origin.x(), oy = origin.y();
    const double directLo = ox, directHi = ox + px.width - 2;
    const bool fahrenheit = run.fahrenheit();
    const double* columnX = m_x.get();
    for (int c = 0; c < kChannelCount; ++c) {
        if (!shown[size_t(c)])
            continue;
        const ChannelSpan values = run.channel(c);
        px.colour = m_pen[c].color().rgba();
        px.curve = c;
        const RowMap rowOf(map, c, fahrenheit);
        // A reading whose y is no number (or infinite) is a gap: no segment
        // starts or ends at it. Plain readings are never one.
        auto isGap = [&](int s) {
            return !(std::fabs(values[s]) <= plainBound) && !std::isfinite(rowOf(values[s]));
        };
        QLine* out = m_lines.get();
        // Only the ends of a column's span and its first and last points
        // are needed, so the readings themselves are compared (the y map
        // keeps their order or reverses it) and only the different ones
        // among them placed. A curve meets the same few hundred readings
        // again and again: their rows are kept in a small table by the
        // reading's bits.
        for (RowMemo& m : m_rowMemo)
            m.value = std::numeric_limits<float>::quiet_NaN();
        auto rowOfKept = [&](float value) {
            uint32_t bits;
            std::memcpy(&bits, &value, sizeof bits);
            RowMemo& m = m_rowMemo[(bits * 2654435761u) >> (32 - kRowMemoBits)];
            if (!(m.value == value)) {
                m.value = value;
                m.row = rowOf(value);
            }
            return m.row;
        };
        int prevLast = -2;  // the last sample of the part before, its x and y
        double prevX = 0, prevY = 0;
        const float* v = values.first;
        const qsizetype stride = values.stride;
        for (int k = 0; k < columns; ++k) {
            const int a = m_columnStart[k], b = m_columnStart[k + 1] - 1;
            const double x = columnX[k];
            const float first = v[a * stride];
            // Two readings a step, on two chains: the least and greatest
            // of plain readings do not depend on the order they are met in.
            float least = first, greatest = first, least2 = first, greatest2 = first;
            bool plain = std::fabs(first) <= plainBound, plain2 = true;
            int i = a + 1;
            for (; i < b; i += 2) {
                const float f = v[i * stride], f2 = v[(i + 1) * stride];
                least = std::min(least, f);
                greatest = std::max(greatest, f);
                plain &= std::fabs(f) <= plainBound;
                least2 = std::min(least2, f2);
                greatest2 = std::max(greatest2, f2);
                plain2 &= std::fabs(f2) <= plainBound;
            }
            if (i == b) {
                const float f = v[i * stride];
                least = std::min(least, f);
                greatest = std::max(greatest, f);
                plain &= std::fabs(f) <= plainBound;
            }
            least = std::min(least, least2);
            greatest = std::max(greatest, greatest2);
            plain &= plain2;
            // The column's parts: the whole column, or, in a column with
            // readings far off or that are no number, the runs between its
            // gaps. Samples i .. j of one part.
            for (int i = a; i <= b;) {
                int j = b;
                float partFirst = first, lo = least, hi = greatest;
                if (!plain) {
                    if (isGap(i)) {
                        ++i;
                        continue;
                    }
                    j = i;
                    partFirst = lo = hi = v[i * stride];
                    while (j < b && !isGap(j + 1)) {
                        ++j;
                        lo = std::min(lo, v[j * stride]);
                        hi = std::max(hi, v[j * stride]);
                    }
                }
                const double yFirst = rowOfKept(partFirst);
                // The segment from the column before, as drawn between the
                // samples, unless the sample before is a gap. Written by
                // the rule when both its columns are inside the image.
                if (prevLast == i - 1) {
                    if (x == prevX + 1 && prevX >= directLo && prevX <= directHi && safe(0, prevY) && safe(0, yFirst)
                        && NeighbourConnector::known(int(prevY), int(yFirst))) {
                        const int column = int(prevX - ox);
                        const int y0 = int(prevY - oy), y1 = int(yFirst - oy);
                        const NeighbourConnector rows = NeighbourConnector::of(y0, y1);
                        px.column(column, rows.lo, rows.hi);
                        px.column(column + 1, y1, y1);
                    } else {
                        out = addSegment(out, prevX, prevY, x, yFirst, box, origin);
                    }
                }
                double yLast = yFirst;
                if (j > i) {
                    const float last = v[j * stride];
                    const double ya = lo == partFirst ? yFirst : rowOfKept(lo);
                    const double yb = hi == partFirst ? yFirst : hi == lo ? ya : rowOfKept(hi);
                    writeSpan(px, x, std::min(ya, yb), std::max(ya, yb), box, origin);
                    yLast = last == partFirst ? yFirst : last == lo ? ya : last == hi ? yb : rowOfKept(last);
                }
                prevLast = j;
                prevX = x;
                prevY = yLast;
                i = j + 1;
            }
        }
        finishCurve(p, c, out, ink);
    }
}
