#include "graph/RealtimeGraph.h"

#include "plot/CursorReadout.h"
#include "widgets/CScrollStrip.h"

#include <QPainter>
#include <QScrollBar>
#include <QWidget>
#include <algorithm>

RealtimeGraph::RealtimeGraph(QWidget* view, InputSource inputs, const QFont& graphFont)
    : QObject(view)
    , m_view(view)
    , m_inputs(std::move(inputs))
    , m_frame(std::make_unique<GraphFrame>())
    , m_renderer(graphFont)
{
    m_watch.setInterval(10);
    connect(&m_watch, &QTimer::timeout, this, &RealtimeGraph::watchBand);
}

PlotGeometry RealtimeGraph::geometry() const
{
    if (!m_frameClient)
        return PlotGeometry::fromClient(m_view->width(), m_view->height());
    const QRect fc = m_frameClient();
    return PlotGeometry::fromClient(m_view->width(), m_view->height(), {fc.x(), fc.y(), fc.width(), fc.height()});
}

void RealtimeGraph::setFrameClient(std::function<QRect()> frameClient)
{
    m_frameClient = std::move(frameClient);
}

void RealtimeGraph::setFont(const QFont& graphFont)
{
    m_renderer.setFont(graphFont);
    invalidate();
}

void RealtimeGraph::setScrollStrip(CScrollStrip* strip)
{
    m_strip = strip;
    if (!strip)
        return;
    strip->scrollBar()->setEnabled(false);
    connect(strip->scrollBar(), &QScrollBar::valueChanged, this, &RealtimeGraph::onScrollValue);
}

void RealtimeGraph::invalidate()
{
    m_dirty = true;
    m_view->update();
}

void RealtimeGraph::repaintNow()
{
    m_dirty = true;
    m_view->repaint();
}

void RealtimeGraph::paint(QPainter& p, const QRect& exposed)
{
    const PlotGeometry g = geometry();
    const PlotGeometry& last = m_renderer.geometry();
    const bool sameGeometry = last.R == g.R && last.B == g.B && last.T == g.T && last.FR == g.FR && last.FB == g.FB;
    const bool overlayOnly = !m_overlayPending.isEmpty() && m_overlayPending.contains(exposed);
    // A repaint of the whole view (an update() without a rectangle, from a
    // commit, Run or a panel) covers the plot; paints of a panel's area or
    // of an uncovered part reuse the picture, which is still current.
    const bool wholeView = exposed.contains(QRect(g.x0, g.y0, std::max(g.W, 1), std::max(g.H, 1)));
    m_overlayPending = QRect();
    if (!m_rendered || m_dirty || !sameGeometry || (wholeView && !overlayOnly))
        render();
    m_renderer.paint(p, exposed, m_state);
}

void RealtimeGraph::updateOverlay(const QRect& r)
{
    if (r.isEmpty())
        return;
    m_overlayPending |= r;
    m_view->update(r);
}

QRect RealtimeGraph::cursorRect() const
{
    if (m_state.bCursorHidden)
        return {};
    const PlotGeometry& g = m_renderer.geometry();
    return QRect(m_state.nCursorX, g.y0, 1, g.H + 1);
}

QRect RealtimeGraph::bandRect() const
{
    if (!m_state.bBandActive || m_state.bBandUnmoved)
        return {};
    return QRect(QPoint(std::min(m_state.ptAnchor.x, m_state.ptLast.x), std::min(m_state.ptAnchor.y, m_state.ptLast.y)),
                 QPoint(std::max(m_state.ptAnchor.x, m_state.ptLast.x), std::max(m_state.ptAnchor.y, m_state.ptLast.y)))
        .adjusted(0, 0, 1, 1);
}

void RealtimeGraph::layoutAndRender(GraphState& st, GraphFrame& frame, GraphRenderer& renderer,
                                    const PlotGeometry& geo, const Inputs& in)
{
    settleScale(st, in.run.count(), geo.W);
    layoutFrame(st, geo, in.run.info(), in.scale, frame);
    keepFirstVisible(st, frame);
    renderer.render(frame, in.run, in.shown);
}

void RealtimeGraph::onSampleCommitted()
{
    m_bCommitPending = true;
    if (!m_state.bDragging)
        m_view->update();
}

