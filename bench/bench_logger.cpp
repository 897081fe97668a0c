// The logger window's costs at its template size (946 x 598), with a set of
// 10010 samples of five curves:
//   LoggerRepaint/Full    a repaint of the whole set, as the window paints
//                         (the frame laid out, the picture rendered, copied
//                         to the screen with the cursor line over it);
//   LoggerRepaint/Zoom99  the same at zoom level 99, the levels centred on
//                         the AIR curve so that curve pixels are drawn;
//   LoggerLoad/100Files   100 files of 10010 samples read from a temporary
//                         folder and appended to the table;
//   LoggerLoad/ReadBytes  the floor: the same 100 files' bytes read into
//                         memory.
//   BareSegments/Logger   the floor of LoggerRepaint/Full: the same picture's
//                         5 x 10009 segments, each drawn with its own
//                         QPainter::drawLine and the vector state cleared
//                         after it (BareLines.h), into an image of the
//                         plot's size (target: the repaint at most a
//                         quarter of it). Both measure the whole
//                         process's CPU time, Qt's worker threads included.
#include "data/DataFile.h"
#include "logger/LoggerChrome.h"
#include "logger/LoggerSession.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cmath>
#include <memory>
#include <vector>

#include "BareLines.h"

long long benchAllocations();  // bench_graph.cpp

namespace {

constexpr QSize kClient(946, 598);

// A day-like set: slowly drifting readings with a little noise.
void fillSet(LiveSeries& s, int n, unsigned seed)
{
    auto noise = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return ((seed >> 16) & 0x7fff) / 32767.0 - 0.5;
    };
    for (int i = 0; i < n; ++i) {
        const double t = i / double(n);
        const double air = 22.0 + 6.0 * std::sin(t * 6.283) + 0.2 * noise();
        const double rh = 55.0 - 15.0 * std::sin(t * 6.283 + 0.4) + 0.5 * noise();
        const double v[kChannelCount] = {air, air - 4.0 + 0.2 * noise(), air - 9.0 + 0.2 * noise(), air + 8.0, rh};
        for (int c = 0; c < kChannelCount; ++c)
            s.values[c][i] = float(std::round(v[c] * 10) / 10);
    }
}

QString writeSetFile(const QString& path, unsigned seed)
{
    auto live = std::make_unique<LiveSeries>();
    fillSet(*live, kMaxSamples, seed);
    RunInfo info;
    info.count = kMaxSamples;
    info.start = 1700000000;
    info.interval = 1;
    info.unit = QStringLiteral("C");
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || !DataFile::write(f, RunView::of(*live, info), {10, 0}).ok())
        return {};
    return path;
}

struct RepaintScene {
    QTemporaryDir dir;
    std::unique_ptr<ReviewRecord> record = std::make_unique<ReviewRecord>();
    std::unique_ptr<LoggerSession> session = std::make_unique<LoggerSession>(*record);
    std::unique_ptr<plot::PlotFrame> frame = std::make_unique<plot::PlotFrame>();
    LoggerDrawing picture;
    QImage screen {kClient, QImage::Format_RGB32};

    RepaintScene()
    {
        const QString file = writeSetFile(QDir(dir.path()).filePath("set.AsmDat"), 12345);
        session->m_bLoggerOpen = true;
        if (file.isEmpty() || !session->load(file).ok() || !session->appendPending())
            std::abort();
        // The cursor line is up, as after any move over the plot.
        session->display.bCursorHidden = false;
        session->display.nCursorX = 600;
    }
    void repaint(QPainter& p)
    {
        picture.layoutAndRender(*session, kClient);
        picture.renderer().paint(p, screen.rect(), session->display);
    }
    // 99 levels, each a selection of 98 % of the previous level centred on
    // the AIR curve at the middle sample.
    void zoomOntoTheAirCurve()
    {
        plot::ViewState& st = session->display;
        st.bAutoMode = 0;
        const RunView run = session->run();
        const int mid = run.count() / 2;
        const plot::PlotRect g = kLoggerPolicy.plotRect(kClient);
        for (int level = 0; level < plot::kMaxZoomDepth; ++level) {
            st.nZoomLevel = uint8_t(level);
            plot::layoutFrame(st, kClient, &run.info(), session->scale(), kLoggerPolicy, *frame);
            const double fx = (frame->map.x(mid) - g.left) / g.width;
            const double fy = (frame->map.y(kAir, run.value(mid, kAir), false) - g.top) / g.height;
            st.zoomStack[size_t(level)] = {fx - 0.49, fy - 0.49, fx + 0.49, fy + 0.49};
        }
        st.nZoomLevel = plot::kMaxZoomDepth;
        st.bFirstVisibleSet = 0;
    }
};

