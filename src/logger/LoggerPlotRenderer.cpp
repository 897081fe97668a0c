#include "logger/LoggerPlotRenderer.h"

#include "base/LocalTime.h"
#include "widgets/InsetPicture.h"

#include <QFontMetrics>
#include <QRegion>
#include <cmath>
#include <cstring>

using loggerplot::Frame;
using loggerplot::Geometry;

namespace {

// Lines are drawn as the window system draws them: from the first point up
// to, but not including, the last.
void hLine(QPainter& p, int x0, int x1, int y, const QColor& c)
{
    if (x1 > x0)
        p.fillRect(x0, y, x1 - x0, 1, c);
}
void vLine(QPainter& p, int x, int y0, int y1, const QColor& c)
{
    if (y1 > y0)
        p.fillRect(x, y0, 1, y1 - y0, c);
}

// Text with its cell's top-left corner at (x, y), black on an opaque white
// cell.
void cellText(QPainter& p, const QFontMetrics& fm, int x, int y, const QString& text)
{
    p.drawText(QPoint(x, y + fm.ascent()), text);
}

QString timeText(int64_t t) { return LocalTime::format(t, "%H:%M:%S"); }

// A repaint's curves: the map's client pixels, far ends clipped to the plot
// and two pixels around it.
ClipBox plotClipBox(const Geometry& g)
{
    return {g.left - 2.0, g.top - 2.0, g.right + 2.0, g.bottom + 2.0};
}

} // namespace

LoggerPlotRenderer::LoggerPlotRenderer()
    : m_mainFont(mainFont())
    , m_readoutFont(readoutFont())
{
}

LoggerPlotRenderer::~LoggerPlotRenderer()
{
    if (m_plotPainter.isActive())
        m_plotPainter.end();
}

QFont LoggerPlotRenderer::mainFont()
{
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(14);
    f.setWeight(QFont::Thin);
    return f;
}

QFont LoggerPlotRenderer::readoutFont()
{
    // An Arial of 12 pixels is 5.3 pixels wide on average (904/2048 of its
    // height); asked for 5, it is narrowed to 94 %.
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(12);
    f.setStretch(94);
    f.setWeight(QFont::Thin);
    return f;
}

void LoggerPlotRenderer::ensurePlotImages(int width, int height)
{
    if (m_plot.width() == width && m_plot.height() == height && m_plotPainter.isActive())
        return;
    if (m_plotPainter.isActive())
        m_plotPainter.end();
    m_plot = QImage(width, height, QImage::Format_RGB32);
    m_grid = QImage(width, height, QImage::Format_RGB32);
    m_plotPainter.begin(&m_plot);
    m_plotPainter.setRenderHint(QPainter::Antialiasing, false);
}

void LoggerPlotRenderer::render(const Frame& f, const RunView& run, const CurveSet& shown,
                                const loggerplot::Readout& readout, bool curves)
{
    const Geometry& g = f.geo;
    m_geo = g;
    ChromeKey k;
    k.cx = g.cx;
    k.cy = g.cy;
    k.loaded = f.loaded;
    k.unzoomed = f.unzoomed;
    if (f.loaded) {
        k.yValue = f.yValue;
        k.startTime = f.startTime;
        k.endTime = f.endTime;
        k.nGridX = f.nGridX;
        std::memcpy(k.gridX, f.gridX, sizeof k.gridX);
        std::memcpy(k.timeShown, f.timeShown, sizeof k.timeShown);
        std::memcpy(k.timeX, f.timeX, sizeof k.timeX);
        std::memcpy(k.timeOf, f.timeOf, sizeof k.timeOf);
        k.readout = readout;
        k.unit = run.unit();
    }
    k.shown = shown;

    const int plotW = std::max(g.W, 0), plotH = g.H >= 0 ? g.H + 1 : 0;
    const bool samePlotSize = m_plot.width() == plotW && m_plot.height() == plotH && m_plotPainter.isActive();
    const bool newChrome = !(k == m_key) || !samePlotSize;
    const bool newGrid = !samePlotSize || !k.sameGridAs(m_key);
    if (newChrome) {
        m_key = k;
        drawChrome(f, shown, readout, k.unit);
    }
    if (plotW <= 0 || plotH <= 0 || g.left >= g.cx || g.top >= g.cy) {
        if (m_plotPainter.isActive())
            m_plotPainter.end();
        m_plot = QImage();
        m_grid = QImage();
        return;
    }
    ensurePlotImages(plotW, plotH);
    if (newChrome) {
        // The plot's part of the chrome, as it stands before the curves.
        const QImage part = m_chrome.copy(g.left, g.top, plotW, plotH);
        std::memcpy(m_grid.bits(), part.constBits(), size_t(m_grid.sizeInBytes()));
    }
    if (!curves && !newGrid)
        return;
    std::memcpy(m_plot.bits(), m_grid.constBits(), size_t(m_grid.sizeInBytes()));
    if (f.loaded)
        m_curves.draw(m_plotPainter, run, f.count, shown, f.map, plotClipBox(g), QPoint(g.left, g.top));
}

