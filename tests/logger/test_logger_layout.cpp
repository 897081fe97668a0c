// The logger plot's layout on the plot engine, window-free but for the
// chrome's label positions: the plot's place, the acceptance rule of a new
// zoom level, the time axis by sample spacing, the scroll rule, the
// nearest sample and the read-out texts.
#include "../data/DataFixtures.h"

#include "logger/LoggerChrome.h"
#include "logger/LoggerPolicy.h"
#include "plot/CursorReadout.h"
#include "plot/PlotFrame.h"

#include <gtest/gtest.h>
#include <memory>

using plot::PlotFrame;

namespace {

constexpr QSize kClient(946, 598);
const plot::PlotRect kPlot = kLoggerPolicy.plotRect(kClient);

struct Scene {
    std::unique_ptr<float[]> values = std::make_unique<float[]>(size_t(kMaxSamples) * kChannelCount);
    RunInfo info;
    YScaleValues scale {10, 0};
    plot::ViewState st;
    std::unique_ptr<PlotFrame> frame = std::make_unique<PlotFrame>();

    explicit Scene(int n, int interval = 1)
    {
        info.count = n;
        info.start = 1700000000;
        info.interval = interval;
        info.unit = QStringLiteral("C");
        for (int s = 0; s < n; ++s)
            for (int c = 0; c < kChannelCount; ++c)
                values[size_t(s) * kChannelCount + c] = float(10 * c + (s % 10));
    }
    RunView run() const { return RunView::ofSampleMajor(values.get(), info); }
    // A repaint's layout, as the window does it.
    const PlotFrame& layout()
    {
        plot::layoutFrame(st, kClient, &info, scale, kLoggerPolicy, *frame);
        plot::keepFirstVisible(st, *frame);
        return *frame;
    }
    // A drag from a to b as the window handles it; true when it repaints.
    bool drag(QPoint a, QPoint b)
    {
        layout();
        plot::bandPress(st, *frame, a);
        plot::bandMove(st, *frame, b);
        const bool repaint = plot::bandRelease(st, *frame, kLoggerPolicy, b);
        layout();
        return repaint;
    }
};

} // namespace

TEST(LoggerLayout, GeometryFollowsTheClient)
{
    EXPECT_EQ(kPlot.left, 306);
    EXPECT_EQ(kPlot.top, 90);
    EXPECT_EQ(kPlot.right(), 885);
    EXPECT_EQ(kPlot.bottom(), 537);
    EXPECT_EQ(kPlot.width, 579);
    EXPECT_EQ(kPlot.height, 447);
    EXPECT_EQ(plot::clampToPlot(kPlot, {0, 1000}), QPoint(306, 537));
    EXPECT_EQ(plot::clampToPlot(kPlot, {900, 10}), QPoint(885, 90));
    // The drag box: 50 pixels beyond the sides, 20 above, 40 below.
    auto inside = [](QPoint p) { return plot::insideWatchBox(kPlot, kLoggerPolicy, p); };
    EXPECT_TRUE(inside({257, 71}));
    EXPECT_FALSE(inside({256, 300}));
    EXPECT_FALSE(inside({935, 300}));
    EXPECT_FALSE(inside({500, 70}));
    EXPECT_FALSE(inside({500, 577}));
    EXPECT_TRUE(inside({934, 576}));
    // The cursor follows the pointer across the plot and one pixel beyond;
    // elsewhere it stays where it was.
    Scene sc(20);
    const PlotFrame& f = sc.layout();
    auto follows = [&](int x) {
        plot::ViewState st;
        return plot::moveCursor(st, f, kLoggerPolicy, x) && st.nCursorX == x && !st.bCursorHidden;
    };
    EXPECT_TRUE(follows(306) && follows(886));
    EXPECT_FALSE(follows(305) || follows(887));
}

