#include "graph/RealtimeGraph.h"

#include "plot/CursorReadout.h"
#include "widgets/CScrollStrip.h"

#include <QPainter>
#include <QScrollBar>
#include <QWidget>
#include <QWindow>
#include <algorithm>

RealtimeGraph::RealtimeGraph(QWidget* view, InputSource inputs, const QFont& graphFont)
    : QObject(view)
    , m_view(view)
    , m_inputs(std::move(inputs))
    , m_frame(std::make_unique<plot::PlotFrame>())
    , m_chrome(graphFont)
    , m_controller(this, *this, m_state, kRealtimePolicy)
{
    connect(&m_controller, &PlotController::zoomChanged, this, &RealtimeGraph::syncCommandState);
}

RealtimeGraph::~RealtimeGraph() = default;

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
    m_chrome.setFont(graphFont);
    invalidate();
}

void RealtimeGraph::setScrollStrip(CScrollStrip* strip)
{
    m_controller.setScrollBar(strip ? strip->scrollBar() : nullptr);
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

namespace {

bool sameGeometry(const PlotGeometry& a, const PlotGeometry& b)
{
    return a.R == b.R && a.B == b.B && a.T == b.T && a.FR == b.FR && a.FB == b.FB;
}

} // namespace

void RealtimeGraph::paint(QPainter& p, const QRect& exposed)
{
    const PlotGeometry g = geometry();
    const bool overlayOnly = !m_overlayPending.isEmpty() && m_overlayPending.contains(exposed);
    // The paint a commit asked for: its picture was drawn at the commit.
    const bool committed = !m_committedArea.isEmpty();
    const bool commitOnly = committed && (m_committedArea | m_overlayPending).contains(exposed);
    // A repaint of the whole view (an update() without a rectangle, from
    // Run, a panel or the window system) covers the plot; paints of a
    // panel's area or of an uncovered part reuse the picture, which is
    // still current.
    const bool wholeView = exposed.contains(QRect(g.x0, g.y0, std::max(g.W, 1), std::max(g.H, 1)));
    m_overlayPending = QRect();
    m_committedArea = QRect();
    if (!m_hasRendered || m_dirty || !sameGeometry(m_rendered, g) || (wholeView && !overlayOnly && !commitOnly)) {
        // A paint that also shows a commit keeps the cursor line as the
        // commit's own paint would.
        if (committed)
            m_bCommitPending = true;
        render();
    }
    m_renderer.paint(p, exposed, m_state);
}

void RealtimeGraph::repaintOverlay(const QRect& r)
{
    m_overlayPending |= r;
    m_view->update(r);
}

void RealtimeGraph::cursorMoved()
{
    const RunView run = m_inputs().run;
    const int n = m_state.nCursorSample;
    if (n >= 0 && n < run.count()) {
        const ReadoutTexts t = cursorReadout(run, n);
        emit statusText(1, t.time);
        emit statusText(2, t.values);
    }
}

void RealtimeGraph::onSampleCommitted()
{
    m_bCommitPending = true;
    if (m_state.bDragging)
        return;
    const QWindow* window = m_view->window()->windowHandle();
    if (!m_hasRendered || m_dirty || !sameGeometry(m_rendered, geometry()) || !m_view->isVisible() || !window
        || !window->isExposed()) {
        // Drawn at the next paint, when there is one.
        m_view->update();
        return;
    }
    // The picture is drawn now, so that the paint copies only what changed:
    // the plot's picture while the chrome is as it was (the time labels,
    // the Y labels, the legend), else the whole view.
    const int chromePaints = m_renderer.chromePaints();
    render();
    const QRect area = m_renderer.chromePaints() == chromePaints && !m_renderer.plot().isNull()
        ? m_renderer.plotRect() & m_view->rect()
        : m_view->rect();
    m_committedArea |= area;
    m_view->update(area);
}

void RealtimeGraph::render()
{
    m_hasRendered = true;
    m_dirty = false;
    const Inputs in = m_inputs();
    const PlotGeometry g = geometry();
    m_rendered = g;
    if (m_frameClient)
        m_chrome.setFrameClient(m_frameClient());

    // Cursor keep-alive: a repaint that draws a committed sample keeps the
    // line; any other repaint removes it until the pointer moves again.
    if (m_bCommitPending) {
        if (!m_state.bCursorHidden)
            m_bCommitPending = false;
    } else {
        m_state.bCursorHidden = 1;
    }
    layoutAndRender(m_state, kRealtimePolicy, QSize(g.R, g.B),
                    PlotInputs {in.run, true, in.scale, in.shown, in.limits}, *m_frame, m_renderer);

    // Idle texts while the run is empty.
    const bool idle = in.run.count() == 0;
    if (idle && !m_idleShown) {
        emit statusText(1, QString::fromLatin1(kIdleTimeText));
        emit statusText(2, QString::fromLatin1(kIdleValuesText));
    }
    m_idleShown = idle;

    m_controller.syncScrollBar();
    syncCommandState();
    emit rendered();
}

void RealtimeGraph::paletteChanged()
{
    m_chrome.paletteChanged();
    invalidate();
}

void RealtimeGraph::syncCommandState()
{
    const bool enabled = undoZoomEnabled();
    if (enabled != m_undoEnabled) {
        m_undoEnabled = enabled;
        emit undoZoomEnabledChanged(enabled);
    }
}
