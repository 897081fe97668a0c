#include "widgets/PlotRenderer.h"

#include "base/LocalTime.h"

#include <algorithm>
#include <cstring>
#include <span>

PlotRenderer::PlotRenderer(const PlotChrome& chrome)
    : m_description(chrome)
{
}

PlotRenderer::~PlotRenderer()
{
    if (m_plotPainter.isActive())
        m_plotPainter.end();
}

void PlotRenderer::render(const plot::PlotFrame& f, const RunView& run, const CurveSet& shown, Curves curves)
{
    ChromeFrame k;
    k.window = f.window;
    k.plot = f.plot;
    k.image = f.image;
    k.hasRun = f.hasRun;
    k.autoMode = f.autoMode;
    k.yValue = f.yValue;
    std::memcpy(k.gridY, f.gridY, sizeof k.gridY);
    k.nGridX = f.nGridX;
    std::memcpy(k.gridX, f.gridX, sizeof k.gridX);
    std::memcpy(k.timeShown, f.timeShown, sizeof k.timeShown);
    std::memcpy(k.timeX, f.timeX, sizeof k.timeX);
    std::memcpy(k.timeOf, f.timeOf, sizeof k.timeOf);
    k.shown = shown;
    k.revision = m_description.revision();
    if (!(k == m_key)) {
        m_key = k;
        for (int i = 0; i <= kAxisDivisions; ++i)
            m_yLabel[i] = plot::yLabelText(k.yValue[size_t(i)]);
        for (int j = 0; j < plot::kTimeMarks; ++j)
            m_timeLabel[j] = LocalTime::format(k.timeOf[j], "%H:%M:%S");
        paintStrips();
    }

    const plot::PlotRect& image = f.image;
    const bool noPlot =
        image.width <= 0 || image.height <= 0 || image.left >= f.window.width() || image.top >= f.window.height();
    m_plotRect = noPlot ? QRect() : QRect(image.left, image.top, image.width, image.height);
    // Without a run, or a run without samples and limit lines, the plot
    // shows its background alone: the chrome paints it at each paint, and
    // no picture of the plot's size is kept for it.
    m_backgroundOnly = !noPlot && (!f.hasRun || ((f.count == 0 || run.count() == 0) && f.nLimits == 0));
    if (noPlot || m_backgroundOnly) {
        if (m_plotPainter.isActive())
            m_plotPainter.end();
        m_plot = QImage();
        m_background = BackgroundKey {};
        return;
    }
    const bool newImage = ensurePlotImage(image);
    BackgroundKey b;
    b.plot = f.plot;
    b.image = f.image;
    b.hasRun = f.hasRun;
    b.autoMode = f.autoMode;
    std::memcpy(b.gridY, f.gridY, sizeof b.gridY);
    b.nGridX = f.nGridX;
    std::memcpy(b.gridX, f.gridX, sizeof b.gridX);
    if (newImage || !(b == m_background)) {
        m_background = b;
        paintBackground();
    } else if (curves == Curves::Keep) {
        return;
    } else if (m_overdrawn) {
        restoreBackground();
    }
    drawLimitLines(f);
    if (std::none_of(shown.begin(), shown.end(), [](bool on) { return on; }))
        return;
    // Fewer than two samples make no segment: the background stays as it is.
    if (std::min(f.count, run.count()) < 2)
        return;
    keepBackgroundDots();
    m_overdrawn = true;
    // Far-off ends are clipped to the plot and two pixels around it.
    const double ox = f.mapOrigin.x(), oy = f.mapOrigin.y();
    const ClipBox box {ox - 2.0, oy - 2.0, ox + f.plot.width + 2.0, oy + f.plot.height + 2.0};
    m_curves.draw(m_plotPainter, run, f.count, shown, f.map, box, f.mapOrigin, &m_ink);
}

bool PlotRenderer::ensurePlotImage(const plot::PlotRect& image)
{
    if (m_plot.width() == image.width && m_plot.height() == image.height && m_plotPainter.isActive())
        return false;
    if (m_plotPainter.isActive())
        m_plotPainter.end();
    m_plot = QImage(image.width, image.height, QImage::Format_RGB32);
    m_ink.reset(image.width, image.height);
    m_plotPainter.begin(&m_plot);
    m_plotPainter.setRenderHint(QPainter::Antialiasing, false);
    return true;
}

