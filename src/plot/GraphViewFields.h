#pragma once
// The graph fields the view carries (scale, shown curves, scroll, labels).
// CKMView inherits them so the frame and the panels reach them as view
// members; the graph code reads and writes them through this type.
#include "plot/GraphState.h"

#include <QString>
#include <array>

struct GraphViewFields {
    int m_nYGain = 10;        // value units per division
    int m_nYOffset = 0;       // value at the bottom of the plot, in divisions
    std::array<bool, kChannelCount> m_bShowCurve{true, true, true, true, true};
    int m_nScrollShift = 0;   // shift of the zoomed curves, in samples
    int m_nFirstVisible = 0;  // first visible sample at the current zoom, no shift
    bool m_bDragging = false;  // a rubber band is being dragged: commits do not repaint
    QString m_strYLabel[kAxisDivisions + 1];
    QString m_strTimeLabel[kTimeMarks];
};
