#pragma once
// Where the real-time graph puts things: the plot and its strips in the
// view, the run's compression as it grows, zoom and scroll, grid and time
// marks. Window-free: the graph widget keeps a GraphState, lays out a
// GraphFrame from it before each repaint, and the renderer draws the frame.
#include "plot/CurveMap.h"
#include "plot/ZoomChain.h"
#include "run/RunInfo.h"

#include <cstdint>

inline constexpr int kTimeMarks = 10;
inline constexpr int kStartCapacity = 100;

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
    bool operator==(const Rect&) const = default;
};

struct GraphPoint {
    int x = 0;
    int y = 0;
    bool operator==(const GraphPoint&) const = default;
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
    plot::PlotRect plotRect() const { return {x0, y0, W, H}; }
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

// Y strip positions (strip-local) of division i's tick and label.
int yTickY(int H, int i);
int yLabelX(float value);
int yLabelY(int H, int i);

// The real-time graph's own view state: the compression of the growing run,
// zoom and scroll, the cursor line and the rubber band. Changed by the
// graph widget in answer to the user and to the run, never by painting.
struct GraphState {
    // Compression: the run is drawn as if nCapacity samples filled the width.
    int nCapacity = kStartCapacity;
    float fPixelsPerSample = 0;
    int nZoomBaseCapacity = 0;
    float fZoomBasePixelsPerSample = 0;

    // Zoom and scroll.
    int bAutoMode = 1;
    uint8_t nZoomLevel = 0;
    plot::ZoomStack zoomStack {};
    int nScrollShift = 0;     // shift of the zoomed curves, in samples
    int nFirstVisible = 0;    // first visible sample at the current zoom, no shift
    int bFirstVisibleSet = 1; // nFirstVisible was taken for the current level

    // Cursor line.
    int nCursorX = 0;
    int bCursorHidden = 1;
    int nCursorSample = 0;

    // Rubber band.
    GraphPoint ptAnchor;
    GraphPoint ptLast;
    GraphPoint ptPress;       // where the button went down (the band's start)
    uint8_t bBandActive = 0;
    uint8_t bBandUnmoved = 1;
    bool bDragging = false;   // a band is being dragged: commits do not repaint
};

// Everything one repaint needs besides the samples, laid out from the state
// before any pixel is drawn. Fixed size.
struct GraphFrame {
    PlotGeometry geo;
    int count = 0;
    bool autoMode = true;
    int level = 0;
    int scrollShift = 0;         // applied to the curves (zoom mode only)
    plot::LevelTransform tf;     // curves: x = X0 + dx * (s + shift), y = ay * liveY + by
    double liveScale = 0;        // liveY = H - (q - A0) * liveScale
    double axisBottom = 0;       // A0 of level 0
    int firstVisible = 0;        // first visible sample (zoom mode)

    static constexpr int kMaxGridX = 14;
    int gridX[kMaxGridX] = {};
    int nGridX = 0;
    int gridY[kAxisDivisions] = {};

    plot::AxisValues axis[plot::kMaxZoomLevels] = {};  // levels 0..level
    plot::ZoomCorners corners[plot::kMaxZoomLevels] = {};  // selections 0..level-1
    plot::AxisValues yValue {};  // axis values shown: those of `level`

    int64_t tAxisTime[kTimeMarks] = {};
    int nAxisSample[kTimeMarks] = {};
    int timeLabelX[kTimeMarks] = {};  // view x of each shown time label
    uint8_t timeLabelShown[kTimeMarks] = {};
};

// The run moved on (or the plot was resized): a new run's first reading
// starts over in auto mode, a run that outgrew the width is compressed,
// leaving one twelfth free, and the unzoomed base follows auto mode.
void settleScale(GraphState& st, int count, int plotWidth);

// Lays out one repaint from the state, the run and the scale. Reads only.
void layoutFrame(const GraphState& st, const PlotGeometry& geo, const RunInfo& run, YScaleValues scale,
                 GraphFrame& out);

// Keeps the first visible sample of a zoom level once laid out.
void keepFirstVisible(GraphState& st, const GraphFrame& frame);

// Where the frame's curves land in the plot: samples shifted by the scroll
// in zoom mode, K/IR cut to tenths as the meter shows it.
plot::CurveMap curveMap(const GraphFrame& f);
// Plot y of one stored reading at the frame's level (before truncation).
double plotY(const GraphFrame& f, int channel, float stored, bool fahrenheit);

// --- the user's actions on the state; points are clamped onto the plot ---

// Nearest sample to view x at the level last laid out; may lie outside the run.
int nearestSample(const GraphState& st, const GraphFrame& last, int x);
// Button down at a clamped point: arms the band.
void bandPress(GraphState& st, const GraphFrame& last, const PlotGeometry& geo, GraphPoint p);
// Pointer move while the band is armed. Returns true when the band changed.
bool bandMove(GraphState& st, GraphPoint p);
// Button up: finishes the band. Returns true when the view must repaint now
// (zoom mode entered or a level pushed).
bool bandRelease(GraphState& st, const GraphFrame& last, const PlotGeometry& geo, GraphPoint p);
// The band watch: cancels the band when the pointer left the surroundings.
// Returns true when it cancelled.
bool bandWatch(GraphState& st, const PlotGeometry& geo, int x, int y);
// Back to auto mode at level 0 with no shift.
void undoZoom(GraphState& st);
// Thumb position P brings sample P to the plot's left edge.
void scrollTo(GraphState& st, int position);
int scrollPosition(const GraphState& st);
