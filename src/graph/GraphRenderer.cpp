#include "graph/GraphRenderer.h"

#include "base/LocalTime.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPalette>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Coordinates beyond this are clipped here before they become integers.
constexpr double kSafeCoord = 1 << 20;

// Grid lines: one pixel on, one off.
QPen dottedPen(const QColor& c)
{
    QPen pen(c, 0);
    pen.setDashPattern({1.0, 1.0});
    return pen;
}

// Writes text with its cell's top-left corner at (x, y), on an opaque cell.
void cellText(QPainter& p, const QFontMetrics& fm, int x, int y, const QString& text)
{
    p.drawText(QPoint(x, y + fm.ascent()), text);
}

// Liang-Barsky clip of a segment to the rectangle [lo, hiX] x [lo, hiY].
bool clipSegment(double& xa, double& ya, double& xb, double& yb, double lo, double hiX, double hiY)
{
    double t0 = 0, t1 = 1;
    const double dx = xb - xa, dy = yb - ya;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {xa - lo, hiX - xa, ya - lo, hiY - ya};
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

bool safe(double x, double y) { return std::fabs(x) < kSafeCoord && std::fabs(y) < kSafeCoord; }

} // namespace

GraphRenderer::GraphRenderer(const QFont& graphFont)
    : m_font(graphFont)
    , m_x(new double[kMaxSamples])
    , m_lines(new QLine[kMaxSamples])
{
    for (int c = 0; c < kChannelCount; ++c)
        m_curvePen[c] = QPen(kCurveScreenColor[c], 0);
}

GraphRenderer::~GraphRenderer()
{
    if (m_plotPainter.isActive())
        m_plotPainter.end();
}

void GraphRenderer::setFont(const QFont& graphFont)
{
    m_font = graphFont;
    ++m_fontGeneration;
}

void GraphRenderer::render(const GraphFrame& frame, const RunView& run, const CurveSet& shown)
{
    const PlotGeometry& geo = frame.geo;
    m_geo = geo;
    ChromeKey ck;
    ck.R = geo.R;
    ck.B = geo.B;
    ck.T = geo.T;
    ck.FR = geo.FR;
    ck.FB = geo.FB;
    std::memcpy(ck.yValue, frame.yValue.data(), sizeof ck.yValue);
    std::memcpy(ck.tAxisTime, frame.tAxisTime, sizeof ck.tAxisTime);
    std::memcpy(ck.timeShown, frame.timeLabelShown, sizeof ck.timeShown);
    std::memcpy(ck.timeX, frame.timeLabelX, sizeof ck.timeX);
    ck.show = shown;
    ck.fontGeneration = m_fontGeneration;
    if (!(ck == m_chromeKey)) {
        m_chromeKey = ck;
        formatLabels(frame);
        drawChrome(frame, shown);
    }

    if (!geo.usable()) {
        if (m_plotPainter.isActive())
            m_plotPainter.end();
        m_plot = QImage();
        m_grid = QImage();
        m_gridKey = GridKey{};
        return;
    }
    ensurePlotImages(geo.W, geo.H);
    GridKey gk;
    gk.W = geo.W;
    gk.H = geo.H;
    gk.nGridX = frame.nGridX;
    std::memcpy(gk.gridX, frame.gridX, sizeof gk.gridX);
    std::memcpy(gk.gridY, frame.gridY, sizeof gk.gridY);
    if (!(gk == m_gridKey)) {
        m_gridKey = gk;
        drawGrid(frame);
    }
    // Start from the cached grid: a plain copy of equal-sized images.
    const qsizetype bytes = m_grid.sizeInBytes();
    std::memcpy(m_plot.bits(), m_grid.constBits(), static_cast<size_t>(bytes));
    drawCurves(frame, run, shown);
}

void GraphRenderer::ensurePlotImages(int W, int H)
{
    if (m_plot.width() == W && m_plot.height() == H && m_plotPainter.isActive())
        return;
    if (m_plotPainter.isActive())
        m_plotPainter.end();
    m_plot = QImage(W, H, QImage::Format_RGB32);
    m_grid = QImage(W, H, QImage::Format_RGB32);
    m_gridKey = GridKey{};
    m_plotPainter.begin(&m_plot);
    m_plotPainter.setRenderHint(QPainter::Antialiasing, false);
}

