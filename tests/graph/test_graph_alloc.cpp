// Repaints of the real-time graph allocate nothing once the picture exists:
// every heap allocation made while the renderer repaints is counted,
// Qt's own (malloc) included.
#include "data/ReadingStore.h"
#include "graph/RealtimeGraph.h"
#include "run/RunState.h"

#include <QImage>
#include <QPainter>
#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <new>

#include "CountingAllocator.h"


namespace {

class GraphAlloc : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifndef ZB740_COUNT_MALLOC
        GTEST_SKIP() << "allocations are counted with glibc only";
#endif
        for (int s = 0; s < kMaxRunSamples; ++s)
            for (int c = 0; c < kChannelCount; ++c)
                series->values[c][s] = float(20 + c * 5 + (s % 37) * 0.3);
        run.m_tStart = 1700000000;
        run.m_nSampleMs = 2000;
    }
    // Repaints as the view does after a commit: the renderer, then the copy
    // to the screen with the cursor line over it. Returns the allocations.
    long long repaint(int count)
    {
        run.m_nCount = count;
        const long long before = g_allocations.load();
        layoutAndRender(*state, kRealtimePolicy, QSize(geo.R, geo.B), {RunView::of(*series, run.info()), true, {}, kAllCurves, limits},
                        *frame, renderer);
        renderer.paint(screenPainter, screen.rect(), *state);
        return g_allocations.load() - before;
    }

    std::unique_ptr<LiveSeries> series = std::make_unique<LiveSeries>();
    std::unique_ptr<GraphState> state = std::make_unique<GraphState>();
    std::unique_ptr<plot::PlotFrame> frame = std::make_unique<plot::PlotFrame>();
    RunState run;
    plot::LimitInputs limits {};  // none: no limit lines
    RealtimeChrome chrome{QFont(QStringLiteral("宋体"), 10)};
    PlotRenderer renderer{chrome};
    PlotGeometry geo = PlotGeometry::fromClient(1200, 800);
    QImage screen{1200, 800, QImage::Format_RGB32};
    QPainter screenPainter{&screen};
};

TEST_F(GraphAlloc, AutoModeRepaintsAllocateNothingBetweenCompressions)
{
    state->bCursorHidden = 0;
    state->nCursorX = geo.x0 + 100;
    repaint(2);  // first picture: images, labels, grid
    for (int count = 3; count <= 100; ++count)
        EXPECT_EQ(repaint(count), 0) << count;
    // A compression rescales the grid and relabels the time axis; after it
    // the repaints are free again.
    repaint(101);
    EXPECT_EQ(state->live.nCapacity, 110);
    for (int count = 102; count <= 110; ++count)
        EXPECT_EQ(repaint(count), 0) << count;
    EXPECT_FALSE(state->bCursorHidden) << "the overlay was drawn";
}

TEST_F(GraphAlloc, ZoomLevel99RepaintsAllocateNothing)
{
    repaint(5000);
    for (int j = 0; j < plot::kMaxZoomDepth; ++j)
        state->zoomStack[j] = plot::ZoomStep {0.01, 0.01, 0.99, 0.99};
    state->nZoomLevel = plot::kMaxZoomDepth;
    state->bAutoMode = 0;
    state->bFirstVisibleSet = 0;
    repaint(5000);  // the zoomed picture's first repaint
    for (int count = 5001; count <= 5050; ++count)
        EXPECT_EQ(repaint(count), 0) << count;
    // A scrolled picture is as free.
    state->nScrollShift = -100;
    repaint(5051);
    EXPECT_EQ(repaint(5052), 0);
}

TEST_F(GraphAlloc, LimitLinesAllocateNothing)
{
    // Ten lines inside the range (0 .. 100), written into the plot's picture
    // at every repaint.
    limits.channels = kAllCurves;
    limits.high = {60, 65, 70, 75, 80};
    limits.low = {10, 15, 20, 25, 30};
    repaint(2);
    ASSERT_EQ(frame->nLimits, plot::kMaxLimitLines);
    for (int count = 3; count <= 50; ++count)
        EXPECT_EQ(repaint(count), 0) << count;
}

} // namespace