TEST(LoggerLayout, YLabelsAndTheirIndentsForANegativeOffset)
{
    Scene sc(20);
    sc.scale = {10, -5};
    const PlotFrame& f = sc.layout();
    const float expected[11] = {-50, -40, -30, -20, -10, 0, 10, 20, 30, 40, 50};
    for (int i = 0; i <= 10; ++i)
        EXPECT_EQ(f.yValue[size_t(i)], expected[i]) << i;
    // Indent c (characters of 7.5 pixels) by the value; y from the bottom.
    EXPECT_EQ(LoggerChrome::yLabelX(kPlot, -50), 251);   // c = 2
    EXPECT_EQ(LoggerChrome::yLabelX(kPlot, -5), 258);    // c = 3
    EXPECT_EQ(LoggerChrome::yLabelX(kPlot, 0), 266);     // c = 4
    EXPECT_EQ(LoggerChrome::yLabelX(kPlot, 50), 258);    // c = 3
    EXPECT_EQ(LoggerChrome::yLabelX(kPlot, -1000), 236); // c = 0
    EXPECT_EQ(LoggerChrome::yLabelX(kPlot, -100), 243);  // c = 1
    EXPECT_EQ(LoggerChrome::yLabelX(kPlot, 1000), 243);  // c = 1
    EXPECT_EQ(LoggerChrome::yLabelY(kPlot, 0), 532);
    EXPECT_EQ(LoggerChrome::yLabelY(kPlot, 5), 308);
    EXPECT_EQ(LoggerChrome::yLabelY(kPlot, 10), 85);
}

TEST(LoggerLayout, FullViewSpansTheSetAndItsTimes)
{
    Scene sc(4, 2);
    const PlotFrame& f = sc.layout();
    EXPECT_DOUBLE_EQ(f.map.x(0), 306);
    EXPECT_DOUBLE_EQ(f.map.x(3), 885);
    // The first and the last sample's times at the plot's two ends.
    ASSERT_TRUE(f.timeShown[0] && f.timeShown[1]);
    EXPECT_EQ(f.timeX[0], 306);
    EXPECT_EQ(f.timeX[1], 885 - 55);
    EXPECT_EQ(f.timeOf[0], 1700000000);
    EXPECT_EQ(f.timeOf[1], 1700000000 + 6);
    EXPECT_EQ(f.timeShown[2], 0);
    // No time grid of its own: the full view's fifteen fixed parts, the
    // first line under the frame's left edge, the last on the right edge.
    EXPECT_EQ(f.nGridX, 16);
    EXPECT_EQ(f.gridX[0], 0);
    EXPECT_EQ(f.gridX[1], 579 / 15);
    EXPECT_EQ(f.gridX[15], 579);
    Scene one(1, 5);
    EXPECT_EQ(one.layout().timeOf[1], one.layout().timeOf[0]) << "one sample: start and end agree";
    // Values land by the level-0 axis values, K/IR rounded like the others.
    sc.scale = {1, 0};
    const PlotFrame& g = sc.layout();
    EXPECT_EQ(int(g.map.y(kAir, 2.25f, false)), 434) << "2.25 plots as 2.3";
    EXPECT_EQ(int(g.map.y(kKir, 2.25f, false)), 434) << "K/IR too";
    sc.scale = {1, -5};
    EXPECT_EQ(int(sc.layout().map.y(kAir, -2.25f, false)), 416) << "-2.25 plots as -2.3";
}

