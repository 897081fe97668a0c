// Repaint cost of the real-time graph: a 1200 x 800 view, a run of 10000
// samples, all five curves shown. Each repaint is what the view does at a
// paint event: the renderer rebuilds the picture, then it is copied to the
// screen (here an offscreen image) with the overlays.
//
//   RealtimeRepaint/Auto    a day-like run, unzoomed; compare with
//                           BareSegments (target: at most a quarter) and
//                           with PlotCopy (target: at most 8 x)
//   RealtimeRepaint/Zoom99  the same at 99 zoom levels centred on the AIR
//                           curve (the setup checks that curve pixels show);
//                           compare with RealtimeRepaint/Auto
//   RealtimeRepaint/Noisy   random readings across the whole Y range;
//                           compare with BareSegments/Noisy
//   RealtimeRepaint/Auto4K  the day-like run in a 3840 x 2088 view; compare
//                           with BareSegments4K (target: at most half)
//   BareSegments, BareSegments/Noisy, BareSegments4K
//                           the floors: every segment of the unzoomed
//                           picture drawn with its own QPainter::drawLine,
//                           the vector state cleared after each
//                           (BareLines.h), into an image of the plot's size
//   PlotCopy                the floor of any repaint: one memcpy of the
//                           plot's picture at the 1200 x 800 view
//
// Qt's raster engine may hand large fills and image copies to its worker
// threads: every benchmark here measures the CPU time of the whole process
// ("CPU"), which is the column to compare on a busy machine.
//
// Heap allocations (operator new and Qt's malloc alike) are counted by the
// tests' counting allocator; the repaint benchmarks report them per repaint
// as "allocs_per_repaint".
#include "data/ReadingStore.h"
#include "graph/RealtimeGraph.h"
#include "run/RunState.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "CountingAllocator.h"
#include "ZoomScenes.h"

#include <cstring>
#include <random>

#include "BareLines.h"
#include "DayRun.h"

// The allocation count, for the other benchmarks of this executable.
long long benchAllocations() { return g_allocations.load(); }

namespace {

constexpr int kSamples = 10000;
constexpr QSize kView(1200, 800), kView4K(3840, 2088);

// Readings anywhere from below to above the 0..100 Y range: every segment
// crosses the plot.
void fillNoisy(LiveSeries& s)
{
    std::mt19937 rng(4800);
    std::uniform_real_distribution<float> anywhere(-10.0f, 110.0f);
    for (int i = 0; i < kSamples; ++i)
        for (int c = 0; c < kChannelCount; ++c)
            s.values[c][i] = anywhere(rng);
}

enum class Readings { Realistic, Noisy };

struct Scene {
    std::unique_ptr<LiveSeries> series = std::make_unique<LiveSeries>();
    RunState run;
    std::unique_ptr<GraphState> state = std::make_unique<GraphState>();
    std::unique_ptr<plot::PlotFrame> frame = std::make_unique<plot::PlotFrame>();
    RealtimeChrome chrome{QFont(QStringLiteral("宋体"), 10)};
    PlotRenderer renderer{chrome};
    QSize view;
    QImage screen;

