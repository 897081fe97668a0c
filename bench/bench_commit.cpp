// What the real-time graph costs for a committed sample that changes
// nothing around the plot: a 1200 x 800 view, a day-like run of 10000
// samples (compressed, so that one more sample moves no label).
//
//   RealtimeRepaint/CommitNoCurves
//                      no curve shown: the frame laid out, the plot's
//                      picture kept (nothing lies on its background, so
//                      nothing is laid again), and the picture copied to
//                      the screen (an offscreen image) through a painter
//                      clipped to the plot, as the view paints after such a
//                      commit. Compare with PlotCopy.
//   CommitFloor/PlotCopy
//                      the floor: one memcpy of the plot's image at this
//                      size. It measures the same as PlotCopy of the graph
//                      benchmarks; kept here so that this file's ratio comes
//                      from one run of its own.
#include "data/ReadingStore.h"
#include "graph/RealtimeGraph.h"
#include "run/RunState.h"

#include "DayRun.h"

#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstring>
#include <memory>

long long benchAllocations();  // bench_graph.cpp

namespace {

constexpr int kViewW = 1200, kViewH = 800, kSamples = 10000;

struct CommitScene {
    std::unique_ptr<LiveSeries> series = std::make_unique<LiveSeries>();
    RunState run;
    std::unique_ptr<plot::ViewState> state = std::make_unique<plot::ViewState>();
    std::unique_ptr<plot::PlotFrame> frame = std::make_unique<plot::PlotFrame>();
    RealtimeChrome chrome {QFont(QStringLiteral("宋体"), 10)};
    PlotRenderer renderer {chrome};
    QImage screen {kViewW, kViewH, QImage::Format_RGB32};

    CommitScene()
    {
        bench::fillDayRun(*series, kSamples);
        run.m_nCount = kSamples;
        run.m_tStart = 1700000000;
        run.m_nSampleMs = 1000;
        // The run grows to its length as a recording does: the live
        // compression settles on the way.
        for (int n = 1; n <= kSamples; n += 97) {
            run.m_nCount = n;
            render(CurveSet {});
        }
        run.m_nCount = kSamples;
        render(CurveSet {});
    }
    void render(const CurveSet& shown)
    {
        layoutAndRender(*state, kRealtimePolicy, QSize(kViewW, kViewH),
                        {RunView::of(*series, run.info()), true, YScaleValues {10, 0}, shown}, *frame, renderer);
    }
};

void RealtimeRepaintCommitNoCurves(benchmark::State& bs)
{
    CommitScene scene;
    QPainter screen(&scene.screen);
    scene.renderer.paint(screen, scene.screen.rect(), *scene.state);
    const QRect plot = scene.renderer.plotRect();
    // The view's paint event is clipped to the region it asked for.
    screen.setClipRect(plot);
    const int chromePaints = scene.renderer.chromePaints();
    const long long before = benchAllocations();
    for (auto _ : bs) {
        scene.render(CurveSet {});
        scene.renderer.paint(screen, plot, *scene.state);
        benchmark::DoNotOptimize(scene.screen.constBits());
    }
    bs.counters["allocs_per_repaint"] = double(benchAllocations() - before) / double(bs.iterations());
    if (scene.renderer.chromePaints() != chromePaints)
        bs.SkipWithError("a commit changed the chrome");
}

void CommitFloorPlotCopy(benchmark::State& bs)
{
    CommitScene scene;
    const QImage& plot = scene.renderer.plot();
    QImage copy(plot.size(), plot.format());
    for (auto _ : bs) {
        std::memcpy(copy.bits(), plot.constBits(), size_t(plot.sizeInBytes()));
        benchmark::DoNotOptimize(copy.constBits());
    }
}

} // namespace

BENCHMARK(RealtimeRepaintCommitNoCurves)->Name("RealtimeRepaint/CommitNoCurves")->Unit(benchmark::kMicrosecond);
BENCHMARK(CommitFloorPlotCopy)->Name("CommitFloor/PlotCopy")->Unit(benchmark::kMicrosecond);
