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
    if (image.width <= 0 || image.height <= 0 || image.left >= f.window.width() || image.top >= f.window.height()) {
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
    if (!f.hasRun)
        return;
    drawLimitLines(f);
    if (std::none_of(shown.begin(), shown.end(), [](bool on) { return on; }))
        return;
    // Fewer than two samples make no segment: the background stays as it is.
    if (std::min(f.count, run.count()) >= 2) {
        keepBackgroundDots();
        m_overdrawn = true;
    }
    // Far-off ends are clipped to the plot and two pixels around it.
    const double ox = f.mapOrigin.x(), oy = f.mapOrigin.y();
    const ClipBox box {ox - 2.0, oy - 2.0, ox + f.plot.width + 2.0, oy + f.plot.height + 2.0};
    m_curves.draw(m_plotPainter, run, f.count, shown, f.map, box, f.mapOrigin);
}

bool PlotRenderer::ensurePlotImage(const plot::PlotRect& image)
{
    if (m_plot.width() == image.width && m_plot.height() == image.height && m_plotPainter.isActive())
        return false;
    if (m_plotPainter.isActive())
        m_plotPainter.end();
    m_plot = QImage(image.width, image.height, QImage::Format_RGB32);
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
    m_dotsKept = false;
}

void PlotRenderer::keepBackgroundDots()
{
    // Where the background differs from the fill, to lay it again under the
    // next repaint's curves: a few thousand pixels instead of a second image
    // of the plot's size. Read once per background, and only when something
    // is drawn over it: a plot without samples or limit lines (the window's
    // first paint) never needs them.
    if (m_dotsKept)
        return;
    m_dotsKept = true;
    m_dots.clear();
    const QRgb fill = m_description.style().plotFill | 0xff000000u;
    const int width = m_plot.width();
    for (int y = 0; y < m_plot.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(m_plot.constScanLine(y));
        for (int x = 0; x < width; ++x)
            if (line[x] != fill)
                m_dots.push_back({y * width + x, line[x]});
    }
}

void PlotRenderer::restoreBackground()
{
    m_overdrawn = false;
    m_plot.fill(m_description.style().plotFill);
    const int width = m_plot.width();
    uchar* bits = m_plot.bits();
    const qsizetype stride = m_plot.bytesPerLine();
    if (stride == qsizetype(width) * qsizetype(sizeof(QRgb))) {
        // Rows without padding (as 32-bit rows always are): a dot's place
        // is its index.
        QRgb* pixels = reinterpret_cast<QRgb*>(bits);
        for (const Dot& d : m_dots)
            pixels[d.at] = d.colour;
        return;
    }
    for (const Dot& d : m_dots)
        reinterpret_cast<QRgb*>(bits + (d.at / width) * stride)[d.at % width] = d.colour;
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
    }
}

void PlotRenderer::paint(QPainter& p, const QRect& exposed, const plot::ViewState& st) const
{
    if (m_chrome.isNull())
        return;
    const QRect plotRect = m_plot.isNull() ? QRect() : this->plotRect();
    m_chrome.draw(p, exposed, plotRect);
    if (!m_plot.isNull())
        p.drawImage(plotRect.topLeft(), m_plot);

    // Overlays in place of drawing by inversion: the dotted cursor line and
    // the band's dotted frame both change the dots' pixels of the picture.
    const OverlayPicture picture {&m_chrome, m_plot.isNull() ? nullptr : &m_plot, plotRect.topLeft()};
    const PlotChrome::Style& style = m_description.style();
    const plot::PlotRect& g = m_key.plot;
    if (!st.bCursorHidden && m_key.hasRun)
        m_overlay.drawDots(p, QPoint(st.nCursorX, g.top), QPoint(st.nCursorX, g.bottom() + style.cursorBottom), picture,
                           style.cursorMask);
    if (st.bBandActive && !st.bBandUnmoved)
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
        p.drawImage(plotRect().topLeft(), m_plot);
    return out;
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
