// The printed page, written as a real PDF and read back with poppler's
// tools: positions in 0.1 mm from the printable area's bottom-right corner.
#include "ReportFixtures.h"
#include "TempDir.h"

#include "run/RunState.h"

#include <QPainter>
#include <QPrinter>
#include <gtest/gtest.h>
#include <algorithm>
#include <limits>

namespace RL = ReportLayout;

namespace {

// Tolerance of word positions: the font's line box against the layout's
// text origin, in units.
constexpr double kTextSlack = 1.5;

} // namespace

class ReportPageTest : public TempDirTest {
protected:
    // Writes the input as the A4 report and reads it back.
    PdfPage written(const ReportInput& in, const QString& name = QStringLiteral("report.pdf"))
    {
        const Status s = ReportPdf::write(path(name), in, printedMoment());
        EXPECT_TRUE(s.ok()) << s.message().toStdString();
        PdfPage page(path(name));
        EXPECT_TRUE(page.ok());
        return page;
    }
    // Expects one word with this text whose line top is at (x, y).
    void expectWordAt(const PdfPage& page, const QString& text, double x, double y)
    {
        const QList<PdfWord> found = page.find(text);
        ASSERT_EQ(found.size(), 1) << text.toStdString() << " in " << page.texts().join(' ').toStdString();
        EXPECT_NEAR(found[0].left, x, kTextSlack) << text.toStdString();
        EXPECT_NEAR(found[0].top, y, kTextSlack) << text.toStdString();
    }
    ScopedTimeZone tz {"UTC0"};
};

TEST_F(ReportPageTest, BoxTextsAndGridSitAtTheirPlaces)
{
    SavedRun run(5, 10);
    const PdfPage page = written(run.input());
    ASSERT_TRUE(page.ok());
    // A4 as PDF pages give it, in whole points.
    EXPECT_EQ(page.pageWidthPt(), 595);
    EXPECT_EQ(page.pageHeightPt(), 842);

    // The box's corners and edges are black; a few units outside is paper.
    for (auto [x, y] : {std::pair {-750, 200}, {-10, 200}, {-10, 1000}, {-750, 1000}})
        EXPECT_LT(page.darkest(x, y), 100) << "corner " << x << "," << y;
    EXPECT_LT(page.darkest(-380, 200), 100);
    EXPECT_LT(page.darkest(-380, 1000), 100);
    EXPECT_LT(page.darkest(-750, 560), 100);
    EXPECT_LT(page.darkest(-10, 560), 100);
    EXPECT_GT(page.darkest(-754, 560), 240);
    EXPECT_GT(page.darkest(-6, 560), 240);
    EXPECT_GT(page.darkest(-380, 196), 240);
    EXPECT_GT(page.darkest(-380, 1004), 240);

    expectWordAt(page, "ZB740", RL::kTitleX, RL::kTitleY);
    ASSERT_EQ(page.find("Test").size(), 1);
    ASSERT_EQ(page.find("Report").size(), 1);
    EXPECT_NEAR(page.find("Report")[0].top, RL::kTitleY, kTextSlack);

    // "%Y-%m-%d  %H:%M": two spaces between date and time.
    expectWordAt(page, "2026-12-08", RL::kDateX, RL::kDateY);
    const QList<PdfWord> clock = page.find("09:30");
    ASSERT_EQ(clock.size(), 1);
    const double space = 0.278 * RL::kFontHeight;  // a space of the font
    EXPECT_NEAR(clock[0].left - page.find("2026-12-08")[0].right, 2 * space, 0.5 * space);

    for (int c = 0; c < kChannelCount; ++c)
        expectWordAt(page, kChannelLegend[c], RL::kLegendX[c], RL::kLegendY);

    // Y labels "%.1f" of (offset + i) x gain; each straddles its line.
    for (int i = 0; i < RL::kYLabelCount; ++i) {
        const QString label = QString::asprintf("%.1f", 10.0 * i);
        expectWordAt(page, label, RL::kYLabelX, RL::yLabelY(i));
        const PdfWord w = page.find(label).value(0);
        const int line = RL::kBoxBottom + 80 * i;
        EXPECT_LT(w.bottom, line) << label.toStdString();
        EXPECT_GT(w.top, line) << label.toStdString();
    }

    // The grid: light grey dots on the nine rows and three columns only.
    const QColor grid = ReportPage::kGridColor;
    for (int j = 1; j <= 9; ++j)
        EXPECT_GT(page.countColor(-700, RL::gridRowY(j), -600, RL::gridRowY(j), grid, 25), 10) << "row " << j;
    for (int x : RL::kGridColumnX)
        EXPECT_GT(page.countColor(x, 250, x, 350, grid, 25), 10) << "column " << x;
    EXPECT_EQ(page.countColor(-700, 240, -600, 240, grid, 25), 0);

    // Arial is asked for; here the metric-compatible Liberation Sans prints.
    const PdfRun fonts = runTool(QStringLiteral("pdffonts"), {path("report.pdf")});
    EXPECT_TRUE(fonts.out.contains("LiberationSans")) << fonts.out.toStdString();
}