void PlotRenderer::paintStrips()
{
    ++m_chromePaints;
    const PlotChrome::Strips s = m_description.strips(m_key);
    const QSize size(std::max(m_key.window.width(), 1), std::max(m_key.window.height(), 1));
    m_chrome.reset(size, s.face, std::span<const QRect>(s.rect.data(), size_t(s.count)));
    m_chrome.paint([this](QPainter& p) { paintChrome(p); });
}

void PlotRenderer::paintChrome(QPainter& p) const
{
    m_description.paint(p, ChromePaint {m_key, m_yLabel, m_timeLabel});
}

void PlotRenderer::paintBackground()
{
    // The chrome's own paint, cut to the plot's picture.
    const plot::PlotRect& image = m_key.image;
    m_plot.fill(m_description.style().plotFill);
    QPainter& p = m_plotPainter;
    p.save();
    // As a new painter starts: the curves left their pen behind.
    p.setPen(QPen());
    p.setBrush(Qt::NoBrush);
    p.setBackgroundMode(Qt::TransparentMode);
    p.translate(-image.left, -image.top);
    p.setClipRect(QRect(image.left, image.top, image.width, image.height));
    paintChrome(p);
    p.restore();
    m_overdrawn = false;
    m_ink.clear();
    m_nLimitRows = 0;
    m_dotsKept = false;
}

void PlotRenderer::keepBackgroundDots()
{
    // Where the background differs from the fill, to lay it again under the
    // next repaint's curves: a few thousand pixels instead of a second image
    // of the plot's size. Read once per background, and only when something
    // is drawn over it.
    if (m_dotsKept)
        return;
    m_dotsKept = true;
    // Filed by column, top to bottom, so that a few rows of one column are
    // laid again without looking at the others: counted, then placed.
    const QRgb fill = m_description.style().plotFill | 0xff000000u;
    const int width = m_plot.width(), height = m_plot.height();
    m_columnDotStart.assign(size_t(width) + 1, 0);
    for (int y = 0; y < height; ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(m_plot.constScanLine(y));
        for (int x = 0; x < width; ++x)
            m_columnDotStart[size_t(x) + 1] += line[x] != fill;
    }
    for (int x = 0; x < width; ++x)
        m_columnDotStart[size_t(x) + 1] += m_columnDotStart[size_t(x)];
    m_columnDots.resize(size_t(m_columnDotStart[size_t(width)]));
    std::vector<int> next(m_columnDotStart.begin(), m_columnDotStart.end() - 1);
    for (int y = 0; y < height; ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(m_plot.constScanLine(y));
        for (int x = 0; x < width; ++x)
            if (line[x] != fill)
                m_columnDots[size_t(next[size_t(x)]++)] = {y, line[x]};
    }
}

void PlotRenderer::restoreRows(int x, int top, int bottom)
{
    const QRgb fill = m_description.style().plotFill | 0xff000000u;
    const qsizetype stride = m_plot.bytesPerLine() / qsizetype(sizeof(QRgb));
    QRgb* bits = reinterpret_cast<QRgb*>(m_plot.bits());
    QRgb* at = bits + top * stride + x;
    for (int y = top; y <= bottom; ++y, at += stride)
        *at = fill;
    const auto from = m_columnDots.begin() + m_columnDotStart[size_t(x)];
    const auto to = m_columnDots.begin() + m_columnDotStart[size_t(x) + 1];
    auto d = std::lower_bound(from, to, top, [](const ColumnDot& dot, int row) { return dot.y < row; });
    for (; d != to && d->y <= bottom; ++d)
        bits[d->y * stride + x] = d->colour;
}

bool PlotRenderer::restoreInk()
{
    // Column by column touches a cache line a pixel: worth it while the
    // ink covers a small part of the picture, as curves usually do.
    if (m_ink.all() || m_ink.width() != m_plot.width()
        || m_ink.area() + qint64(m_nLimitRows) * m_plot.width() > qint64(m_plot.width()) * m_plot.height() / 8)
        return false;
    for (int c = 0; c < ColumnInk::kCurves; ++c)
        for (int x = 0; x < m_ink.width(); ++x)
            if (m_ink.top(c, x) <= m_ink.bottom(c, x))
                restoreRows(x, m_ink.top(c, x), m_ink.bottom(c, x));
    // A limit line's row, with the background's dots on it.
    for (int i = 0; i < m_nLimitRows; ++i)
        for (int x = 0; x < m_plot.width(); ++x)
            restoreRows(x, m_limitRows[i], m_limitRows[i]);
    return true;
}

