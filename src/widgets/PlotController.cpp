#include "widgets/PlotController.h"

#include "widgets/InvertOverlay.h"

#include <QScrollBar>
#include <algorithm>

PlotController::PlotController(QObject* parent, Host& host, plot::ViewState& state, const plot::PlotPolicy& policy)
    : QObject(parent)
    , m_host(host)
    , m_state(state)
    , m_policy(policy)
{
    m_watch.setInterval(10);
    connect(&m_watch, &QTimer::timeout, this, &PlotController::watchBand);
}

QRect PlotController::cursorRect() const
{
    if (m_state.bCursorHidden)
        return {};
    const plot::PlotRect& g = m_host.lastFrame().plot;
    return QRect(m_state.nCursorX, g.top, 1, g.height + 1);
}

QRect PlotController::bandRect() const
{
    if (!m_state.bBandActive || m_state.bBandUnmoved)
        return {};
    return InvertOverlay::bandRect(m_state.ptAnchor, m_state.ptLast).adjusted(0, 0, 1, 1);
}

void PlotController::mousePress(QPoint pos)
{
    m_pointer = pos;
    const plot::PlotFrame& f = m_host.currentFrame();
    if (!hasSamples(f))
        return;
    plot::bandPress(m_state, f, pos);
    m_watch.start();
}

void PlotController::mouseMove(QPoint pos)
{
    m_pointer = pos;
    const plot::PlotFrame& f = m_host.currentFrame();
    if (!hasSamples(f))
        return;
    // The cursor line and its read-out first, then the band.
    const QRect before = cursorRect() | bandRect();
    if (plot::moveCursor(m_state, f, m_policy, pos.x()))
        m_host.cursorMoved();
    plot::bandMove(m_state, f, pos);
    const QRect overlay = before | cursorRect() | bandRect();
    if (!overlay.isEmpty())
        m_host.repaintOverlay(overlay);
}

void PlotController::mouseRelease(QPoint pos)
{
    m_pointer = pos;
    const plot::PlotFrame& f = m_host.currentFrame();
    if (!hasSamples(f))
        return;
    const QRect band = bandRect();
    const bool zoomed = plot::bandRelease(m_state, f, m_policy, pos);
    // Nothing is left to watch once the band is finished.
    m_watch.stop();
    if (zoomed)
        m_host.repaintNow();
    else if (!band.isEmpty())
        m_host.repaintOverlay(band);
    emit zoomChanged();
}

void PlotController::watchBand()
{
    if (plot::bandWatch(m_state, m_host.lastFrame(), m_policy, m_pointer)) {
        m_watch.stop();
        m_host.repaintNow();
    }
}

void PlotController::resetView()
{
    plot::undoZoom(m_state);
    syncScrollBar();
}

void PlotController::undoZoom()
{
    resetView();
    m_host.repaintNow();
    emit zoomChanged();
}

void PlotController::stepBack()
{
    plot::stepBack(m_state);
    syncScrollBar();
    m_host.repaintNow();
    emit zoomChanged();
}

void PlotController::setScrollBar(QScrollBar* bar)
{
    m_bar = bar;
    if (!bar)
        return;
    bar->setEnabled(false);
    connect(bar, &QScrollBar::valueChanged, this, &PlotController::onScrollValue);
}

void PlotController::syncScrollBar()
{
    if (!m_bar)
        return;
    const plot::PlotFrame& f = m_host.lastFrame();
    const QSignalBlocker block(m_bar);
    if (m_state.bAutoMode || !f.hasRun || !f.usableStep()) {
        m_bar->setEnabled(false);
        return;
    }
    // Range 0 .. count; position P shows sample P at the left edge.
    m_bar->setRange(0, f.count);
    m_bar->setPageStep(std::max(plot::truncClamped(f.plot.width / f.tf.dx), 1));
    m_bar->setValue(plot::scrollPosition(m_state));
    m_bar->setEnabled(true);
}

void PlotController::onScrollValue(int value)
{
    if (m_state.bAutoMode)
        return;
    plot::scrollTo(m_state, value);
    m_host.repaintNow();
}