TEST_F(ReportPageTest, OneSampleDrawsNoCurveAndFiveStartTimes)
{
    SavedRun run(1, 10);
    const PdfPage page = written(run.input());
    ASSERT_TRUE(page.ok());
    const QList<PdfWord> times = page.find("13:45:00");
    ASSERT_EQ(times.size(), 5) << page.texts().join(' ').toStdString();
    for (int k = 0; k < 5; ++k) {
        EXPECT_NEAR(times[k].left, RL::timeLabelX(k), kTextSlack);
        EXPECT_NEAR(times[k].top, RL::kTimeLabelY, kTextSlack);
    }
    for (int c = 0; c < kChannelCount; ++c)
        EXPECT_EQ(page.countColor(-748, 202, -12, 998, ReportPage::kPrintColor[c], 30), 0) << "channel " << c;
    // Box, legend, labels, title and date are all there.
    EXPECT_LT(page.darkest(-750, 600), 100);
    EXPECT_EQ(page.find("RH").size(), 1);
    EXPECT_EQ(page.find("100.0").size(), 1);
    EXPECT_EQ(page.find("ZB740").size(), 1);
    EXPECT_EQ(page.find("2026-12-08").size(), 1);
}

TEST_F(ReportPageTest, FiveSamplesLabelEverySampleAndSpanTheBox)
{
    SavedRun run(5, 10);
    for (int s = 0; s < 5; ++s)
        run.set(s, {50.0f, 40.0f, 30.0f, 20.0f, 10.0f + 10 * s});
    const PdfPage page = written(run.input());
    ASSERT_TRUE(page.ok());
    const char* expected[] = {"13:45:00", "13:45:10", "13:45:20", "13:45:30", "13:45:40"};
    for (int k = 0; k < 5; ++k)
        expectWordAt(page, expected[k], RL::timeLabelX(k), RL::kTimeLabelY);

    // AIR at 50.0 of 0..100 is the row 600 from the left edge to the right.
    for (int x : {-749, -600, -300, -100, -11})
        EXPECT_TRUE(page.hasColorNear(x, 600, kAirPrint)) << x;
    // RH climbs 10 units per sample: sample s at x -750 + 185 s, y 280 + 80 s.
    for (int s = 0; s < 5; ++s) {
        const int x = s == 4 ? -11 : -750 + 185 * s + (s == 0 ? 1 : 0);
        EXPECT_TRUE(page.hasColorNear(x, 280 + 80 * s, kRhPrint, 2)) << "sample " << s;
    }
    EXPECT_FALSE(page.hasColorNear(-754, 600, kAirPrint)) << "nothing left of the box";
    EXPECT_FALSE(page.hasColorNear(-6, 600, kAirPrint)) << "nothing right of the box";
}

TEST_F(ReportPageTest, EachTimeLabelNamesTheSampleUnderIt)
{
    // The curve spans the box from the first sample to the last, so label k
    // names sample round(k (n - 1) / 4); samples 10 s apart from 13:45:00.
    for (const TimeLabelCase& c : kTimeLabelCases) {
        SCOPED_TRACE(c.count);
        SavedRun run(c.count, 10);
        const PdfPage page = written(run.input());
        ASSERT_TRUE(page.ok());
        for (int k = 0; k < RL::kTimeLabelCount; ++k) {
            const QList<PdfWord> found = page.find(QLatin1String(c.labels[k]));
            const auto at = std::find_if(found.begin(), found.end(), [k](const PdfWord& w) {
                return std::abs(w.left - RL::timeLabelX(k)) <= kTextSlack;
            });
            ASSERT_NE(at, found.end()) << "label " << k << " " << c.labels[k] << " in "
                                       << page.texts().join(' ').toStdString();
            EXPECT_NEAR(at->top, RL::kTimeLabelY, kTextSlack);
        }
    }
}

TEST_F(ReportPageTest, AValueAboveTheRangeIsCutAtTheBoxTop)
{
    SavedRun run(2, 10);
    run.set(0, {50.0f, 40.0f, 30.0f, 20.0f, 10.0f});
    run.set(1, {250.0f, 40.0f, 30.0f, 20.0f, 10.0f});  // leaves 0..100 at x -565
    const PdfPage page = written(run.input());
    ASSERT_TRUE(page.ok());
    EXPECT_TRUE(page.hasColorNear(-570, 995, kAirPrint, 3)) << "the curve reaches the top";
    // (The legend's "AIR" sits above the box's left end.)
    EXPECT_EQ(page.countColor(-700, 1002, -10, 1150, kAirPrint, 60), 0) << "and is cut there";
    // The box's top line stays black where the curve crosses it.
    EXPECT_LT(page.darkest(-565, 1000), 100);
    EXPECT_LT(page.darkest(-300, 1000), 100);
}

