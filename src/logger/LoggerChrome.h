#pragma once
// What the logger plot draws around its curves, for the plot engine's
// renderer (widgets/PlotRenderer.h), in the order the window has always
// painted it: background, plot, value grid (with the full view's fifteen
// verticals), frame and ticks, then (with a set loaded) the zoomed time
// grid, the margin strips over everything outside the plot, the time
// labels, the Y labels and the read-out, and always the legend. The curves
// go between the grid and the margin strips; nothing drawn after them falls
// inside the plot, so the renderer's two parts (the strips around the
// plot, the plot's picture) are exactly that order's picture.
//
// LoggerDrawing bundles the chrome, the renderer and the last frame: the
// window, zb740-cli plot, the benchmarks and the fuzzing harness all draw
// the session's plot through one.
#include "logger/LoggerPolicy.h"
#include "logger/LoggerSession.h"
#include "widgets/PlotRenderer.h"

#include <QColor>
#include <QFont>
#include <QSize>
#include <memory>

inline const QColor kLoggerBackground(217, 218, 212);
inline const QColor kLoggerValueGrid(80, 80, 80);
inline const QColor kLoggerTimeGrid(100, 100, 100);
inline const QColor kLoggerFrame(255, 0, 0);
// The cursor line: the not-XOR of a dotted (150, 50, 50) pen.
inline constexpr QRgb kLoggerCursorMask = notXorMask(150, 50, 50);

class LoggerChrome : public PlotChrome {
public:
    LoggerChrome();

    // "Arial" of 14 pixels; the read-out's of 12 pixels, 5 pixels wide on
    // average. Both of weight 100.
    static QFont mainFont();
    static QFont readoutFont();
    // Y label i's top-left corner for its value.
    static int yLabelX(const plot::PlotRect& plot, float value);
    static int yLabelY(const plot::PlotRect& plot, int i);
    // The top of the time labels' cells.
    static int timeLabelY(const ChromeFrame& f);
    // The tops of the legend's and the read-out's cells.
    static constexpr int kLegendTop = 40;
    static constexpr int kReadoutTop = 70;

    // The read-out above the plot and the set's unit.
    void setReadout(const plot::Readout& readout, const QString& unit);

    Strips strips(const ChromeFrame& f) const override;
    void paint(QPainter& p, const ChromePaint& in) const override;

private:
    // Where paint() may draw in other colours than the ground.
    QRect inkBounds(const ChromeFrame& f) const;

    QFont m_mainFont;
    QFont m_readoutFont;
    plot::Readout m_readout;
    QString m_unit;
};

class LoggerDrawing {
public:
    LoggerDrawing();
    LoggerDrawing(const LoggerDrawing&) = delete;
    LoggerDrawing& operator=(const LoggerDrawing&) = delete;

    // One repaint of the session's plot at a client size: the frame is laid
    // out from the session's view state (which keeps the first visible
    // sample of a new level) and drawn.
    void layoutAndRender(LoggerSession& session, QSize client);
    // Only the read-out changed: the chrome is drawn again over the frame
    // last laid out, the plot's picture keeps its curves.
    void renderReadout(const LoggerSession& session);

    // The desktop's palette changed: the next repaint draws the chrome anew.
    void paletteChanged() { m_chrome.paletteChanged(); }

    const plot::PlotFrame& frame() const { return *m_frame; }
    const PlotRenderer& renderer() const { return m_renderer; }
    PlotRenderer& renderer() { return m_renderer; }

private:
    LoggerChrome m_chrome;
    PlotRenderer m_renderer {m_chrome};
    std::unique_ptr<plot::PlotFrame> m_frame;
};
