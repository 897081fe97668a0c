#pragma once
// Deep zooms that keep a point of a curve in the middle of every level, so a
// zoomed picture still shows curve pixels: each selection keeps `keep` of
// the level's width and height around the point.
#include "graph/RealtimePolicy.h"
#include "plot/PlotFrame.h"

#include <utility>

// The point at fractions (fx, fy) of the unzoomed plot stays at the middle
// of levels 1..levels.
inline void zoomCentredOn(GraphState& st, double fx, double fy, int levels, double keep)
{
    const double h = keep / 2;
    for (int j = 0; j < levels; ++j) {
        const double cx = j == 0 ? fx : 0.5, cy = j == 0 ? fy : 0.5;
        st.zoomStack[size_t(j)] = plot::ZoomStep {cx - h, cy - h, cx + h, cy + h};
    }
    st.nZoomLevel = uint8_t(levels);
    st.bAutoMode = 0;
    st.bFirstVisibleSet = 0;
}

// Fractions of the unzoomed plot where sample s of a channel lies, from a
// frame of the real-time graph laid out in auto mode.
inline std::pair<double, double> pointFractions(const plot::PlotFrame& level0, int channel, float stored, int s)
{
    const double x = level0.tf.X0 + level0.tf.dx * s;
    const double y = level0.map.y(channel, stored, false);
    return {x / level0.plot.width, y / level0.plot.height};
}