TEST_F(ReportPageTest, ReadingsThatAreNoNumberLeaveGapsInTheCurves)
{
    // Degrees F on a scale of 0..200 (y = 200 + 4 v). Sample 2 (x -380) of
    // AIR is +inf, of WB -inf, of DP NaN, and K/IR holds the largest float,
    // which degrees F make infinite. Their segments to samples 1 and 3
    // (x -565 and -195) are not drawn, not even as a line off the box; the
    // others are.
    constexpr float kInf = std::numeric_limits<float>::infinity();
    SavedRun run(5, 10, true);
    for (int s = 0; s < 5; ++s)
        run.set(s, {10.0f, 0.0f, -5.0f, -10.0f, 100.0f});
    run.set(2, {kInf, -kInf, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::max(), 100.0f});
    const PdfPage page = written(run.input(kAllCurves, {20, 0}));
    ASSERT_TRUE(page.ok());
    const int rowOf[4] = {200 + 4 * 50, 200 + 4 * 32, 200 + 4 * 23, 200 + 4 * 14};
    for (int c = 0; c < 4; ++c) {
        SCOPED_TRACE(kChannelLegend[size_t(c)]);
        const QColor color = ReportPage::kPrintColor[size_t(c)];
        const int row = rowOf[c];
        EXPECT_TRUE(page.hasColorNear(-660, row, color, 3)) << "segment 0-1";
        EXPECT_TRUE(page.hasColorNear(-100, row, color, 3)) << "segment 3-4";
        EXPECT_EQ(page.countColor(-558, row - 6, -202, row + 6, color, 30), 0) << "no segment along the row";
        EXPECT_EQ(page.countColor(-570, 202, -190, row - 7, color, 30), 0) << "nothing below the row";
        EXPECT_EQ(page.countColor(-570, row + 7, -190, 998, color, 30), 0) << "nothing above the row";
    }
    // RH has all its segments.
    EXPECT_TRUE(page.hasColorNear(-380, 600, kRhPrint, 3));
}

TEST_F(ReportPageTest, AHiddenCurveKeepsItsLegendSlotEmpty)
{
    SavedRun run(5, 10);
    const PdfPage page = written(run.input({false, true, true, true, true}));
    ASSERT_TRUE(page.ok());
    EXPECT_TRUE(page.find("AIR").isEmpty());
    EXPECT_EQ(page.countColor(-760, 100, 0, 1200, kAirPrint, 30), 0);
    for (int c = kWb; c < kChannelCount; ++c)
        expectWordAt(page, kChannelLegend[c], RL::kLegendX[c], RL::kLegendY);
}

TEST_F(ReportPageTest, FahrenheitConvertsTemperaturesButNotHumidity)
{
    SavedRun run(3, 10, true);
    for (int s = 0; s < 3; ++s)
        run.set(s, {20.0f, 40.0f, 30.0f, 0.0f, 50.0f});
    const PdfPage page = written(run.input());
    ASSERT_TRUE(page.ok());
    // 20 C prints as 68 F: y 200 + 8 x 68 = 744. 50 %RH stays at y 600.
    EXPECT_TRUE(page.hasColorNear(-300, 744, kAirPrint));
    EXPECT_FALSE(page.hasColorNear(-300, 360, kAirPrint, 2)) << "not at 20";
    EXPECT_TRUE(page.hasColorNear(-300, 600, kRhPrint));
    EXPECT_EQ(page.countColor(-750, 900, -10, 1000, kRhPrint, 30), 0) << "not at 122";
}

TEST_F(ReportPageTest, TheOriginIsThePrintableCornerOfAnyPage)
{
    // A Letter page through QPrinter, with margins unlike the A4 report's.
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path("letter.pdf"));
    ASSERT_TRUE(printer.setPageLayout(QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait,
                                                  QMarginsF(30, 12, 17, 23), QPageLayout::Millimeter)));
    SavedRun run(5, 10);
    QPainter painter;
    ASSERT_TRUE(painter.begin(&printer));
    ReportPage::paint(painter, run.input(), printedMoment());
    ASSERT_TRUE(painter.end());

    const PdfPage page(path("letter.pdf"), PrintableFrame {17, 23});
    ASSERT_TRUE(page.ok());
    EXPECT_NEAR(page.pageWidthPt(), 612, 0.01);
    EXPECT_LT(page.darkest(-750, 200), 100);
    EXPECT_LT(page.darkest(-10, 1000), 100);
    expectWordAt(page, "ZB740", RL::kTitleX, RL::kTitleY);
    expectWordAt(page, "2026-12-08", RL::kDateX, RL::kDateY);
}

