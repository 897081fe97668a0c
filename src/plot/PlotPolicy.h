#pragma once
// Everything that sets the real-time graph and the logger plot apart, as
// data. The plot engine (PlotView.h: the view state and what the user does
// to it, PlotFrame.h: the layout of one repaint) reads a policy wherever
// the two graphs differ and nowhere else; each graph keeps its own policy
// beside its window (graph/RealtimePolicy.h, logger/LoggerPolicy.h). The
// comments give the real-time graph's value first, then the logger's.
#include "plot/PlotScale.h"
#include "plot/ZoomChain.h"

#include <QSize>

namespace plot {

// What an unzoomed picture spreads across the plot's width.
enum class Level0 {
    // A growing run, drawn as if ViewState::live.nCapacity samples filled
    // the width; zoom levels build on the step the run had when zooming began.
    LiveCompression,
    // The whole run: its first sample on the left edge, its last on the right.
    WholeRun,
};

// Where a position is cut to a whole pixel: counted from the plot's
// top-left corner or from the window's. The two differ for positions just
// left of or above the plot, and in the last bit of the arithmetic.
enum class PixelOrigin { Plot, Window };

// The time axis of the unzoomed picture.
enum class FullViewTime {
    // Vertical lines divide the plot in `divisions` parts, moved onto whole
    // samples once the run has one, with one line beyond the right edge for
    // the free part a compressed run leaves; a time label on every
    // `labelEvery`th line, the first `firstLabelInset` pixels in. An empty
    // run keeps the plain divisions and no label.
    Divisions,
    // `divisions` fixed parts; the first and the last sample's times at the
    // plot's two ends, the last `endLabelInset` pixels left of the right edge.
    RunEnds,
};

// How far the next zoom level may go.
enum class StepLimit {
    // The new level's sample step spans the plot at most.
    NewStepWithinPlot,
    // The current level's sample step is narrower than the plot.
    StepNarrowerThanPlot,
};

// Pixels around the plot, in window pixels.
struct Margins {
    int left = 0, top = 0, right = 0, bottom = 0;
};

struct PlotPolicy {
    // --- where the plot lies ---
    Margins margins;               // {294, 118, 50, 200}; {306, 90, 61, 61}
    QSize defaultWindow;           // none (empty: the window decides); 946 x 598, the size a window opens at
    bool bottomRowIsPlot = false;  // false; true: the row of the plot's bottom edge is the plot's
                                   // (the bottom grid line and curves reaching it show there)

    // --- what the curves show ---
    Level0 level0 = Level0::WholeRun;       // LiveCompression; WholeRun
    KirTenths kir = KirTenths::Round;       // Cut (as the meter shows it); Round
    PixelOrigin pixels = PixelOrigin::Plot; // Plot; Window (curves and the grid's verticals)

    // --- the time axis ---
    FullViewTime fullView = FullViewTime::RunEnds;  // Divisions; RunEnds
    int divisions = 0;             // 12; 15
    int labelEvery = 0;            // 3; unused
    int firstLabelInset = 0;       // 2; unused
    int endLabelInset = 0;         // unused; 55
    // Zoomed: ten time marks a whole number of samples apart, the step a
    // quarter, a third or half of the plot's width in samples, that part
    // taken in whole pixels (W div 4) or as the fraction (W x 0.25).
    bool wholePixelParts = false;  // true; false
    // Zoomed: a mark names only a sample of the run (no label before the
    // first or after the last sample; when one sample step spans the plot,
    // no line past the last sample either).
    bool marksWithinRun = false;   // false; true

    // --- the mouse ---
    // A band may be dragged upward (its corners taken in either order); else
    // an upward band zooms nothing.
    bool bandAnyDirection = false;  // true; false
    StepLimit stepLimit = StepLimit::StepNarrowerThanPlot;  // NewStepWithinPlot; StepNarrowerThanPlot
    // A band is cancelled when the pointer leaves the plot grown by these.
    Margins watchBox;              // {50, 3, 30, 20}; {50, 20, 50, 40}
    // The cursor follows the pointer over the plot and this many pixels
    // beyond its right edge.
    int cursorReach = 0;           // 0; 1
    // Beyond that the line is held at the plot's edge, or stays where it was.
    bool cursorHeldAtEdge = false; // true; false

    // The plot's rectangle in a window of this size.
    PlotRect plotRect(QSize window) const
    {
        return {margins.left, margins.top, window.width() - margins.right - margins.left,
                window.height() - margins.bottom - margins.top};
    }
};

} // namespace plot
