#pragma once
// The graph fields the view carries (scale, shown curves, scroll, labels).
// CKMView inherits them so the frame and the panels reach them as view
// members; the graph code reads and writes them through this type.
#include "graph/GraphState.h"

#include <QString>
#include <cstdint>

inline constexpr int kYGainTable[] = {1, 2, 5, 10, 20, 50, 100, 200, 500};
inline constexpr int kYOffsetTable[] = {0, 2, 5, -2, -5};

struct GraphViewFields {
    int m_nYGain = 10;        // value units per division
    int m_nYOffset = 0;       // value at the bottom of the plot, in divisions
    uint8_t m_bShowCurve[kChannelCount] = {1, 1, 1, 1, 1};
    int m_nScrollShift = 0;   // shift of the zoomed curves, in samples
    int m_nFirstVisible = 0;  // first visible sample at the current zoom, no shift
    uint8_t m_bDragging = 0;  // a rubber band is being dragged: commits do not repaint
    QString m_strYLabel[kAxisDivisions + 1];
    QString m_strTimeLabel[kTimeMarks];
};
