#include "logger/LoggerChrome.h"

#include "widgets/PanelStyle.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPalette>
#include <QRegion>
#include <algorithm>

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

// Text with its cell's top-left corner at (x, y), on an opaque cell.
void cellText(QPainter& p, const QFontMetrics& fm, int x, int y, const QString& text)
{
    p.drawText(QPoint(x, y + fm.ascent()), text);
}

} // namespace

LoggerChrome::LoggerChrome()
    : PlotChrome(Style {0xff000000u, kLoggerCursorMask, -1})
    , m_mainFont(mainFont())
    , m_readoutFont(readoutFont())
{
}

QFont LoggerChrome::mainFont()
{
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(14);
    f.setWeight(QFont::Thin);
    return f;
}

QFont LoggerChrome::readoutFont()
{
    // An Arial of 12 pixels is 5.3 pixels wide on average (904/2048 of its
    // height); asked for 5, it is narrowed to 94 %.
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(12);
    f.setStretch(94);
    f.setWeight(QFont::Thin);
    return f;
}

int LoggerChrome::yLabelX(const plot::PlotRect& plot, float value)
{
    return static_cast<int>(plot::yLabelIndent(value) * 7.5 + plot.left - 70);
}

int LoggerChrome::yLabelY(const plot::PlotRect& plot, int i)
{
    return static_cast<int>(plot.bottom() - plot.height * i * 0.1 - 5);
}

int LoggerChrome::timeLabelY(const ChromeFrame& f)
{
    // The full view's times stand lower than the zoomed view's.
    return f.autoMode ? f.plot.bottom() + 8 : f.plot.bottom() + 1;
}

void LoggerChrome::setReadout(const plot::Readout& readout, const QString& unit)
{
    if (readout == m_readout && unit == m_unit)
        return;
    m_readout = readout;
    m_unit = unit;
    changed();
}

QRect LoggerChrome::inkBounds(const ChromeFrame& f) const
{
    // What paint() draws in other colours than the ground outside the
    // plot: the frame's ticks, the Y labels left of the plot, the time
    // labels under it, the legend and the read-out above it; all of them
    // reach at most to the window's right edge. Text cells are a font's
    // height tall from the top given; a few pixels more on every side hold
    // any glyph reaching past its cell.
    constexpr int kSlack = 8;
    const plot::PlotRect& g = f.plot;
    const int height = QFontMetrics(m_mainFont).height();
    int left = g.left - 3;  // the ticks; the legend and the read-out start right of them
    int top = std::min({kLegendTop, kReadoutTop, g.top});
    int bottom = std::max(g.bottom() + 1, kReadoutTop + QFontMetrics(m_readoutFont).height());
    if (f.hasRun) {
        for (int i = 0; i <= kAxisDivisions; ++i) {
            left = std::min(left, yLabelX(g, f.yValue[size_t(i)]));
            top = std::min(top, yLabelY(g, i));
            bottom = std::max(bottom, yLabelY(g, i) + height);
        }
        for (int j = 0; j < plot::kTimeMarks; ++j) {
            if (f.timeShown[j])
                left = std::min(left, f.timeX[j]);
        }
        bottom = std::max(bottom, timeLabelY(f) + height);
    }
    return QRect(QPoint(left - kSlack, top - kSlack), QPoint(f.window.width() - 1, bottom + kSlack));
}

PlotChrome::Strips LoggerChrome::strips(const ChromeFrame& f) const
{
    // Everything around the plot's picture: the bands above and below it,
    // and left and right of it, each cut to where the chrome draws more
    // than its ground. The rest of the window is the ground's colour alone
    // (the set list and the toolbar cover most of it).
    const int cx = f.window.width(), cy = f.window.height();
    const plot::PlotRect& im = f.image;
    Strips s;
    s.face = frameGrey(QGuiApplication::palette()).rgb();
    if (im.width <= 0 || im.height <= 0 || im.left >= cx || im.top >= cy) {
        // No plot's picture: one strip holds the whole client.
        s.rect = {QRect(0, 0, cx, cy)};
        s.count = 1;
        return s;
    }
    const QRect ink = inkBounds(f);
    const QRect around[] = {QRect(0, 0, cx, im.top), QRect(0, im.bottom(), cx, cy - im.bottom()),
                            QRect(0, im.top, im.left, im.height),
                            QRect(im.right(), im.top, cx - im.right(), im.height)};
    for (const QRect& r : around) {
        const QRect kept = r & ink;
        if (!kept.isEmpty())
            s.rect[size_t(s.count++)] = kept;
    }
    return s;
}