void GraphRenderer::formatLabels(const GraphFrame& frame)
{
    for (int j = 0; j < kTimeMarks; ++j)
        m_strTimeLabel[j] = LocalTime::format(frame.tAxisTime[j], "%H:%M:%S");
    for (int i = 0; i <= kAxisDivisions; ++i)
        m_strYLabel[i] = plot::yLabelText(frame.yValue[size_t(i)]);
}

void GraphRenderer::drawChrome(const GraphFrame& frame, const CurveSet& shown)
{
    const PlotGeometry& g = frame.geo;
    const int w = g.R > 0 ? g.R : 1, h = g.B > 0 ? g.B : 1;
    if (m_chrome.width() != w || m_chrome.height() != h)
        m_chrome = QImage(w, h, QImage::Format_RGB32);
    const QColor buttonFace = QApplication::palette().color(QPalette::Button);
    m_chrome.fill(buttonFace);

    QPainter p(&m_chrome);
    p.setFont(m_font);
    const QFontMetrics fm(m_font);
    p.setBackgroundMode(Qt::OpaqueMode);

    auto fill = [&](const Rect& r) {
        if (r.w > 0 && r.h > 0)
            p.fillRect(r.x, r.y, r.w, r.h, kPanelGrey);
    };

    // The frame's grey areas, then the graph's strips and bands over them.
    fill(g.frameColumn());
    fill(g.frameBand());

    // Y strip: ticks and labels, bottom division first.
    const Rect ys = g.yStrip();
    if (g.H > 0) {
        fill(ys);
        p.setBackground(Qt::white);
        p.setPen(QPen(Qt::black, 0));
        for (int i = 0; i <= kAxisDivisions; ++i) {
            const int t = ys.y + yTickY(g.H, i);
            p.drawLine(ys.x + 63, t, ys.x + 67, t);
            cellText(p, fm, ys.x + yLabelX(frame.yValue[size_t(i)]), ys.y + yLabelY(g.H, i), m_strYLabel[i]);
        }
        fill(g.rightStrip());
    }

    // Legend band.
    fill(g.legendBand());
    p.setBackground(Qt::white);
    for (int k = 0; k < kChannelCount; ++k) {
        if (!shown[size_t(k)])
            continue;
        p.setPen(Qt::black);
        cellText(p, fm, g.legendTextX(k), g.legendTextY(), QString::fromLatin1(kChannelLegend[k]));
        p.fillRect(g.legendLineX0(k), g.legendLineY() - 1, g.legendLineX1(k) - g.legendLineX0(k), 2,
                   kCurveScreenColor[k]);
    }

    // Time band.
    if (g.H > 0)
        fill(g.timeBand());
    p.setBackground(buttonFace);
    p.setPen(Qt::black);
    if (frame.count >= 1) {
        for (int j = 0; j < kTimeMarks; ++j) {
            if (frame.timeLabelShown[j])
                cellText(p, fm, frame.timeLabelX[j], g.timeLabelY(), m_strTimeLabel[j]);
        }
    }
}

void GraphRenderer::drawGrid(const GraphFrame& frame)
{
    const PlotGeometry& g = frame.geo;
    m_grid.fill(Qt::black);
    QPainter p(&m_grid);
    p.setPen(dottedPen(kGridColor));
    for (int i = 0; i < frame.nGridX; ++i)
        p.drawLine(frame.gridX[i], g.H, frame.gridX[i], 0);
    for (int i = 0; i < kAxisDivisions; ++i)
        p.drawLine(0, frame.gridY[i], g.W, frame.gridY[i]);
}

void GraphRenderer::drawCurves(const GraphFrame& f, const RunView& run, const CurveSet& shown)
{
    const int n = std::min({f.count, run.count(), kMaxSamples});
    if (n < 2)
        return;
    const double X0 = f.tf.X0, dx = f.tf.dx;
    const int shift = f.autoMode ? 0 : f.scrollShift;
    for (int s = 0; s < n; ++s)
        m_x[s] = std::trunc(dx * (double(s) + shift) + X0);
    const bool fahrenheit = run.fahrenheit();
    const double hiX = f.geo.W + 2.0, hiY = f.geo.H + 2.0;

    for (int c = 0; c < kChannelCount; ++c) {
        if (!shown[size_t(c)])
            continue;
        const ChannelSpan values = run.channel(c);
        QLine* out = m_lines.get();
        double xa = m_x[0];
        double ya = std::trunc(plotY(f, c, values[0], fahrenheit));
        for (int s = 1; s < n; ++s) {
            const double xb = m_x[s];
            const double yb = std::trunc(plotY(f, c, values[s], fahrenheit));
            if (safe(xa, ya) && safe(xb, yb)) {
                *out++ = QLine(int(xa), int(ya), int(xb), int(yb));
            } else {
                double cxa = xa, cya = ya, cxb = xb, cyb = yb;
                if (clipSegment(cxa, cya, cxb, cyb, -2.0, hiX, hiY))
                    *out++ = QLine(int(cxa), int(cya), int(cxb), int(cyb));
            }
            xa = xb;
            ya = yb;
        }
        m_plotPainter.setPen(m_curvePen[c]);
        m_plotPainter.drawLines(m_lines.get(), int(out - m_lines.get()));
    }
}

