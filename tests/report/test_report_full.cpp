// The full test report, written as a real PDF and read back with poppler's
// tools; its figures against a computation of their own; the curves as
// polylines; the id, the hash and the metadata.
#include "ReportFixtures.h"
#include "TempDir.h"

#include "report/CurveFold.h"
#include "report/FullPageLayout.h"
#include "report/ReportFacts.h"

#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <algorithm>
#include <climits>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace FL = FullPageLayout;

namespace {

// Word positions: the line box of the font against the layout's line top.
constexpr double kSlack = 3;

// Where a point of the frame lands in the probe's units on A4 with 15 mm
// margins: x from the printable area's right edge, y up from its bottom.
double probeX(double x) { return x - FL::kWidth; }
double probeY(double y) { return FL::kHeight - y; }

QString pdfText(const QString& pdf)
{
    return QString::fromUtf8(runTool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")}).out);
}

// The words of the line whose top is at top (probe units), left to right.
QStringList lineAt(const PdfPage& page, double top)
{
    QList<PdfWord> on;
    for (const PdfWord& w : page.words())
        if (std::abs(w.top - top) < 2)
            on << w;
    std::sort(on.begin(), on.end(), [](const PdfWord& a, const PdfWord& b) { return a.left < b.left; });
    QStringList texts;
    for (const PdfWord& w : on)
        texts << w.text;
    return texts;
}

// The table's words of the line of the row that begins with channel name
// (the legend's word of the same name sits above the graph).
QStringList rowOf(const PdfPage& page, const char* name)
{
    for (const PdfWord& w : page.find(QLatin1String(name)))
        if (w.top < probeY(FL::kTableY))
            return lineAt(page, w.top);
    return {};
}

} // namespace

class FullPageTest : public TempDirTest {
protected:
    static ReportInput full(const SavedRun& run, std::array<bool, kChannelCount> shown = kAllCurves,
                            YScaleValues scale = {10, 0})
    {
        ReportInput in = run.input(shown, scale);
        in.options.style = ReportStyle::Full;
        return in;
    }
    PdfPage written(const ReportInput& in, const QString& name = QStringLiteral("full.pdf"))
    {
        const Status s = ReportPdf::write(path(name), in, printedMoment(), ReportPdf::fullLayout());
        EXPECT_TRUE(s.ok()) << s.message().toStdString();
        PdfPage page(path(name), PrintableFrame {15, 15});
        EXPECT_TRUE(page.ok());
        return page;
    }
    void expectWordAt(const PdfPage& page, const QString& text, double x, double y)
    {
        const QList<PdfWord> found = page.find(text);
        ASSERT_EQ(found.size(), 1) << text.toStdString() << " in " << page.texts().join(' ').toStdString();
        EXPECT_NEAR(found[0].left, probeX(x), kSlack) << text.toStdString();
        EXPECT_NEAR(found[0].top, probeY(y), kSlack) << text.toStdString();
    }
    ScopedTimeZone tz {"UTC0"};
};

TEST_F(FullPageTest, EveryFieldSitsAtItsPlace)
{
    SavedRun run(11, 10);
    ReportInput in = full(run);
    in.dataFile = QStringLiteral("Chamber3.AsmDat");
    in.sha256 = ReportFacts::sha256("the data file's bytes");
    in.meter = QStringLiteral("/dev/ttyUSB0");
    in.options.operatorName = QStringLiteral("Alice Example");
    in.options.notes = QStringLiteral("Calibrated chamber\nsecond line");
    in.limits[kAir] = LimitPair {40, 60};
    const PdfPage page = written(in);
    ASSERT_TRUE(page.ok());
    EXPECT_EQ(page.pageWidthPt(), 595);
    EXPECT_EQ(page.pageHeightPt(), 842);
    const QString hex = QString::fromLatin1(in.sha256.toHex());

    // Header.
    expectWordAt(page, "ZB740", FL::kTitleX, FL::kTitleY);
    const QString id = hex.left(12) + QStringLiteral("-20261208-093000");
    ASSERT_EQ(page.find(id).size(), 1);
    EXPECT_NEAR(page.find(id)[0].right, probeX(FL::kWidth), kSlack);
    EXPECT_EQ(lineAt(page, probeY(FL::kPageY)), QStringList({"Page", "1", "of", "1"}));

    // Run facts, label and value.
    const struct {
        int col, row;
        QStringList words;
    } facts[] = {
        {0, 0, {"Data", "file:", "Chamber3.AsmDat"}},
        {0, 1, {"Start:", "2026-12-07", "13:45:00", "+00:00"}},
        {0, 2, {"End:", "2026-12-07", "13:46:40", "+00:00"}},
        {1, 0, {"Interval:", "10", "s"}},
        {1, 1, {"Samples:", "11"}},
        {1, 2, {"Unit:", "\u00B0C", "(RH", "in", "%)"}},
        {1, 3, {"Meter:", "/dev/ttyUSB0"}},
    };
    for (const auto& f : facts) {
        QStringList line = lineAt(page, probeY(FL::factY(f.row)));
        // Both columns share the line: keep the column's half.
        const int split = line.indexOf(f.col == 0 ? QStringLiteral("Interval:") : f.words[0]);
        line = f.col == 0 ? line.mid(0, split) : line.mid(split);
        if (f.col == 0 && f.row == 0)
            line = line.mid(0, 3);
        EXPECT_EQ(line.mid(0, f.words.size()), f.words);
        const PdfWord label = page.find(f.words[0]).value(0);
        EXPECT_NEAR(label.left, probeX(FL::kFactLabelX[f.col]), kSlack) << f.words[0].toStdString();
    }
    expectWordAt(page, "Chamber3.AsmDat", FL::kFactValueX[0], FL::factY(0));

    // The graph: the box, the Y labels with the unit, legend, time labels.
    EXPECT_LT(page.darkest(int(probeX(FL::kBoxLeft)), int(probeY(FL::kBoxBottom))), 100);
    EXPECT_LT(page.darkest(int(probeX(FL::kBoxRight)), int(probeY(FL::kBoxTop))), 100);
    EXPECT_EQ(lineAt(page, probeY(FL::kLegendY)), QStringList({"\u00B0C", "/", "%RH", "AIR", "WB", "DP", "K/IR", "RH"}));
    for (int i = 0; i <= 10; ++i) {
        const PdfWord w = page.find(QString::asprintf("%.1f", 10.0 * i)).value(0);
        EXPECT_NEAR(w.right, probeX(FL::kYLabelRight), kSlack) << i;
        EXPECT_NEAR((w.top + w.bottom) / 2, probeY(FL::divisionY(i)), kSlack) << i;
    }
    // 11 samples: labels at 0, 3, 5, 8, 10, centred under their division.
    const char* times[] = {"13:45:00", "13:45:30", "13:45:50", "13:46:20", "13:46:40"};
    for (int k = 0; k < 5; ++k) {
        const QList<PdfWord> found = page.find(QLatin1String(times[k]));
        const auto at = std::find_if(found.begin(), found.end(),
                                     [](const PdfWord& w) { return std::abs(w.top - probeY(FL::kTimeLabelY)) < kSlack; });
        ASSERT_NE(at, found.end()) << times[k];
        EXPECT_NEAR((at->left + at->right) / 2, probeX(FL::timeLabelCentre(k)), kSlack) << times[k];
    }
    EXPECT_TRUE(lineAt(page, probeY(FL::kDateLabelY)).isEmpty()) << "no dates within one day";

    // The table's header and the decision rule.
    EXPECT_EQ(lineAt(page, probeY(FL::kTableY)),
              QStringList({"Channel", "Min", "Max", "Mean", "Low", "limit", "High", "limit", "Outside"}));
    const QStringList rule = lineAt(page, probeY(FL::kRuleY));
    EXPECT_EQ(rule.mid(0, 2), QStringList({"Decision", "rule:"}));
    EXPECT_TRUE(pdfText(path("full.pdf")).contains("a sample equal to a limit passes."));

    // Operator, notes as written, the signature block.
    EXPECT_EQ(lineAt(page, probeY(FL::kOperatorY)), QStringList({"Operator:", "Alice", "Example"}));
    EXPECT_EQ(lineAt(page, probeY(FL::kNotesY)), QStringList({"Notes:", "Calibrated", "chamber"}));
    EXPECT_EQ(lineAt(page, probeY(FL::kNotesY + FL::kNotePitch)), QStringList({"second", "line"}));
    EXPECT_EQ(lineAt(page, probeY(FL::kSignCaptionY)), QStringList({"Checked", "by", "Date", "Signature"}));
    expectWordAt(page, "Signature", FL::kSignX[2], FL::kSignCaptionY);
    EXPECT_LT(page.darkest(int(probeX(FL::kSignX[1] + 100)), int(probeY(FL::kSignLineY))), 100) << "a line to sign on";

    // Footer: the whole hash and the print time with its offset.
    EXPECT_EQ(lineAt(page, probeY(FL::kHashY)), QStringList({"SHA-256", "of", "the", "data:", hex}));
    EXPECT_EQ(lineAt(page, probeY(FL::kPrintedY)), QStringList({"Printed", "2026-12-08", "09:30:00", "+00:00"}));

    // The document information.
    EXPECT_EQ(pdfInfo(path("full.pdf"), "Title"), "ZB740 Test Report");
    EXPECT_EQ(ReportFacts::hashCarried(readAll(path("full.pdf"))), hex.toLatin1());
    const PdfRun meta = runTool(QStringLiteral("pdfinfo"), {QStringLiteral("-meta"), path("full.pdf")});
    EXPECT_TRUE(meta.out.contains("<dc:identifier>" + id.toLatin1() + "</dc:identifier>")) << meta.out.toStdString();
    EXPECT_TRUE(meta.out.contains("<pdf:Keywords>ZB740 Test Report; report id " + id.toLatin1()
                                  + "; SHA-256 of the data: " + hex.toLatin1() + "</pdf:Keywords>"));
}

TEST_F(FullPageTest, ARunNotSavedHasNoHashAndAnIdOfThePrintTime)
{
    SavedRun run(5, 10);
    const PdfPage page = written(full(run));
    ASSERT_TRUE(page.ok());
    EXPECT_EQ(lineAt(page, probeY(FL::kHashY)), QStringList({"unsaved", "run:", "no", "hash"}));
    EXPECT_EQ(page.find("20261208-093000").size(), 1);
    EXPECT_EQ(lineAt(page, probeY(FL::factY(0))).mid(0, 4), QStringList({"Data", "file:", "unsaved", "run"}));
    EXPECT_FALSE(ReportFacts::hashCarried(readAll(path("full.pdf"))));
    EXPECT_TRUE(readAll(path("full.pdf")).contains("<pdf:Keywords>ZB740 Test Report; report id 20261208-093000; "
                                                   "unsaved run: no hash</pdf:Keywords>"));
}

TEST_F(FullPageTest, TheFiguresEqualADoublePrecisionComputationOverTheFile)
{
    // Degrees F: temperatures convert, RH does not; K/IR misses readings.
    constexpr int n = 97;
    SavedRun run(n, 7, true);
    for (int s = 0; s < n; ++s) {
        const float a = 18.3f + 0.37f * float((s * 7) % 11) - 0.05f * float(s);
        run.set(s, {a, a - 4.1f, 9.75f + 0.01f * float(s % 5), s % 9 == 0 ? kKirNoReading : 30.0f - 0.13f * float(s),
                    40.0f + 0.7f * float((s * 13) % 17)});
    }
    const PdfPage page = written(full(run, kAllCurves, {20, 0}));
    ASSERT_TRUE(page.ok());
    for (int c = 0; c < kChannelCount; ++c) {
        SCOPED_TRACE(kChannelLegend[size_t(c)]);
        double lo = 0, hi = 0, sum = 0;
        int loAt = -1, hiAt = -1, count = 0;
        for (int s = 0; s < n; ++s) {
            const float stored = run.record->values[s * kChannelCount + c];
            if (c == kKir && stored == kKirNoReading)
                continue;
            const double v = c == kRh ? double(stored) : double(stored * 1.8f + 32.0f);
            if (count == 0 || v < lo)
                lo = v, loAt = s;
            if (count == 0 || v > hi)
                hi = v, hiAt = s;
            sum += v;
            ++count;
        }
        const auto at = [](int s) {
            return LocalTime::format(LocalTime::join({2026, 12, 7, 13, 45, 0}) + 7 * s, "%H:%M:%S");
        };
        const QStringList expected {QLatin1String(kChannelLegend[size_t(c)]),
                                    QString::number(lo, 'f', 2),
                                    QStringLiteral("at"),
                                    at(loAt),
                                    QString::number(hi, 'f', 2),
                                    QStringLiteral("at"),
                                    at(hiAt),
                                    QString::number(sum / count, 'f', 2),
                                    QStringLiteral("\u2014"),
                                    QStringLiteral("\u2014"),
                                    QStringLiteral("\u2014")};
        EXPECT_EQ(rowOf(page, kChannelLegend[size_t(c)]), expected);
    }
}

TEST_F(FullPageTest, LimitsBelowInsideEqualToAndAboveTheData)
{
    // AIR holds 10.0, 15.0 and 20.0.
    SavedRun run(3, 10);
    for (int s = 0; s < 3; ++s)
        run.set(s, {10.0f + 5.0f * float(s), 40.0f, 30.0f, 20.0f, 10.0f});
    const struct {
        const char* name;
        LimitPair limit;
        int outside;
        const char* verdict;
    } cases[] = {
        {"below the data", {0, 9.9}, 3, "FAIL: 3 samples outside [0.0, 9.9]"},
        {"inside", {5, 25}, 0, "PASS: no sample outside [5.0, 25.0]"},
        {"equal to the data's ends", {10, 20}, 0, "PASS: no sample outside [10.0, 20.0]"},
        {"cutting off one", {10.5, 20}, 1, "FAIL: 1 sample outside [10.5, 20.0]"},
        {"above the data", {20.1, 30}, 3, "FAIL: 3 samples outside [20.1, 30.0]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ReportInput in = full(run);
        in.limits[kAir] = c.limit;
        const PdfPage page = written(in);
        ASSERT_TRUE(page.ok());
        const QStringList row = rowOf(page, "AIR");
        ASSERT_EQ(row.size(), 11) << row.join(' ').toStdString();
        EXPECT_EQ(row.mid(8), QStringList({QString::number(c.limit.lo, 'f', 1), QString::number(c.limit.hi, 'f', 1),
                                           QString::number(c.outside)}));
        EXPECT_TRUE(pdfText(path("full.pdf")).contains(QLatin1String(c.verdict))) << c.verdict;
        // Channels without a limit say so.
        EXPECT_EQ(rowOf(page, "WB").mid(8), QStringList({"\u2014", "\u2014", "\u2014"}));
    }
}

TEST_F(FullPageTest, AHiddenCurveHasNoRowNoLegendEntryAndNoCurve)
{
    SavedRun run(5, 10);
    const PdfPage page = written(full(run, {true, false, true, true, true}));
    ASSERT_TRUE(page.ok());
    EXPECT_TRUE(page.find("WB").isEmpty());
    EXPECT_EQ(page.find("AIR").size(), 2) << "legend and row";
    // The rows close up: DP follows AIR.
    EXPECT_NEAR(page.find("DP").value(1).top, probeY(FL::rowY(1)), kSlack);
    EXPECT_EQ(page.countColor(int(probeX(FL::kBoxLeft)) + 5, int(probeY(FL::kBoxBottom)) + 5,
                              int(probeX(FL::kBoxRight)) - 5, int(probeY(FL::kBoxTop)) - 5,
                              ReportPage::kPrintColor[kWb], 30),
              0);
    EXPECT_GT(page.countColor(int(probeX(FL::kBoxLeft)) + 5, int(probeY(FL::kBoxBottom)) + 5,
                              int(probeX(FL::kBoxRight)) - 5, int(probeY(FL::kBoxTop)) - 5,
                              ReportPage::kPrintColor[kAir], 30),
              100);
}

TEST_F(FullPageTest, ARunAcrossMidnightShowsDatesUnderItsTimes)
{
    SavedRun run(5, 30 * 60);
    run.record->hour = 23;
    run.record->minute = 0;
    const PdfPage page = written(full(run));
    ASSERT_TRUE(page.ok());
    // 23:00, 23:30, 00:00, 00:30, 01:00.
    EXPECT_EQ(lineAt(page, probeY(FL::kDateLabelY)),
              QStringList({"2026-12-07", "2026-12-07", "2026-12-08", "2026-12-08", "2026-12-08"}));
    EXPECT_EQ(lineAt(page, probeY(FL::kTimeLabelY)), QStringList({"23:00:00", "23:30:00", "00:00:00", "00:30:00", "01:00:00"}));
    // The table's times carry the day as well.
    EXPECT_EQ(rowOf(page, "AIR").mid(1, 4), QStringList({"50.00", "at", "12-07", "23:00:00"}));
}

TEST_F(FullPageTest, TimeLabelsNameTheSampleUnderThem)
{
    for (const TimeLabelCase& c : kTimeLabelCases) {
        SCOPED_TRACE(c.count);
        SavedRun run(c.count, 10);
        const PdfPage page = written(full(run));
        ASSERT_TRUE(page.ok());
        QStringList expected;
        for (const char* t : c.labels)
            expected << QLatin1String(t);
        EXPECT_EQ(lineAt(page, probeY(FL::kTimeLabelY)), expected);
    }
}

TEST_F(FullPageTest, EachRowCountsTheSamplesOffTheYRange)
{
    // 0 .. 100: AIR 23 stays within, WB has two above and one below, RH all above.
    SavedRun run(4, 10);
    run.set(0, {23, 150, 30, 20, 120});
    run.set(1, {23, 101, 30, 20, 130});
    run.set(2, {23, -5, 30, 20, 140});
    run.set(3, {23, 50, 30, 20, 150});
    ReportInput in = full(run);
    const PdfPage page = written(in);
    ASSERT_TRUE(page.ok());
    const auto secondLine = [&](const char* name) {
        for (const PdfWord& w : page.find(QLatin1String(name)))
            if (w.top < probeY(FL::kTableY))
                return lineAt(page, w.top - FL::kRowSecondLine).mid(1);
        return QStringList();
    };
    EXPECT_EQ(secondLine("AIR"), QStringList({"all", "samples", "within", "the", "Y", "range"}));
    EXPECT_EQ(secondLine("WB"), QStringList({"2", "above,", "1", "below", "the", "Y", "range"}));
    EXPECT_EQ(secondLine("RH"), QStringList({"4", "above,", "0", "below", "the", "Y", "range"}));
    EXPECT_FALSE(ReportFacts::offScaleNote(in)) << "AIR lies within";
}

TEST_F(FullPageTest, AnEmptyGraphIsNamedBeforeItIsPrinted)
{
    // AIR at 23 C with the scale at 0 .. 20 (gain 2).
    SavedRun run(3, 10);
    for (int s = 0; s < 3; ++s)
        run.set(s, {23, 40, 30, 20, 50});
    const struct {
        const char* name;
        std::array<bool, kChannelCount> shown;
        YScaleValues scale;
        std::optional<QString> note;
    } cases[] = {
        {"AIR alone above", {true, false, false, false, false}, {2, 0},
         QString::fromUtf8("None of the shown curves lies within the Y scale 0.0\u201320.0.")},
        {"DP at 30 above too", {true, false, true, false, false}, {2, 0},
         QString::fromUtf8("None of the shown curves lies within the Y scale 0.0\u201320.0.")},
        {"K/IR at 20 on the top line", {true, false, false, true, false}, {2, 0}, std::nullopt},
        {"below", {true, false, false, false, false}, {10, 5},
         QString::fromUtf8("None of the shown curves lies within the Y scale 50.0\u2013150.0.")},
        {"within", {true, true, true, true, true}, {10, 0}, std::nullopt},
        {"nothing shown", {false, false, false, false, false}, {2, 0}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReportFacts::offScaleNote(run.input(c.shown, c.scale)), c.note);
    }
}

TEST_F(FullPageTest, ALetterPageHoldsTheWholeFrameScaledDown)
{
    SavedRun run(5, 10);
    ReportInput in = full(run);
    in.sha256 = ReportFacts::sha256("x");
    const Status s = ReportPdf::write(path("letter.pdf"), in, printedMoment(), ReportPdf::fullLayout(QPageSize::Letter));
    ASSERT_TRUE(s.ok()) << s.message().toStdString();
    EXPECT_EQ(pdfInfo(path("letter.pdf"), "Page size"), "612 x 792 pts (letter)");
    const PdfPage page(path("letter.pdf"), PrintableFrame {15, 15});
    ASSERT_TRUE(page.ok());
    // 215.9 x 279.4 mm less 15 mm: 185.9 x 249.4 mm; the frame of 180 x 267
    // mm scales by 249.4 / 267 and is centred across.
    const double scale = 2494.0 / 2670.0;
    const double left = -1859 + (1859 - 1800 * scale) / 2;
    const PdfWord title = page.find("ZB740").value(0);
    EXPECT_NEAR(title.left, left, kSlack);
    EXPECT_NEAR(title.top, 2494, kSlack);
    const QList<PdfWord> hash = page.find("SHA-256");
    ASSERT_EQ(hash.size(), 1);
    EXPECT_NEAR(hash[0].top, 2494 - FL::kHashY * scale, kSlack);
    for (const PdfWord& w : page.words()) {
        EXPECT_GE(w.left, -1859 - 1) << w.text.toStdString();
        EXPECT_LE(w.right, 1) << w.text.toStdString();
        EXPECT_GE(w.bottom, -1) << w.text.toStdString();
    }
}

TEST_F(FullPageTest, APageTooSmallForTheFullReportIsRefused)
{
    SavedRun run(5, 10);
    const Status a5 = ReportPdf::write(path("a5.pdf"), full(run), printedMoment(), ReportPdf::fullLayout(QPageSize::A5));
    EXPECT_TRUE(a5.ok()) << "118 x 180 mm holds the frame at 0.66";
    const Status a6 = ReportPdf::write(path("a6.pdf"), full(run), printedMoment(), ReportPdf::fullLayout(QPageSize::A6));
    EXPECT_FALSE(a6.ok());
    EXPECT_TRUE(a6.message().contains("smaller than the full test report needs (108 x 160 mm)")) << a6.message().toStdString();
    EXPECT_FALSE(QFile::exists(path("a6.pdf")));
}

// --- The curves reach the device as one polyline per curve and pen ---

namespace {

// A paint device that records the lines drawn, per pen colour.
class RecordingEngine : public QPaintEngine {
public:
    RecordingEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}
    struct Polyline {
        QRgb color;
        int points;
    };
    QList<Polyline> polylines;
    int lines = 0;  // single lines in the curves' colours

    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState& s) override
    {
        if (s.state() & QPaintEngine::DirtyPen)
            m_pen = s.pen().color().rgb();
    }
    void drawPolygon(const QPointF* p, int n, PolygonDrawMode mode) override
    {
        (void)p;
        if (mode == PolylineMode && curveColour())
            polylines << Polyline {m_pen, n};
    }
    void drawPolygon(const QPoint* p, int n, PolygonDrawMode mode) override
    {
        (void)p;
        if (mode == PolylineMode && curveColour())
            polylines << Polyline {m_pen, n};
    }
    void drawLines(const QLineF*, int n) override { lines += curveColour() ? n : 0; }
    void drawLines(const QLine*, int n) override { lines += curveColour() ? n : 0; }
    void drawPath(const QPainterPath&) override {}
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawTextItem(const QPointF&, const QTextItem&) override {}
    void drawRects(const QRectF*, int) override {}
    Type type() const override { return QPaintEngine::User; }

private:
    bool curveColour() const
    {
        return std::any_of(ReportPage::kPrintColor.begin(), ReportPage::kPrintColor.end(),
                           [this](const QColor& c) { return c.rgb() == m_pen; });
    }
    QRgb m_pen = 0;
};

class RecordingDevice : public QPaintDevice {
public:
    RecordingEngine engine;
    QPaintEngine* paintEngine() const override { return const_cast<RecordingEngine*>(&engine); }

protected:
    int metric(PaintDeviceMetric m) const override
    {
        switch (m) {
        case PdmWidth: return 9921;   // A4 at 1200 dpi
        case PdmHeight: return 14031;
        case PdmDpiX: case PdmDpiY: case PdmPhysicalDpiX: case PdmPhysicalDpiY: return 1200;
        case PdmWidthMM: return 210;
        case PdmHeightMM: return 297;
        case PdmDepth: return 32;
        case PdmNumColors: return INT_MAX;
        case PdmDevicePixelRatio: return 1;
        case PdmDevicePixelRatioScaled: return int(QPaintDevice::devicePixelRatioFScale());
        default: return 0;
        }
    }
};

} // namespace