void PlotRenderer::restoreBackground()
{
    m_overdrawn = false;
    const bool inked = restoreInk();
    m_ink.clear();
    m_nLimitRows = 0;
    if (inked)
        return;
    m_plot.fill(m_description.style().plotFill);
    QRgb* bits = reinterpret_cast<QRgb*>(m_plot.bits());
    const qsizetype stride = m_plot.bytesPerLine() / qsizetype(sizeof(QRgb));
    for (int x = 0; x < m_plot.width(); ++x)
        for (int i = m_columnDotStart[size_t(x)]; i < m_columnDotStart[size_t(x) + 1]; ++i)
            bits[m_columnDots[size_t(i)].y * stride + x] = m_columnDots[size_t(i)].colour;
}

void PlotRenderer::drawLimitLines(const plot::PlotFrame& f)
{
    // Under the curves: a reading on its limit stays visible.
    const int width = m_plot.width();
    for (int i = 0; i < f.nLimits; ++i) {
        const plot::LimitLine& line = f.limits[i];
        if (line.row < 0 || line.row >= m_plot.height())
            continue;
        keepBackgroundDots();
        const QRgb colour = kCurveScreenColor[line.channel].rgb();
        QRgb* pixels = reinterpret_cast<QRgb*>(m_plot.scanLine(line.row));
        for (int x = 0; x < width; ++x)
            if (isLimitDash(x))
                pixels[x] = colour;
        m_overdrawn = true;
        if (m_nLimitRows < plot::kMaxLimitLines)
            m_limitRows[m_nLimitRows++] = line.row;
        else
            m_ink.markAll();
    }
}

void PlotRenderer::paint(QPainter& p, const QRect& exposed, const plot::ViewState& st) const
{
    if (m_chrome.isNull())
        return;
    const QRect plotRect = m_plotRect;
    m_chrome.draw(p, exposed, plotRect);
    if (!m_plot.isNull())
        p.drawImage(plotRect.topLeft(), m_plot);
    else
        paintBackgroundOnly(p, exposed & plotRect);

    // Overlays in place of drawing by inversion: the dotted cursor line and
    // the band's dotted frame both change the dots' pixels of the picture.
    const OverlayPicture picture {&m_chrome, m_plot.isNull() ? nullptr : &m_plot, plotRect.topLeft()};
    const PlotChrome::Style& style = m_description.style();
    const plot::PlotRect& g = m_key.plot;
    if (!st.bCursorHidden && m_key.hasRun && !m_backgroundOnly)
        m_overlay.drawDots(p, QPoint(st.nCursorX, g.top), QPoint(st.nCursorX, g.bottom() + style.cursorBottom), picture,
                           style.cursorMask);
    if (st.bBandActive && !st.bBandUnmoved && m_key.hasRun && !m_backgroundOnly)
        m_overlay.drawBand(p, st.ptAnchor, st.ptLast, picture);
}

QImage PlotRenderer::picture() const
{
    QImage out(m_chrome.size(), QImage::Format_RGB32);
    if (out.isNull())
        return out;
    QPainter p(&out);
    m_chrome.draw(p, out.rect(), QRect());
    if (!m_plot.isNull())
        p.drawImage(m_plotRect.topLeft(), m_plot);
    else
        paintBackgroundOnly(p, m_plotRect);
    return out;
}

void PlotRenderer::paintBackgroundOnly(QPainter& p, const QRect& area) const
{
    if (!m_backgroundOnly || area.isEmpty())
        return;
    // As paintBackground() lays it into a picture: the plot's fill, then
    // the chrome cut to the plot.
    p.save();
    p.setClipRect(area, Qt::IntersectClip);
    p.fillRect(area, QColor::fromRgb(m_description.style().plotFill));
    p.setPen(QPen());
    p.setBrush(Qt::NoBrush);
    p.setBackgroundMode(Qt::TransparentMode);
    paintChrome(p);
    p.restore();
}

void layoutAndRender(plot::ViewState& st, const plot::PlotPolicy& policy, QSize window, const PlotInputs& in,
                     plot::PlotFrame& frame, PlotRenderer& renderer)
{
    if (policy.level0 == plot::Level0::LiveCompression)
        plot::settleLive(st, in.run.count(), policy.plotRect(window).width);
    const RunInfo info = in.run.info();
    plot::layoutFrame(st, window, in.hasRun ? &info : nullptr, in.scale, policy, frame, in.limits);
    plot::keepFirstVisible(st, frame);
    renderer.render(frame, in.run, in.shown);
}