TEST(LoggerLayout, ANewLevelNeedsADownwardDragOfSomeHeightAndWidth)
{
    struct Case {
        const char* what;
        QPoint a, b;
        int gain;
        bool accepted;
    } cases[] = {
        {"downward box", {400, 150}, {600, 400}, 10, true},
        {"leftward box", {600, 150}, {400, 400}, 10, true},
        {"upward box", {400, 400}, {600, 150}, 10, false},
        {"zero width", {500, 150}, {500, 400}, 10, false},
        // Gain 1: a tenth of 4 pixels spans about 0.09 value units.
        {"too flat for gain 1", {400, 200}, {600, 240}, 1, false},
        {"as flat with gain 10", {400, 200}, {600, 240}, 10, true},
    };
    for (const Case& c : cases) {
        Scene sc(100);
        sc.scale = {c.gain, 0};
        EXPECT_TRUE(sc.drag(c.a, c.b)) << c.what << ": a drag that moved repaints";
        EXPECT_EQ(sc.st.nZoomLevel, c.accepted ? 1 : 0) << c.what;
        EXPECT_FALSE(sc.st.bAutoMode) << c.what << ": refused or not, the zoomed rendering follows";
    }

    // A plain click changes nothing.
    Scene click(100);
    EXPECT_FALSE(click.drag({500, 300}, {500, 300}));
    EXPECT_TRUE(click.st.bAutoMode);

    // No level once one sample step spans the plot.
    Scene two(2);
    EXPECT_TRUE(two.drag({400, 150}, {600, 400}));
    EXPECT_EQ(two.st.nZoomLevel, 0);
    two.layout();
    EXPECT_FALSE(plot::nextLevelAccepted(*two.frame, kLoggerPolicy, {400, 150}, {600, 400}, two.st.zoomStack[0]));
    Scene three(3);
    EXPECT_TRUE(three.drag({310, 100}, {880, 500}));
    EXPECT_EQ(three.st.nZoomLevel, 1);
}

TEST(LoggerLayout, ZoomStopsAtLevel99)
{
    Scene sc(10010);
    // Nearly the whole plot each time: the value span stays wide.
    for (int i = 0; i < 99; ++i)
        sc.drag({307, 90}, {884, 537});
    EXPECT_EQ(sc.st.nZoomLevel, 99);
    sc.drag({307, 90}, {884, 537});
    EXPECT_EQ(sc.st.nZoomLevel, 99);
    const PlotFrame& f = sc.layout();
    EXPECT_EQ(f.level, 99);
    EXPECT_TRUE(f.usableStep());
}

TEST(LoggerLayout, ZoomedTimeLabelsStepByTheSpacing)
{
    // p = W / s sample spacings across the plot: one label per sample while
    // few spacings span the plot, else steps of a quarter of the plot.
    for (int count : {2, 3, 4, 5, 10010}) {
        Scene sc(count, 3);
        sc.st.bAutoMode = 0;  // the zoomed rendering of level 0
        const PlotFrame& f = sc.layout();
        const int p = int(kPlot.width / f.tf.dx);
        const int step = p >= 4 ? int(kPlot.width * 0.25 / f.tf.dx) : 1;
        EXPECT_EQ(f.firstVisible, 0);
        EXPECT_EQ(f.timeShown[0], 1) << count;
        EXPECT_EQ(f.timeOf[0], sc.info.start);
        if (count > 2) {
            ASSERT_EQ(f.timeShown[1], 1) << count;
            EXPECT_EQ(f.timeOf[1] - f.timeOf[0], 3 * step) << count;
        }
        // Every shown label lies on the plot and names a sample of the set.
        for (int j = 0; j < plot::kTimeMarks; ++j) {
            if (!f.timeShown[j])
                continue;
            EXPECT_GE(f.timeX[j], kPlot.left);
            EXPECT_LE(f.timeX[j], kPlot.right());
            EXPECT_LT((f.timeOf[j] - sc.info.start) / 3, count);
        }
        if (count == 10010) {
            EXPECT_EQ(step, 2502);
        }
    }
    // p = 2 and p = 3 occur at deeper levels; their steps are a half and a
    // third of the plot.
    const struct {
        double spacings;  // sample spacings across the plot
        int p;
        double part;      // of the plot between two labels
    } deeper[] = {{2.5, 2, 0.5}, {3.5, 3, double(0.33333334f)}};
    for (const auto& d : deeper) {
        Scene deep(100, 3);
        deep.st.bAutoMode = 0;
        deep.st.nZoomLevel = 1;
        deep.st.zoomStack[0] = {0.0, 0.0, d.spacings / 99.0, 1.0};
        const PlotFrame& f = deep.layout();
        ASSERT_EQ(int(kPlot.width / f.tf.dx), d.p);
        const int step = int(kPlot.width * d.part / f.tf.dx);
        EXPECT_EQ(step, 1) << d.p;
        EXPECT_EQ(f.nGridX, plot::kTimeMarks) << d.p;
        EXPECT_EQ(f.gridX[1] - f.gridX[0], int(kPlot.left + f.tf.X0 + f.tf.dx * step) - kPlot.left) << d.p;
        EXPECT_EQ(f.timeOf[1] - f.timeOf[0], 3 * step) << d.p;
    }
}

