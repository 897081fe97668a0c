#pragma once
// The real-time graph as the view uses it: the graph state, the renderer,
// the cursor and rubber-band handling, the band-watch timer and the scroll
// strip. The view forwards its paint and mouse events here and shows the
// status texts this object reports.
#include "graph/GraphRenderer.h"
#include "plot/GraphState.h"
#include "plot/GraphViewFields.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QTimer>
#include <functional>

class QWidget;
class QPainter;
class CScrollStrip;
struct LiveSeries;
class RunState;

class RealtimeGraph : public QObject {
    Q_OBJECT
public:
    RealtimeGraph(QWidget* view, GraphViewFields& fields, RunState& run, const LiveSeries& series,
                  const QFont& graphFont);

    GraphState& state() { return m_state; }
    const GraphState& state() const { return m_state; }
    GraphRenderer& renderer() { return m_renderer; }
    PlotGeometry geometry() const;

    void setFont(const QFont& graphFont);
    void setScrollStrip(CScrollStrip* strip);
    // Where the frame's client rectangle lies in view coordinates (the
    // bands are placed in it); without one the view is taken to sit below a
    // 30-pixel toolbar.
    void setFrameClient(std::function<QRect()> frameClient);

    // A full repaint: invalidate() schedules one, repaintNow() paints at once.
    void invalidate();
    void repaintNow();

    // The view's paint event: a full repaint (asked for here, or an update
    // of the whole view) rebuilds the picture; a paint asked for only by the
    // cursor line or the band, or of a part of the view, copies the cached
    // picture and draws the overlays over it.
    void paint(QPainter& p, const QRect& exposed);

    void mousePress(QPoint pos);
    void mouseMove(QPoint pos);
    void mouseRelease(QPoint pos);
    void undoZoom();
    bool undoZoomEnabled() const { return m_state.bAutoMode == 0; }

    // One tick of the band watch (normally driven by the 10 ms timer).
    void watchBand();
    bool bandWatchRunning() const { return m_watch.isActive(); }

signals:
    void statusText(int pane, const QString& text);
    void undoZoomEnabledChanged(bool enabled);
    // The repaint found the sample timer to be re-armed with this period.
    void rearmSampleTimer(int periodMs);
    // A full repaint finished: panels may reload their texts.
    void rendered();

private:
    void render();
    void updateOverlay(const QRect& r);
    QRect cursorRect() const;
    QRect bandRect() const;
    void syncCommandState();
    void syncScrollStrip();
    void onScrollValue(int value);

    QWidget* m_view;
    GraphViewFields& m_fields;
    RunState& m_run;
    const LiveSeries& m_series;
    GraphState m_state;
    GraphRenderer m_renderer;
    QPointer<CScrollStrip> m_strip;
    QTimer m_watch;
    std::function<QRect()> m_frameClient;
    QPoint m_pointer;  // last pointer position seen by the view, client pixels
    QRect m_overlayPending;  // area asked for by overlay changes since the last paint
    bool m_rendered = false;
    bool m_dirty = true;
    bool m_idleShown = false;
    bool m_undoEnabled = false;
};
