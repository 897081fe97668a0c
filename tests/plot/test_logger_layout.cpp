// The logger plot's layout, window-free: geometry, the acceptance rule of a
// new zoom level, the time axis by sample spacing, the scroll rule, the
// nearest sample and the read-out texts.
#include "DataFixtures.h"

#include "plot/LoggerLayout.h"

#include <gtest/gtest.h>
#include <limits>
#include <memory>

using namespace loggerplot;

namespace {

const Geometry kGeo = Geometry::fromClient(946, 598);

struct Scene {
    std::unique_ptr<float[]> values = std::make_unique<float[]>(size_t(kMaxSamples) * kChannelCount);
    RunInfo info;
    YScaleValues scale {10, 0};
    DisplayState st;
    std::unique_ptr<Frame> frame = std::make_unique<Frame>();

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
    const Frame& layout()
    {
        layoutFrame(st, kGeo, info, scale, true, *frame);
        keepFirstVisible(st, *frame);
        return *frame;
    }
    // A drag from a to b as the window handles it; true when it repaints.
    bool drag(QPoint a, QPoint b)
    {
        layout();
        press(st, *frame, a);
        dragTo(st, *frame, b);
        const bool repaint = release(st, *frame, b);
        layout();
        return repaint;
    }
};

} // namespace

TEST(LoggerLayout, GeometryFollowsTheClient)
{
    EXPECT_EQ(kGeo.left, 306);
    EXPECT_EQ(kGeo.top, 90);
    EXPECT_EQ(kGeo.right, 885);
    EXPECT_EQ(kGeo.bottom, 537);
    EXPECT_EQ(kGeo.W, 579);
    EXPECT_EQ(kGeo.H, 447);
    EXPECT_EQ(kGeo.clamp({0, 1000}), QPoint(306, 537));
    EXPECT_EQ(kGeo.clamp({900, 10}), QPoint(885, 90));
    // The drag box: 50 pixels beyond the sides, 20 above, 40 below.
    EXPECT_TRUE(kGeo.insideDragBox({257, 71}));
    EXPECT_FALSE(kGeo.insideDragBox({256, 300}));
    EXPECT_FALSE(kGeo.insideDragBox({935, 300}));
    EXPECT_FALSE(kGeo.insideDragBox({500, 70}));
    EXPECT_FALSE(kGeo.insideDragBox({500, 577}));
    EXPECT_TRUE(kGeo.insideDragBox({934, 576}));
    EXPECT_TRUE(kGeo.followsCursor(306) && kGeo.followsCursor(886));
    EXPECT_FALSE(kGeo.followsCursor(305) || kGeo.followsCursor(887));
}

TEST(LoggerLayout, YLabelsAndTheirIndentsForANegativeOffset)
{
    Scene sc(20);
    sc.scale = {10, -5};
    const Frame& f = sc.layout();
    const float expected[11] = {-50, -40, -30, -20, -10, 0, 10, 20, 30, 40, 50};
    for (int i = 0; i <= 10; ++i)
        EXPECT_EQ(f.yValue[size_t(i)], expected[i]) << i;
    // Indent c (characters of 7.5 pixels) by the value; y from the bottom.
    EXPECT_EQ(kGeo.yLabelX(-50), 251);   // c = 2
    EXPECT_EQ(kGeo.yLabelX(-5), 258);    // c = 3
    EXPECT_EQ(kGeo.yLabelX(0), 266);     // c = 4
    EXPECT_EQ(kGeo.yLabelX(50), 258);    // c = 3
    EXPECT_EQ(kGeo.yLabelX(-1000), 236); // c = 0
    EXPECT_EQ(kGeo.yLabelX(-100), 243);  // c = 1
    EXPECT_EQ(kGeo.yLabelX(1000), 243);  // c = 1
    EXPECT_EQ(kGeo.yLabelY(0), 532);
    EXPECT_EQ(kGeo.yLabelY(5), 308);
    EXPECT_EQ(kGeo.yLabelY(10), 85);
}

TEST(LoggerLayout, FullViewSpansTheSetAndItsTimes)
{
    Scene sc(4, 2);
    const Frame& f = sc.layout();
    EXPECT_DOUBLE_EQ(f.map.x(0), 306);
    EXPECT_DOUBLE_EQ(f.map.x(3), 885);
    EXPECT_EQ(f.startTime, 1700000000);
    EXPECT_EQ(f.endTime, 1700000000 + 6);
    EXPECT_EQ(f.nGridX, 0) << "the full view has no time grid of its own";
    Scene one(1, 5);
    EXPECT_EQ(one.layout().endTime, one.layout().startTime) << "one sample: start and end agree";
    // Values land by the level-0 axis values, K/IR rounded like the others.
    sc.scale = {1, 0};
    const Frame& g = sc.layout();
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
        EXPECT_FALSE(sc.st.bUnzoomed) << c.what << ": refused or not, the zoomed rendering follows";
    }

    // A plain click changes nothing.
    Scene click(100);
    EXPECT_FALSE(click.drag({500, 300}, {500, 300}));
    EXPECT_TRUE(click.st.bUnzoomed);

    // No level once one sample step spans the plot.
    Scene two(2);
    EXPECT_TRUE(two.drag({400, 150}, {600, 400}));
    EXPECT_EQ(two.st.nZoomLevel, 0);
    two.layout();
    EXPECT_FALSE(nextLevelAccepted(*two.frame, {400, 150}, {600, 400}));
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
    const Frame& f = sc.layout();
    EXPECT_EQ(f.level, 99);
    EXPECT_TRUE(f.usableStep());
}

