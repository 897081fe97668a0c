#pragma once
// The view state of a zoomable run plot, and what the user does to it: one
// state and one set of interaction functions for the real-time graph and
// the logger plot alike. The window keeps the state, lays out a PlotFrame
// from it before each repaint (PlotFrame.h) and hands the pointer's
// positions here; a policy (PlotPolicy.h) says where the two graphs differ.
// Paints only read the state.
//
// Positions are window pixels. Every function that takes a frame works on
// the one last laid out, which is what the user sees.
#include "plot/PlotPolicy.h"
#include "plot/ZoomChain.h"

#include <QPoint>
#include <cstdint>

namespace plot {

struct PlotFrame;

inline constexpr int kStartCapacity = 100;

// The real-time graph's compression of a growing run: the run is drawn as
// if nCapacity samples filled the width, and zoom level 0 keeps the
// capacity it had when zooming began. Used by Level0::LiveCompression only.
struct LiveCompression {
    int nCapacity = kStartCapacity;
    float fPixelsPerSample = 0;          // W / (nCapacity - 1), at each repaint
    int nZoomBaseCapacity = 0;           // nCapacity at the last unzoomed repaint
    float fZoomBasePixelsPerSample = 0;  // the step of zoom level 0
};

struct ViewState {
    // Zoom and scroll.
    int bAutoMode = 1;              // the whole run at level 0 (the logger: unzoomed); cleared by a drag
    uint8_t nZoomLevel = 0;         // 0..99
    ZoomStack zoomStack {};         // each level's selection, fractions of the plot
    int nScrollShift = 0;           // samples the zoomed curves are moved right by
    int nFirstVisible = 0;          // sample at the zoomed plot's left edge, unshifted
    int bFirstVisibleSet = 0;       // nFirstVisible was taken for the current level

    // Cursor line.
    int bCursorHidden = 1;
    int nCursorX = 0;
    int nCursorSample = 0;

    // Rubber band.
    QPoint ptAnchor;                // where the button went down, clamped onto the plot
    QPoint ptLast;                  // the band's other corner
    uint8_t bBandActive = 0;        // armed by a press, until the release or a cancel
    uint8_t bBandUnmoved = 1;       // the pointer has not left the anchor
    bool bDragging = false;         // a move came while armed: a live run's commits do not repaint

    LiveCompression live;
};

// --- the run and the plot's size ---

// Level0::LiveCompression: the run moved on (or the plot was resized). A
// new run's first sample starts over in auto mode at capacity 100; a run
// that outgrew the width is compressed, leaving one twelfth free; the zoom
// base follows auto mode.
void settleLive(ViewState& st, int count, int plotWidth);

// The first visible sample is taken once per zoomed level from the frame
// laid out for it (the scroll bar's thumb follows it). True when taken now.
bool keepFirstVisible(ViewState& st, const PlotFrame& frame);

// --- the pointer ---

// A pointer position clamped onto the plot rectangle, edges included.
QPoint clampToPlot(const PlotRect& plot, QPoint pointer);
// Inside the plot grown by the policy's watch box.
bool insideWatchBox(const PlotRect& plot, const PlotPolicy& policy, QPoint pointer);
// The sample nearest to window x at the frame's level and shift, or -1
// without a sample step; may lie outside the run.
int nearestSample(const PlotFrame& last, int x);

// The cursor line follows the pointer to x (within the policy's reach) and
// takes the nearest sample. False when the line stays where it was.
bool moveCursor(ViewState& st, const PlotFrame& last, const PlotPolicy& policy, int x);

// Button down: the band is armed at the clamped point, and the current
// level's selection starts there.
void bandPress(ViewState& st, const PlotFrame& last, QPoint pointer);
// Pointer move while armed: the band follows the clamped point. True when
// it changed.
bool bandMove(ViewState& st, const PlotFrame& last, QPoint pointer);
// Button up: the selection ends at the clamped point. A band that moved
// leaves auto mode and pushes the next level when that level is worth
// entering; true then (the picture must repaint now).
bool bandRelease(ViewState& st, const PlotFrame& last, const PlotPolicy& policy, QPoint pointer);
// Whether the selection from `start` to `end` (as dragged) makes a level:
// below level 99, one tenth of its height spans more than 0.1 value units,
// some width, and the policy's limit on the sample step.
bool nextLevelAccepted(const PlotFrame& last, const PlotPolicy& policy, QPoint start, QPoint end,
                       const ZoomStep& selection);
// The band watch: cancels an armed band once the pointer left the watch
// box. True when it cancelled.
bool bandWatch(ViewState& st, const PlotFrame& last, const PlotPolicy& policy, QPoint pointer);

// --- commands ---

// Back to the whole run: auto mode at level 0, no shift, the cursor line
// hidden.
void undoZoom(ViewState& st);
// Back one zoom level (without its scroll); from level 0 of the zoomed
// picture, back to the whole run as undoZoom.
void stepBack(ViewState& st);
// Thumb position p brings sample p to the zoomed plot's left edge.
void scrollTo(ViewState& st, int position);
int scrollPosition(const ViewState& st);

} // namespace plot
