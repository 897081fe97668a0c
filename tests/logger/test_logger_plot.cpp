// The logger plot on the pixels of the real window: what a paint shows for
// an empty table, a one-sample set, scales, units, rounding, the K/IR
// no-reading value, the time axis, zooming and the cursor with its read-out.
#include "LoggerFixtures.h"
#include "TempDir.h"

#include "base/LocalTime.h"
#include "data/TextExport.h"
#include "logger/CLoggerGraphDlg.h"

#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>
#include <limits>

namespace {

const QColor kBlack(0, 0, 0), kRed(255, 0, 0), kYellow(255, 255, 0), kPurple(200, 100, 200), kGreen(0, 255, 0);
const QColor kValueGrid = kLoggerValueGrid, kTimeGrid = kLoggerTimeGrid;

// The window's geometry at its template size.
constexpr int L = 306, T = 90, R = 885, B = 537, W = 579, H = 447;

class LoggerPlot : public TempDirTest {
protected:
    void SetUp() override
    {
        tz = std::make_unique<ScopedTimeZone>("UTC0");
        session.m_bLoggerOpen = true;
        w = new CLoggerGraphDlg(session, path("ZB740.ini"), m_tmp.path());
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    }
    void TearDown() override
    {
        delete w.data();
        tz.reset();
    }
    void load(const RunSpec& spec)
    {
        const QString p = path(QStringLiteral("run%1.AsmDat").arg(++files));
        ASSERT_TRUE(writeRun(p, spec));
        ASSERT_TRUE(w->loadFile(p).ok());
    }
    // What the window shows now, child controls included.
    QImage shot()
    {
        w->repaintNow();
        return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    void drag(QPoint a, QPoint b)
    {
        QTest::mousePress(w, Qt::LeftButton, {}, a);
        QTest::mouseMove(w, b);
        QTest::mouseRelease(w, Qt::LeftButton, {}, b);
    }
    // Rows of the plot where a colour appears in a column range.
    static QList<int> rowsOf(const QImage& img, const QColor& c, int x0 = L + 1, int x1 = R - 1)
    {
        QList<int> rows;
        for (int y = T; y <= B; ++y)
            if (countColor(img, QRect(x0, y, x1 - x0 + 1, 1), c) > 0)
                rows << y;
        return rows;
    }
    static RunSpec constant(int count, std::array<float, kChannelCount> v)
    {
        RunSpec s;
        s.count = count;
        s.value = [v](int c, int) { return v[size_t(c)]; };
        return s;
    }

    std::unique_ptr<ScopedTimeZone> tz;
    std::unique_ptr<ReviewRecord> record = std::make_unique<ReviewRecord>();
    LoggerSession session {*record};
    QPointer<CLoggerGraphDlg> w;
    int files = 0;
};

} // namespace

TEST_F(LoggerPlot, AnEmptyTableShowsFrameGridAndLegendOnly)
{
    const QImage img = shot();
    EXPECT_EQ(img.pixelColor(L + 20, T + 20), kBlack);
    // Frame: both sides red from the top to the row above the bottom, and
    // the ticks of the eleven divisions.
    for (int y = T; y < B; y += 37) {
        EXPECT_EQ(img.pixelColor(L, y), kRed) << y;
        EXPECT_EQ(img.pixelColor(R, y), kRed) << y;
    }
    for (int i = 0; i <= 10; ++i) {
        const int y = int(T + H * i * 0.1);
        EXPECT_EQ(countColor(img, QRect(L - 3, y, 3, 1), kRed), 3) << i;
        // The value grid: a full line across the plot.
        EXPECT_EQ(countColor(img, QRect(L + 1, y, W - 1, 1), kValueGrid), W - 1) << i;
    }
    // Fifteen verticals when unzoomed, the last on the right edge (red).
    for (int i = 1; i < 15; ++i)
        EXPECT_EQ(img.pixelColor(int(L + W * i / 15.0), T + 20), kValueGrid) << i;
    EXPECT_EQ(rowsOf(img, kValueGrid, L + 1, L + 30).size(), 11) << "no other grey rows";
    // The legend: all five names and sample lines, no Y labels, no read-out.
    const QFont font = LoggerChrome::mainFont();
    for (int k = 0; k < kChannelCount; ++k) {
        EXPECT_TRUE(showsTextAt(img, L + 40 + 120 * k, 40, QString::fromLatin1(kChannelLegend[size_t(k)]), font)) << k;
        EXPECT_EQ(countColor(img, QRect(L + 20 + 120 * k, 59, 60, 2), kCurveScreenColor[k]), 120) << k;
    }
    int dark = 0;
    for (int y = T - 10; y < B + 10; ++y)
        for (int x = 240; x < L - 4; ++x)
            dark += qGray(img.pixel(x, y)) < 100;
    EXPECT_EQ(dark, 0) << "no Y labels without a set";
    // The mouse over the plot draws no cursor.
    QTest::mouseMove(w, QPoint(500, 300));
    EXPECT_EQ(w->grab().toImage().convertToFormat(QImage::Format_RGB32), img);
}

TEST_F(LoggerPlot, AOneSampleSetDrawsNoCurveAndStartsWhereItEnds)
{
    RunSpec one = constant(1, {20, 15, 10, 25, 55});
    one.start = utc(2026, 8, 9, 10, 11, 12);
    load(one);
    const QImage img = shot();
    for (const QColor& c : kCurveScreenColor)
        EXPECT_EQ(countColor(img, QRect(L + 1, T, W - 1, H + 1), c), 0);
    const QFont font = LoggerChrome::mainFont();
    EXPECT_TRUE(showsTextAt(img, L, B + 8, "10:11:12", font));
    EXPECT_TRUE(showsTextAt(img, R - 55, B + 8, "10:11:12", font));
    // The cursor finds that one sample.
    QTest::mouseMove(w, QPoint(600, 300));
    EXPECT_EQ(session.display.nCursorSample, 0);
    EXPECT_EQ(session.readout.value[kRh], "55.0");
}

TEST_F(LoggerPlot, YLabelsAndIndentsOfANegativeOffset)
{
    RunSpec s = constant(10, {0, 0, 0, 0, 0});
    s.scale = {10, -5};
    load(s);
    const QImage img = shot();
    const QFont font = LoggerChrome::mainFont();
    const struct {
        int i;
        const char* text;
        int x;
    } labels[] = {{0, "-50.00", 251}, {4, "-10.00", 251}, {5, "0.00", 266}, {6, "10.00", 258}, {10, "50.00", 258}};
    for (const auto& l : labels)
        EXPECT_TRUE(showsTextAt(img, l.x, int(B - H * l.i * 0.1 - 5), l.text, font)) << l.text;
    // Zero sits in the middle of the plot: the constant curves run there.
    EXPECT_EQ(rowsOf(img, kCurveScreenColor[kRh]), QList<int>({int(T + H - 5 * (H / 100.0) * 10)}));
}

TEST_F(LoggerPlot, FahrenheitMovesTheTemperatureCurvesNotRh)
{
    // AIR 20 C, K/IR 10 C, RH 55 %; WB and DP out of the way.
    RunSpec s = constant(20, {20, -100, -100, 10, 55});
    auto rowOf = [](double v) { return int(T + (H - v * (H / 100.0))); };
    load(s);
    QImage img = shot();
    EXPECT_EQ(rowsOf(img, kRed), QList<int>({rowOf(20)}));
    EXPECT_EQ(rowsOf(img, kPurple), QList<int>({rowOf(10)}));
    EXPECT_EQ(rowsOf(img, kGreen), QList<int>({rowOf(55)}));
    s.fahrenheit = true;
    load(s);
    img = shot();
    EXPECT_EQ(rowsOf(img, kRed), QList<int>({rowOf(68)})) << "AIR 20 C is drawn at 68 F";
    EXPECT_EQ(rowsOf(img, kPurple), QList<int>({rowOf(50)})) << "K/IR 10 C at 50 F";
    EXPECT_EQ(rowsOf(img, kGreen), QList<int>({rowOf(55)})) << "RH stays";
    // The read-out says so too.
    QTest::mouseMove(w, QPoint(500, 300));
    const QImage after = w->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QFont ro = LoggerChrome::readoutFont();
    EXPECT_TRUE(showsTextAt(after, L, 70, "68.0F", ro));
    EXPECT_TRUE(showsTextAt(after, L + 480, 70, "55.0%RH", ro));
}

TEST_F(LoggerPlot, AKirNoReadingIsPlottedBelowThePlotAndHiddenByTheStrip)
{
    RunSpec s = constant(21, {20, 15, 10, 25, 55});
    s.value = [](int c, int i) { return c == kKir && i == 10 ? kKirNoReading : std::array<float, 5>{20, 15, 10, 25, 55}[size_t(c)]; };
    load(s);
    const QImage img = shot();
    // The segments to and from the no-reading sample fall through the plot
    // to its bottom row; nothing purple outside the plot.
    const int x10 = int(L + 10 * (W / 20.0));
    EXPECT_GT(countColor(img, QRect(x10 - 30, T, 60, H + 1), kPurple), 100);
    EXPECT_EQ(countColor(img, QRect(x10 - 30, B, 60, 1), kPurple), 2) << "both segments reach the bottom row";
    const QImage all = w->renderer().picture();
    EXPECT_EQ(countColor(all, QRect(0, B + 1, all.width(), all.height() - B - 1), kPurple), 0);
    EXPECT_EQ(countColor(all, QRect(0, 0, L, all.height()), kPurple), 0);
    // Its read-out is dashes.
    QTest::mouseMove(w, QPoint(x10, 300));
    ASSERT_EQ(session.display.nCursorSample, 10);
    EXPECT_TRUE(showsTextAt(w->grab().toImage(), L + 360, 70, "------C", LoggerChrome::readoutFont()));
}

TEST_F(LoggerPlot, ReadingsThatAreNoNumberLeaveGapsInTheCurves)
{
    // 20 samples 30.47 pixels apart: AIR is NaN at sample 5, RH +inf at 12,
    // K/IR -inf at 15; WB and DP out of the way.
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    constexpr float kInf = std::numeric_limits<float>::infinity();
    RunSpec s = constant(20, {20, -100, -100, 40, 55});
    s.value = [](int c, int i) {
        if (c == kAir && i == 5)
            return kNaN;
        if (c == kRh && i == 12)
            return kInf;
        if (c == kKir && i == 15)
            return -kInf;
        return std::array<float, 5> {20, -100, -100, 40, 55}[size_t(c)];
    };
    load(s);
    const QImage img = shot();
    auto xOf = [](int sample) { return int(L + sample * (W / 19.0)); };
    auto rowOf = [](double v) { return int(T + (H - v * (H / 100.0))); };
    const struct {
        const char* name;
        QColor color;
        int gap;
        double value;
    } curves[] = {{"AIR", kRed, 5, 20}, {"RH", kGreen, 12, 55}, {"K/IR", kPurple, 15, 40}};
    for (const auto& c : curves) {
        SCOPED_TRACE(c.name);
        // Nothing from the sample before the gap to the one after it, and
        // nothing off the curve's row.
        const int from = xOf(c.gap - 1) + 1, to = xOf(c.gap + 1) - 1;
        EXPECT_EQ(countColor(img, QRect(from, T, to - from + 1, H + 1), c.color), 0);
        EXPECT_EQ(rowsOf(img, c.color), QList<int>({rowOf(c.value)}));
        // The rest of the curve is there, up to the samples beside the gap.
        EXPECT_EQ(countColor(img, QRect(L + 1, rowOf(c.value), from - L - 1, 1), c.color), from - L - 1);
        EXPECT_EQ(countColor(img, QRect(to + 1, rowOf(c.value), R - 1 - to, 1), c.color), R - 1 - to);
    }
    // The read-out of those samples writes what the text export writes.
    QTest::mouseMove(w, QPoint(xOf(5), 300));
    ASSERT_EQ(session.display.nCursorSample, 5);
    EXPECT_EQ(session.readout.value[kAir], QString::fromLatin1(TextExport::formatValue(kNaN, kAir, false)));
    QTest::mouseMove(w, QPoint(xOf(12), 300));
    ASSERT_EQ(session.display.nCursorSample, 12);
    EXPECT_EQ(session.readout.value[kRh], QString::fromLatin1(TextExport::formatValue(kInf, kRh, false)));
    EXPECT_EQ(session.readout.value[kRh], "inf");
    QTest::mouseMove(w, QPoint(xOf(15), 300));
    ASSERT_EQ(session.display.nCursorSample, 15);
    EXPECT_EQ(session.readout.value[kKir], "------") << "far below any reading, as no reading";
}

TEST_F(LoggerPlot, ValuesRoundHalfAwayFromZeroBeforePlotting)
{
    // AIR and K/IR at 2.25 (K/IR drawn over AIR), the others off the plot.
    RunSpec s = constant(5, {2.25f, -50, -50, 2.25f, -50});
    s.scale = {1, 0};  // 0 .. 10
    load(s);
    const int row23 = int(T + H - 2.3 * (H / 10.0));  // 434; 2.2 would be 438
    EXPECT_EQ(rowsOf(shot(), kPurple), QList<int>({row23})) << "2.25 plots as 2.3, K/IR included";
    w->action(CLoggerGraphDlg::Command::Air)->trigger();
    EXPECT_EQ(rowsOf(shot(), kRed), QList<int>({row23}));
    s = constant(5, {-2.25f, -50, -50, -50, -50});
    s.scale = {1, -5};  // -5 .. 5
    load(s);
    EXPECT_EQ(rowsOf(shot(), kRed), QList<int>({int(T + H - (5 - 2.3) * (H / 10.0))})) << "-2.25 plots as -2.3";
}

TEST_F(LoggerPlot, TheFullViewEndsAtTheLastSamplesTime)
{
    RunSpec s;
    s.count = 4;
    s.start = utc(2026, 12, 7, 23, 59, 58);
    s.interval = 2;
    load(s);
    const QImage img = shot();
    const QFont font = LoggerChrome::mainFont();
    EXPECT_TRUE(showsTextAt(img, L, B + 8, "23:59:58", font));
    EXPECT_TRUE(showsTextAt(img, R - 55, B + 8, "00:00:04", font));
}

TEST_F(LoggerPlot, ARefusedUpwardDragStillSwitchesToTheZoomedRendering)
{
    RunSpec s;
    s.count = 600;
    load(s);
    const QImage before = shot();
    const QImage plotBefore = w->renderer().picture();
    EXPECT_EQ(countColor(before, QRect(L, T, W, H), kTimeGrid), 0);
    drag({500, 400}, {600, 200});
    EXPECT_EQ(session.display.nZoomLevel, 0) << "an upward drag is refused";
    EXPECT_FALSE(session.display.bAutoMode);
    const QImage img = shot();
    // The time grid of the zoomed rendering replaces the fifteen verticals,
    // and the times move from the corners to the grid lines.
    EXPECT_EQ(img.pixelColor(int(L + W / 15.0), T + 20), kBlack);
    EXPECT_GT(countColor(img, QRect(L, T, W, H), kTimeGrid), 4 * H / 2);
    EXPECT_FALSE(showsTextAt(img, L, B + 8, "22:13:20", LoggerChrome::mainFont()));
    const plot::PlotFrame& f = w->frame();

    ASSERT_EQ(f.timeShown[1], 1);
    EXPECT_TRUE(showsTextAt(img, f.timeX[1], B + 1, LocalTime::format(f.timeOf[1], "%H:%M:%S"),
                            LoggerChrome::mainFont()));
    EXPECT_TRUE(w->scrollBar()->isEnabled());
    w->action(CLoggerGraphDlg::Command::ZoomOut)->trigger();
    EXPECT_FALSE(w->scrollBar()->isEnabled());
    shot();
    EXPECT_EQ(withoutReadout(w->renderer().picture()), withoutReadout(plotBefore));
}

TEST_F(LoggerPlot, AcceptedLevelsStopAt99)
{
    RunSpec s;
    s.count = 10010;
    s.value = [](int c, int i) { return float(10 * c + 20 + 5 * std::sin(i * 0.01)); };
    load(s);
    const QImage unzoomed = shot();
    // Nearly the whole plot each time, so every level is worth entering.
    for (int i = 0; i < 99; ++i)
        drag({L + 1, T}, {R - 1, B});
    EXPECT_EQ(session.display.nZoomLevel, 99);
    const QImage deepest = shot();
    drag({L + 1, T}, {R - 1, B});
    EXPECT_EQ(session.display.nZoomLevel, 99) << "no level beyond 99";
    EXPECT_EQ(withoutReadout(shot()), withoutReadout(deepest));
    EXPECT_GT(countColor(deepest, QRect(L, T, W, H), kRed), 50) << "curves still drawn at level 99";
    EXPECT_NE(deepest, unzoomed);
}

TEST_F(LoggerPlot, TheCursorIsTheNotXorOfItsPenAndTheReadoutFollowsIt)
{
    RunSpec s = constant(11, {23.45f, 15, 10, 2.29f, 55.55f});
    s.start = utc(2026, 1, 1, 12, 0, 0);
    s.interval = 10;
    load(s);
    const QImage plain = shot();
    const int x = int(L + 4 * (W / 10.0)) + 1;  // nearest to sample 4
    QTest::mouseMove(w, QPoint(x, 300));
    EXPECT_EQ(session.display.nCursorSample, 4);
    const QImage img = w->grab().toImage().convertToFormat(QImage::Format_RGB32);
    // Every other pixel of the column from the top: the picture XOR
    // ~(150, 50, 50); the others unchanged.
    for (int y = T; y < B; ++y) {
        const QRgb under = plain.pixel(x, y);
        const QRgb expected = (y - T) % 2 == 0 ? ((under ^ 0x0069cdcdu) | 0xff000000u) : under;
        ASSERT_EQ(img.pixel(x, y), expected) << y;
    }
    EXPECT_EQ(img.pixelColor(x, T + 2), QColor(105, 205, 205)) << "on black";
    // The read-out of sample 4 for each visible curve.
    const QFont ro = LoggerChrome::readoutFont();
    EXPECT_TRUE(showsTextAt(img, L, 70, "23.5C", ro));
    EXPECT_TRUE(showsTextAt(img, L + 360, 70, "2.2C", ro)) << "K/IR 2.29 reads 2.2";
    EXPECT_TRUE(showsTextAt(img, L + 480, 70, "55.5%RH", ro));
    EXPECT_TRUE(showsTextAt(img, L + 62, 70, "12:00:40", ro));
    EXPECT_TRUE(showsTextAt(img, L + 480 + 74, 70, "12:00:40", ro));
    // A move rewrites only the read-out; a full repaint draws the same.
    const QImage afterMove = w->renderer().picture();
    w->repaintNow();
    EXPECT_EQ(w->renderer().picture(), afterMove);
    // Hidden curves have no read-out.
    w->action(CLoggerGraphDlg::Command::Rh)->trigger();
    const QImage rhOnly = shot();
    EXPECT_FALSE(showsTextAt(rhOnly, L, 70, "23.5C", ro));
    EXPECT_TRUE(showsTextAt(rhOnly, L + 480, 70, "55.5%RH", ro));
}

TEST_F(LoggerPlot, TheRubberBandInvertsItsFrameWhileDragging)
{
    RunSpec s;
    s.count = 100;
    load(s);
    const QImage plain = shot();
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(400, 150));
    QTest::mouseMove(w, QPoint(600, 400));
    const QImage img = w->grab().toImage().convertToFormat(QImage::Format_RGB32);
    for (QPoint p : {QPoint(400, 150), QPoint(600, 150), QPoint(400, 400), QPoint(600, 400), QPoint(402, 150)})
        EXPECT_EQ(img.pixel(p), (plain.pixel(p) ^ 0x00ffffffu) | 0xff000000u) << p.x() << "," << p.y();
    EXPECT_EQ(img.pixel(401, 150), plain.pixel(401, 150));
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(600, 400));
    EXPECT_EQ(session.display.nZoomLevel, 1);
}
