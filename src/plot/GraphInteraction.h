#pragma once
// The view's mouse handling on the graph state, window-free: the cursor's
// nearest sample, the rubber band and its zoom, UndoZoom and the scroll
// shift. Points are clamped onto the plot by the caller.
#include "plot/GraphGeometry.h"

// Nearest sample to view x at the current level; may lie outside the run.
int nearestSample(const GraphState& st, const PlotGeometry& geo, int x, int scrollShift);

// Button down at a clamped point: arms the band.
void bandPress(GraphState& st, const GraphViewFields& view, const PlotGeometry& geo, GraphPoint p);
// Pointer move while the band is armed. Returns true when the band changed.
bool bandMove(GraphState& st, GraphViewFields& view, GraphPoint p);
// Button up: finishes the band. Returns true when the view must repaint now
// (zoom mode entered or a level pushed).
bool bandRelease(GraphState& st, GraphViewFields& view, const PlotGeometry& geo, GraphPoint p);
// The band watch: cancels the band when the pointer left the surroundings.
// Returns true when it cancelled.
bool bandWatch(GraphState& st, GraphViewFields& view, const PlotGeometry& geo, int x, int y);
// Back to auto mode at level 0 with no shift.
void undoZoom(GraphState& st, GraphViewFields& view);
// Thumb position P brings sample P to the plot's left edge.
void scrollTo(GraphViewFields& view, int position);
int scrollPosition(const GraphViewFields& view);
