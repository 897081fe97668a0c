// Limit lines on both graphs, on the pixels of the real windows: a dashed
// row in the curve's colour at each alarm limit of a shown curve within the
// Y range, beside the converted values of a run in degrees F, and the
// curve bar's "Limits" toggle that switches them for both graphs.
#include "../logger/LoggerFixtures.h"
#include "TempDir.h"

#include "app/CKMView.h"
#include "app/CMainFrame.h"
#include "graph/RealtimeGraph.h"
#include "logger/CLoggerGraphDlg.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

constexpr int kClientW = 944;  // the real-time plot: 600 x 482 at (294, 118)
constexpr int kClientH = 800;
const QColor kRed(255, 0, 0);

// The logger plot at its template size.
constexpr int LL = 306, LT = 90, LR = 885, LW = 579, LH = 447;

// Rows (from the plot's top) where a colour shows between two columns.
QList<int> rowsOf(const QImage& img, const QColor& c, int left, int top, int x0, int x1, int rows)
{
    QList<int> out;
    for (int y = 0; y < rows; ++y)
        if (countColor(img, QRect(left + x0, top + y, x1 - x0, 1), c) > 0)
            out << y;
    return out;
}

// Dashes of four pixels on, four off from the plot's left edge, between two
// columns (x1 excluded).
int dashPixels(int x0, int x1)
{
    int n = 0;
    for (int x = x0; x < x1; ++x)
        n += (x / 4) % 2 == 0;
    return n;
}

class LimitLines : public TempDirTest {
protected:
    void SetUp() override
    {
        tz = std::make_unique<ScopedTimeZone>("UTC0");
        AppOptions options;
        options.settingsDir = path("ZB740");
        options.configFile = path("KM4471config.ini");
        options.sysfsRoot = path("sys");
        f = std::make_unique<CMainFrame>(options);
        f->resize(kClientW, kClientH + 100);
        f->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
        v = f->view();
        f->resize(kClientW + f->width() - v->width(), kClientH + f->height() - v->height());
        QTRY_COMPARE(v->size(), QSize(kClientW, kClientH));
        graph = v->graph();
        geo = graph->geometry();
        ASSERT_EQ(geo.W, 600);
        ASSERT_EQ(geo.H, 482);
        v->m_bShowCurve = {true, false, false, false, false};
    }
    void TearDown() override
    {
        f.reset();
        tz.reset();
    }
    void setLimit(int channel, AlarmLimitSet::Bound bound, const char* text)
    {
        v->alarmPanel()->limitEdit(channel, bound)->setText(QString::fromLatin1(text));
    }
    // A live run of AIR readings `stored` (degrees C), shown in C or F.
    void setLiveRun(float stored, bool fahrenheit)
    {
        RunState& run = f->run();
        for (int s = 0; s < 50; ++s)
            for (int c = 0; c < kChannelCount; ++c)
                f->doc().live().values[c][s] = stored;
        run.m_tStart = 1700000000;
        run.m_nSampleMs = 1000;
        run.m_bFahrenheit = fahrenheit;
        run.m_nCount = 50;
    }
    QImage graphShot()
    {
        graph->invalidate();
        return v->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    // Red rows of the real-time plot.
    QList<int> graphRedRows(const QImage& img) const { return rowsOf(img, kRed, geo.x0, geo.y0, 0, geo.W, geo.H); }

    // The logger window with a set of AIR readings `stored`, only AIR shown.
    CLoggerGraphDlg* openLogger(float stored, bool fahrenheit)
    {
        CLoggerGraphDlg* w = f->onOpen();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w));
        RunSpec spec;
        spec.count = 50;
        spec.fahrenheit = fahrenheit;
        spec.value = [stored](int, int) { return stored; };
        const QString p = path(QStringLiteral("set%1.AsmDat").arg(++files));
        EXPECT_TRUE(writeRun(p, spec));
        EXPECT_TRUE(w->loadFile(p).ok());
        f->loggerSession().showCurve = {true, false, false, false, false};
        return w;
    }
    static QImage loggerShot(CLoggerGraphDlg* w)
    {
        w->repaintNow();
        return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    // Red rows of the logger plot inside its red frame lines.
    static QList<int> loggerRedRows(const QImage& img) { return rowsOf(img, kRed, LL, LT, 1, LW, LH + 1); }

    std::unique_ptr<ScopedTimeZone> tz;
    std::unique_ptr<CMainFrame> f;
    CKMView* v = nullptr;
    RealtimeGraph* graph = nullptr;
    PlotGeometry geo;
    int files = 0;
};

// AIR readings of 15 C: 15 C or 59 F. Limits 35 / 5 (high / low) as typed,
// or 120 (above the scale's 0 .. 100).
struct Case {
    const char* name;
    bool fahrenheit;
    const char* high;
    double curveValue;  // where the AIR curve is drawn
    double highLine;    // where the high limit's line is, < 0: none
};
const Case kCases[] = {
    {"a limit inside the range", false, "35", 15, 35},
    {"a limit above the range", false, "120", 15, -1},
    // The curve moves to 59 F; the limits are numbers in the unit shown and
    // stand beside the converted values where they are.
    {"a run in degrees F", true, "35", 59, 35},
};
constexpr double kLowLine = 5;

} // namespace

