// Window-free graph geometry: the composed zoom chain against the
// level-by-level positions, and scales that must stay sane at the edges.
#include "data/ReadingStore.h"
#include "graph/GraphRenderer.h"
#include "graph/RealtimeLayout.h"
#include "run/RunState.h"

#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

// The per-level position tables the composed transform replaces: level j+1
// is level j seen through selection j, sample by sample, in single precision.
struct LevelByLevel {
    std::vector<float> x, y;
    void zoom(const plot::ZoomCorners& z, const PlotGeometry& g)
    {
        for (size_t s = 0; s < x.size(); ++s) {
            x[s] = (x[s] - (z.sx - g.x0)) * g.W / (z.ex - z.sx);
            y[s] = (y[s] - (z.sy - g.y0)) * g.H / (z.ey - z.sy);
        }
    }
};

// What a repaint lays out: the state follows the run, then the frame.
void prepareFrame(GraphState& st, const RunState& run, const PlotGeometry& g, GraphFrame& f)
{
    settleScale(st, run.m_nCount, g.W);
    layoutFrame(st, g, run.info(), {}, f);
    keepFirstVisible(st, f);
}

TEST(GraphGeometry, ComposedZoomChainDrawsTheLevelByLevelPicture)
{
    auto series = std::make_unique<LiveSeries>();
    const int count = 3000;
    for (int s = 0; s < count; ++s)
        series->values[kAir][s] = float(20 + 10 * std::sin(s * 0.01));
    RunState run;
    run.m_nCount = count;
    run.m_nSampleMs = 1000;
    auto st = std::make_unique<GraphState>();
    const PlotGeometry g = PlotGeometry::fromClient(1200, 800);
    auto frame = std::make_unique<GraphFrame>();
    GraphFrame& f = *frame;
    prepareFrame(*st, run, g, f);  // auto mode: level 0 base

    LevelByLevel ref;
    for (int s = 0; s < count; ++s) {
        ref.x.push_back(s * st->fZoomBasePixelsPerSample);
        ref.y.push_back(float(g.H - (plot::quantised(kAir, series->values[kAir][s], false, plot::KirTenths::Cut) - f.axisBottom) * f.liveScale));
    }
    // Selections with corners in either order and of different sizes.
    const plot::ZoomStep picks[] = {{0.9, 0.8, 0.1, 0.1}, {0.25, 0.2, 0.75, 0.9}, {0.05, 0.0, 0.5, 0.5},
                              {0.3, 0.3, 0.9, 0.7}, {0.0, 0.1, 1.0, 0.6}};
    st->bAutoMode = 0;
    for (const plot::ZoomStep& z : picks) {
        st->zoomStack[st->nZoomLevel] = z;
        st->nZoomLevel++;
        st->bFirstVisibleSet = 0;
        prepareFrame(*st, run, g, f);
        ref.zoom(f.corners[st->nZoomLevel - 1], g);
        int differing = 0;
        for (int s = 0; s < count; ++s) {
            const int x = int(std::trunc(f.tf.dx * s + f.tf.X0));
            const int y = int(std::trunc(plotY(f, kAir, series->values[kAir][s], false)));
            const int rx = int(std::trunc(ref.x[s])), ry = int(std::trunc(ref.y[s]));
            EXPECT_LE(std::abs(x - rx), 1) << s;
            EXPECT_LE(std::abs(y - ry), 1) << s;
            differing += x != rx || y != ry;
        }
        // Off by one only where single precision rounds across a pixel edge.
        EXPECT_LT(differing, count / 100) << int(st->nZoomLevel);
    }
}

TEST(GraphGeometry, TinyWindowsPaintWithoutScales)
{
    auto series = std::make_unique<LiveSeries>();
    RunState run;
    run.m_nCount = 50;
    auto st = std::make_unique<GraphState>();
    auto frame = std::make_unique<GraphFrame>();
    GraphRenderer renderer(QFont(QStringLiteral("宋体"), 10));
    for (QSize size : {QSize(100, 100), QSize(300, 320), QSize(294, 318), QSize(1, 1)}) {
        const PlotGeometry g = PlotGeometry::fromClient(size.width(), size.height());
        prepareFrame(*st, run, g, *frame);
        renderer.render(*frame, RunView::of(*series, run.info()), {true, true, true, true, true});
        EXPECT_TRUE(renderer.plot().isNull()) << size.width();
    }
    // The right strip disappears when R - 50 is below 224.
    EXPECT_EQ(PlotGeometry::fromClient(273, 800).rightStrip().w, 0);
    EXPECT_EQ(PlotGeometry::fromClient(274, 800).rightStrip().w, 60);
}

TEST(GraphGeometry, ZoomModeGridStepsOnWholeSamples)
{
    // One sample step wider than a quarter of the plot: the marks fall on
    // every sample; a step just under a quarter never gives a zero step.
    RunState run;
    run.m_nCount = 10;
    run.m_nSampleMs = 2000;
    auto st = std::make_unique<GraphState>();
    const PlotGeometry g = PlotGeometry::fromClient(294 + 601 + 50, 800);
    auto frame = std::make_unique<GraphFrame>();
    GraphFrame& f = *frame;
    for (double visible : {2.5, 4.0, 4.0013}) {
        st->bAutoMode = 0;
        st->nZoomLevel = 1;
        st->nZoomBaseCapacity = 100;
        // Select so that `visible` samples span the plot.
        st->zoomStack[0] = plot::ZoomStep{0, 0, visible / 99.0, 1};
        st->bFirstVisibleSet = 0;
        prepareFrame(*st, run, g, f);
        EXPECT_EQ(f.nGridX, kTimeMarks);
        for (int j = 1; j < kTimeMarks; ++j) {
            EXPECT_GT(f.gridX[j], f.gridX[j - 1]) << visible;
            EXPECT_EQ(f.nAxisSample[j] - f.nAxisSample[j - 1], f.nAxisSample[1] - f.nAxisSample[0]);
            EXPECT_EQ(f.tAxisTime[j] - f.tAxisTime[j - 1], 2 * (f.nAxisSample[1] - f.nAxisSample[0]));
        }
    }
}

} // namespace