void LoggerChrome::paint(QPainter& p, const ChromePaint& in) const
{
    const ChromeFrame& f = in.frame;
    const plot::PlotRect& g = f.plot;
    const int left = g.left, top = g.top, right = g.right(), bottom = g.bottom(), W = g.width, H = g.height;
    const int cx = std::max(f.window.width(), 1), cy = std::max(f.window.height(), 1);
    // Around the plot the desktop's colours; the plot keeps its own.
    const QPalette palette = QGuiApplication::palette();
    const QColor ground = frameGrey(palette);
    p.fillRect(0, 0, cx, cy, ground);
    if (W > 0 && H > 0)
        p.fillRect(left, top, W, H, Qt::black);

    // Value grid: eleven horizontals; the full view adds its verticals, the
    // first under the frame's left line, the last on the right edge.
    for (int i = 0; i <= kAxisDivisions; ++i)
        hLine(p, left, right, top + f.gridY[i], kLoggerValueGrid);
    if (f.autoMode) {
        for (int i = 0; i < f.nGridX; ++i)
            vLine(p, left + f.gridX[i], top, bottom, kLoggerValueGrid);
    }
    // Frame and ticks.
    vLine(p, left, top, bottom, kLoggerFrame);
    vLine(p, right, top, bottom, kLoggerFrame);
    for (int i = 0; i <= kAxisDivisions; ++i)
        hLine(p, left - 3, left, top + f.gridY[i], kLoggerFrame);
    p.fillRect(static_cast<int>(left - 11.2), bottom + 1, right, 100, ground);

    const QFontMetrics mainMetrics(m_mainFont);
    const QFontMetrics readoutMetrics(m_readoutFont);
    p.setBackgroundMode(Qt::OpaqueMode);
    p.setBackground(chromeCell(palette));
    p.setPen(chromeInk(palette));
    p.setFont(m_mainFont);
    // Texts stay outside the plot, whose pixels the plot's picture holds.
    const QRegion outsidePlot = QRegion(0, 0, cx, cy).subtracted(QRegion(left, top, std::max(W, 0), H + 1));

    if (f.hasRun) {
        // The zoomed time grid, from the bottom up; lines beyond the sides
        // fall under the strips.
        if (!f.autoMode) {
            for (int j = 0; j < f.nGridX; ++j)
                vLine(p, left + f.gridX[j], top + 1, bottom + 1, kLoggerTimeGrid);
        }
        // (The curves go here, into the plot's picture.) The margin strips.
        p.fillRect(0, 23, cx, top - 23, ground);
        p.fillRect(0, bottom + 1, cx, cy - bottom, ground);
        p.fillRect(0, 23, left, cy - 23, ground);
        p.fillRect(right, 23, cx - right, cy - 23, ground);

        p.setClipRegion(outsidePlot);
        const int timeY = timeLabelY(f);
        for (int j = 0; j < plot::kTimeMarks; ++j) {
            if (f.timeShown[j])
                cellText(p, mainMetrics, f.timeX[j], timeY, in.timeLabel[j]);
        }
        for (int i = 0; i <= kAxisDivisions; ++i)
            cellText(p, mainMetrics, yLabelX(g, f.yValue[size_t(i)]), yLabelY(g, i), in.yLabel[i]);
        // The read-out of every visible curve.
        p.setFont(m_readoutFont);
        for (int k = 0; k < kChannelCount; ++k) {
            if (!f.shown[size_t(k)])
                continue;
            const int x = left + 120 * k;
            const bool rh = k == kRh;
            p.fillRect(x, kReadoutTop, 50, 20, ground);
            cellText(p, readoutMetrics, x, kReadoutTop, m_readout.value[k] + (rh ? QStringLiteral("%RH") : m_unit));
            cellText(p, readoutMetrics, x + (rh ? 62 : 50), kReadoutTop, QStringLiteral("@"));
            cellText(p, readoutMetrics, x + (rh ? 74 : 62), kReadoutTop, m_readout.time);
        }
        p.setFont(m_mainFont);
    }

    // Legend.
    p.setClipRegion(outsidePlot);
    for (int k = 0; k < kChannelCount; ++k) {
        if (!f.shown[size_t(k)])
            continue;
        cellText(p, mainMetrics, left + 40 + 120 * k, kLegendTop, QString::fromLatin1(kChannelLegend[size_t(k)]));
        p.fillRect(left + 20 + 120 * k, 59, 60, 2, kCurveScreenColor[k]);
    }
}

LoggerDrawing::LoggerDrawing()
    : m_frame(std::make_unique<plot::PlotFrame>())
{
}

void LoggerDrawing::layoutAndRender(LoggerSession& session, QSize client)
{
    m_chrome.setReadout(session.readout, session.run().unit());
    const PlotInputs in {session.run(), session.hasSet(), session.scale(), session.showCurve,
                         session.shownLimitMarks()};
    ::layoutAndRender(session.display, kLoggerPolicy, client, in, *m_frame, m_renderer);
}

void LoggerDrawing::renderReadout(const LoggerSession& session)
{
    m_chrome.setReadout(session.readout, session.run().unit());
    m_renderer.render(*m_frame, session.run(), session.showCurve, PlotRenderer::Curves::Keep);
}
