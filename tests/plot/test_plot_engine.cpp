// The plot engine, window-free: one view state, one layout and one set of
// interaction functions, with each graph's policy. The real-time graph's
// composed zoom chain against the level-by-level positions, its zoomed
// time marks, what the two policies set apart, stepping back one level, and
// the scale's axis values every graph shares.
#include "data/ReadingStore.h"
#include "graph/RealtimePolicy.h"
#include "logger/LoggerPolicy.h"
#include "plot/PlotFrame.h"
#include "run/RunState.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <vector>

namespace {

// The per-level position tables the composed transform replaces: level j+1
// is level j seen through selection j, sample by sample, in single precision.
struct LevelByLevel {
    std::vector<float> x, y;
    void zoom(const plot::ZoomCorners& z, const plot::PlotRect& g)
    {
        for (size_t s = 0; s < x.size(); ++s) {
            x[s] = (x[s] - (z.sx - g.left)) * g.width / (z.ex - z.sx);
            y[s] = (y[s] - (z.sy - g.top)) * g.height / (z.ey - z.sy);
        }
    }
};

// What a repaint of the real-time graph lays out: the state follows the
// run, then the frame.
void prepareFrame(GraphState& st, const RunState& run, QSize view, plot::PlotFrame& f)
{
    plot::settleLive(st, run.m_nCount, kRealtimePolicy.plotRect(view).width);
    const RunInfo info = run.info();
    plot::layoutFrame(st, view, &info, {}, kRealtimePolicy, f);
    plot::keepFirstVisible(st, f);
}

} // namespace

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
    const QSize view(1200, 800);
    const plot::PlotRect g = kRealtimePolicy.plotRect(view);
    auto frame = std::make_unique<plot::PlotFrame>();
    plot::PlotFrame& f = *frame;
    prepareFrame(*st, run, view, f);  // auto mode: level 0 base

    LevelByLevel ref;
    for (int s = 0; s < count; ++s) {
        ref.x.push_back(s * st->live.fZoomBasePixelsPerSample);
        ref.y.push_back(float(g.height - (plot::quantised(kAir, series->values[kAir][s], false, plot::KirTenths::Cut)
                                          - f.map.axisBottom) * f.map.yScale));
    }
    // Selections with corners in either order and of different sizes.
    const plot::ZoomStep picks[] = {{0.9, 0.8, 0.1, 0.1}, {0.25, 0.2, 0.75, 0.9}, {0.05, 0.0, 0.5, 0.5},
                                    {0.3, 0.3, 0.9, 0.7}, {0.0, 0.1, 1.0, 0.6}};
    st->bAutoMode = 0;
    for (const plot::ZoomStep& z : picks) {
        st->zoomStack[st->nZoomLevel] = z;
        st->nZoomLevel++;
        st->bFirstVisibleSet = 0;
        prepareFrame(*st, run, view, f);
        ref.zoom(f.corners[st->nZoomLevel - 1], g);
        int differing = 0;
        for (int s = 0; s < count; ++s) {
            const int x = int(std::trunc(f.tf.dx * s + f.tf.X0));
            const int y = int(std::trunc(f.map.y(kAir, series->values[kAir][s], false)));
            const int rx = int(std::trunc(ref.x[s])), ry = int(std::trunc(ref.y[s]));
            EXPECT_LE(std::abs(x - rx), 1) << s;
            EXPECT_LE(std::abs(y - ry), 1) << s;
            differing += x != rx || y != ry;
        }
        // Off by one only where single precision rounds across a pixel edge.
        EXPECT_LT(differing, count / 100) << int(st->nZoomLevel);
    }
}

TEST(GraphGeometry, ZoomModeGridStepsOnWholeSamples)
{
    // One sample step wider than a quarter of the plot: the marks fall on
    // every sample; a step just under a quarter never gives a zero step.
    RunState run;
    run.m_nCount = 10;
    run.m_nSampleMs = 2000;
    auto st = std::make_unique<GraphState>();
    const QSize view(294 + 601 + 50, 800);
    auto frame = std::make_unique<plot::PlotFrame>();
    plot::PlotFrame& f = *frame;
    for (double visible : {2.5, 4.0, 4.0013}) {
        st->bAutoMode = 0;
        st->nZoomLevel = 1;
        st->live.nZoomBaseCapacity = 100;
        // Select so that `visible` samples span the plot.
        st->zoomStack[0] = plot::ZoomStep {0, 0, visible / 99.0, 1};
        st->bFirstVisibleSet = 0;
        prepareFrame(*st, run, view, f);
        EXPECT_EQ(f.nGridX, plot::kTimeMarks);
        EXPECT_GE(f.markStep, 1) << visible;
        for (int j = 1; j < plot::kTimeMarks; ++j) {
            EXPECT_GT(f.gridX[j], f.gridX[j - 1]) << visible;
            EXPECT_EQ(f.timeOf[j] - f.timeOf[j - 1], 2 * f.markStep);
        }
    }
}