TEST(LoggerLayout, ThumbTrackShiftsTheZoomedCurvesWithinTheSet)
{
    Scene sc(1000);
    ASSERT_TRUE(sc.drag({500, 100}, {600, 500}));
    const PlotFrame& f = sc.layout();
    const int fv = sc.st.nFirstVisible;
    EXPECT_GT(fv, 0);
    EXPECT_EQ(f.firstVisible, fv);
    EXPECT_EQ(plot::scrollPosition(sc.st), fv) << "no shift: the thumb on the first visible sample";
    // Position p puts sample p at the left edge.
    plot::scrollTo(sc.st, 10);
    EXPECT_EQ(sc.st.nScrollShift, fv - 10);
    EXPECT_EQ(plot::scrollPosition(sc.st), 10);
    const PlotFrame& g = sc.layout();
    EXPECT_NEAR(g.map.x(10), kPlot.left + g.tf.X0 + g.tf.dx * fv, 1e-6);
    // At the ends of the range the labels name only samples of the set.
    for (int p : {0, 1000}) {
        plot::scrollTo(sc.st, p);
        const PlotFrame& h = sc.layout();
        for (int j = 0; j < plot::kTimeMarks; ++j) {
            if (!h.timeShown[j])
                continue;
            const int64_t sample = (h.timeOf[j] - sc.info.start) / sc.info.interval;
            EXPECT_GE(sample, 0) << p;
            EXPECT_LT(sample, 1000) << p;
        }
    }
    // The nearest sample follows the shift and may lie outside the set.
    plot::scrollTo(sc.st, 0);
    const PlotFrame& h = sc.layout();
    EXPECT_EQ(plot::nearestSample(h, int(std::floor(h.map.x(5)))), 5);
    EXPECT_EQ(plot::nearestSample(h, int(std::floor(h.map.x(-3)))), -3) << "left of the first sample";
}

TEST(LoggerLayout, ReadoutTexts)
{
    ScopedTimeZone tz("UTC0");
    Scene sc(3, 2);
    sc.info.start = utc(2026, 12, 7, 23, 59, 58);
    auto set = [&](int s, int c, float v) { sc.values[size_t(s) * kChannelCount + c] = v; };
    set(0, kAir, 23.45f);
    set(0, kKir, 2.29f);
    set(0, kRh, 55.55f);
    set(1, kKir, kKirNoReading);
    set(2, kKir, -1000.0f);
    plot::Readout r;
    plot::buildReadout(sc.run(), 0, r);
    EXPECT_EQ(r.value[kAir], "23.5");
    EXPECT_EQ(r.value[kKir], "2.2") << "K/IR is cut toward zero";
    EXPECT_EQ(r.value[kRh], "55.5");
    EXPECT_EQ(r.time, "23:59:58");
    plot::buildReadout(sc.run(), 1, r);
    EXPECT_EQ(r.value[kKir], "------");
    EXPECT_EQ(r.time, "00:00:00");
    plot::buildReadout(sc.run(), 2, r);
    EXPECT_EQ(r.value[kKir], "------") << "-1000 and below";
    EXPECT_EQ(plot::readoutUnit(sc.run(), kAir), "C");
    EXPECT_EQ(plot::readoutUnit(sc.run(), kRh), "%RH");

    sc.info.fahrenheit = true;
    sc.info.unit = QStringLiteral("F");
    set(0, kAir, 20.0f);
    set(0, kRh, 55.0f);
    plot::buildReadout(sc.run(), 0, r);
    EXPECT_EQ(r.value[kAir], "68.0");
    EXPECT_EQ(r.value[kRh], "55.0") << "RH is never converted";
    EXPECT_EQ(r.value[kKir], "36.1") << "2.29 C is 36.122 F, cut";
}
