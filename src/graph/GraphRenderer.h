#pragma once
// Paints the real-time graph off-screen. The picture lives in two cached
// images: the chrome (strips, legend, axis labels, time band; the size of the
// view) and the plot (W x H). The chrome and the plot's grid are redrawn only
// when what they show changes; a repaint otherwise copies the cached grid and
// draws the curves, without allocating.
#include "data/RunView.h"
#include "graph/RealtimeLayout.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QLine>
#include <QPainter>
#include <QPen>
#include <QRect>
#include <array>
#include <memory>

// Which curves are shown, in channel order.
using CurveSet = std::array<bool, kChannelCount>;
inline constexpr CurveSet kAllCurves {true, true, true, true, true};

inline const QColor kCurveScreenColor[kChannelCount] = {
    QColor(255, 0, 0), QColor(255, 255, 0), QColor(0, 255, 255), QColor(200, 100, 200), QColor(0, 255, 0)};
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
    const QImage& chrome() const { return m_chrome; }
    const QImage& plot() const { return m_plot; }

private:
    struct ChromeKey {
        int R = -1, B = -1, T = 0, FR = 0, FB = 0;
        float yValue[kAxisDivisions + 1] = {};
        int64_t tAxisTime[kTimeMarks] = {};
        uint8_t timeShown[kTimeMarks] = {};
        int timeX[kTimeMarks] = {};
        std::array<bool, kChannelCount> show{};
        int fontGeneration = 0;
        bool operator==(const ChromeKey&) const = default;
    };
    struct GridKey {
        int W = -1, H = -1;
        int nGridX = 0;
        int gridX[GraphFrame::kMaxGridX] = {};
        int gridY[kAxisDivisions] = {};
        bool operator==(const GridKey&) const = default;
    };

    void formatLabels(const GraphFrame& frame);
    void drawChrome(const GraphFrame& frame, const CurveSet& shown);
    void drawGrid(const GraphFrame& frame);
    void drawCurves(const GraphFrame& frame, const RunView& run, const CurveSet& shown);
    void ensurePlotImages(int W, int H);
    // The cached picture's pixel at a view position.
    QRgb pictureAt(int x, int y) const;
    // A dotted line from a to b (horizontal or vertical) that inverts every
    // other pixel of the picture under it.
    void drawDots(QPainter& p, QPoint a, QPoint b) const;

    QFont m_font;
    int m_fontGeneration = 0;
    PlotGeometry m_geo;
    QString m_strYLabel[kAxisDivisions + 1];
    QString m_strTimeLabel[kTimeMarks];
    ChromeKey m_chromeKey;
    GridKey m_gridKey;

    QImage m_chrome;   // whole client
    QImage m_grid;     // plot background: black and the dotted grid
    QImage m_plot;     // grid + curves
    QPainter m_plotPainter;  // stays active on m_plot between repaints
    QPen m_curvePen[kChannelCount];
    // One overlay segment at a time: a column and a row of the view's size.
    mutable QImage m_overlayColumn;
    mutable QImage m_overlayRow;

    std::unique_ptr<double[]> m_x;     // plot x of each sample, shared by the channels
    std::unique_ptr<QLine[]> m_lines;  // one curve's segments
};