void runRepaint(benchmark::State& bs, RepaintScene& scene)
{
    QPainter screenPainter(&scene.screen);
    scene.repaint(screenPainter);  // the first: images, fonts, labels
    scene.repaint(screenPainter);
    const long long before = benchAllocations();
    for (auto _ : bs) {
        scene.repaint(screenPainter);
        benchmark::DoNotOptimize(scene.screen.constBits());
    }
    bs.counters["allocs_per_repaint"] = double(benchAllocations() - before) / double(bs.iterations());
}

void LoggerRepaintFull(benchmark::State& bs)
{
    RepaintScene scene;
    runRepaint(bs, scene);
}

void LoggerRepaintZoom99(benchmark::State& bs)
{
    RepaintScene scene;
    scene.zoomOntoTheAirCurve();
    {
        QPainter p(&scene.screen);
        scene.repaint(p);
    }
    // The scene must draw the curve, not only clip it away.
    const QImage& plot = scene.picture.renderer().plot();
    int red = 0;
    for (int y = 0; y < plot.height(); ++y)
        for (int x = 1; x < plot.width(); ++x)
            red += plot.pixel(x, y) == qRgb(255, 0, 0);
    if (red < 100) {
        bs.SkipWithError("the zoomed scene draws no AIR curve");
        return;
    }
    bs.counters["curve_pixels"] = red;
    runRepaint(bs, scene);
}

void BareSegmentsLogger(benchmark::State& bs)
{
    RepaintScene scene;
    {
        QPainter p(&scene.screen);
        scene.repaint(p);
    }
    const plot::PlotFrame& f = scene.picture.frame();
    const RunView run = scene.session->run();
    const bench::BareCurves curves(f, run.count(), [&run](int c, int s) { return run.channel(c)[s]; });
    QImage plot(f.plot.width, f.plot.height, QImage::Format_RGB32);
    plot.fill(Qt::black);
    QPainter p(&plot);
    for (auto _ : bs) {
        curves.draw(p, kCurveScreenColor);
        benchmark::DoNotOptimize(plot.constBits());
    }
}

// 100 files of a full set each, written once.
struct FileSet {
    QTemporaryDir dir;
    std::vector<QString> paths;
    FileSet()
    {
        for (int i = 0; i < LoggerSetTable::kSlots; ++i)
            paths.push_back(writeSetFile(QDir(dir.path()).filePath(QStringLiteral("set%1.AsmDat").arg(i)), 100 + i));
    }
};

FileSet& files()
{
    static FileSet set;
    return set;
}

void LoggerLoad100Files(benchmark::State& bs)
{
    FileSet& set = files();
    auto record = std::make_unique<ReviewRecord>();
    LoggerSession session(*record);
    session.m_bLoggerOpen = true;
    for (auto _ : bs) {
        for (const QString& path : set.paths) {
            if (!session.load(path).ok() || !session.appendPending()) {
                bs.SkipWithError("a file did not load");
                return;
            }
        }
        benchmark::DoNotOptimize(session.table().set(99).samples);
    }
}

void LoggerLoadReadBytes(benchmark::State& bs)
{
    FileSet& set = files();
    const qint64 fileSize = QFile(set.paths.front()).size();
    auto block = std::make_unique<char[]>(size_t(fileSize) * set.paths.size());
    for (auto _ : bs) {
        char* out = block.get();
        for (const QString& path : set.paths) {
            QFile f(path);
            if (!f.open(QIODevice::ReadOnly) || f.read(out, fileSize) != fileSize) {
                bs.SkipWithError("a file could not be read");
                return;
            }
            out += fileSize;
        }
        benchmark::DoNotOptimize(block.get());
    }
}

} // namespace

BENCHMARK(LoggerRepaintFull)->Name("LoggerRepaint/Full")->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(LoggerRepaintZoom99)->Name("LoggerRepaint/Zoom99")->Unit(benchmark::kMillisecond);
BENCHMARK(BareSegmentsLogger)->Name("BareSegments/Logger")->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(LoggerLoad100Files)->Name("LoggerLoad/100Files")->Unit(benchmark::kMillisecond);
BENCHMARK(LoggerLoadReadBytes)->Name("LoggerLoad/ReadBytes")->Unit(benchmark::kMillisecond);
