#pragma once
// State of the real-time graph: scale, mode, zoom stack, axis values, cursor
// and rubber band. One record per view, owned by the view; window-free.
#include "base/Channel.h"

#include <array>
#include <cstdint>

inline constexpr int kMaxZoomLevels = 100;
inline constexpr int kMaxZoomDepth = kMaxZoomLevels - 1;  // deepest level reachable
inline constexpr int kAxisDivisions = 10;                 // eleven division lines
inline constexpr int kTimeMarks = 10;
inline constexpr int kStartCapacity = 100;

// One rubber-band selection. The fractions of the plot width/height are the
// master copy; the pixel corners are recomputed from them at every zoom
// repaint so that a resized window keeps every zoom.
struct ZoomStep {
    double fStartX = 0, fStartY = 0, fEndX = 0, fEndY = 0;
    float pxStartX = 0, pxStartY = 0, pxEndX = 0, pxEndY = 0;
};
using ZoomStack = std::array<ZoomStep, kMaxZoomLevels>;

// Maps one level's picture to the plot: x = X0 + dx * (sample + shift),
// y = ay * y0 + by where y0 is the sample's unzoomed plot y. Composed level
// by level instead of storing every sample's position at every level.
struct LevelTransform {
    double X0 = 0;   // plot x of sample 0 (no shift)
    double dx = 0;   // pixels per sample
    double ay = 1;   // y scale relative to level 0
    double by = 0;   // y offset relative to level 0
};

struct GraphPoint {
    int x = 0;
    int y = 0;
    bool operator==(const GraphPoint&) const = default;
};

struct GraphState {
    int nCapacity = kStartCapacity;
    float fPixelsPerSample = 0;
    int nZoomBaseCapacity = 0;
    float fZoomBasePixelsPerSample = 0;
    int bAutoMode = 1;
    uint8_t nZoomLevel = 0;
    int bFirstVisibleSet = 1;
    ZoomStack zoomStack{};
    float fAxisValue[kMaxZoomLevels][kAxisDivisions + 1] = {};
    int64_t tAxisTime[kTimeMarks] = {};
    int nAxisSample[kTimeMarks] = {};

    // Cursor line.
    int nCursorX = 0;
    int bCursorHidden = 1;
    int nCursorSample = 0;

    // Rubber band.
    GraphPoint ptAnchor;
    GraphPoint ptLast;
    uint8_t bBandActive = 0;
    uint8_t bBandUnmoved = 1;

    // Transform of the current level as of the last repaint; the mouse
    // handlers read samples through it.
    LevelTransform current;
};
