// The real-time graph's renderer at the edges of its geometry: windows too
// small for a plot, and the right strip that narrow windows drop. (The
// layout itself is tested window-free in tests/plot/test_plot_engine.cpp.)
#include "data/ReadingStore.h"
#include "graph/RealtimeChrome.h"
#include "run/RunState.h"

#include <gtest/gtest.h>
#include <memory>

TEST(GraphGeometry, TinyWindowsPaintWithoutScales)
{
    auto series = std::make_unique<LiveSeries>();
    RunState run;
    run.m_nCount = 50;
    auto st = std::make_unique<GraphState>();
    auto frame = std::make_unique<plot::PlotFrame>();
    RealtimeChrome chrome(QFont(QStringLiteral("宋体"), 10));
    PlotRenderer renderer(chrome);
    for (QSize size : {QSize(100, 100), QSize(300, 320), QSize(294, 318), QSize(1, 1)}) {
        layoutAndRender(*st, kRealtimePolicy, size, {RunView::of(*series, run.info()), true, {}, kAllCurves}, *frame,
                        renderer);
        EXPECT_TRUE(renderer.plot().isNull()) << size.width();
    }
    // The right strip disappears when R - 50 is below 224.
    EXPECT_EQ(PlotGeometry::fromClient(273, 800).rightStrip().w, 0);
    EXPECT_EQ(PlotGeometry::fromClient(274, 800).rightStrip().w, 60);
}