TEST_F(ReportPageTest, APageTooSmallForTheLayoutIsRefused)
{
    SavedRun run(5, 10);
    struct Case {
        QPageSize::PageSizeId size;
        double margin;
        bool fits;
    } cases[] = {
        {QPageSize::A4, 10, true},
        {QPageSize::A6, 10, true},   // 85 x 128 mm: just wide enough
        {QPageSize::A6, 11, false},  // 83 mm wide
        {QPageSize::A7, 5, false},   // 64 x 95 mm
    };
    for (const Case& c : cases) {
        const QPageLayout layout(QPageSize(c.size), QPageLayout::Portrait,
                                 QMarginsF(c.margin, c.margin, c.margin, c.margin), QPageLayout::Millimeter);
        const QString file = path(QStringLiteral("small.pdf"));
        QFile::remove(file);
        const Status s = ReportPdf::write(file, run.input(), printedMoment(), layout);
        EXPECT_EQ(s.ok(), c.fits) << QPageSize(c.size).name().toStdString() << " " << c.margin;
        EXPECT_EQ(QFile::exists(file), c.fits);
        if (!c.fits) {
            EXPECT_TRUE(s.message().contains("smaller than the test report needs (85 x 115 mm)"))
                << s.message().toStdString();
        }
    }
}

TEST_F(ReportPageTest, AFileThatCannotBeWrittenIsNamedWithTheReason)
{
    SavedRun run(5, 10);
    // A folder that is a file: nothing can be created in it.
    ASSERT_TRUE(writeAll(path("notAFolder"), "x"));
    const Status s = ReportPdf::write(path("notAFolder/r.pdf"), run.input(), printedMoment());
    EXPECT_FALSE(s.ok());
    EXPECT_EQ(s.message(), QStringLiteral("Could not save \"%1\": Not a directory").arg(path("notAFolder/r.pdf")));
    EXPECT_EQ(readAll(path("notAFolder")), "x");
}

TEST_F(ReportPageTest, AnAxisWithoutHeightPlacesNoCurve)
{
    // The real-time graph's axis before its first repaint reads all zero.
    SavedRun run(5, 10);
    ReportInput flat = run.input();
    flat.axis.fill(0);
    const PdfPage page = written(flat);
    ASSERT_TRUE(page.ok());
    EXPECT_LT(page.darkest(-750, 200), 100);
    EXPECT_EQ(page.find("0.0").size(), 11);
    for (int c = 0; c < kChannelCount; ++c)
        EXPECT_EQ(page.countColor(-748, 202, -12, 998, ReportPage::kPrintColor[c], 30), 0) << "channel " << c;
}

// --- What the two sources put on the page ---

TEST(ReportInputTest, TheLiveRunGivesItsFactsAndTheGraphsLevelZeroAxis)
{
    auto live = std::make_unique<LiveSeries>();
    live->writeSlot(2, {21.5f, 0, 0, 0, 60.0f});
    RunState run;
    run.m_nCount = 3;
    run.m_tStart = 1000;
    run.m_nSampleMs = 2000;
    run.m_bFahrenheit = true;
    const std::array<bool, kChannelCount> shown {false, true, true, true, false};
    plot::AxisValues levelZero {};
    for (int i = 0; i <= 10; ++i)
        levelZero[size_t(i)] = -5.0f + i;

    const ReportInput in = ReportInputs::ofLiveRun(RunView::of(*live, run.info()), shown, levelZero);
    EXPECT_EQ(in.count(), 3);
    EXPECT_EQ(in.samples.value(2, kAir), 21.5f);
    EXPECT_EQ(in.samples.value(2, kRh), 60.0f);
    EXPECT_TRUE(in.fahrenheit);
    EXPECT_EQ(in.shown, shown);
    EXPECT_EQ(in.axis[0], -5.0);
    EXPECT_EQ(in.axis[10], 5.0);
    EXPECT_EQ(in.start, 1000);
    // start + (sample ms x k) div 1000
    EXPECT_EQ(in.timeOf(1), 1002);
    EXPECT_EQ(in.timeOf(3), 1006);
}

TEST(ReportInputTest, ASavedRunGivesItsOwnUnitStartIntervalAndScale)
{
    ScopedTimeZone tz("UTC0");
    SavedRun run(4, 30, true);
    const ReportInput in = run.input({true, false, false, false, true}, {50, -2});
    EXPECT_EQ(in.count(), 4);
    EXPECT_TRUE(in.fahrenheit);
    EXPECT_EQ(in.axis[0], -100.0);
    EXPECT_EQ(in.axis[10], 400.0);
    EXPECT_EQ(in.start, utc(2026, 12, 7, 13, 45, 0));
    EXPECT_EQ(in.timeOf(3), in.start + 90);
}