namespace {

// A run of `count` samples laid out under a policy, at the policy's own
// window size (the real-time graph's: a view of 944 x 800, plot 600 x 482).
struct Scene {
    const plot::PlotPolicy& policy;
    QSize window;
    std::unique_ptr<LiveSeries> series = std::make_unique<LiveSeries>();
    RunInfo info;
    plot::ViewState st;
    std::unique_ptr<plot::PlotFrame> frame = std::make_unique<plot::PlotFrame>();
    plot::LimitInputs limits {};

    Scene(const plot::PlotPolicy& p, int count)
        : policy(p)
        , window(p.defaultWindow.isEmpty() ? QSize(944, 800) : p.defaultWindow)
    {
        info.count = count;
        info.start = 1700000000;
        info.interval = 1;
        for (int s = 0; s < count; ++s)
            for (int c = 0; c < kChannelCount; ++c)
                series->values[c][s] = 25.06f;
    }
    const plot::PlotFrame& layout()
    {
        if (policy.level0 == plot::Level0::LiveCompression)
            plot::settleLive(st, info.count, policy.plotRect(window).width);
        plot::layoutFrame(st, window, &info, {10, 0}, policy, *frame, limits);
        plot::keepFirstVisible(st, *frame);
        return *frame;
    }
    plot::PlotRect plot() const { return policy.plotRect(window); }
    // A drag between two points given from the plot's top-left corner.
    bool drag(QPoint a, QPoint b)
    {
        layout();
        const QPoint at(plot().left, plot().top);
        plot::bandPress(st, *frame, at + a);
        plot::bandMove(st, *frame, at + b);
        const bool repaint = plot::bandRelease(st, *frame, policy, at + b);
        layout();
        return repaint;
    }
};

} // namespace

TEST(PlotEngine, ThePoliciesSetTheGraphsApart)
{
    struct Graph {
        const char* name;
        const plot::PlotPolicy& policy;
        bool upwardZooms;        // an upward band makes a level
        int watchRight;          // a band lives this far right of the plot, no farther
        int cursorAt[3];         // where the line goes for a pointer at right + 0, 1, 2 (-1: stays)
        int kirRow;              // K/IR 25.06 on the unzoomed plot: cut or rounded to tenths
        QPoint mapOrigin;
        int imageRows;           // rows of the plot's picture beyond H
    } graphs[] = {
        {"real-time graph", kRealtimePolicy, true, 29, {0, 0, 0}, int(482 - 25.0 * 4.82), {0, 0}, 0},
        {"logger plot", kLoggerPolicy, false, 49, {0, 1, -1}, int(90 + 447 - 25.1 * 4.47), {306, 90}, 1},
    };
    for (const Graph& g : graphs) {
        SCOPED_TRACE(g.name);
        Scene up(g.policy, 200);
        EXPECT_TRUE(up.drag({300, 300}, {400, 100}));
        EXPECT_EQ(up.st.nZoomLevel, g.upwardZooms ? 1 : 0);
        EXPECT_FALSE(up.st.bAutoMode);

        Scene sc(g.policy, 200);
        const plot::PlotFrame& f = sc.layout();
        const plot::PlotRect r = sc.plot();
        EXPECT_EQ(f.mapOrigin, g.mapOrigin);
        EXPECT_EQ(f.image.height, r.height + g.imageRows);
        EXPECT_EQ(int(f.map.y(kKir, 25.06f, false)), g.kirRow);

        for (int beyond = 0; beyond < 3; ++beyond) {
            sc.st.nCursorX = -1;
            plot::moveCursor(sc.st, f, g.policy, r.right() + beyond);
            EXPECT_EQ(sc.st.nCursorX, g.cursorAt[beyond] < 0 ? -1 : r.right() + g.cursorAt[beyond]) << beyond;
        }

        const int midY = r.top + r.height / 2;
        plot::bandPress(sc.st, f, {r.left + 10, midY});
        EXPECT_FALSE(plot::bandWatch(sc.st, f, g.policy, {r.right() + g.watchRight, midY}));
        EXPECT_TRUE(plot::bandWatch(sc.st, f, g.policy, {r.right() + g.watchRight + 1, midY}));
        EXPECT_FALSE(sc.st.bBandActive);
    }
}

