#pragma once
// The real-time graph's differences from the logger plot, as the plot
// engine reads them (plot/PlotPolicy.h), and its view state.
#include "plot/PlotPolicy.h"
#include "plot/PlotView.h"

// The real-time graph's view state: the engine's, under the name the graph
// has always given its one record.
using GraphState = plot::ViewState;

inline constexpr plot::PlotPolicy kRealtimePolicy {
    .margins = {294, 118, 50, 200},
    .defaultWindow = {},
    .bottomRowIsPlot = false,
    .level0 = plot::Level0::LiveCompression,
    .kir = plot::KirTenths::Cut,
    .pixels = plot::PixelOrigin::Plot,
    .fullView = plot::FullViewTime::Divisions,
    .divisions = 12,
    .labelEvery = 3,
    .firstLabelInset = 2,
    .endLabelInset = 0,
    .wholePixelParts = true,
    .marksWithinRun = false,
    .bandAnyDirection = true,
    .stepLimit = plot::StepLimit::NewStepWithinPlot,
    .watchBox = {50, 3, 30, 20},
    .cursorReach = 0,
    .cursorHeldAtEdge = true,
};
