#pragma once
// What the real-time graph draws around its curves, for the plot engine's
// renderer (widgets/PlotRenderer.h): the frame's grey areas, the Y strip
// with its ticks and labels, the right strip, the legend and the time band,
// and the plot's black background with its dotted grid.
//
// The plot follows the view's client (graph/RealtimePolicy.h); the legend
// band, the time band and the frame's grey areas are placed in the frame's
// client coordinates, which start T pixels above the view (T <= 0: the
// toolbar lies between them). The view draws them itself.
#include "graph/RealtimePolicy.h"
#include "widgets/PlotRenderer.h"

#include <QColor>
#include <QFont>
#include <QRect>
#include <array>
#include <optional>

inline const QColor kPanelGrey(217, 218, 212);
inline const QColor kGridColor(170, 170, 170);

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
    bool operator==(const Rect&) const = default;
};

// Where the real-time graph puts things, in view client pixels.
struct PlotGeometry {
    int R = 0, B = 0;          // client right and bottom edges
    int x0 = 0, y0 = 0;        // plot top-left
    int x1 = 0, y1 = 0;        // plot bottom-right
    int W = 0, H = 0;
    int T = 0;                 // frame client top, in view coordinates
    int FR = 0, FB = 0;        // frame client right and bottom, in view coordinates

    // frameClient: the frame's client rectangle in view coordinates.
    static PlotGeometry fromClient(int width, int height, Rect frameClient);
    // Without a frame: as if below a 30-pixel toolbar and above a status bar.
    static PlotGeometry fromClient(int width, int height) { return fromClient(width, height, {0, -30, width, height + 50}); }

    bool usable() const { return W > 0 && H > 0; }
    Rect plot() const { return {x0, y0, W, H}; }
    Rect yStrip() const { return {226, y0 - 24, 68, H + 54}; }
    // Omitted (zero width) when the window is too narrow.
    Rect rightStrip() const { return {x1, y0 - 24, R - 50 < 224 ? 0 : 60, H + 24}; }
    Rect legendBand() const { return {290, T + 125, FR - 280, 23}; }
    Rect timeBand() const { return {x0, T + y1 + 31, W + 108, 29}; }
    // The frame's own grey areas: a column right of the graph and the band
    // under the legend.
    Rect frameColumn() const { return {FR - 52, T + 125, 63, FB - T - 340}; }
    Rect frameBand() const { return {290, T + 125, FR - 300, 25}; }
    // Legend entry k: text top-left and the 2-pixel line's ends.
    int legendTextX(int k) const { return x0 + 65 + 100 * k; }
    int legendTextY() const { return T + y0 + 10; }
    int legendLineX0(int k) const { return x0 + 50 + 100 * k; }
    int legendLineX1(int k) const { return x0 + 100 + 100 * k; }
    int legendLineY() const { return T + y0 + 28; }
    int timeLabelY() const { return T + y1 + 40; }
};

// Y strip positions (strip-local) of division i's tick and label.
int yTickY(int H, int i);
int yLabelX(float value);
int yLabelY(int H, int i);

class RealtimeChrome : public PlotChrome {
public:
    explicit RealtimeChrome(const QFont& graphFont);

    void setFont(const QFont& graphFont);
    // Where the frame's client rectangle lies in view coordinates; until
    // one is set, the view is taken to sit below a 30-pixel toolbar.
    void setFrameClient(const QRect& frameClient);
    PlotGeometry geometry(QSize view) const;

    Strips strips(const ChromeFrame& f) const override;
    void paint(QPainter& p, const ChromePaint& in) const override;

private:
    QFont m_font;
    std::optional<QRect> m_frameClient;
};