void LoggerPlotRenderer::drawChrome(const Frame& f, const CurveSet& shown, const loggerplot::Readout& readout,
                                    const QString& unit)
{
    const Geometry& g = f.geo;
    const int cx = std::max(g.cx, 1), cy = std::max(g.cy, 1);
    if (m_chrome.width() != cx || m_chrome.height() != cy)
        m_chrome = QImage(cx, cy, QImage::Format_RGB32);
    QPainter p(&m_chrome);
    p.fillRect(0, 0, cx, cy, kLoggerBackground);
    if (g.W > 0 && g.H > 0)
        p.fillRect(g.left, g.top, g.W, g.H, Qt::black);

    // Value grid: eleven horizontals; the full view adds fifteen verticals,
    // the last on the right edge.
    int tickY[kAxisDivisions + 1];
    for (int i = 0; i <= kAxisDivisions; ++i) {
        tickY[i] = static_cast<int>(g.top + g.H * i * 0.1);
        hLine(p, g.left, g.right, tickY[i], kLoggerValueGrid);
    }
    if (f.unzoomed) {
        for (int i = 1; i <= loggerplot::kFullViewVerticals; ++i)
            vLine(p, static_cast<int>(g.left + g.W * i / double(loggerplot::kFullViewVerticals)), g.top, g.bottom,
                  kLoggerValueGrid);
    }
    // Frame and ticks.
    vLine(p, g.left, g.top, g.bottom, kLoggerFrame);
    vLine(p, g.right, g.top, g.bottom, kLoggerFrame);
    for (int i = 0; i <= kAxisDivisions; ++i)
        hLine(p, g.left - 3, g.left, tickY[i], kLoggerFrame);
    p.fillRect(static_cast<int>(g.left - 11.2), g.bottom + 1, g.right, 100, kLoggerBackground);

    const QFontMetrics mainMetrics(m_mainFont);
    const QFontMetrics readoutMetrics(m_readoutFont);
    p.setBackgroundMode(Qt::OpaqueMode);
    p.setBackground(Qt::white);
    p.setPen(Qt::black);
    p.setFont(m_mainFont);
    // Texts stay outside the plot, whose pixels the plot image holds.
    const QRegion outsidePlot = QRegion(0, 0, cx, cy).subtracted(QRegion(g.left, g.top, std::max(g.W, 0), g.H + 1));

    if (f.loaded) {
        // The zoomed time grid, from the bottom up; lines beyond the sides
        // fall under the strips.
        if (!f.unzoomed) {
            for (int j = 0; j < f.nGridX; ++j)
                vLine(p, f.gridX[j], g.top + 1, g.bottom + 1, kLoggerTimeGrid);
        }
        // (The curves go here, into the plot image.) The margin strips.
        p.fillRect(0, 23, cx, g.top - 23, kLoggerBackground);
        p.fillRect(0, g.bottom + 1, cx, cy - g.bottom, kLoggerBackground);
        p.fillRect(0, 23, g.left, cy - 23, kLoggerBackground);
        p.fillRect(g.right, 23, cx - g.right, cy - 23, kLoggerBackground);

        p.setClipRegion(outsidePlot);
        if (f.unzoomed) {
            cellText(p, mainMetrics, g.left, g.bottom + 8, timeText(f.startTime));
            cellText(p, mainMetrics, g.right - 55, g.bottom + 8, timeText(f.endTime));
        } else {
            for (int j = 0; j < loggerplot::kTimeLabels; ++j) {
                if (f.timeShown[j])
                    cellText(p, mainMetrics, f.timeX[j], g.bottom + 1, timeText(f.timeOf[j]));
            }
        }
        for (int i = 0; i <= kAxisDivisions; ++i) {
            const float v = f.yValue[size_t(i)];
            cellText(p, mainMetrics, g.yLabelX(v), g.yLabelY(i), plot::yLabelText(v));
        }
        // The read-out of every visible curve.
        p.setFont(m_readoutFont);
        for (int k = 0; k < kChannelCount; ++k) {
            if (!shown[size_t(k)])
                continue;
            const int x = g.left + 120 * k;
            const bool rh = k == kRh;
            p.fillRect(x, 70, 50, 20, kLoggerBackground);
            cellText(p, readoutMetrics, x, 70, readout.value[k] + (rh ? QStringLiteral("%RH") : unit));
            cellText(p, readoutMetrics, x + (rh ? 62 : 50), 70, QStringLiteral("@"));
            cellText(p, readoutMetrics, x + (rh ? 74 : 62), 70, readout.time);
        }
        p.setFont(m_mainFont);
    }

    // Legend.
    p.setClipRegion(outsidePlot);
    for (int k = 0; k < kChannelCount; ++k) {
        if (!shown[size_t(k)])
            continue;
        cellText(p, mainMetrics, g.left + 40 + 120 * k, 40, QString::fromLatin1(kChannelLegend[size_t(k)]));
        p.fillRect(g.left + 20 + 120 * k, 59, 60, 2, kCurveScreenColor[k]);
    }
}