TEST(PlotEngine, TheStepLimitOfEachGraph)
{
    // Three samples: a step of half the plot. A selection of a tenth of the
    // plot's width would make a step of five plots: the real-time graph
    // refuses it, the logger takes it (its step is narrower than the plot).
    for (const plot::PlotPolicy* policy : {&kRealtimePolicy, &kLoggerPolicy}) {
        Scene sc(*policy, 3);
        if (policy == &kRealtimePolicy) {
            // A run of three drawn across the whole width, as the logger draws it.
            sc.st.live.nCapacity = 3;
        }
        const int w = sc.plot().width;
        EXPECT_TRUE(sc.drag({w / 2, 10}, {w / 2 + w / 10, 400}));
        EXPECT_EQ(sc.st.nZoomLevel, policy == &kLoggerPolicy ? 1 : 0);
    }
}

TEST(PlotEngine, StepBackLeavesOneLevelAtATime)
{
    Scene sc(kLoggerPolicy, 1000);
    ASSERT_TRUE(sc.drag({100, 50}, {400, 400}));
    ASSERT_TRUE(sc.drag({50, 50}, {300, 350}));
    const plot::AxisValues second = sc.layout().axis[2];
    ASSERT_TRUE(sc.drag({20, 20}, {500, 300}));
    ASSERT_EQ(sc.st.nZoomLevel, 3);
    plot::scrollTo(sc.st, sc.st.nFirstVisible + 5);
    ASSERT_NE(sc.st.nScrollShift, 0);

    plot::stepBack(sc.st);
    EXPECT_EQ(sc.st.nZoomLevel, 2);
    EXPECT_EQ(sc.st.nScrollShift, 0) << "the level shows its own picture, unscrolled";
    EXPECT_FALSE(sc.st.bAutoMode);
    EXPECT_EQ(sc.layout().yValue, second);
    EXPECT_TRUE(sc.st.bFirstVisibleSet) << "taken again for the level";
    plot::stepBack(sc.st);
    plot::stepBack(sc.st);
    EXPECT_EQ(sc.st.nZoomLevel, 0);
    EXPECT_FALSE(sc.st.bAutoMode) << "level 0 of the zoomed picture first";
    plot::stepBack(sc.st);
    EXPECT_TRUE(sc.st.bAutoMode) << "then the whole run, as UndoZoom";
    EXPECT_TRUE(sc.st.bCursorHidden);
    plot::stepBack(sc.st);
    EXPECT_TRUE(sc.st.bAutoMode);
    EXPECT_EQ(sc.st.nZoomLevel, 0);
}

TEST(PlotEngine, AnEmptyRunInZoomModeKeepsThePlainDivisions)
{
    // The real-time graph zoomed, then a new run starts with no sample yet:
    // the empty grid of twelve divisions, no time mark on top of it.
    Scene sc(kRealtimePolicy, 300);
    ASSERT_TRUE(sc.drag({100, 50}, {400, 400}));
    ASSERT_FALSE(sc.st.bAutoMode);
    sc.info.count = 0;
    const plot::PlotFrame& f = sc.layout();
    ASSERT_EQ(f.nGridX, 13);
    for (int i = 0; i <= 12; ++i)
        EXPECT_EQ(f.gridX[i], i * 600 / 12) << i;
    for (int j = 0; j < plot::kTimeMarks; ++j)
        EXPECT_EQ(f.timeShown[j], 0) << j;
}

TEST(PlotEngine, LimitLinesStandWhereTheirValuesMapWithinTheRange)
{
    // Scale 0 .. 100. The real-time graph's picture has rows 0 .. 481 (482
    // px for 100 units), the logger's rows 0 .. 447 (447 px, and the bottom
    // row is the plot's); -1: no line.
    const struct {
        float limit;
        int realtimeRow;
        int loggerRow;
    } cases[] = {
        {35.0f, int(482 - 35 * 4.82), int(90 + 447 - 35 * 4.47) - 90},
        {100.0f, 0, 0},       // the top edge is in the range
        {100.5f, -1, -1},     // above it is not, though it cuts to row 0
        {140.0f, -1, -1},
        {0.0f, -1, 447},      // the axis bottom: below the real-time picture
        {-3.0f, -1, -1},
    };
    for (const plot::PlotPolicy* policy : {&kRealtimePolicy, &kLoggerPolicy}) {
        const bool logger = policy == &kLoggerPolicy;
        for (const auto& c : cases) {
            SCOPED_TRACE(QStringLiteral("%1, limit %2").arg(logger ? "logger" : "real-time").arg(c.limit).toStdString());
            Scene sc(*policy, 200);
            sc.limits.channels[kDp] = true;
            sc.limits.high[kDp] = c.limit;
            sc.limits.low[kDp] = std::numeric_limits<float>::quiet_NaN();  // no line
            sc.limits.high[kAir] = 35.0f;  // AIR is not marked
            const plot::PlotFrame& f = sc.layout();
            const int row = logger ? c.loggerRow : c.realtimeRow;
            ASSERT_EQ(f.nLimits, row < 0 ? 0 : 1);
            if (row >= 0) {
                EXPECT_EQ(f.limits[0].channel, kDp);
                EXPECT_EQ(f.limits[0].row, row);
            }
        }
    }
}

