#include "graph/RealtimeChrome.h"

#include "widgets/PanelStyle.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPalette>
#include <cmath>

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

QRect qrect(const Rect& r) { return QRect(r.x, r.y, r.w, r.h); }

} // namespace

PlotGeometry PlotGeometry::fromClient(int width, int height, Rect frameClient)
{
    PlotGeometry g;
    g.T = frameClient.y;
    g.FR = frameClient.x + frameClient.w;
    g.FB = frameClient.y + frameClient.h;
    g.R = width;
    g.B = height;
    const plot::PlotRect plot = kRealtimePolicy.plotRect(QSize(width, height));
    g.x0 = plot.left;
    g.y0 = plot.top;
    g.x1 = plot.right();
    g.y1 = plot.bottom();
    g.W = plot.width;
    g.H = plot.height;
    return g;
}

int yTickY(int H, int i) { return H + 23 - static_cast<int>(std::floor(i * (H - 1) / 10.0)); }
int yLabelX(float value) { return static_cast<int>(plot::yLabelIndent(value) * 7.5 + 2.0); }
int yLabelY(int H, int i) { return H + 16 - static_cast<int>(std::floor(i * (H - 2) / 10.0)); }

RealtimeChrome::RealtimeChrome(const QFont& graphFont)
    : PlotChrome(Style {0xff000000u, kInvertMask, 0})
    , m_font(graphFont)
{
}

void RealtimeChrome::setFont(const QFont& graphFont)
{
    m_font = graphFont;
    changed();
}

void RealtimeChrome::setFrameClient(const QRect& frameClient)
{
    if (m_frameClient == frameClient)
        return;
    m_frameClient = frameClient;
    changed();
}

PlotGeometry RealtimeChrome::geometry(QSize view) const
{
    if (!m_frameClient)
        return PlotGeometry::fromClient(view.width(), view.height());
    const QRect& fc = *m_frameClient;
    return PlotGeometry::fromClient(view.width(), view.height(), {fc.x(), fc.y(), fc.width(), fc.height()});
}

PlotChrome::Strips RealtimeChrome::strips(const ChromeFrame& f) const
{
    const PlotGeometry g = geometry(f.window);
    // Without a plot height only the legend and the frame's areas are drawn.
    const bool plotRows = g.H > 0;
    // The legend lies on the frame's band: one strip holds both.
    Strips s;
    s.face = QApplication::palette().color(QPalette::Button).rgb();
    s.rect = {qrect(g.frameColumn()),
              qrect(g.frameBand()) | qrect(g.legendBand()),
              plotRows ? qrect(g.yStrip()) : QRect(),
              plotRows ? qrect(g.rightStrip()) : QRect(),
              plotRows ? qrect(g.timeBand()) : QRect()};
    s.count = 5;
    return s;
}

void RealtimeChrome::paint(QPainter& p, const ChromePaint& in) const
{
    const ChromeFrame& k = in.frame;
    const PlotGeometry g = geometry(k.window);
    // The chrome takes the desktop's colours; the plot keeps its own.
    const QPalette palette = QApplication::palette();
    const QColor ground = frameGrey(palette), ink = chromeInk(palette), cell = chromeCell(palette);
    p.save();
    p.setFont(m_font);
    const QFontMetrics fm(m_font);
    p.setBackgroundMode(Qt::OpaqueMode);

    auto fill = [&](const Rect& r) {
        if (r.w > 0 && r.h > 0)
            p.fillRect(r.x, r.y, r.w, r.h, ground);
    };

    // The frame's grey areas, then the graph's strips and bands over them.
    fill(g.frameColumn());
    fill(g.frameBand());

    // Y strip: ticks and labels, bottom division first.
    const Rect ys = g.yStrip();
    if (g.H > 0) {
        fill(ys);
        p.setBackground(cell);
        p.setPen(QPen(ink, 0));
        for (int i = 0; i <= kAxisDivisions; ++i) {
            const int t = ys.y + yTickY(g.H, i);
            p.drawLine(ys.x + 63, t, ys.x + 67, t);
            cellText(p, fm, ys.x + yLabelX(k.yValue[size_t(i)]), ys.y + yLabelY(g.H, i), in.yLabel[i]);
        }
        fill(g.rightStrip());
    }

    // Legend band.
    fill(g.legendBand());
    p.setBackground(cell);
    for (int c = 0; c < kChannelCount; ++c) {
        if (!k.shown[size_t(c)])
            continue;
        p.setPen(ink);
        cellText(p, fm, g.legendTextX(c), g.legendTextY(), QString::fromLatin1(kChannelLegend[c]));
        p.fillRect(g.legendLineX0(c), g.legendLineY() - 1, g.legendLineX1(c) - g.legendLineX0(c), 2,
                   kCurveScreenColor[c]);
    }

    // Time band.
    if (g.H > 0)
        fill(g.timeBand());
    p.setBackground(chromeTimeCell(palette));
    p.setPen(ink);
    for (int j = 0; j < plot::kTimeMarks; ++j) {
        if (k.timeShown[j])
            cellText(p, fm, k.timeX[j], g.timeLabelY(), in.timeLabel[j]);
    }

    // The plot: black under a dotted grid of the frame's verticals and ten
    // horizontals (the tenth on the row below the plot), over whatever
    // the bands above reach into it.
    if (g.usable()) {
        p.setClipRect(QRect(g.x0, g.y0, g.W, g.H), Qt::IntersectClip);
        p.setBackgroundMode(Qt::TransparentMode);
        p.fillRect(g.x0, g.y0, g.W, g.H, Qt::black);
        p.setPen(dottedPen(kGridColor));
        for (int i = 0; i < k.nGridX; ++i)
            p.drawLine(g.x0 + k.gridX[i], g.y0 + g.H, g.x0 + k.gridX[i], g.y0);
        for (int i = 1; i <= kAxisDivisions; ++i)
            p.drawLine(g.x0, g.y0 + k.gridY[i], g.x0 + g.W, g.y0 + k.gridY[i]);
    }
    p.restore();
}