TEST(ReportCurvesTest, EachCurveIsOnePolylinePerPenSplitOnlyAtGaps)
{
    ScopedTimeZone tz {"UTC0"};
    constexpr int n = 1000;
    SavedRun run(n, 1);
    for (int s = 0; s < n; ++s)
        run.set(s, {20.0f + float(s % 17), 30.0f, 40.0f, 50.0f, 60.0f - float(s % 7)});
    // DP has one gap (NaN at 400), RH two (infinite at 10 and 11, then at 900).
    run.set(400, {20, 30, std::numeric_limits<float>::quiet_NaN(), 50, 60});
    run.set(10, {20, 30, 40, 50, std::numeric_limits<float>::infinity()});
    run.set(11, {20, 30, 40, 50, std::numeric_limits<float>::infinity()});
    run.set(900, {20, 30, 40, 50, -std::numeric_limits<float>::infinity()});
    for (ReportStyle style : {ReportStyle::Classic, ReportStyle::Full}) {
        SCOPED_TRACE(style == ReportStyle::Full ? "full" : "classic");
        ReportInput in = run.input({true, false, true, true, true});
        in.options.style = style;
        RecordingDevice device;
        QPainter p(&device);
        const QRectF area(0, 0, device.width(), device.height());
        if (style == ReportStyle::Full)
            ReportPage::paintFull(p, in, printedMoment(), area);
        else
            ReportPage::paint(p, in, printedMoment(), area);
        p.end();
        EXPECT_EQ(device.engine.lines, 0) << "no curve drawn segment by segment";
        // One polyline per stretch between gaps, at most as many points as
        // the stretch has samples (the page folds them to its resolution).
        const auto color = [](int c) { return ReportPage::kPrintColor[size_t(c)].rgb(); };
        const QList<std::pair<QRgb, int>> stretches {
            {color(kAir), n},
            {color(kDp), 400}, {color(kDp), n - 401},
            {color(kKir), n},
            {color(kRh), 10}, {color(kRh), 900 - 12}, {color(kRh), n - 901},
        };
        ASSERT_EQ(device.engine.polylines.size(), stretches.size());
        for (qsizetype i = 0; i < stretches.size(); ++i) {
            EXPECT_EQ(device.engine.polylines[i].color, stretches[i].first) << i;
            EXPECT_LE(device.engine.polylines[i].points, stretches[i].second) << i;
            EXPECT_GE(device.engine.polylines[i].points, 2) << i;
        }
    }
}