TEST(PlotEngine, ALimitLineFollowsTheZoomAndReadingsAtTheLimitLieOnIt)
{
    for (const plot::PlotPolicy* policy : {&kRealtimePolicy, &kLoggerPolicy}) {
        Scene sc(*policy, 200);
        sc.limits.channels = {true, false, false, false, true};
        sc.limits.high = {60.0f, 0, 0, 0, 45.0f};
        sc.limits.low = {20.0f, 0, 0, 0, 10.0f};
        // Values 40 .. 70 (about) fill the zoomed plot: two of the four
        // limits stay inside.
        const int H = sc.plot().height;
        ASSERT_TRUE(sc.drag({100, int(H * 0.3)}, {400, int(H * 0.6)}));
        const plot::PlotFrame& f = sc.layout();
        ASSERT_EQ(f.level, 1);
        ASSERT_EQ(f.nLimits, 2);
        const int rows[] = {int(f.map.y(kAir, 60.0f, false)) - f.mapOrigin.y(),
                            int(f.map.y(kRh, 45.0f, false)) - f.mapOrigin.y()};
        EXPECT_EQ(f.limits[0], (plot::LimitLine {kAir, rows[0]}));
        EXPECT_EQ(f.limits[1], (plot::LimitLine {kRh, rows[1]}));
        EXPECT_GT(rows[1], rows[0]);
        // Without a run nothing is marked.
        plot::layoutFrame(sc.st, sc.window, nullptr, {10, 0}, *policy, *sc.frame, sc.limits);
        EXPECT_EQ(sc.frame->nLimits, 0);
    }
}

// --- the scale's axis values, shared by every graph ---

TEST(PlotScale, AxisValuesOfExtremeScalesAreTheirTrueProducts)
{
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max(), kMin = std::numeric_limits<int32_t>::min();
    const YScaleValues scales[] = {{kMax, kMax}, {kMax, kMin}, {kMin, kMax}, {kMin, kMin}, {kMax, -5},
                                   {65536, 32768}, {10, -5},   {-7, 3}};
    for (const YScaleValues& scale : scales) {
        SCOPED_TRACE(QStringLiteral("gain %1, offset %2").arg(scale.gain).arg(scale.offset).toStdString());
        const plot::AxisValues a = plot::axisValues(scale);
        for (int i = 0; i <= kAxisDivisions; ++i)
            EXPECT_EQ(a[size_t(i)], float((double(scale.offset) + i) * double(scale.gain))) << i;
    }
}

TEST(PlotScale, AUsableScaleHasAPositiveGainAndLabelsASingleHolds)
{
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max(), kMin = std::numeric_limits<int32_t>::min();
    const struct {
        YScaleValues scale;
        bool usable;
    } cases[] = {
        {{10, 0}, true},          {{500, -5}, true},       {{1, 5}, true},         {{3, 7}, true},
        {{1677721, 0}, true},     {{1677722, 0}, false},   {{1, 16777206}, true},  {{1, 16777207}, false},
        {{1, -16777216}, true},   {{1, -16777217}, false}, {{0, 0}, false},        {{-10, 0}, false},
        {{kMin, 0}, false},       {{kMax, 0}, false},      {{1, kMax}, false},     {{1, kMin}, false},
        {{kMax, kMax}, false},    {{kMax, kMin}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(plot::isUsableScale(c.scale), c.usable) << c.scale.gain << ", " << c.scale.offset;
        if (c.usable) {
            // Every label is the whole number of its division line.
            const plot::AxisValues a = plot::axisValues(c.scale);
            for (int i = 0; i <= kAxisDivisions; ++i)
                EXPECT_EQ(int64_t(a[size_t(i)]), (int64_t(c.scale.offset) + i) * c.scale.gain);
        }
    }
    EXPECT_EQ(plot::unusableScaleNote({kMax, kMin}),
              "The vertical scale stored in the file (gain 2147483647, offset -2147483648) gives no usable axis; "
              "the default scale (gain 10, offset 0) is used instead.");
}
