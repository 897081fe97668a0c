// A renderer that repaints its plot lays the background again only where its
// last curves and limit lines were written. Whatever it drew before, each
// repaint must give the picture a new renderer gives for the same inputs,
// pixel for pixel: curves that moved leave nothing behind, through the
// pixels written directly, the segments Qt draws and the limit lines.
#include "data/ReadingStore.h"
#include "graph/RealtimeGraph.h"
#include "run/RunState.h"

#include <QImage>
#include <QPainter>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <random>

namespace {

enum class Data { Smooth, SparseSmall, SparseTall, Noisy };

struct Step {
    const char* name;
    Data data;
    int samples;
    float level;  // where the curves lie
    CurveSet shown = kAllCurves;
    bool limits = false;
};

void fill(LiveSeries& s, const Step& step)
{
    std::mt19937 rng(740);
    std::uniform_real_distribution<float> anywhere(-10.0f, 110.0f);
    for (int i = 0; i < step.samples; ++i)
        for (int c = 0; c < kChannelCount; ++c) {
            const float base = step.level + 8.0f * float(c);
            float v = 0;
            switch (step.data) {
            case Data::Smooth:
                v = base + 3.0f * float(std::sin(i * 0.002 * (c + 1)));
                break;
            case Data::SparseSmall:  // far apart: Qt draws the segments between them
                v = base + (i % 2 ? 1.5f : -1.5f);
                break;
            case Data::SparseTall:  // and their boxes cover most of the picture
                v = i % 2 ? 95.0f : 2.0f;
                break;
            case Data::Noisy:
                v = anywhere(rng);
                break;
            }
            s.values[c][i] = std::round(v * 10.0f) / 10.0f;
        }
}

// The renderer is kept from step to step; the view state is laid out anew
// for each, as a new graph would lay it out.
struct Graph {
    RealtimeChrome chrome {QFont(QStringLiteral("DejaVu Sans"), 10)};
    PlotRenderer renderer {chrome};

    QImage render(const Step& step)
    {
        auto series = std::make_unique<LiveSeries>();
        fill(*series, step);
        RunState run;
        run.m_nCount = step.samples;
        run.m_tStart = 1700000000;
        run.m_nSampleMs = 1000;
        PlotInputs in {RunView::of(*series, run.info()), true, YScaleValues {10, 0}, step.shown};
        if (step.limits)
            in.limits = {kAllCurves, {70, 60, 50, 40, 30}, {12, 14, 16, 18, 20}};
        auto state = std::make_unique<GraphState>();
        auto frame = std::make_unique<plot::PlotFrame>();
        layoutAndRender(*state, kRealtimePolicy, QSize(1000, 700), in, *frame, renderer);
        return renderer.plot().copy();
    }
};

} // namespace

TEST(PlotRepaint, EachRepaintGivesTheSamePictureAsANewRenderer)
{
    const CurveSet someCurves {true, false, true, false, false};
    const Step steps[] = {
        {"a day-like run", Data::Smooth, 10000, 20.0f},
        {"the curves moved up", Data::Smooth, 10000, 40.0f},
        {"fewer samples than columns", Data::SparseSmall, 40, 30.0f},
        {"and again, moved", Data::SparseSmall, 41, 50.0f},
        {"limit lines", Data::Smooth, 9000, 25.0f, kAllCurves, true},
        {"limit lines gone", Data::Smooth, 9000, 25.0f},
        {"limit lines and some curves", Data::SparseSmall, 300, 10.0f, someCurves, true},
        {"tall segments across the picture", Data::SparseTall, 30, 0.0f},
        {"a day-like run after them", Data::Smooth, 10000, 20.0f},
        {"readings anywhere", Data::Noisy, 10000, 0.0f},
        {"a day-like run after those", Data::Smooth, 10000, 35.0f},
        {"no curve shown", Data::Smooth, 10000, 35.0f, CurveSet {}},
        {"one sample", Data::Smooth, 1, 35.0f},
        {"curves once more", Data::Smooth, 5000, 15.0f},
    };
    Graph kept;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        const QImage repainted = kept.render(step);
        Graph fresh;
        const QImage expected = fresh.render(step);
        ASSERT_EQ(repainted.size(), expected.size());
        int differing = 0;
        for (int y = 0; y < expected.height(); ++y)
            for (int x = 0; x < expected.width(); ++x)
                differing += repainted.pixel(x, y) != expected.pixel(x, y);
        EXPECT_EQ(differing, 0);
    }
}

TEST(PlotRepaint, WithoutARunThePlotIsPaintedFromTheChromeAndNoPictureOfItIsKept)
{
    Graph graph;
    auto render = [&graph](bool hasRun) {
        auto series = std::make_unique<LiveSeries>();
        fill(*series, {"", Data::Smooth, 100, 20.0f});
        RunState run;
        run.m_nCount = 100;
        run.m_tStart = 1700000000;
        run.m_nSampleMs = 1000;
        PlotInputs in {RunView::of(*series, run.info()), hasRun, YScaleValues {10, 0}, kAllCurves};
        auto state = std::make_unique<GraphState>();
        auto frame = std::make_unique<plot::PlotFrame>();
        layoutAndRender(*state, kRealtimePolicy, QSize(1000, 700), in, *frame, graph.renderer);
        return *state;
    };
    // No run, and an empty run as the real-time graph shows before a
    // recording: the same.
    render(true);
    auto series = std::make_unique<LiveSeries>();
    RunState empty;
    empty.m_nSampleMs = 1000;
    auto emptyState = std::make_unique<GraphState>();
    auto emptyFrame = std::make_unique<plot::PlotFrame>();
    layoutAndRender(*emptyState, kRealtimePolicy, QSize(1000, 700),
                    PlotInputs {RunView::of(*series, empty.info()), true, YScaleValues {10, 0}, kAllCurves},
                    *emptyFrame, graph.renderer);
    EXPECT_TRUE(graph.renderer.backgroundOnly());
    EXPECT_TRUE(graph.renderer.plot().isNull());
    const GraphState idle = render(false);
    ASSERT_TRUE(graph.renderer.backgroundOnly());
    EXPECT_TRUE(graph.renderer.plot().isNull());
    const QRect plot = graph.renderer.plotRect();
    ASSERT_FALSE(plot.isEmpty());

    // What the window shows there: the plot's fill and the chrome cut to
    // the plot, as a kept picture of the background would hold it.
    QImage window(1000, 700, QImage::Format_RGB32);
    window.fill(Qt::white);
    {
        QPainter p(&window);
        graph.renderer.paint(p, window.rect(), idle);
    }
    QImage background(plot.size(), QImage::Format_RGB32);
    background.fill(graph.chrome.style().plotFill);
    {
        QPainter p(&background);
        p.translate(-plot.topLeft());
        p.setClipRect(plot);
        graph.renderer.paintChrome(p);
    }
    EXPECT_EQ(window.copy(plot), background);
    int grid = 0;
    for (int y = 0; y < background.height(); ++y)
        for (int x = 0; x < background.width(); ++x)
            grid += (background.pixel(x, y) & 0xffffff) == (kGridColor.rgb() & 0xffffff);
    EXPECT_GT(grid, 1000) << "the grid is drawn";
    EXPECT_EQ(graph.renderer.picture().copy(plot), background);

    // A run gets its picture, and gives it up when it is gone.
    render(true);
    EXPECT_FALSE(graph.renderer.plot().isNull());
    EXPECT_FALSE(graph.renderer.backgroundOnly());
    render(false);
    EXPECT_TRUE(graph.renderer.plot().isNull());
}