// The fold keeps what the pen shows: the first and last point, and each
// column's lowest and highest point where they lie, in sample order; it
// only drops points.
TEST(CurveFoldTest, KeepsEachColumnsExtremesAndTheEnds)
{
    using Fold = CurveFold<QPolygon>;
    for (Fold::Keep keep : {Fold::Keep::Ends, Fold::Keep::Extremes}) {
        for (int width : {1, 4, 40}) {
            SCOPED_TRACE(QStringLiteral("keep %1 width %2").arg(int(keep)).arg(width).toStdString());
            QPolygon in;
            uint32_t r = 12345;
            for (int i = 0; i < 3000; ++i) {
                r = r * 1103515245u + 12345u;
                in << QPoint(i * 7 / 10, int((r >> 16) % 200) + (i % 300 < 150 ? i % 150 : 150 - i % 150));
            }
            QPolygon out;
            Fold fold(out, width, keep);
            for (const QPoint& p : in)
                fold.add(p);
            fold.flush(true);
            EXPECT_LT(out.size(), in.size());
            EXPECT_EQ(out.first(), in.first());
            EXPECT_EQ(out.last(), in.last());
            // Every point drawn is a sample, in sample order.
            qsizetype at = 0;
            for (const QPoint& p : out) {
                while (at < in.size() && in[at] != p)
                    ++at;
                ASSERT_LT(at, in.size()) << "a point that is no sample, or out of order";
            }
            // Each column's extremes are drawn: a corner of the polyline, or
            // on its straight way between two (where the fold merged them).
            const auto onPolyline = [&out](const QPoint& p) {
                for (qsizetype i = 0; i + 1 < out.size(); ++i) {
                    const QPoint a = out[i], b = out[i + 1];
                    const int64_t cross = int64_t(b.x() - a.x()) * (p.y() - a.y()) - int64_t(b.y() - a.y()) * (p.x() - a.x());
                    if (cross == 0 && std::min(a.x(), b.x()) <= p.x() && p.x() <= std::max(a.x(), b.x())
                        && std::min(a.y(), b.y()) <= p.y() && p.y() <= std::max(a.y(), b.y()))
                        return true;
                }
                return out.size() == 1 && out[0] == p;
            };
            for (int column = 0; column <= in.last().x() / width; ++column) {
                const QPoint* lo = nullptr;
                const QPoint* hi = nullptr;
                for (const QPoint& p : in) {
                    if (p.x() / width != column)
                        continue;
                    if (!lo || p.y() < lo->y())
                        lo = &p;
                    if (!hi || p.y() > hi->y())
                        hi = &p;
                }
                if (!lo)
                    continue;
                EXPECT_TRUE(onPolyline(*lo)) << "column " << column << " lowest";
                EXPECT_TRUE(onPolyline(*hi)) << "column " << column << " highest";
            }
        }
    }
    // A straight stretch keeps its ends only.
    QPolygon out;
    CurveFold<QPolygon> fold(out, 1);
    for (int i = 0; i < 100; ++i)
        fold.add(QPoint(i, 3 * i));
    fold.flush(true);
    EXPECT_EQ(out, QPolygon({QPoint(0, 0), QPoint(99, 297)}));
}

