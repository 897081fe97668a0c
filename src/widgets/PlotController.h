#pragma once
// The mouse, the band watch, the scroll bar and the zoom commands of a
// zoomable run plot, written once for the real-time graph and the logger
// window: each forwards its events here and answers the few questions
// only it can (the frame the user sees, how it repaints, what the cursor's
// read-out shows). The state and the frame stay the window's; what the
// user does to them is plot/PlotView.h's.
#include "plot/PlotFrame.h"
#include "plot/PlotView.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QTimer>

class QScrollBar;

class PlotController : public QObject {
    Q_OBJECT
public:
    class Host {
    public:
        virtual ~Host() = default;
        // The frame the user sees, laid out anew first when a change
        // outdated it.
        virtual const plot::PlotFrame& currentFrame() = 0;
        // The frame last laid out, as it is.
        virtual const plot::PlotFrame& lastFrame() const = 0;
        virtual void repaintNow() = 0;
        // Only the cursor line or the band changed within `area`.
        virtual void repaintOverlay(const QRect& area) = 0;
        // The cursor line moved; its sample is the state's nCursorSample.
        virtual void cursorMoved() = 0;
    };

    PlotController(QObject* parent, Host& host, plot::ViewState& state, const plot::PlotPolicy& policy);

    // Pointer positions in window pixels; press and release of the left
    // button only.
    void mousePress(QPoint pos);
    void mouseMove(QPoint pos);
    void mouseRelease(QPoint pos);
    // One tick of the band watch (normally driven by its 10 ms timer).
    void watchBand();
    bool bandWatchRunning() const { return m_watch.isActive(); }

    // Back to the whole run, repainted at once.
    void undoZoom();
    // Back one zoom level, repainted at once.
    void stepBack();
    // Back to the whole run; the caller repaints.
    void resetView();

    // The bar scrolls the zoomed curves: thumb position P brings sample P
    // to the plot's left edge. It is enabled while a zoomed run has a
    // sample step.
    void setScrollBar(QScrollBar* bar);
    // The bar's range, page and thumb from the frame last laid out.
    void syncScrollBar();

    // Where the overlays lie now, for repainting just that.
    QRect cursorRect() const;
    QRect bandRect() const;

signals:
    // A release or a command changed the zoom.
    void zoomChanged();

private:
    void onScrollValue(int value);
    static bool hasSamples(const plot::PlotFrame& f) { return f.hasRun && f.count > 0; }

    Host& m_host;
    plot::ViewState& m_state;
    const plot::PlotPolicy& m_policy;
    QPointer<QScrollBar> m_bar;
    QTimer m_watch;
    QPoint m_pointer;  // last pointer position seen, window pixels
};
