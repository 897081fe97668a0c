#pragma once
// Window-free geometry of the real-time graph: where the plot and its strips
// sit in the view, the scales of auto and zoom mode, grid and time marks.
#include "plot/GraphState.h"
#include "plot/GraphViewFields.h"

#include <cstdint>

struct LiveSeries;
class RunState;

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
    bool operator==(const Rect&) const = default;
};

// Positions are view client pixels. The plot follows the view's client; the
// legend band, the time band and the frame's grey areas are placed in the
// frame's client coordinates, which start T pixels above the view (T <= 0:
// the toolbar lies between them). The view draws them itself.
struct PlotGeometry {
    int R = 0, B = 0;          // client right and bottom edges
    int x0 = 294, y0 = 118;    // plot top-left
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

    // Clamp a pointer position onto the plot rectangle.
    GraphPoint clamp(int x, int y) const;
    // The plot's surroundings: leaving them cancels a rubber band.
    bool inSurroundings(int x, int y) const
    {
        return x0 - 50 < x && x < R - 20 && y0 - 3 < y && y < y1 + 20;
    }
};

// Truncation toward zero that stays defined for coordinates far off the plot.
int truncClamped(double v);

// Right-alignment indent (in characters of about 7.5 pixels) of a Y label.
int yLabelIndent(float value);
// Y strip positions (strip-local) of division i's tick and label.
int yTickY(int H, int i);
int yLabelX(float value);
int yLabelY(int H, int i);

// Everything one repaint needs besides the samples, worked out before any
// pixel is drawn. Fixed size.
struct GraphFrame {
    PlotGeometry geo;
    int count = 0;
    bool autoMode = true;
    int level = 0;
    int scrollShift = 0;     // applied to the curves (zoom mode only)
    LevelTransform tf;       // curves: x = X0 + dx * (s + shift), y = ay * liveY + by
    double liveScale = 0;    // liveY = H - (q - A0) * liveScale
    double axisBottom = 0;   // A0 of level 0

    static constexpr int kMaxGridX = 14;
    int gridX[kMaxGridX] = {};
    int nGridX = 0;
    int gridY[kAxisDivisions] = {};

    float yValue[kAxisDivisions + 1] = {};

    int timeLabelX[kTimeMarks] = {};  // view x of each shown time label
    uint8_t timeLabelShown[kTimeMarks] = {};
};

// The scale work of a repaint: first-reading reset, compression, level-0
// base, the zoom chain, grid and time marks. Updates the graph state and the
// view fields (first visible sample, thumb) the way a repaint does.
// Compression is settled here before drawing, so one pass already paints
// at the final scale.
void prepareFrame(GraphState& st, GraphViewFields& view, RunState& run, const PlotGeometry& geo,
                  GraphFrame& out);

// Plot y of one stored reading at the frame's level (before truncation).
double plotY(const GraphFrame& f, int channel, float stored, bool fahrenheit);
// The reading as the curve shows it: display unit, then tenths.
double quantised(int channel, float stored, bool fahrenheit);