// With a slack the fold drops more points, and only such that each point
// the fold without it draws lies within the slack of the line drawn.
TEST(CurveFoldTest, ASlackDropsOnlyPointsWithinItOfTheLineDrawn)
{
    using Fold = CurveFold<QPolygon>;
    const auto distance = [](const QPolygon& line, const QPoint& p) {
        double best = std::hypot(p.x() - line[0].x(), p.y() - line[0].y());
        for (qsizetype i = 0; i + 1 < line.size(); ++i) {
            const QPointF a = line[i], b = line[i + 1], q = p;
            const QPointF u = b - a;
            const double t = std::clamp(QPointF::dotProduct(q - a, u) / QPointF::dotProduct(u, u), 0.0, 1.0);
            const QPointF d = q - (a + t * u);
            best = std::min(best, std::hypot(d.x(), d.y()));
        }
        return best;
    };
    struct Case {
        Fold::Keep keep;
        int width;
        double slack;
    };
    for (const Case& c : {Case {Fold::Keep::Extremes, 40, 2}, Case {Fold::Keep::Extremes, 40, 10},
                          Case {Fold::Keep::Ends, 1, 1}, Case {Fold::Keep::Ends, 4, 3}}) {
        SCOPED_TRACE(QStringLiteral("keep %1 width %2 slack %3").arg(int(c.keep)).arg(c.width).arg(c.slack).toStdString());
        // A slow wave with steps and a little noise, as a day's readings.
        QPolygon in;
        uint32_t r = 99;
        for (int i = 0; i < 5000; ++i) {
            r = r * 1103515245u + 12345u;
            in << QPoint(i * 16 / 10, int(std::lround(500 * std::sin(i * 0.002))) / 10 * 10 + int((r >> 16) % 3));
        }
        QPolygon exact, slack;
        Fold exactFold(exact, c.width, c.keep), slackFold(slack, c.width, c.keep, c.slack);
        for (const QPoint& p : in) {
            exactFold.add(p);
            slackFold.add(p);
        }
        exactFold.flush(true);
        slackFold.flush(true);
        EXPECT_LT(slack.size(), exact.size());
        EXPECT_EQ(slack.first(), exact.first());
        EXPECT_EQ(slack.last(), exact.last());
        qsizetype at = 0;
        for (const QPoint& p : slack) {
            while (at < in.size() && in[at] != p)
                ++at;
            ASSERT_LT(at, in.size()) << "a point that is no sample, or out of order";
        }
        double worst = 0;
        for (const QPoint& p : exact)
            worst = std::max(worst, distance(slack, p));
        EXPECT_LE(worst, c.slack + 1e-9);
        EXPECT_GT(worst, 0) << "the slack was used";
    }
}