void RealtimeGraph::render()
{
    m_rendered = true;
    m_dirty = false;
    const Inputs in = m_inputs();
    const PlotGeometry g = geometry();

    // Cursor keep-alive: a repaint that draws a committed sample keeps the
    // line; any other repaint removes it until the pointer moves again.
    if (m_bCommitPending) {
        if (!m_state.bCursorHidden)
            m_bCommitPending = false;
    } else {
        m_state.bCursorHidden = 1;
    }
    layoutAndRender(m_state, *m_frame, m_renderer, g, in);

    // Idle texts while the run is empty.
    const bool idle = in.run.count() == 0;
    if (idle && !m_idleShown) {
        emit statusText(1, QString::fromLatin1(kIdleTimeText));
        emit statusText(2, QString::fromLatin1(kIdleValuesText));
    }
    m_idleShown = idle;

    syncScrollStrip(in.run.count());
    syncCommandState();
    emit rendered();
}

void RealtimeGraph::syncCommandState()
{
    const bool enabled = undoZoomEnabled();
    if (enabled != m_undoEnabled) {
        m_undoEnabled = enabled;
        emit undoZoomEnabledChanged(enabled);
    }
}

void RealtimeGraph::syncScrollStrip(int count)
{
    if (!m_strip)
        return;
    QScrollBar* bar = m_strip->scrollBar();
    const QSignalBlocker block(bar);
    if (m_state.bAutoMode) {
        bar->setEnabled(false);
        return;
    }
    // Range 0 .. m_nCount; position P shows sample P at the left edge.
    bar->setRange(0, count);
    const double dx = m_frame->tf.dx;
    const int visible = dx > 0 ? static_cast<int>(geometry().W / dx) : 1;
    bar->setPageStep(visible > 1 ? visible : 1);
    bar->setValue(scrollPosition(m_state));
    bar->setEnabled(true);
}

void RealtimeGraph::onScrollValue(int value)
{
    if (m_state.bAutoMode)
        return;
    scrollTo(m_state, value);
    invalidate();
}

void RealtimeGraph::mousePress(QPoint pos)
{
    m_pointer = pos;
    if (m_inputs().run.count() == 0)
        return;
    const PlotGeometry g = geometry();
    bandPress(m_state, *m_frame, g, g.clamp(pos.x(), pos.y()));
    m_watch.start();
}

void RealtimeGraph::mouseMove(QPoint pos)
{
    m_pointer = pos;
    const RunView run = m_inputs().run;
    if (run.count() == 0)
        return;
    const PlotGeometry g = geometry();
    const GraphPoint p = g.clamp(pos.x(), pos.y());

    const int n = nearestSample(m_state, *m_frame, p.x);
    m_state.nCursorSample = n;
    // The line follows the pointer, not the sample.
    const QRect before = cursorRect() | bandRect();
    m_state.bCursorHidden = 0;
    m_state.nCursorX = p.x;
    if (n >= 0 && n < run.count()) {
        const ReadoutTexts t = cursorReadout(run, n);
        emit statusText(1, t.time);
        emit statusText(2, t.values);
    }
    bandMove(m_state, p);
    updateOverlay(before | cursorRect() | bandRect());
}

void RealtimeGraph::mouseRelease(QPoint pos)
{
    m_pointer = pos;
    if (m_inputs().run.count() == 0)
        return;
    const PlotGeometry g = geometry();
    const QRect band = bandRect();
    const bool zoomed = bandRelease(m_state, *m_frame, g, g.clamp(pos.x(), pos.y()));
    // Nothing is left to watch once the band is finished.
    m_watch.stop();
    if (zoomed)
        repaintNow();
    else
        updateOverlay(band);
    syncCommandState();
}

void RealtimeGraph::watchBand()
{
    if (bandWatch(m_state, geometry(), m_pointer.x(), m_pointer.y())) {
        m_watch.stop();
        repaintNow();
    }
}

void RealtimeGraph::undoZoom()
{
    ::undoZoom(m_state);
    if (m_strip)
        m_strip->scrollBar()->setEnabled(false);
    repaintNow();
    syncCommandState();
}
