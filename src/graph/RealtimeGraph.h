#pragma once
// The real-time graph as the view uses it: the plot engine's view state,
// frame and renderer with the real-time graph's policy and chrome, what is
// the graph's own (the cursor line kept through sample commits, the idle
// and read-out status texts, the UndoZoom command's state) and the shared
// mouse and scroll handling. The view forwards its paint and mouse events
// here and shows the status texts this object reports. What it draws (the
// run, the Y scale, the shown curves) it reads from its input source at
// each repaint.
#include "graph/RealtimeChrome.h"
#include "widgets/PlotController.h"
#include "widgets/PlotRenderer.h"

#include <QObject>
#include <QPoint>
#include <functional>
#include <memory>

class QWidget;
class QPainter;
class CScrollStrip;

class RealtimeGraph : public QObject, private PlotController::Host {
    Q_OBJECT
public:
    struct Inputs {
        RunView run;
        YScaleValues scale;
        CurveSet shown {true, true, true, true, true};
        plot::LimitInputs limits {};
    };
    using InputSource = std::function<Inputs()>;

    RealtimeGraph(QWidget* view, InputSource inputs, const QFont& graphFont);
    ~RealtimeGraph() override;

    plot::ViewState& state() { return m_state; }
    const plot::ViewState& state() const { return m_state; }
    // The layout of the last repaint: its axis values, time marks, zoom.
    const plot::PlotFrame& frame() const { return *m_frame; }
    const PlotRenderer& renderer() const { return m_renderer; }
    // Where things lie in the view now.
    PlotGeometry geometry() const;

    void setFont(const QFont& graphFont);
    // The desktop's palette changed: the chrome is drawn again in its colours.
    void paletteChanged();
    void setScrollStrip(CScrollStrip* strip);
    // Where the frame's client rectangle lies in view coordinates (the
    // bands are placed in it); without one the view is taken to sit below a
    // 30-pixel toolbar.
    void setFrameClient(std::function<QRect()> frameClient);

    // A full repaint: invalidate() schedules one, repaintNow() paints at once.
    void invalidate();
    void repaintNow() override;

    // The view's paint event: a full repaint (asked for here, or an update
    // of the whole view) rebuilds the picture; a paint asked for only by the
    // cursor line or the band, or of a part of the view, copies the cached
    // picture and draws the overlays over it.
    void paint(QPainter& p, const QRect& exposed);

    // A sample was committed: repaint (unless a band is being dragged), and
    // let that repaint keep the cursor line. While the view is on screen
    // the picture is drawn at once and the view asked to paint the plot's
    // picture alone when nothing around it changed.
    void onSampleCommitted();
    bool commitRepaintPending() const { return m_bCommitPending; }
    bool dragging() const { return m_state.bDragging; }

    void mousePress(QPoint pos) { m_controller.mousePress(pos); }
    void mouseMove(QPoint pos) { m_controller.mouseMove(pos); }
    void mouseRelease(QPoint pos) { m_controller.mouseRelease(pos); }
    void undoZoom() { m_controller.undoZoom(); }
    void stepBack() { m_controller.stepBack(); }
    bool undoZoomEnabled() const { return m_state.bAutoMode == 0; }

    // One tick of the band watch (normally driven by the 10 ms timer).
    void watchBand() { m_controller.watchBand(); }
    bool bandWatchRunning() const { return m_controller.bandWatchRunning(); }

signals:
    void statusText(int pane, const QString& text);
    void undoZoomEnabledChanged(bool enabled);
    // A full repaint finished: panels may reload their texts.
    void rendered();

private:
    // PlotController::Host
    const plot::PlotFrame& currentFrame() override { return *m_frame; }
    const plot::PlotFrame& lastFrame() const override { return *m_frame; }
    void repaintOverlay(const QRect& area) override;
    void cursorMoved() override;

    void render();
    void syncCommandState();

    QWidget* m_view;
    InputSource m_inputs;
    plot::ViewState m_state;
    std::unique_ptr<plot::PlotFrame> m_frame;
    RealtimeChrome m_chrome;
    PlotRenderer m_renderer {m_chrome};
    PlotController m_controller;
    std::function<QRect()> m_frameClient;
    PlotGeometry m_rendered;       // the geometry of the last repaint
    QRect m_overlayPending;        // area asked for by overlay changes since the last paint
    QRect m_committedArea;         // area asked for by commits whose picture is drawn, since the last paint
    bool m_hasRendered = false;
    bool m_dirty = true;
    bool m_idleShown = false;
    bool m_undoEnabled = false;
    bool m_bCommitPending = false;  // the next repaint draws a committed sample
};