void LoggerPlotRenderer::paint(QPainter& p, const QRect& exposed, const loggerplot::DisplayState& st) const
{
    if (m_chrome.isNull())
        return;
    drawWithInset(p, exposed, m_chrome, m_plot, QPoint(m_geo.left, m_geo.top));
    const OverlayPicture picture {&m_chrome, nullptr, m_plot.isNull() ? nullptr : &m_plot, QPoint(m_geo.left, m_geo.top)};
    if (!st.bCursorHidden && m_key.loaded)
        m_overlay.drawDots(p, QPoint(st.nCursorX, m_geo.top), QPoint(st.nCursorX, m_geo.bottom - 1), picture,
                           kLoggerCursorMask);
    if (st.bDragging && !st.bNoDragMove)
        m_overlay.drawBand(p, st.ptAnchor, st.ptLast, picture);
}

QImage LoggerPlotRenderer::picture() const
{
    QImage out = m_chrome.copy();
    if (!m_plot.isNull()) {
        QPainter p(&out);
        p.drawImage(m_geo.left, m_geo.top, m_plot);
    }
    return out;
}

void layoutAndRender(LoggerSession& session, QSize client, loggerplot::Frame& frame, LoggerPlotRenderer& renderer)
{
    const Geometry g = Geometry::fromClient(client.width(), client.height());
    const RunView run = session.run();
    loggerplot::DisplayState& st = session.display;
    loggerplot::layoutFrame(st, g, run.info(), session.scale(), session.hasSet(), frame);
    loggerplot::keepFirstVisible(st, frame);
    renderer.render(frame, run, st.showCurve, session.readout);
}
