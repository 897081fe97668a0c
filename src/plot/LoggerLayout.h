#pragma once
// The logger plot's own layout, window-free: where the plot lies in the
// window, its display state (curves shown, zoom, scroll, cursor, rubber
// band), how a repaint is laid out from that state (the level's map, the Y
// labels, the time axis of the full view and the time grid and labels of the
// zoomed view), what the mouse does to the state, and the cursor read-out.
// The window keeps one state for the life of the program; the renderer
// draws a laid-out frame; zb740-cli lays out and renders the same way.
//
// What it shares with the real-time graph comes from the plot core: the
// scale's axis values, quantisation (K/IR rounded here), the composed zoom
// map, the selection's value span and the nearest sample.
#include "data/RunView.h"
#include "plot/CurveMap.h"
#include "plot/ZoomChain.h"

#include <QPoint>
#include <QString>
#include <cstdint>

namespace loggerplot {

inline constexpr int kTimeLabels = 10;
inline constexpr int kFullViewVerticals = 15;

// Client pixels. The plot is [left, right) x [top, bottom]: its last row
// carries the bottom grid line and the curves that reach it.
struct Geometry {
    int cx = 0, cy = 0;  // client size
    int left = 0, top = 0, right = 0, bottom = 0;
    int W = 0, H = 0;

    static Geometry fromClient(int width, int height);
    bool usable() const { return W > 0 && H > 0; }
    plot::PlotRect plotRect() const { return {left, top, W, H}; }
    // A pointer position clamped onto the plot.
    QPoint clamp(QPoint p) const;
    // A drag ends when the pointer leaves the plot extended by 50 pixels to
    // the left and right, 20 above and 40 below.
    bool insideDragBox(QPoint p) const;
    // The cursor follows the pointer across the plot and one pixel beyond.
    bool followsCursor(int x) const { return left <= x && x <= right + 1; }
    // Y label i's top-left corner for its value.
    int yLabelX(float value) const;
    int yLabelY(int i) const;
};

// The display state, shared by the window's handlers and the plot. It
// outlives the window: reset by loads, selections, Undozoom and closing,
// except the curve flags, which a new window keeps.
struct DisplayState {
    CurveSet showCurve {true, true, true, true, true};
    bool bUnzoomed = true;       // whole set at level 0; cleared by a drag
    bool bCursorHidden = true;
    bool bDragging = false;      // a rubber band is being dragged
    bool bNoDragMove = true;     // the pointer has not moved since the press
    int nZoomLevel = 0;          // 0..99
    int nShift = 0;              // samples the zoomed curves are moved right by
    int nFirstVisible = 0;       // sample at the left edge of the zoomed plot, unshifted
    bool bScrollValid = false;   // nFirstVisible was taken for the current level
    int nCursorSample = 0;
    int nCursorX = 0;
    plot::ZoomStack zoom {};     // each level's selection, fractions of the plot
    QPoint ptAnchor;             // where the band started
    QPoint ptLast;               // its last corner
};

// Unzoomed, cursor hidden, no drag movement, level 0, no shift.
void resetDisplay(DisplayState& st);

// Everything one repaint needs besides the samples. Fixed size.
struct Frame {
    Geometry geo;
    bool loaded = false;     // the table holds a set: curves, labels, read-out
    bool unzoomed = true;
    int count = 0;
    int level = 0;
    int shift = 0;
    plot::LevelTransform tf; // level 0 -> level, relative to the plot's top-left
    plot::CurveMap map;      // curves in client pixels
    plot::AxisValues axis[plot::kMaxZoomLevels] = {};
    plot::ZoomCorners corners[plot::kMaxZoomLevels] = {};
    plot::AxisValues yValue {};  // the labels shown: those of `level`

    // Full view: the time of the first and of the last sample.
    int64_t startTime = 0;
    int64_t endTime = 0;

    // Zoomed view: the time grid and its labels.
    int firstVisible = 0;
    int nGridX = 0;
    int gridX[kTimeLabels] = {};
    uint8_t timeShown[kTimeLabels] = {};
    int timeX[kTimeLabels] = {};
    int64_t timeOf[kTimeLabels] = {};

    // One sample step in pixels that a level can be built on.
    bool usableStep() const;
};

// Lays out one repaint. Reads only.
void layoutFrame(const DisplayState& st, const Geometry& geo, const RunInfo& run, YScaleValues scale, bool loaded,
                 Frame& out);
// The first visible sample is taken once per level (the scroll bar's
// position follows it). Returns true when it was taken now.
bool keepFirstVisible(DisplayState& st, const Frame& frame);

// --- the user's actions; points are pointer positions in client pixels ---

// Button down: the band starts at the clamped point.
void press(DisplayState& st, const Frame& last, QPoint pointer);
// Pointer move while dragging: the band follows. True when it changed.
bool dragTo(DisplayState& st, const Frame& last, QPoint pointer);
// Button up: the band ends; a drag that moved tries the next level. True
// when the plot must repaint now (a drag that moved, accepted or not,
// switches to the zoomed rendering).
bool release(DisplayState& st, const Frame& last, QPoint pointer);
// A new level is worth entering: below the deepest level, one tenth of the
// selected height spans more than 0.1 value units, a sample step narrower
// than the plot, and a selection of some width.
bool nextLevelAccepted(const Frame& last, QPoint start, QPoint end);
// The drag watch: cancels the drag when the pointer left the drag box.
bool watchDrag(DisplayState& st, const Geometry& geo, QPoint pointer);
// The sample under the cursor at x, -1 without one (may lie outside the set).
int cursorSample(const Frame& last, int x);
// Thumb position p brings sample p to the plot's left edge, as in the
// real-time graph: at a new level the thumb sits on the first visible sample.
void scrollTo(DisplayState& st, int position);
int scrollPosition(const DisplayState& st);

// --- the cursor read-out ---

struct Readout {
    QString value[kChannelCount];  // "%.1f"; K/IR cut toward zero, "------" without a reading
    QString time;                  // "%H:%M:%S"
    bool operator==(const Readout&) const = default;
};
// The texts of sample `sample` (0 <= sample < run.count()).
void buildReadout(const RunView& run, int sample, Readout& out);
void clearReadout(Readout& out);
// The unit written after a curve's value: the set's unit, "%RH" for RH.
QString readoutUnit(const RunView& run, int channel);

} // namespace loggerplot