    explicit Scene(Readings readings = Readings::Realistic, QSize viewSize = kView)
        : view(viewSize), screen(viewSize, QImage::Format_RGB32)
    {
        if (readings == Readings::Noisy)
            fillNoisy(*series);
        else
            bench::fillDayRun(*series, kSamples);
        run.m_nCount = kSamples;
        run.m_tStart = 1700000000;
        run.m_nSampleMs = 1000;
    }
    void repaint(QPainter& p)
    {
        layoutAndRender(*state, kRealtimePolicy, view,
                        {RunView::of(*series, run.info()), true, YScaleValues {10, 0}, kAllCurves}, *frame, renderer);
        renderer.paint(p, screen.rect(), *state);
    }
};

void runRepaint(benchmark::State& bs, Scene& scene)
{
    QPainter screenPainter(&scene.screen);
    scene.repaint(screenPainter);  // first repaint: images and labels
    const long long before = g_allocations.load();
    for (auto _ : bs) {
        scene.repaint(screenPainter);
        benchmark::DoNotOptimize(scene.screen.constBits());
    }
    bs.counters["allocs_per_repaint"] = double(g_allocations.load() - before) / double(bs.iterations());
}

void RealtimeRepaintAuto(benchmark::State& bs)
{
    Scene scene;
    runRepaint(bs, scene);
}

int curvePixels(const QImage& plot)
{
    int n = 0;
    for (int y = 0; y < plot.height(); ++y)
        for (int x = 0; x < plot.width(); ++x) {
            const QRgb px = plot.pixel(x, y) & 0xffffff;
            n += px != 0 && px != (kGridColor.rgb() & 0xffffff);
        }
    return n;
}

void RealtimeRepaintZoom99(benchmark::State& bs)
{
    Scene scene;
    // Render once in auto mode so the zoom base has the run's capacity, then
    // 99 nested selections, each keeping 90 % around sample 5000 of AIR.
    {
        QPainter p(&scene.screen);
        scene.repaint(p);
    }
    const int mid = kSamples / 2;
    const auto [fx, fy] = pointFractions(*scene.frame, kAir, scene.series->values[kAir][mid], mid);
    zoomCentredOn(*scene.state, fx, fy, plot::kMaxZoomDepth, 0.9);
    {
        QPainter p(&scene.screen);
        scene.repaint(p);
    }
    if (curvePixels(scene.renderer.plot()) == 0) {
        bs.SkipWithError("the zoomed scene shows no curve pixel");
        return;
    }
    runRepaint(bs, scene);
}

void RealtimeRepaintNoisy(benchmark::State& bs)
{
    Scene scene(Readings::Noisy);
    runRepaint(bs, scene);
}

void RealtimeRepaintAuto4K(benchmark::State& bs)
{
    Scene scene(Readings::Realistic, kView4K);
    runRepaint(bs, scene);
}

// The floor: the same 5 x 9999 segments of the auto-mode picture drawn the
// plain way, one QPainter::drawLine per segment, into an image of the plot's
// size.
void bareSegments(benchmark::State& bs, Readings readings, QSize view)
{
    Scene scene(readings, view);
    {
        QPainter p(&scene.screen);
        scene.repaint(p);
    }
    const plot::PlotFrame& f = *scene.frame;
    const LiveSeries& series = *scene.series;
    const bench::BareCurves curves(f, kSamples, [&series](int c, int s) { return series.values[c][s]; });
    QImage plot(f.plot.width, f.plot.height, QImage::Format_RGB32);
    plot.fill(Qt::black);
    QPainter p(&plot);
    for (auto _ : bs) {
        curves.draw(p, kCurveScreenColor);
        benchmark::DoNotOptimize(plot.constBits());
    }
}

void BareSegments(benchmark::State& bs) { bareSegments(bs, Readings::Realistic, kView); }
void BareSegmentsNoisy(benchmark::State& bs) { bareSegments(bs, Readings::Noisy, kView); }
void BareSegments4K(benchmark::State& bs) { bareSegments(bs, Readings::Realistic, kView4K); }

// One copy of the plot's picture, as large as the renderer's at the view.
void PlotCopy(benchmark::State& bs)
{
    Scene scene;
    {
        QPainter p(&scene.screen);
        scene.repaint(p);
    }
    const QImage from = scene.renderer.plot().copy();
    QImage to(from.size(), from.format());
    const size_t bytes = size_t(from.sizeInBytes());
    for (auto _ : bs) {
        std::memcpy(to.bits(), from.constBits(), bytes);
        benchmark::DoNotOptimize(to.constBits());
        benchmark::ClobberMemory();
    }
    bs.counters["width"] = from.width();
    bs.counters["height"] = from.height();
}

} // namespace

BENCHMARK(RealtimeRepaintAuto)->Name("RealtimeRepaint/Auto")
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK(RealtimeRepaintZoom99)->Name("RealtimeRepaint/Zoom99")
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK(RealtimeRepaintNoisy)->Name("RealtimeRepaint/Noisy")
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK(BareSegments)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK(BareSegmentsNoisy)->Name("BareSegments/Noisy")
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK(RealtimeRepaintAuto4K)->Name("RealtimeRepaint/Auto4K")
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK(BareSegments4K)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();
BENCHMARK(PlotCopy)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
