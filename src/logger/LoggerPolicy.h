#pragma once
// The logger plot's differences from the real-time graph, as the plot
// engine reads them (plot/PlotPolicy.h).
#include "plot/PlotPolicy.h"

inline constexpr plot::PlotPolicy kLoggerPolicy {
    .margins = {306, 90, 61, 61},
    .defaultWindow = {946, 598},
    .bottomRowIsPlot = true,
    .level0 = plot::Level0::WholeRun,
    .kir = plot::KirTenths::Round,
    .pixels = plot::PixelOrigin::Window,
    .fullView = plot::FullViewTime::RunEnds,
    .divisions = 15,
    .labelEvery = 0,
    .firstLabelInset = 0,
    .endLabelInset = 55,
    .wholePixelParts = false,
    .marksWithinRun = true,
    .bandAnyDirection = false,
    .stepLimit = plot::StepLimit::StepNarrowerThanPlot,
    .watchBox = {50, 20, 50, 40},
    .cursorReach = 1,
    .cursorHeldAtEdge = false,
};