TEST(LoggerLayout, ZoomedTimeLabelsStepByTheSpacing)
{
    // p = W / s sample spacings across the plot: one label per sample while
    // few spacings span the plot, else steps of a quarter of the plot.
    for (int count : {2, 3, 4, 5, 10010}) {
        Scene sc(count, 3);
        sc.st.bUnzoomed = false;  // the zoomed rendering of level 0
        const Frame& f = sc.layout();
        const int p = int(kGeo.W / f.tf.dx);
        const int step = p >= 4 ? int(kGeo.W * 0.25 / f.tf.dx) : 1;
        EXPECT_EQ(f.firstVisible, 0);
        EXPECT_EQ(f.timeShown[0], 1) << count;
        EXPECT_EQ(f.timeOf[0], sc.info.start);
        if (count > 2) {
            ASSERT_EQ(f.timeShown[1], 1) << count;
            EXPECT_EQ(f.timeOf[1] - f.timeOf[0], 3 * step) << count;
        }
        // Every shown label lies on the plot and names a sample of the set.
        for (int j = 0; j < kTimeLabels; ++j) {
            if (!f.timeShown[j])
                continue;
            EXPECT_GE(f.timeX[j], kGeo.left);
            EXPECT_LE(f.timeX[j], kGeo.right);
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
        deep.st.bUnzoomed = false;
        deep.st.nZoomLevel = 1;
        deep.st.zoom[0] = {0.0, 0.0, d.spacings / 99.0, 1.0};
        const Frame& f = deep.layout();
        ASSERT_EQ(int(kGeo.W / f.tf.dx), d.p);
        const int step = int(kGeo.W * d.part / f.tf.dx);
        EXPECT_EQ(step, 1) << d.p;
        EXPECT_EQ(f.nGridX, kTimeLabels) << d.p;
        EXPECT_EQ(f.gridX[1] - f.gridX[0], int(kGeo.left + f.tf.X0 + f.tf.dx * step) - kGeo.left) << d.p;
        EXPECT_EQ(f.timeOf[1] - f.timeOf[0], 3 * step) << d.p;
    }
}

TEST(LoggerLayout, ThumbTrackShiftsTheZoomedCurvesWithinTheSet)
{
    Scene sc(1000);
    ASSERT_TRUE(sc.drag({500, 100}, {600, 500}));
    const Frame& f = sc.layout();
    const int fv = sc.st.nFirstVisible;
    EXPECT_GT(fv, 0);
    EXPECT_EQ(f.firstVisible, fv);
    EXPECT_EQ(scrollPosition(sc.st), fv) << "no shift: the thumb on the first visible sample";
    // Position p puts sample p at the left edge.
    scrollTo(sc.st, 10);
    EXPECT_EQ(sc.st.nShift, fv - 10);
    EXPECT_EQ(scrollPosition(sc.st), 10);
    const Frame& g = sc.layout();
    EXPECT_NEAR(g.map.x(10), kGeo.left + g.tf.X0 + g.tf.dx * fv, 1e-6);
    // At the ends of the range the labels name only samples of the set.
    for (int p : {0, 1000}) {
        scrollTo(sc.st, p);
        const Frame& h = sc.layout();
        for (int j = 0; j < kTimeLabels; ++j) {
            if (!h.timeShown[j])
                continue;
            const int64_t sample = (h.timeOf[j] - sc.info.start) / sc.info.interval;
            EXPECT_GE(sample, 0) << p;
            EXPECT_LT(sample, 1000) << p;
        }
    }
    // The nearest sample follows the shift and may lie outside the set.
    scrollTo(sc.st, 0);
    const Frame& h = sc.layout();
    EXPECT_EQ(cursorSample(h, int(std::floor(h.map.x(5)))), 5);
    EXPECT_EQ(cursorSample(h, int(std::floor(h.map.x(-3)))), -3) << "left of the first sample";
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
    Readout r;
    buildReadout(sc.run(), 0, r);
    EXPECT_EQ(r.value[kAir], "23.5");
    EXPECT_EQ(r.value[kKir], "2.2") << "K/IR is cut toward zero";
    EXPECT_EQ(r.value[kRh], "55.5");
    EXPECT_EQ(r.time, "23:59:58");
    buildReadout(sc.run(), 1, r);
    EXPECT_EQ(r.value[kKir], "------");
    EXPECT_EQ(r.time, "00:00:00");
    buildReadout(sc.run(), 2, r);
    EXPECT_EQ(r.value[kKir], "------") << "-1000 and below";
    EXPECT_EQ(readoutUnit(sc.run(), kAir), "C");
    EXPECT_EQ(readoutUnit(sc.run(), kRh), "%RH");

    sc.info.fahrenheit = true;
    sc.info.unit = QStringLiteral("F");
    set(0, kAir, 20.0f);
    set(0, kRh, 55.0f);
    buildReadout(sc.run(), 0, r);
    EXPECT_EQ(r.value[kAir], "68.0");
    EXPECT_EQ(r.value[kRh], "55.0") << "RH is never converted";
    EXPECT_EQ(r.value[kKir], "36.1") << "2.29 C is 36.122 F, cut";
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
