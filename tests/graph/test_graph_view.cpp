// The real-time graph on the offscreen platform: pixels of the painted view,
// status texts and mouse handling.
#include "app/CKMView.h"
#include "base/LocalTime.h"
#include "app/CMainFrame.h"
#include "graph/RealtimeGraph.h"
#include "panels/CAlarmPanel.h"
#include "panels/CCurveBar.h"
#include "TempDir.h"

#include <QAction>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

namespace {

constexpr int kClientW = 944;  // plot width 600
constexpr int kClientH = 800;  // plot height 482
constexpr int64_t kStart = 1700000000;

QColor px(const QImage& img, int x, int y) { return img.pixelColor(x, y); }

int countColor(const QImage& img, QRect r, const QColor& c)
{
    int n = 0;
    r = r.intersected(img.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += img.pixelColor(x, y) == c;
    return n;
}

int countDark(const QImage& img, QRect r)
{
    int n = 0;
    r = r.intersected(img.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += qGray(img.pixel(x, y)) < 100;
    return n;
}

class GraphView : public TempDirTest {
protected:
    void SetUp() override
    {
        AppOptions options;
        options.settingsDir = path("ZB740");
        options.configFile = path("KM4471config.ini");
        options.sysfsRoot = path("sys");
        f = std::make_unique<CMainFrame>(options);
        f->resize(kClientW, kClientH + 100);
        f->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
        v = f->view();
        // Size the frame so that the view's client is kClientW x kClientH.
        f->resize(kClientW + f->width() - v->width(), kClientH + f->height() - v->height());
        QTRY_COMPARE(v->size(), QSize(kClientW, kClientH));
        series = &f->doc().live();
        run = &f->run();
        graph = v->graph();
        run->m_tStart = kStart;
        run->m_nSampleMs = 1000;
        geo = graph->geometry();
        ASSERT_EQ(geo.W, 600);
        ASSERT_EQ(geo.H, 482);
    }
    bool undoEnabled() const { return f->action(CMainFrame::Command::UndoZoom)->isEnabled(); }
    void undoZoom() { f->action(CMainFrame::Command::UndoZoom)->trigger(); }
    // A run of `count` samples; value(c, s) gives the stored reading.
    template <class F> void setRun(int count, F value)
    {
        for (int s = 0; s < count; ++s)
            for (int c = 0; c < kChannelCount; ++c)
                series->values[c][s] = value(c, s);
        run->m_nCount = count;
        graph->invalidate();
    }
    void showOnly(std::initializer_list<int> channels)
    {
        for (auto& b : v->m_bShowCurve)
            b = 0;
        for (int c : channels)
            v->m_bShowCurve[c] = 1;
        graph->invalidate();
    }
    QImage shot()
    {
        graph->invalidate();
        return v->grab().toImage();
    }
    // What the view shows now: the cached picture and the overlays, without
    // a new full repaint (which would hide the cursor line).
    QImage screen() const
    {
        QImage img(v->size(), QImage::Format_RGB32);
        QPainter p(&img);
        graph->renderer().paint(p, img.rect(), graph->state());
        return img;
    }
    QRect plotRect() const { return {geo.x0, geo.y0, geo.W, geo.H}; }
    QPoint at(int px, int py) const { return {geo.x0 + px, geo.y0 + py}; }
    void drag(QPoint a, QPoint b)
    {
        QTest::mousePress(v, Qt::LeftButton, {}, a);
        QTest::mouseMove(v, b);
        QTest::mouseRelease(v, Qt::LeftButton, {}, b);
    }

    std::unique_ptr<CMainFrame> f;
    CKMView* v = nullptr;
    LiveSeries* series = nullptr;
    RunState* run = nullptr;
    RealtimeGraph* graph = nullptr;
    PlotGeometry geo;
};

const QColor kRed(255, 0, 0), kYellow(255, 255, 0), kPurple(200, 100, 200), kGreen(0, 255, 0);

// --- Rendering ---

TEST_F(GraphView, EmptyRunShowsTheEmptyGridAndIdleTexts)
{
    const QImage img = shot();
    // Thirteen verticals at i * W / 12; the last one lies on the plot's right
    // border, so twelve show inside the black plot.
    EXPECT_EQ(graph->frame().nGridX, 13);
    EXPECT_EQ(graph->frame().gridX[12], geo.W);
    // Between two horizontals, only grid columns carry grid pixels.
    const QRect band(geo.x0, geo.y0 + 5, geo.W, 40);
    int columns = 0;
    for (int x = band.left(); x <= band.right(); ++x)
        columns += countColor(img, QRect(x, band.top(), 1, band.height()), kGridColor) > 10;
    EXPECT_EQ(columns, 12);
    for (int i = 0; i < 12; ++i)
        EXPECT_GT(countColor(img, QRect(geo.x0 + i * 50, band.top(), 1, band.height()), kGridColor), 10) << i;
    // Ten dotted horizontals at i * H / 10 (the tenth on row H, outside).
    for (int i = 1; i < 10; ++i)
        EXPECT_GT(countColor(img, QRect(geo.x0, geo.y0 + int(i * 48.2), geo.W, 1), kGridColor), 200) << i;
    EXPECT_EQ(px(img, geo.x0 + 25, geo.y0 + 25), QColor(Qt::black));
    EXPECT_EQ(f->paneText(1), "time:");
    EXPECT_EQ(f->paneText(2), "AIR:         WB:         DP:         K/IR:         RH:");
    // No time labels without samples: the time band is plain grey.
    EXPECT_EQ(countDark(img, QRect(geo.x0, geo.y1 + 5, geo.W, 20)), 0);
}

TEST_F(GraphView, YLabelsFollowTheScale)
{
    v->m_nYGain = 10;
    v->m_nYOffset = -2;
    const QImage img = shot();
    const char* expected[] = {"-20.00", "-10.00", "0.00",  "10.00", "20.00", "30.00",
                              "40.00",  "50.00",  "60.00", "70.00", "80.00"};
    const Rect ys = geo.yStrip();
    for (int i = 0; i <= 10; ++i) {
        EXPECT_EQ(graph->renderer().yLabel(i), expected[i]);
        const QRect cell(ys.x + yLabelX(float(i * 10 - 20)), ys.y + yLabelY(geo.H, i), 40, 14);
        EXPECT_GT(countDark(img, cell), 10) << i;
        // The tick beside it.
        EXPECT_EQ(px(img, ys.x + 65, ys.y + yTickY(geo.H, i)), QColor(Qt::black)) << i;
    }
    // Right alignment: the negative two-digit label starts one character
    // left of the positive two-digit labels.
    EXPECT_EQ(yLabelX(-20.f), int(2 * 7.5 + 2));
    EXPECT_EQ(yLabelX(80.f), int(3 * 7.5 + 2));
}

TEST_F(GraphView, CompressionLeavesTheLastTwelfthFree)
{
    showOnly({kAir});
    setRun(101, [](int, int) { return 50.0f; });  // gain 10: row 241
    const QImage img = shot();
    EXPECT_EQ(graph->state().live.nCapacity, 110);
    const int row = geo.y0 + 241;
    EXPECT_EQ(px(img, geo.x0 + 550, row), kRed);
    EXPECT_EQ(px(img, geo.x0 + 300, row), kRed);
    // The last twelfth of the plot holds no curve.
    EXPECT_EQ(countColor(img, QRect(geo.x0 + 551, geo.y0, 49, geo.H), kRed), 0);
    // Grid verticals now sit on whole samples: s12 = trunc(50 / 5.5046) = 9.
    EXPECT_EQ(graph->frame().gridX[1], int(9 * (600.0f / 109)));
    // A shorter run does not compress: 100 samples fill the width.
    setRun(100, [](int, int) { return 50.0f; });
    graph->state().live.nCapacity = 100;
    const QImage img2 = shot();
    EXPECT_EQ(graph->state().live.nCapacity, 100);
    EXPECT_EQ(px(img2, geo.x0 + 599, row), kRed);
}

TEST_F(GraphView, HiddenCurveLosesLineAndLegend)
{
    setRun(20, [](int c, int) { return c == kWb ? 30.0f : 60.0f; });
    const QImage shown = shot();
    const Rect lb = geo.legendBand();
    const QRect legend(lb.x, lb.y, lb.w, lb.h);
    const QRect wbText(geo.legendTextX(kWb), geo.legendTextY(), 30, 14);
    EXPECT_GT(countColor(shown, plotRect(), kYellow), 0);
    EXPECT_EQ(countColor(shown, legend, kYellow), 2 * 50);
    EXPECT_GT(countDark(shown, wbText), 5);

    v->m_bShowCurve[kWb] = 0;
    const QImage hidden = shot();
    EXPECT_EQ(countColor(hidden, plotRect(), kYellow), 0);
    EXPECT_EQ(countColor(hidden, legend, kYellow), 0);
    EXPECT_EQ(countDark(hidden, wbText), 0);
    // The others stay, and the band is still grey where WB was.
    EXPECT_EQ(countColor(hidden, legend, kRed), 2 * 50);
    EXPECT_EQ(px(hidden, geo.legendLineX0(kWb) + 10, geo.legendLineY()), kPanelGrey);
}

TEST_F(GraphView, HidingEveryCurveLeavesTheBareBackground)
{
    setRun(20, [](int c, int s) { return 20.0f + float(s) + 5.0f * float(c); });
    showOnly({});
    const QImage bare = shot();
    EXPECT_EQ(countColor(bare, plotRect(), kRed), 0);
    showOnly({kAir, kWb, kDp, kKir, kRh});
    ASSERT_GT(countColor(shot(), plotRect(), kRed), 0);
    showOnly({});
    const QImage hidden = shot();
    int differing = 0;
    for (int y = geo.y0; y < geo.y0 + geo.H; ++y)
        for (int x = geo.x0; x < geo.x0 + geo.W; ++x)
            differing += bare.pixel(x, y) != hidden.pixel(x, y);
    EXPECT_EQ(differing, 0);
}

TEST_F(GraphView, CurveValuesAreConvertedAndQuantised)
{
    struct Case {
        const char* what;
        bool fahrenheit;
        int gain, offset;
        int channel;
        float stored;
        QColor color;
        int row;  // plot row of the plotted value
    };
    const Case cases[] = {
        // 20.0 C AIR reads 68.0 F: 482 - 68 * 4.82 = 154.24.
        {"AIR in F", true, 10, 0, kAir, 20.0f, kRed, 154},
        // RH is never converted: 482 - 20 * 4.82 = 385.6.
        {"RH in F", true, 10, 0, kRh, 20.0f, kGreen, 385},
        // Scale 10..30 (24.1 px per unit): K/IR 25.06 cuts to 25.0, AIR
        // 25.06 rounds to 25.1.
        {"K/IR cut", false, 2, 5, kKir, 25.06f, kPurple, 120},
        {"AIR rounded", false, 2, 5, kAir, 25.06f, kRed, 118},
    };
    for (const Case& k : cases) {
        run->m_bFahrenheit = k.fahrenheit;
        v->m_nYGain = k.gain;
        v->m_nYOffset = k.offset;
        showOnly({k.channel});
        setRun(10, [&](int, int) { return k.stored; });
        const QImage img = shot();
        EXPECT_EQ(px(img, geo.x0 + 20, geo.y0 + k.row), k.color) << k.what;
        EXPECT_EQ(countColor(img, plotRect(), k.color), countColor(img, QRect(geo.x0, geo.y0 + k.row, geo.W, 1), k.color))
            << k.what;
    }
}

TEST_F(GraphView, FirstSampleStampsTheFirstTimeLabel)
{
    setRun(1, [](int, int) { return 20.0f; });
    const QImage img = shot();
    EXPECT_EQ(graph->renderer().timeLabel(0), LocalTime::format(kStart, "%H:%M:%S"));
    EXPECT_GT(countDark(img, QRect(geo.x0 + 2, geo.timeLabelY(), 60, 14)), 10);
    // One sample draws no curve.
    EXPECT_EQ(countColor(img, plotRect(), kRed), 0);
}

// --- Interaction ---

class GraphMouse : public GraphView {
protected:
    void SetUp() override
    {
        GraphView::SetUp();
        setRun(200, [](int c, int s) { return c == kRh ? 50.0f : 20.0f + 0.1f * s + c; });
        shot();
    }
};

TEST_F(GraphMouse, ClickWithoutDragChangesNothing)
{
    const float before = graph->frame().axis[0][10];
    drag(at(100, 100), at(100, 100));
    EXPECT_EQ(graph->state().bAutoMode, 1);
    EXPECT_EQ(graph->state().nZoomLevel, 0);
    EXPECT_FALSE(undoEnabled());
    EXPECT_FALSE(graph->bandWatchRunning());
    EXPECT_EQ(graph->state().bDragging, 0);
    EXPECT_EQ(graph->frame().axis[0][10], before);
}

TEST_F(GraphMouse, DragZoomsAndUndoZoomRestoresAutoMode)
{
    QScrollBar* bar = v->scrollStrip()->scrollBar();
    EXPECT_FALSE(bar->isEnabled());
    drag(at(101, 100), at(300, 341));  // y 100..341 of 482: half the range
    EXPECT_EQ(graph->state().bAutoMode, 0);
    EXPECT_EQ(graph->state().nZoomLevel, 1);
    EXPECT_TRUE(undoEnabled());
    EXPECT_TRUE(bar->isEnabled());
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 200);
    // The new level shows the selected value range.
    const float bottom = 100.0f * (482 - 341) / 482, top = 100.0f * (482 - 100) / 482;
    EXPECT_NEAR(graph->frame().axis[1][0], bottom, 1e-3);
    EXPECT_NEAR(graph->frame().axis[1][10], top, 1e-3);
    EXPECT_EQ(graph->renderer().yLabel(0), QString::asprintf("%.2f", bottom));
    // 200 samples compress the capacity to 209: 600 / 208 px per sample; the
    // selection starts at sample 35.01, so the first whole sample is 35.
    EXPECT_EQ(graph->state().live.nCapacity, 209);
    EXPECT_EQ(graph->state().nFirstVisible, 35);
    EXPECT_EQ(bar->value(), 35);

    undoZoom();
    EXPECT_EQ(graph->state().bAutoMode, 1);
    EXPECT_EQ(graph->state().nZoomLevel, 0);
    EXPECT_EQ(graph->state().nScrollShift, 0);
    EXPECT_FALSE(undoEnabled());
    EXPECT_FALSE(bar->isEnabled());
    EXPECT_EQ(graph->renderer().yLabel(10), "100.00");
}

TEST_F(GraphMouse, BackspaceStepsBackOneZoomLevelAndLeavesTheFieldsTheirKey)
{
    drag(at(101, 100), at(300, 341));
    drag(at(101, 100), at(300, 341));
    ASSERT_EQ(graph->state().nZoomLevel, 2);
    f->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(f.get()));
    struct Step {
        int level;
        int autoMode;
    };
    // Level 2, 1, the first selection's level 0, then the whole run.
    for (const Step& s : {Step {1, 0}, Step {0, 0}, Step {0, 1}}) {
        SCOPED_TRACE(s.level * 10 + s.autoMode);
        QTest::keyClick(v, Qt::Key_Backspace);
        EXPECT_EQ(graph->state().nZoomLevel, s.level);
        EXPECT_EQ(graph->state().bAutoMode, s.autoMode);
        EXPECT_EQ(graph->frame().level, s.level) << "repainted at once";
        EXPECT_EQ(undoEnabled(), s.autoMode == 0);
    }
    EXPECT_EQ(graph->renderer().yLabel(10), "100.00");

    // In a limit field Backspace edits the text; the zoom stays.
    drag(at(101, 100), at(300, 341));
    ASSERT_EQ(graph->state().nZoomLevel, 1);
    QLineEdit* field = v->alarmPanel()->limitEdit(kAir, AlarmLimitSet::High);
    field->setFocus();
    field->setText(QStringLiteral("140.0"));
    field->end(false);
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_EQ(field->text(), QStringLiteral("140."));
    EXPECT_EQ(graph->state().nZoomLevel, 1);
    EXPECT_EQ(graph->state().bAutoMode, 0);
}

TEST_F(GraphMouse, ZoomedPictureShowsTheSelection)
{
    // A single flat AIR curve at 50 crosses a band of 40..60 in the middle.
    showOnly({kAir});
    setRun(200, [](int, int) { return 50.0f; });
    shot();
    // Rows 193..289 span 59.96 down to 40.04.
    drag(at(0, 193), at(600, 289));
    const QImage img = shot();
    EXPECT_EQ(graph->renderer().yLabel(0), "40.04");
    EXPECT_EQ(graph->renderer().yLabel(10), "59.96");
    // 50 sits in the middle of the zoomed plot, and nowhere else.
    EXPECT_EQ(px(img, geo.x0 + 300, geo.y0 + 241), kRed);
    EXPECT_EQ(countColor(img, QRect(geo.x0 + 300, geo.y0, 1, geo.H), kRed), 1);
}

TEST_F(GraphMouse, ZoomSurvivesAResize)
{
    drag(at(101, 100), at(300, 341));
    const QString top = graph->renderer().yLabel(10), bottom = graph->renderer().yLabel(0);
    const int first = graph->state().nFirstVisible;
    f->resize(f->width() + 200, f->height() + 100);
    QTRY_COMPARE(v->width(), kClientW + 200);
    shot();
    EXPECT_EQ(graph->state().nZoomLevel, 1);
    EXPECT_EQ(graph->renderer().yLabel(10), top);
    EXPECT_EQ(graph->renderer().yLabel(0), bottom);
    EXPECT_EQ(graph->state().nFirstVisible, first);
    // The selection's pixels follow the new plot size.
    EXPECT_NEAR(graph->frame().corners[0].sx, geo.x0 + 101.0 / 600 * 800, 0.01);
    EXPECT_NEAR(graph->frame().corners[0].ex, geo.x0 + 400, 0.01);
}

TEST_F(GraphMouse, FlatDragSwitchesToZoomModeWithoutALevel)
{
    drag(at(100, 200), at(400, 200));
    EXPECT_EQ(graph->state().bAutoMode, 0);
    EXPECT_EQ(graph->state().nZoomLevel, 0);
    EXPECT_TRUE(undoEnabled());
    // The level-0 picture stays: same labels.
    EXPECT_EQ(graph->renderer().yLabel(10), "100.00");
}

TEST_F(GraphMouse, NestedZoomStopsAt99Levels)
{
    for (int i = 0; i < 101; ++i)
        drag(at(0, 0), at(600, 482));
    EXPECT_EQ(graph->state().nZoomLevel, 99);
    EXPECT_EQ(graph->state().bAutoMode, 0);
    // Whole-plot selections keep the scale: level 99 reads like level 0.
    EXPECT_EQ(graph->renderer().yLabel(10), "100.00");
    undoZoom();
    EXPECT_EQ(graph->state().nZoomLevel, 0);
}

TEST_F(GraphMouse, LeavingTheSurroundingsCancelsTheBand)
{
    QTest::mousePress(v, Qt::LeftButton, {}, at(100, 100));
    QTest::mouseMove(v, at(300, 300));
    EXPECT_EQ(graph->state().bDragging, 1);
    EXPECT_TRUE(graph->bandWatchRunning());
    // The band's frame is drawn over the picture: every other pixel of its
    // top edge inverted (white on the black plot).
    const QImage img = screen();
    EXPECT_NEAR(countColor(img, QRect(geo.x0 + 100, geo.y0 + 100, 201, 1), Qt::white), 100, 5);
    EXPECT_NEAR(countColor(img, QRect(geo.x0 + 100, geo.y0 + 100, 1, 201), Qt::white), 100, 5);
    QTest::mouseMove(v, QPoint(100, 300));  // over the meter face
    QTRY_COMPARE_WITH_TIMEOUT(graph->state().bBandActive, uint8_t(0), 1000);
    EXPECT_EQ(graph->state().bDragging, 0);
    EXPECT_FALSE(graph->bandWatchRunning());
    QTest::mouseRelease(v, Qt::LeftButton, {}, at(300, 300));
    EXPECT_EQ(graph->state().bAutoMode, 1);
    EXPECT_EQ(graph->state().nZoomLevel, 0);
    EXPECT_FALSE(undoEnabled());
}

TEST_F(GraphMouse, ReadoutOfTheNearestSample)
{
    // 200 samples at capacity 209: 600 / 208 px per sample.
    const double dx = 600.0 / 208;
    series->values[kKir][10] = 123.46f;
    QTest::mouseMove(v, at(int(10 * dx + 1), 50));
    EXPECT_EQ(graph->state().nCursorSample, 10);
    EXPECT_EQ(f->paneText(1), "time:" + LocalTime::format(kStart + 10, "%H:%M:%S"));
    EXPECT_EQ(f->paneText(2), "AIR:21.0 C    WB:22.0 C    DP:23.0 C    K/IR:123.4 C    RH:50.0 %RH");
    // The cursor overlay over the cached picture: white dots on the black
    // plot at the pointer.
    const QImage img = screen();
    EXPECT_GT(countColor(img, QRect(geo.x0 + int(10 * dx + 1), geo.y0 + 250, 1, 40), Qt::white), 10);

    // K/IR at or below -1000 reads as dashes.
    series->values[kKir][11] = -1000.0f;
    QTest::mouseMove(v, at(int(11 * dx + 0.5), 50));
    EXPECT_TRUE(f->paneText(2).contains("K/IR:----    RH:")) << f->paneText(2).toStdString();

    // Degrees F: the K/IR reading is cut, AIR is rounded by the format.
    run->m_bFahrenheit = true;
    series->values[kAir][12] = 25.03f;
    series->values[kKir][12] = 25.03f;
    QTest::mouseMove(v, at(int(12 * dx + 0.5), 50));
    EXPECT_TRUE(f->paneText(2).startsWith("AIR:77.1 F    ")) << f->paneText(2).toStdString();
    EXPECT_TRUE(f->paneText(2).contains("K/IR:77.0 F    RH:50.0 %RH")) << f->paneText(2).toStdString();

    // Just right of the last sample (199 at 574.04) and nearer to it than to
    // the next position: the last sample reads.
    QTest::mouseMove(v, at(575, 50));
    EXPECT_EQ(graph->state().nCursorSample, 199);
    EXPECT_EQ(f->paneText(1), "time:" + LocalTime::format(kStart + 199, "%H:%M:%S"));
    // Past the last sample the status bar keeps its texts; the line follows.
    const QString last = f->paneText(2);
    QTest::mouseMove(v, at(599, 50));
    EXPECT_EQ(graph->state().nCursorSample, 208);
    EXPECT_EQ(f->paneText(2), last);
    EXPECT_EQ(graph->state().nCursorX, geo.x0 + 599);
}

TEST_F(GraphMouse, CursorLineKeepsThroughCommitsOnly)
{
    QTest::mouseMove(v, at(100, 50));
    v->repaint(QRect(geo.x0 + 100, geo.y0, 1, geo.H));  // the overlay's own paint
    EXPECT_EQ(graph->state().bCursorHidden, 0);
    // A panel's area repainting reuses the picture.
    v->repaint(QRect(0, 300, 100, 100));
    EXPECT_EQ(graph->state().bCursorHidden, 0);
    // The repaint of a committed sample keeps the line.
    graph->onSampleCommitted();
    v->repaint();
    EXPECT_EQ(graph->state().bCursorHidden, 0);
    EXPECT_FALSE(graph->commitRepaintPending());
    EXPECT_GT(countColor(screen(), QRect(geo.x0 + 100, geo.y0, 1, geo.H), Qt::white), 100);
    // Any other full repaint removes it until the pointer moves again.
    v->repaint();
    EXPECT_EQ(graph->state().bCursorHidden, 1);
    EXPECT_EQ(countColor(screen(), QRect(geo.x0 + 100, geo.y0, 1, geo.H), Qt::white), 0);
}

TEST_F(GraphMouse, ScrollStripShiftsTheZoomedCurves)
{
    drag(at(0, 0), at(300, 482));  // the first half, full height
    const int fv = graph->state().nFirstVisible;
    EXPECT_EQ(fv, 0);
    QScrollBar* bar = v->scrollStrip()->scrollBar();
    bar->setValue(50);  // sample 50 to the left edge
    EXPECT_EQ(graph->state().nScrollShift, -50);
    shot();
    EXPECT_EQ(graph->renderer().timeLabel(0), LocalTime::format(kStart + 50, "%H:%M:%S"));
    // The read-out follows the shifted picture.
    QTest::mouseMove(v, at(0, 50));
    EXPECT_EQ(graph->state().nCursorSample, 50);
    // Zooming in the shifted picture selects what was under the band.
    drag(at(0, 0), at(300, 482));
    EXPECT_EQ(graph->state().nScrollShift, 0);
    EXPECT_EQ(graph->state().nFirstVisible, 50);
}

// --- Commits ---

// The view's paint events, as Qt delivers them.
class PaintLog : public QObject {
public:
    QRegion region;
    int paints = 0;
    void clear()
    {
        region = QRegion();
        paints = 0;
    }

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint) {
            region += static_cast<QPaintEvent*>(e)->region();
            ++paints;
        }
        return false;
    }
};

