#pragma once
// Paints the real-time graph off-screen. The picture is cached in two parts:
// the chrome (strips, legend, axis labels, time band), kept as its strips on
// the button face, and the plot image (W x H). The chrome and the grid are
// drawn only when what they show changes; a repaint lays the grid's
// remembered dots on black and draws the curves, without allocating.
#include "data/RunView.h"
#include "graph/RealtimeLayout.h"
#include "widgets/CurvePainter.h"
#include "widgets/InvertOverlay.h"
#include "widgets/StripPicture.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QRect>
#include <array>
#include <memory>
#include <vector>

inline const QColor kPanelGrey(217, 218, 212);
inline const QColor kGridColor(170, 170, 170);

class GraphRenderer {
public:
    explicit GraphRenderer(const QFont& graphFont);
    ~GraphRenderer();
    GraphRenderer(const GraphRenderer&) = delete;
    GraphRenderer& operator=(const GraphRenderer&) = delete;

    void setFont(const QFont& graphFont);

    // One full repaint of a laid-out frame: labels, chrome and plot. Reads
    // its inputs only.
    void render(const GraphFrame& frame, const RunView& run, const CurveSet& shown);

    // Copies the picture to a painter in view coordinates, then the cursor
    // line and the rubber band over it.
    void paint(QPainter& p, const QRect& exposed, const GraphState& st) const;

    // The geometry of the last render.
    const PlotGeometry& geometry() const { return m_geo; }
    // The axis texts of the last render.
    const QString& yLabel(int i) const { return m_strYLabel[i]; }
    const QString& timeLabel(int j) const { return m_strTimeLabel[j]; }
    const StripPicture& chrome() const { return m_chrome; }
    const QImage& plot() const { return m_plot; }

    // The chrome of the last render in view coordinates, on any painter over
    // the button face: what the cached strips hold.
    void paintChrome(QPainter& p) const;
    // Where the chrome paints: the frame's grey areas and the graph's strips
    // and bands.
    static std::array<QRect, 5> chromeStrips(const PlotGeometry& g);

private:
    struct GridKey {
        int W = -1, H = -1;
        int nGridX = 0;
        int gridX[GraphFrame::kMaxGridX] = {};
        int gridY[kAxisDivisions] = {};
        bool operator==(const GridKey&) const = default;
    };
    struct ChromeKey {
        int R = -1, B = -1, T = 0, FR = 0, FB = 0;
        float yValue[kAxisDivisions + 1] = {};
        int64_t tAxisTime[kTimeMarks] = {};
        uint8_t timeShown[kTimeMarks] = {};
        int timeX[kTimeMarks] = {};
        std::array<bool, kChannelCount> show{};
        bool anySample = false;
        int fontGeneration = 0;
        bool operator==(const ChromeKey&) const = default;
    };

    void formatLabels(const GraphFrame& frame);
    void drawChrome(const PlotGeometry& g);
    void drawGrid(const GraphFrame& frame);
    void restoreGrid();
    void drawCurves(const GraphFrame& frame, const RunView& run, const CurveSet& shown);
    void ensurePlotImage(int W, int H);

    QFont m_font;
    int m_fontGeneration = 0;
    PlotGeometry m_geo;
    QString m_strYLabel[kAxisDivisions + 1];
    QString m_strTimeLabel[kTimeMarks];
    ChromeKey m_chromeKey;  // also what paintChrome draws
    GridKey m_gridKey;

    StripPicture m_chrome;
    QImage m_plot;     // black, the dotted grid, the curves
    std::vector<int> m_gridDots;  // the grid's pixels in m_plot (y * width + x)
    QPainter m_plotPainter;  // stays active on m_plot between repaints
    CurvePainter m_curves;
    mutable InvertOverlay m_overlay;  // its buffers only; the overlay is state of the view
};