void GraphRenderer::paint(QPainter& p, const QRect& exposed, const GraphState& st) const
{
    if (!m_chrome.isNull())
        p.drawImage(exposed.topLeft(), m_chrome, exposed);
    const PlotGeometry& g = m_geo;
    if (!m_plot.isNull())
        p.drawImage(g.x0, g.y0, m_plot);

    // Overlays in place of drawing by inversion: the dotted cursor line (the
    // not-XOR of a black dotted pen) and the band's dotted frame (the XOR of
    // a white one) both invert the dots' pixels. The inverted pixels come
    // from the cached picture, so nothing is read back from the screen.
    if (!st.bCursorHidden)
        drawDots(p, QPoint(st.nCursorX, g.y0), QPoint(st.nCursorX, g.y1));
    if (st.bBandActive && !st.bBandUnmoved) {
        const int l = std::min(st.ptAnchor.x, st.ptLast.x), r = std::max(st.ptAnchor.x, st.ptLast.x);
        const int t = std::min(st.ptAnchor.y, st.ptLast.y), b = std::max(st.ptAnchor.y, st.ptLast.y);
        drawDots(p, QPoint(l, t), QPoint(r, t));
        drawDots(p, QPoint(l, b), QPoint(r, b));
        drawDots(p, QPoint(l, t), QPoint(l, b));
        drawDots(p, QPoint(r, t), QPoint(r, b));
    }
}

QRgb GraphRenderer::pictureAt(int x, int y) const
{
    const PlotGeometry& g = m_geo;
    const int px = x - g.x0, py = y - g.y0;
    if (!m_plot.isNull() && px >= 0 && py >= 0 && px < m_plot.width() && py < m_plot.height())
        return m_plot.pixel(px, py);
    if (x >= 0 && y >= 0 && x < m_chrome.width() && y < m_chrome.height())
        return m_chrome.pixel(x, y);
    return qRgb(0, 0, 0);
}

void GraphRenderer::drawDots(QPainter& p, QPoint a, QPoint b) const
{
    if (m_chrome.isNull() || (a.x() != b.x() && a.y() != b.y()))
        return;
    const bool vertical = a.x() == b.x();
    // Clip to the view: only pixels of the picture can be inverted.
    const int lo = std::max(vertical ? a.y() : a.x(), 0);
    const int hi = std::min(vertical ? b.y() : b.x(), (vertical ? m_chrome.height() : m_chrome.width()) - 1);
    const int fixed = vertical ? a.x() : a.y();
    if (hi < lo || fixed < 0 || fixed >= (vertical ? m_chrome.width() : m_chrome.height()))
        return;
    QImage& buf = vertical ? m_overlayColumn : m_overlayRow;
    const QSize need = vertical ? QSize(1, m_chrome.height()) : QSize(m_chrome.width(), 1);
    if (buf.size() != need)
        buf = QImage(need, QImage::Format_RGB32);
    const int start = vertical ? a.y() : a.x();
    for (int i = lo; i <= hi; ++i) {
        const QRgb under = vertical ? pictureAt(fixed, i) : pictureAt(i, fixed);
        const QRgb out = (i - start) % 2 == 0 ? (~under | 0xff000000u) : under;
        if (vertical)
            reinterpret_cast<QRgb*>(buf.scanLine(i - lo))[0] = out;
        else
            reinterpret_cast<QRgb*>(buf.scanLine(0))[i - lo] = out;
    }
    if (vertical)
        p.drawImage(QPoint(fixed, lo), buf, QRect(0, 0, 1, hi - lo + 1));
    else
        p.drawImage(QPoint(lo, fixed), buf, QRect(0, 0, hi - lo + 1, 1));
}
