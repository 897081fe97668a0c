#include "widgets/CurvePainter.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {

// Coordinates beyond this are clipped here before they become integers.
constexpr double kSafeCoord = 1 << 20;

bool safe(double x, double y) { return std::fabs(x) < kSafeCoord && std::fabs(y) < kSafeCoord; }

// Liang-Barsky clip of a segment to the box.
bool clipSegment(double& xa, double& ya, double& xb, double& yb, const ClipBox& box)
{
    double t0 = 0, t1 = 1;
    const double dx = xb - xa, dy = yb - ya;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {xa - box.xLo, box.xHi - xa, ya - box.yLo, box.yHi - ya};
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
            if (r > t0)
                t0 = r;
        } else {
            if (r < t0)
                return false;
            if (r < t1)
                t1 = r;
        }
    }
    const double nxa = xa + t0 * dx, nya = ya + t0 * dy;
    xb = xa + t1 * dx;
    yb = ya + t1 * dy;
    xa = nxa;
    ya = nya;
    return true;
}

} // namespace

CurvePainter::CurvePainter()
    : m_x(new double[kMaxSamples])
    , m_lines(new QLine[kMaxSamples])
{
    for (int c = 0; c < kChannelCount; ++c)
        m_pen[c] = QPen(kCurveScreenColor[c], 0);
}

void CurvePainter::draw(QPainter& p, const RunView& run, int count, const CurveSet& shown,
                        const plot::CurveMap& mapIn, const ClipBox& box, QPoint origin)
{
    // A local copy: the stores into the buffers below cannot alias it, so
    // its fields stay in registers through the loops.
    const plot::CurveMap map = mapIn;
    const int n = std::min({count, run.count(), kMaxSamples});
    if (n < 2)
        return;
    for (int s = 0; s < n; ++s)
        m_x[s] = std::trunc(map.x(s));
    const bool fahrenheit = run.fahrenheit();
    const int ox = origin.x(), oy = origin.y();

    for (int c = 0; c < kChannelCount; ++c) {
        if (!shown[size_t(c)])
            continue;
        const ChannelSpan values = run.channel(c);
        QLine* out = m_lines.get();
        double xa = m_x[0];
        double ya = std::trunc(map.y(c, values[0], fahrenheit));
        for (int s = 1; s < n; ++s) {
            const double xb = m_x[s];
            const double yb = std::trunc(map.y(c, values[s], fahrenheit));
            if (safe(xa, ya) && safe(xb, yb)) {
                *out++ = QLine(int(xa) - ox, int(ya) - oy, int(xb) - ox, int(yb) - oy);
            } else {
                double cxa = xa, cya = ya, cxb = xb, cyb = yb;
                if (clipSegment(cxa, cya, cxb, cyb, box))
                    *out++ = QLine(int(cxa) - ox, int(cya) - oy, int(cxb) - ox, int(cyb) - oy);
            }
            xa = xb;
            ya = yb;
        }
        p.setPen(m_pen[c]);
        p.drawLines(m_lines.get(), int(out - m_lines.get()));
    }
}