class GraphCommits : public GraphView {
protected:
    void SetUp() override
    {
        GraphView::SetUp();
        v->installEventFilter(&log);
    }
    void TearDown() override
    {
        v->removeEventFilter(&log);
        GraphView::TearDown();
    }
    static float value(int c, int s) { return c == kRh ? 40.0f + 0.5f * float(s % 40) : 12.0f + 0.1f * float(s) + 3.0f * float(c); }
    // A run of `count` samples, painted on screen, with no paint pending.
    void startWith(int count)
    {
        setRun(count, value);
        v->repaint();
        log.clear();
    }
    // The recorder commits sample `count - 1`; returns once the view painted.
    void commit(int count)
    {
        for (int c = 0; c < kChannelCount; ++c)
            series->values[c][count - 1] = value(c, count - 1);
        run->m_nCount = count;
        log.clear();
        v->onSampleCommitted();
        ASSERT_TRUE(QTest::qWaitFor([this] { return log.paints > 0; }));
    }
    // The view's pixels in the window's backing store, as last painted.
    QImage onScreen() const
    {
        const QPoint at = v->mapTo(f.get(), QPoint(0, 0));
        return f->screen()->grabWindow(f->winId(), at.x(), at.y(), v->width(), v->height()).toImage().convertToFormat(
            QImage::Format_RGB32);
    }
    // The same view after a full repaint.
    QImage repainted()
    {
        graph->invalidate();
        v->repaint();
        return onScreen();
    }
    // The view's own area: what its panels do not cover.
    QRegion uncovered() const
    {
        QRegion r(v->rect());
        for (const QWidget* child : v->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (child->isVisible())
                r -= child->geometry();
        return r;
    }
    static int differing(const QImage& a, const QImage& b, const QRegion& where = QRegion(0, 0, 1 << 20, 1 << 20))
    {
        if (a.size() != b.size())
            return -1;
        int n = 0;
        for (QRect r : where) {
            r &= a.rect();
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    n += a.pixel(x, y) != b.pixel(x, y);
        }
        return n;
    }

    PaintLog log;
};

TEST_F(GraphCommits, ACommitThatKeepsTheChromePaintsThePlotAlone)
{
    startWith(50);
    const QImage before = onScreen();
    ASSERT_FALSE(before.isNull());
    const int chromePaints = graph->renderer().chromePaints();
    commit(51);
    EXPECT_EQ(graph->renderer().chromePaints(), chromePaints);
    EXPECT_EQ(log.paints, 1);
    EXPECT_EQ(log.region, QRegion(graph->renderer().plotRect()));
    const QImage painted = onScreen();
    // The new segment is on screen, and the view is what a full repaint gives.
    EXPECT_GT(differing(before, painted), 0);
    EXPECT_EQ(differing(painted, repainted()), 0);
}

TEST_F(GraphCommits, ACommitThatChangesTheChromePaintsTheWholeView)
{
    struct Case {
        const char* what;
        int from;  // samples before the commit
        bool chromeChanges;
    };
    const Case cases[] = {
        {"the first sample stamps the first time label", 0, true},
        {"the second sample draws the first segment", 1, false},
        {"the plot not yet full", 99, false},
        {"the run outgrows the plot: compressed, the grid and labels move", 100, true},
        {"the compressed run grows", 101, false},
    };
    for (const Case& k : cases) {
        startWith(k.from);
        const int chromePaints = graph->renderer().chromePaints();
        commit(k.from + 1);
        EXPECT_EQ(graph->renderer().chromePaints() != chromePaints, k.chromeChanges) << k.what;
        EXPECT_EQ(log.paints, 1) << k.what;
        const QRegion expected = k.chromeChanges ? uncovered() : QRegion(graph->renderer().plotRect());
        EXPECT_EQ(log.region, expected) << k.what;
        const QImage painted = onScreen();
        EXPECT_EQ(differing(painted, repainted()), 0) << k.what;
    }
}

TEST_F(GraphCommits, TheCursorLineKeepsThroughAPlotOnlyCommit)
{
    startWith(50);
    QTest::mouseMove(v, at(30, 50));
    ASSERT_TRUE(QTest::qWaitFor([this] { return log.paints > 0; }));
    ASSERT_EQ(graph->state().bCursorHidden, 0);
    commit(51);
    EXPECT_EQ(log.region, QRegion(graph->renderer().plotRect()));
    EXPECT_EQ(graph->state().bCursorHidden, 0);
    EXPECT_FALSE(graph->commitRepaintPending());
    // On screen: the new picture with the line over it, below the plot too.
    const QImage painted = onScreen();
    const QImage expected = screen();
    EXPECT_EQ(differing(painted, expected, graph->renderer().plotRect()), 0);
    EXPECT_EQ(differing(painted, expected, uncovered() & QRect(geo.x0 + 30, 0, 1, v->height())), 0);
    EXPECT_GT(countColor(painted, QRect(geo.x0 + 30, geo.y0, 1, geo.H), Qt::white), 100);
}

TEST_F(GraphCommits, AChangeBetweenACommitAndItsPaintIsShown)
{
    // The commit draws its picture at once; a curve hidden before the
    // view paints it must still be drawn again.
    for (const int from : {50, 100}) {
        startWith(from);
        for (int c = 0; c < kChannelCount; ++c)
            series->values[c][from] = value(c, from);
        run->m_nCount = from + 1;
        v->onSampleCommitted();
        emit v->curveBar()->curveChosen(kRh);  // the user picks RH alone
        ASSERT_TRUE(QTest::qWaitFor([this] { return log.paints > 0; }));
        const QImage painted = onScreen();
        EXPECT_EQ(countColor(painted, plotRect(), kRed), 0) << from;
        EXPECT_EQ(differing(painted, repainted(), uncovered()), 0) << from;
        emit v->curveBar()->combineChosen();
    }
}

TEST_F(GraphCommits, AHiddenViewDrawsItsCommitsWhenShownAgain)
{
    startWith(50);
    f->hide();
    for (int c = 0; c < kChannelCount; ++c)
        series->values[c][50] = value(c, 50);
    run->m_nCount = 51;
    v->onSampleCommitted();
    // Nothing is drawn for a view nobody sees.
    EXPECT_EQ(graph->frame().count, 50);
    f->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
    ASSERT_TRUE(QTest::qWaitFor([this] { return graph->frame().count == 51; }));
    EXPECT_EQ(differing(onScreen(), repainted(), uncovered()), 0);
}

} // namespace
