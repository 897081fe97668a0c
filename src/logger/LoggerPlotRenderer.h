#pragma once
// Paints the logger plot off-screen, in the order the window has always
// painted it: background, plot, value grid, frame and ticks, then (with a
// set loaded) the curves, the margin strips over everything outside the
// plot, the time axis, the Y labels and the read-out, and always the legend.
//
// The picture is kept as two images: the chrome (the whole client: all of
// the above but the curves) and the plot ([left, right) x [top, bottom]:
// black, grid and curves). Nothing drawn after the curves falls inside the
// plot, so the two together are exactly that order's picture. The chrome is
// redrawn only when something it shows changes; a repaint otherwise copies
// the plot's cached grid and draws the curves, without allocating.
//
// The window and zb740-cli's plot command both draw through this class.
#include "logger/LoggerSession.h"
#include "plot/LoggerLayout.h"
#include "widgets/CurvePainter.h"
#include "widgets/InvertOverlay.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QSize>
#include <algorithm>

inline const QColor kLoggerBackground(217, 218, 212);
inline const QColor kLoggerValueGrid(80, 80, 80);
inline const QColor kLoggerTimeGrid(100, 100, 100);
inline const QColor kLoggerFrame(255, 0, 0);
// The cursor line: the not-XOR of a dotted (150, 50, 50) pen.
inline constexpr QRgb kLoggerCursorMask = notXorMask(150, 50, 50);

class LoggerPlotRenderer {
public:
    LoggerPlotRenderer();
    ~LoggerPlotRenderer();
    LoggerPlotRenderer(const LoggerPlotRenderer&) = delete;
    LoggerPlotRenderer& operator=(const LoggerPlotRenderer&) = delete;

    // "Arial" of 14 pixels; the read-out's of 12 pixels, 5 pixels wide on
    // average. Both of weight 100.
    static QFont mainFont();
    static QFont readoutFont();

    // One repaint of a laid-out frame. Reads its inputs only. With
    // `curves` false the caller knows that only the read-out changed: the
    // plot image keeps its curves.
    void render(const loggerplot::Frame& frame, const RunView& run, const CurveSet& shown,
                const loggerplot::Readout& readout, bool curves = true);

    // Copies the picture to a painter in client coordinates, then the cursor
    // line and the rubber band of the state over it.
    void paint(QPainter& p, const QRect& exposed, const loggerplot::DisplayState& st) const;

    // The picture as painted, without overlays (a new image).
    QImage picture() const;
    const QImage& chrome() const { return m_chrome; }
    const QImage& plot() const { return m_plot; }
    const loggerplot::Geometry& geometry() const { return m_geo; }
    // Client rectangle of the plot image.
    QRect plotRect() const { return QRect(m_geo.left, m_geo.top, m_plot.width(), m_plot.height()); }

private:
    struct ChromeKey {
        int cx = -1, cy = -1;
        bool loaded = false, unzoomed = true;
        plot::AxisValues yValue {};
        int64_t startTime = 0, endTime = 0;
        int nGridX = 0;
        int gridX[loggerplot::kTimeLabels] = {};
        uint8_t timeShown[loggerplot::kTimeLabels] = {};
        int timeX[loggerplot::kTimeLabels] = {};
        int64_t timeOf[loggerplot::kTimeLabels] = {};
        CurveSet shown {};
        loggerplot::Readout readout;
        QString unit;
        bool operator==(const ChromeKey&) const = default;
        // What the plot's part of the chrome shows: black, grid and frame.
        bool sameGridAs(const ChromeKey& o) const
        {
            return cx == o.cx && cy == o.cy && loaded == o.loaded && unzoomed == o.unzoomed && nGridX == o.nGridX
                && std::equal(gridX, gridX + loggerplot::kTimeLabels, o.gridX);
        }
    };

    void drawChrome(const loggerplot::Frame& f, const CurveSet& shown, const loggerplot::Readout& readout,
                    const QString& unit);
    void ensurePlotImages(int width, int height);

    loggerplot::Geometry m_geo;
    QFont m_mainFont;
    QFont m_readoutFont;
    ChromeKey m_key;
    QImage m_chrome;  // the whole client, curves left out
    QImage m_grid;    // the plot's part of the chrome
    QImage m_plot;    // grid + curves
    QPainter m_plotPainter;  // stays active on m_plot between repaints
    CurvePainter m_curves;
    mutable InvertOverlay m_overlay;  // its buffers only
};

// One repaint of the session's plot at a client size: the frame is laid out
// from the session's display state (which keeps the first visible sample of
// a new level) and drawn. The window's paint and zb740-cli's plot command
// both come here.
void layoutAndRender(LoggerSession& session, QSize client, loggerplot::Frame& frame, LoggerPlotRenderer& renderer);
