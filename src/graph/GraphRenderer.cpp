#include "graph/GraphRenderer.h"

#include "base/LocalTime.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPalette>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

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

} // namespace

GraphRenderer::GraphRenderer(const QFont& graphFont)
    : m_font(graphFont)
{
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
    ck.anySample = frame.count >= 1;
    ck.fontGeneration = m_fontGeneration;
    if (!(ck == m_chromeKey)) {
        m_chromeKey = ck;
        formatLabels(frame);
        drawChrome(geo);
    }

    if (!geo.usable()) {
        if (m_plotPainter.isActive())
            m_plotPainter.end();
        m_plot = QImage();
        return;
    }
    ensurePlotImage(geo.W, geo.H);
    GridKey gk;
    gk.W = geo.W;
    gk.H = geo.H;
    gk.nGridX = frame.nGridX;
    std::memcpy(gk.gridX, frame.gridX, sizeof gk.gridX);
    std::memcpy(gk.gridY, frame.gridY, sizeof gk.gridY);
    if (!(gk == m_gridKey)) {
        m_gridKey = gk;
        drawGrid(frame);
    } else {
        restoreGrid();
    }
    drawCurves(frame, run, shown);
}

void GraphRenderer::ensurePlotImage(int W, int H)
{
    if (m_plot.width() == W && m_plot.height() == H && m_plotPainter.isActive())
        return;
    if (m_plotPainter.isActive())
        m_plotPainter.end();
    m_plot = QImage(W, H, QImage::Format_RGB32);
    m_gridKey = GridKey {};
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

std::array<QRect, 5> GraphRenderer::chromeStrips(const PlotGeometry& g)
{
    auto rect = [](const Rect& r) { return QRect(r.x, r.y, r.w, r.h); };
    // Without a plot height only the legend and the frame's areas are drawn.
    const bool plotRows = g.H > 0;
    // The legend lies on the frame's band: one strip holds both.
    return {rect(g.frameColumn()),
            rect(g.frameBand()) | rect(g.legendBand()),
            plotRows ? rect(g.yStrip()) : QRect(),
            plotRows ? rect(g.rightStrip()) : QRect(),
            plotRows ? rect(g.timeBand()) : QRect()};
}

void GraphRenderer::drawChrome(const PlotGeometry& g)
{
    const QSize size(g.R > 0 ? g.R : 1, g.B > 0 ? g.B : 1);
    const std::array<QRect, 5> strips = chromeStrips(g);
    m_chrome.reset(size, QApplication::palette().color(QPalette::Button).rgb(), strips);
    m_chrome.paint([this](QPainter& p) { paintChrome(p); });
}

void GraphRenderer::paintChrome(QPainter& p) const
{
    const PlotGeometry& g = m_geo;
    const ChromeKey& k = m_chromeKey;
    const QColor buttonFace = QApplication::palette().color(QPalette::Button);
    p.save();
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
            cellText(p, fm, ys.x + yLabelX(k.yValue[i]), ys.y + yLabelY(g.H, i), m_strYLabel[i]);
        }
        fill(g.rightStrip());
    }

    // Legend band.
    fill(g.legendBand());
    p.setBackground(Qt::white);
    for (int c = 0; c < kChannelCount; ++c) {
        if (!k.show[size_t(c)])
            continue;
        p.setPen(Qt::black);
        cellText(p, fm, g.legendTextX(c), g.legendTextY(), QString::fromLatin1(kChannelLegend[c]));
        p.fillRect(g.legendLineX0(c), g.legendLineY() - 1, g.legendLineX1(c) - g.legendLineX0(c), 2,
                   kCurveScreenColor[c]);
    }

    // Time band.
    if (g.H > 0)
        fill(g.timeBand());
    p.setBackground(buttonFace);
    p.setPen(Qt::black);
    if (k.anySample) {
        for (int j = 0; j < kTimeMarks; ++j) {
            if (k.timeShown[j])
                cellText(p, fm, k.timeX[j], g.timeLabelY(), m_strTimeLabel[j]);
        }
    }
    p.restore();
}

void GraphRenderer::drawGrid(const GraphFrame& frame)
{
    const PlotGeometry& g = frame.geo;
    m_plot.fill(Qt::black);
    QPainter& p = m_plotPainter;
    p.setPen(dottedPen(kGridColor));
    for (int i = 0; i < frame.nGridX; ++i)
        p.drawLine(frame.gridX[i], g.H, frame.gridX[i], 0);
    for (int i = 0; i < kAxisDivisions; ++i)
        p.drawLine(0, frame.gridY[i], g.W, frame.gridY[i]);
    // Where the dots fell, to lay the same grid again under the next
    // repaint's curves: a few thousand offsets instead of a cached image of
    // the plot's size.
    m_gridDots.clear();
    const QRgb dot = kGridColor.rgb();
    for (int y = 0; y < m_plot.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(m_plot.constScanLine(y));
        for (int x = 0; x < m_plot.width(); ++x)
            if (line[x] == dot)
                m_gridDots.push_back(y * m_plot.width() + x);
    }
}

void GraphRenderer::restoreGrid()
{
    m_plot.fill(Qt::black);
    const QRgb dot = kGridColor.rgb();
    const int width = m_plot.width();
    uchar* bits = m_plot.bits();
    const qsizetype stride = m_plot.bytesPerLine();
    for (const int at : m_gridDots)
        reinterpret_cast<QRgb*>(bits + (at / width) * stride)[at % width] = dot;
}

void GraphRenderer::drawCurves(const GraphFrame& f, const RunView& run, const CurveSet& shown)
{
    // Far-off ends are clipped to the plot and two pixels around it.
    m_curves.draw(m_plotPainter, run, f.count, shown, curveMap(f), ClipBox {-2.0, -2.0, f.geo.W + 2.0, f.geo.H + 2.0});
}

void GraphRenderer::paint(QPainter& p, const QRect& exposed, const GraphState& st) const
{
    const PlotGeometry& g = m_geo;
    const QRect plotRect(QPoint(g.x0, g.y0), m_plot.size());
    m_chrome.draw(p, exposed, m_plot.isNull() ? QRect() : plotRect);
    if (!m_plot.isNull())
        p.drawImage(plotRect.topLeft(), m_plot);

    // Overlays in place of drawing by inversion: the dotted cursor line (the
    // not-XOR of a black dotted pen) and the band's dotted frame (the XOR of
    // a white one) both invert the dots' pixels.
    const OverlayPicture picture {nullptr, &m_chrome, m_plot.isNull() ? nullptr : &m_plot, plotRect.topLeft()};
    if (m_chrome.isNull())
        return;
    if (!st.bCursorHidden)
        m_overlay.drawDots(p, QPoint(st.nCursorX, g.y0), QPoint(st.nCursorX, g.y1), picture);
    if (st.bBandActive && !st.bBandUnmoved)
        m_overlay.drawBand(p, QPoint(st.ptAnchor.x, st.ptAnchor.y), QPoint(st.ptLast.x, st.ptLast.y), picture);
}