TEST_F(LimitLines, TheRealtimeGraphDashesEachLimitOfAShownCurveInItsColour)
{
    setLimit(kAir, AlarmLimitSet::Low, "5");
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        setLimit(kAir, AlarmLimitSet::High, c.high);
        setLiveRun(15, c.fahrenheit);
        const QImage img = graphShot();
        const auto row = [](double value) { return int(482 - value * 4.82); };
        QList<int> expected {row(c.curveValue), row(kLowLine)};
        if (c.highLine >= 0)
            expected << row(c.highLine);
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(graphRedRows(img), expected);
        for (const double line : {c.highLine, kLowLine}) {
            if (line < 0)
                continue;
            const int y = geo.y0 + row(line);
            EXPECT_EQ(countColor(img, QRect(geo.x0, y, geo.W, 1), kRed), dashPixels(0, geo.W)) << line;
            EXPECT_EQ(img.pixelColor(geo.x0 + 1, y), kRed);
            EXPECT_NE(img.pixelColor(geo.x0 + 5, y), kRed) << "a gap between two dashes";
        }
    }
    // A hidden curve marks no limit; another shown curve marks its own in
    // its colour (WB's high limit 35: yellow).
    setLimit(kWb, AlarmLimitSet::High, "35");
    v->m_bShowCurve = {false, true, false, false, false};
    setLiveRun(15, false);
    const QImage img = graphShot();
    EXPECT_TRUE(graphRedRows(img).isEmpty());
    EXPECT_EQ(countColor(img, QRect(geo.x0, geo.y0 + int(482 - 35 * 4.82), geo.W, 1), QColor(255, 255, 0)),
              dashPixels(0, geo.W));
}

TEST_F(LimitLines, TheLoggerPlotDashesEachLimitOfAShownCurveInItsColour)
{
    setLimit(kAir, AlarmLimitSet::Low, "5");
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        setLimit(kAir, AlarmLimitSet::High, c.high);
        CLoggerGraphDlg* w = openLogger(15, c.fahrenheit);
        const QImage img = loggerShot(w);
        const auto row = [](double value) { return int(LT + LH - value * 4.47) - LT; };
        QList<int> expected {row(c.curveValue), row(kLowLine)};
        if (c.highLine >= 0)
            expected << row(c.highLine);
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(loggerRedRows(img), expected);
        for (const double line : {c.highLine, kLowLine}) {
            if (line < 0)
                continue;
            const int y = LT + row(line);
            EXPECT_EQ(countColor(img, QRect(LL + 1, y, LW - 1, 1), kRed), dashPixels(1, LW)) << line;
            EXPECT_NE(img.pixelColor(LL + 5, y), kRed) << "a gap between two dashes";
        }
    }
}

TEST_F(LimitLines, TheLimitsToggleSwitchesTheLinesOfBothGraphs)
{
    QPushButton* toggle = v->curveBar()->limitsButton();
    ASSERT_TRUE(toggle->isCheckable());
    EXPECT_EQ(toggle->text(), "Limits");
    // The built-in limits (140 / 0): no limit is set, no line.
    setLiveRun(15, false);
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_EQ(graphRedRows(graphShot()), QList<int> {int(482 - 15 * 4.82)});
    CLoggerGraphDlg* w = openLogger(15, false);
    EXPECT_EQ(loggerRedRows(loggerShot(w)), QList<int> {int(LT + LH - 15 * 4.47) - LT});

    // Setting a limit turns it on, for both graphs.
    setLimit(kAir, AlarmLimitSet::High, "35");
    EXPECT_TRUE(toggle->isChecked());
    const int graphLine = int(482 - 35 * 4.82), loggerLine = int(LT + LH - 35 * 4.47) - LT;
    EXPECT_TRUE(graphRedRows(graphShot()).contains(graphLine));
    EXPECT_TRUE(loggerRedRows(loggerShot(w)).contains(loggerLine));
    // The low limit 0 is the axis bottom: the logger's bottom row is its
    // plot's, the real-time graph's is not.
    EXPECT_TRUE(loggerRedRows(loggerShot(w)).contains(LH));

    // Off by the user: both graphs lose their lines, and a new limit does
    // not turn them on again.
    QTest::mouseClick(toggle, Qt::LeftButton);
    EXPECT_FALSE(toggle->isChecked());
    setLimit(kAir, AlarmLimitSet::Low, "5");
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_EQ(graphRedRows(graphShot()), QList<int> {int(482 - 15 * 4.82)});
    EXPECT_EQ(loggerRedRows(loggerShot(w)), QList<int> {int(LT + LH - 15 * 4.47) - LT});

    // On again.
    QTest::mouseClick(toggle, Qt::LeftButton);
    EXPECT_TRUE(toggle->isChecked());
    EXPECT_TRUE(graphRedRows(graphShot()).contains(graphLine));
    EXPECT_TRUE(loggerRedRows(loggerShot(w)).contains(loggerLine));
}
