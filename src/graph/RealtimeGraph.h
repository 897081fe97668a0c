#pragma once
// The real-time graph as the view uses it: the graph's own view state, the
// renderer, the cursor and rubber-band handling, the band-watch timer and
// the scroll strip. The view forwards its paint and mouse events here and
// shows the status texts this object reports. What it draws (the run, the Y
// scale, the shown curves) it reads from its input source at each repaint.
#include "graph/GraphRenderer.h"
#include "graph/RealtimeLayout.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>

class QWidget;
class QPainter;
class CScrollStrip;

class RealtimeGraph : public QObject {
    Q_OBJECT
public:
    struct Inputs {
        RunView run;
        YScaleValues scale;
        CurveSet shown {true, true, true, true, true};
    };
    using InputSource = std::function<Inputs()>;

    RealtimeGraph(QWidget* view, InputSource inputs, const QFont& graphFont);

    // One full repaint's work: the state follows the run, the frame is laid
    // out from it, and the renderer draws the frame.
    static void layoutAndRender(GraphState& st, GraphFrame& frame, GraphRenderer& renderer, const PlotGeometry& geo,
                                const Inputs& in);

    GraphState& state() { return m_state; }
    const GraphState& state() const { return m_state; }
    // The layout of the last repaint: its axis values, time marks, zoom.
    const GraphFrame& frame() const { return *m_frame; }
    GraphRenderer& renderer() { return m_renderer; }
    const GraphRenderer& renderer() const { return m_renderer; }
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

    // A sample was committed: repaint (unless a band is being dragged), and
    // let that repaint keep the cursor line.
    void onSampleCommitted();
    bool commitRepaintPending() const { return m_bCommitPending; }
    bool dragging() const { return m_state.bDragging; }

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
    // A full repaint finished: panels may reload their texts.
    void rendered();

private:
    void render();
    void updateOverlay(const QRect& r);
    QRect cursorRect() const;
    QRect bandRect() const;
    void syncCommandState();
    void syncScrollStrip(int count);
    void onScrollValue(int value);

    QWidget* m_view;
    InputSource m_inputs;
    GraphState m_state;
    std::unique_ptr<GraphFrame> m_frame;
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
    bool m_bCommitPending = false;  // the next repaint draws a committed sample
};
