// The curve painter keeps per pixel column only the first, lowest, highest
// and last point: its picture must be the picture of drawing every segment,
// pixel for pixel, whatever the run, the width, the zoom and the curves,
// whether it writes a column's span straight into an image or draws it as
// segments through a clipped, translated painter. A reading that is no
// number leaves a gap in its curve.
#include "ZoomScenes.h"

#include "data/ReadingStore.h"
#include "graph/RealtimeGraph.h"
#include "run/RunState.h"
#include "widgets/CurvePainter.h"

#include <QImage>
#include <QPainter>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <random>

namespace {

enum class Data { Smooth, Noisy, Extremes, NonFinite };

// How the painter meets its picture: an image as it is (spans are written
// into it directly), or a larger image through a translated painter clipped
// to the plot (every column drawn as segments), as a printer or a widget's
// painter would be.
enum class Target { Image, ClippedTranslated };

struct Scene {
    const char* name;
    int samples;
    int clientWidth;
    Data data;
    int zoomLevels;       // 0: auto mode
    CurveSet shown;
    bool fahrenheit;
    Target target = Target::Image;
};

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

void fill(LiveSeries& s, int n, Data data)
{
    std::mt19937 rng(740);
    std::uniform_real_distribution<float> anywhere(-20.0f, 120.0f);  // beyond the 0..100 scale too
    for (int i = 0; i < n; ++i) {
        const double t = i / double(n);
        for (int c = 0; c < kChannelCount; ++c) {
            float v = 0;
            switch (data) {
            case Data::Smooth:
                v = float(20 + 10 * c + 8 * std::sin(t * 6.283 * (c + 1)) + 0.3 * std::sin(i * 1.7));
                break;
            case Data::Noisy:
                v = anywhere(rng);
                break;
            case Data::Extremes:
                v = i % 97 == 0 ? (i % 2 ? 5.0e6f : -5.0e6f) : anywhere(rng);
                if (c == kKir && i % 13 == 0)
                    v = kKirNoReading;
                break;
            case Data::NonFinite:
                // Gaps alone, in pairs and in runs, inside columns and
                // between them; the largest reading, which degrees F make
                // infinite.
                v = anywhere(rng);
                if (i % 7 == 0 || (i % 53 >= 20 && i % 53 < 24))
                    v = kNaN;
                else if (i % 11 == 0)
                    v = (i + c) % 2 ? kInf : -kInf;
                else if (i % 101 == 0)
                    v = std::numeric_limits<float>::max();
                break;
            }
            s.values[c][i] = v;
        }
    }
}

// The plot of one scene drawn both ways.
void drawBothWays(const Scene& sc, QImage& decimated, QImage& everySegment)
{
    auto series = std::make_unique<LiveSeries>();
    fill(*series, sc.samples, sc.data);
    RunState run;
    run.m_nCount = sc.samples;
    run.m_nSampleMs = 1000;
    run.m_bFahrenheit = sc.fahrenheit;
    const RunView view = RunView::of(*series, run.info());
    const QSize window(sc.clientWidth, 900);
    const PlotGeometry geo = PlotGeometry::fromClient(window.width(), window.height());
    auto st = std::make_unique<GraphState>();
    auto frame = std::make_unique<plot::PlotFrame>();
    plot::settleLive(*st, sc.samples, geo.W);
    plot::layoutFrame(*st, window, &view.info(), {}, kRealtimePolicy, *frame);
    if (sc.zoomLevels > 0) {
        const int mid = sc.samples / 2;
        const auto [fx, fy] = pointFractions(*frame, kAir, series->values[kAir][mid], mid);
        zoomCentredOn(*st, fx, fy, sc.zoomLevels, 0.9);
        plot::settleLive(*st, sc.samples, geo.W);
        plot::layoutFrame(*st, window, &view.info(), {}, kRealtimePolicy, *frame);
    }
    const plot::CurveMap map = frame->map;
    const ClipBox box {-2.0, -2.0, geo.W + 2.0, geo.H + 2.0};
    CurvePainter painter;
    for (QImage* img : {&decimated, &everySegment}) {
        // Through a translated, clipped painter the plot sits at (kAt, kAt)
        // of a larger image: the picture is the part the clip leaves, and
        // nothing lands outside it.
        constexpr int kAt = 7;
        const bool clipped = sc.target == Target::ClippedTranslated;
        QImage whole(geo.W + (clipped ? 2 * kAt : 0), geo.H + (clipped ? 2 * kAt : 0), QImage::Format_RGB32);
        whole.fill(Qt::black);
        {
            QPainter p(&whole);
            if (clipped) {
                p.translate(kAt, kAt);
                p.setClipRect(0, 0, geo.W, geo.H);
            }
            if (img == &decimated)
                painter.draw(p, view, sc.samples, sc.shown, map, box);
            else
                painter.drawEverySegment(p, view, sc.samples, sc.shown, map, box);
        }
        *img = clipped ? whole.copy(kAt, kAt, geo.W, geo.H) : whole;
        if (clipped) {
            QImage outside = whole;
            {
                QPainter blank(&outside);
                blank.fillRect(kAt, kAt, geo.W, geo.H, Qt::black);
            }
            int lit = 0;
            for (int y = 0; y < outside.height(); ++y)
                for (int x = 0; x < outside.width(); ++x)
                    lit += (outside.pixel(x, y) & 0xffffff) != 0;
            EXPECT_EQ(lit, 0) << "nothing outside the clip";
        }
    }
}

int curvePixels(const QImage& img)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x)
            n += (line[x] & 0xffffff) != 0;
    }
    return n;
}

} // namespace

TEST(CurveDecimation, SamePixelsAsDrawingEverySegment)
{
    const CurveSet all = kAllCurves;
    const CurveSet noWb {true, false, true, true, true};
    const Scene scenes[] = {
        {"auto 1000 x 800", 1000, 800, Data::Smooth, 0, all, false},
        {"auto 5000 x 800", 5000, 800, Data::Smooth, 0, all, false},
        {"auto 10000 x 800", 10000, 800, Data::Smooth, 0, all, false},
        {"auto 1000 x 2400", 1000, 2400, Data::Smooth, 0, all, false},
        {"auto 10000 x 2400", 10000, 2400, Data::Smooth, 0, all, false},
        {"noisy 10000 x 800", 10000, 800, Data::Noisy, 0, all, false},
        {"noisy 10000 x 2400", 10000, 2400, Data::Noisy, 0, all, false},
        {"auto 10000 x 3840", 10000, 3840, Data::Smooth, 0, all, false},
        {"noisy 10000 x 3840", 10000, 3840, Data::Noisy, 0, all, false},
        {"zoom 1 level", 10000, 1200, Data::Smooth, 1, all, false},
        {"zoom 99 levels", 10000, 1200, Data::Smooth, 99, all, false},
        {"zoom 99 levels, noisy", 10000, 1200, Data::Noisy, 99, all, false},
        {"far-off values and missing K/IR", 10000, 1200, Data::Extremes, 0, all, false},
        {"zoom 20 levels, far-off values", 10000, 1200, Data::Extremes, 20, all, false},
        {"WB hidden", 10000, 1200, Data::Smooth, 0, noWb, false},
        {"degrees F", 10000, 1200, Data::Noisy, 0, all, true},
        {"readings that are no number", 10000, 800, Data::NonFinite, 0, all, false},
        {"readings that are no number, wide", 1000, 2400, Data::NonFinite, 0, all, false},
        {"readings that are no number, degrees F", 10000, 1200, Data::NonFinite, 0, all, true},
        {"readings that are no number, zoom 20 levels", 10000, 1200, Data::NonFinite, 20, all, false},
        // Each column as its segments: first, lowest, highest and last.
        {"clipped, translated: noisy 10000 x 800", 10000, 800, Data::Noisy, 0, all, false,
         Target::ClippedTranslated},
        {"clipped, translated: smooth 5000 x 800", 5000, 800, Data::Smooth, 0, all, false,
         Target::ClippedTranslated},
        {"clipped, translated: zoom 20 levels, far-off values", 10000, 1200, Data::Extremes, 20, all, false,
         Target::ClippedTranslated},
        {"clipped, translated: readings that are no number", 10000, 800, Data::NonFinite, 0, all, true,
         Target::ClippedTranslated},
    };
    for (const Scene& sc : scenes) {
        SCOPED_TRACE(sc.name);
        QImage decimated, everySegment;
        drawBothWays(sc, decimated, everySegment);
        ASSERT_GT(curvePixels(everySegment), 0) << "the scene draws curves";
        int differing = 0;
        for (int y = 0; y < decimated.height(); ++y)
            for (int x = 0; x < decimated.width(); ++x)
                differing += decimated.pixel(x, y) != everySegment.pixel(x, y);
        EXPECT_EQ(differing, 0);
    }
}

TEST(CurveDecimation, AReadingThatIsNoNumberLeavesAGap)
{
    // Nine samples 50 pixels apart, AIR at 50 on a plot 100 high, with a
    // NaN at sample 2, +inf at 5 and -inf at 7: only the segments 0-1 and
    // 3-4 have two ends to join. The map places the plot at (10, 10), as
    // the logger's does at its margins, and the origin takes it back.
    const float air[9] = {50, 50, kNaN, 50, 50, kInf, 50, -kInf, 50};
    auto series = std::make_unique<LiveSeries>();
    for (int s = 0; s < 9; ++s)
        series->values[kAir][s] = air[s];
    RunInfo info;
    info.count = 9;
    info.interval = 1;
    const RunView view = RunView::of(*series, info);
    plot::CurveMap map;
    map.X0 = 10;
    map.dx = 50;
    map.baseH = 100;
    map.yScale = 1;
    map.by = 10;
    const ClipBox box {8, 8, 413, 113};
    const QPoint origin(10, 10);
    const CurveSet airOnly {true, false, false, false, false};
    CurvePainter painter;
    for (int way = 0; way < 3; ++way) {
        SCOPED_TRACE(way == 0 ? "spans into the image" : way == 1 ? "segments, clipped and translated"
                                                                  : "every segment");
        QImage whole(421, 121, QImage::Format_RGB32);
        whole.fill(Qt::black);
        {
            QPainter p(&whole);
            if (way == 1) {
                p.translate(10, 10);
                p.setClipRect(0, 0, 401, 101);
            }
            if (way == 2)
                painter.drawEverySegment(p, view, 9, airOnly, map, box, origin);
            else
                painter.draw(p, view, 9, airOnly, map, box, origin);
        }
        const QImage img = way == 1 ? whole.copy(10, 10, 401, 101) : whole.copy(0, 0, 401, 101);
        QString lit;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if ((img.pixel(x, y) & 0xffffff) != 0 && !(y == 50 && ((x >= 0 && x <= 50) || (x >= 150 && x <= 200))))
                    lit += QStringLiteral(" (%1,%2)").arg(x).arg(y);
        EXPECT_TRUE(lit.isEmpty()) << "lit outside the two segments:" << lit.left(200).toStdString();
        EXPECT_EQ(curvePixels(img), 51 + 51) << "both segments drawn";
    }
}

namespace {

// The image an aliased cosmetic line from (x, y0) to (x + 1, y1) should
// leave in a black image by NeighbourConnector, and Qt's own drawing of it.
int connectorDifferences(QImage& qt, int x, int y0, int y1)
{
    qt.fill(Qt::black);
    {
        QPainter p(&qt);
        p.setPen(QPen(QColor(255, 0, 0), 0));
        p.drawLine(x, y0, x + 1, y1);
    }
    const NeighbourConnector rows = NeighbourConnector::of(y0, y1);
    int differing = 0;
    for (int py = 0; py < qt.height(); ++py) {
        const QRgb* line = reinterpret_cast<const QRgb*>(qt.constScanLine(py));
        for (int px = 0; px < qt.width(); ++px) {
            const bool want = (px == x && py >= rows.lo && py <= rows.hi) || (px == x + 1 && py == y1);
            differing += ((line[px] & 0xffffff) != 0) != want;
        }
    }
    return differing;
}

} // namespace

TEST(CurveDecimation, ConnectorRuleIsQtsOwn)
{
    // Every line the painter writes by the rule, against Qt drawing it:
    // downward and upward, at the left and right columns. Whole, in an
    // image taller than the longest of them (Qt's stepping along a line
    // depends on its length within the image), and in a short image
    // ending on and crossing its top and bottom rows, and far beyond both.
    constexpr int kW = 5, kTall = NeighbourConnector::kMaxUp + 8, kShort = 48;
    QImage tall(kW, kTall, QImage::Format_RGB32);
    QImage shortImage(kW, kShort, QImage::Format_RGB32);
    int checked = 0;
    for (int dy = -NeighbourConnector::kMaxUp - 4; dy <= 200; ++dy) {
        if (!NeighbourConnector::known(0, dy))
            continue;
        const int len = std::abs(dy);
        struct Placement {
            QImage* image;
            int top;  // the line's upper end
        };
        const int h = kShort;
        const Placement placements[] = {
            {&tall, 1}, {&tall, kTall - 2 - len},
            {&shortImage, -len - 1}, {&shortImage, -len}, {&shortImage, -len / 2}, {&shortImage, -1},
            {&shortImage, 0}, {&shortImage, 1}, {&shortImage, h / 2 - len / 2}, {&shortImage, h - 2 - len},
            {&shortImage, h - 1 - len}, {&shortImage, h - len}, {&shortImage, h - 1}, {&shortImage, h},
        };
        for (int x : {0, 1, kW - 2}) {
            for (const Placement& at : placements) {
                const int y0 = dy >= 0 ? at.top : at.top + len;
                const int y1 = y0 + dy;
                const int differing = connectorDifferences(*at.image, x, y0, y1);
                ++checked;
                ASSERT_EQ(differing, 0) << "Qt draws the line from (" << x << ", " << y0 << ") to (" << x + 1 << ", "
                                        << y1 << ") otherwise, in an image " << at.image->height() << " high";
            }
        }
    }
    EXPECT_GT(checked, 14 * 3 * 400);
}

namespace {

// How a scene of directly written connectors meets its picture.
enum class Way { Image, ImageWithOrigin, ClippedTranslated };
// Where its rows lie: inside the picture, ending on its top or bottom row,
// or with half of every segment beyond that row.
enum class Place { Inside, OnTop, AcrossTop, OnBottom, AcrossBottom };

struct ConnectorScene {
    const char* name;
    Place place;
    int samplesPerColumn;  // 1: every segment joins two columns
    Way way;
};

} // namespace

TEST(CurveDecimation, DirectConnectorsSamePixelsAsQt)
{
    // Per length d of 0..200: one curve zigzags down, up, down ... and
    // another up, down, up ... across a picture six columns wide, so that
    // every column has a connector to the next in both directions, the
    // first and the last column included.
    constexpr int kW = 6, kH = 256;
    const ConnectorScene scenes[] = {
        {"inside", Place::Inside, 1, Way::Image},
        {"on the top row", Place::OnTop, 1, Way::Image},
        {"across the top row", Place::AcrossTop, 1, Way::Image},
        {"on the bottom row", Place::OnBottom, 1, Way::Image},
        {"across the bottom row", Place::AcrossBottom, 1, Way::Image},
        {"two samples a column", Place::Inside, 2, Way::Image},
        {"two samples a column, across the bottom row", Place::AcrossBottom, 2, Way::Image},
        {"map offset by an origin", Place::AcrossTop, 1, Way::ImageWithOrigin},
        {"clipped, translated", Place::OnTop, 1, Way::ClippedTranslated},
        {"clipped, translated, two samples a column", Place::AcrossBottom, 2, Way::ClippedTranslated},
    };
    const CurveSet two {true, true, false, false, false};
    CurvePainter painter;
    for (const ConnectorScene& sc : scenes) {
        SCOPED_TRACE(sc.name);
        for (int d = 0; d <= 200; ++d) {
            SCOPED_TRACE(d);
            const int top = sc.place == Place::Inside       ? 20
                            : sc.place == Place::OnTop      ? 0
                            : sc.place == Place::AcrossTop  ? -d / 2
                            : sc.place == Place::OnBottom   ? kH - 1 - d
                                                            : kH - 1 - d / 2;
            const int per = sc.samplesPerColumn;
            const int samples = kW * per;
            // A column's first sample at the upper or lower row, any other
            // a third of the way toward the other row: the connector to
            // the next column leaves from there.
            auto rowOf = [&](bool startsHigh, int s) {
                const bool high = (s / per % 2 == 0) == startsHigh;
                if (s % per == 0)
                    return high ? top : top + d;
                return high ? top + d / 3 : top + d - d / 3;
            };
            auto series = std::make_unique<LiveSeries>();
            for (int s = 0; s < samples; ++s) {
                // y = -value on this map
                series->values[kAir][s] = float(-rowOf(true, s));
                series->values[kWb][s] = float(-rowOf(false, s));
            }
            RunInfo info;
            info.count = samples;
            info.interval = 1;
            const RunView view = RunView::of(*series, info);
            const QPoint origin = sc.way == Way::ImageWithOrigin ? QPoint(10, 10) : QPoint();
            plot::CurveMap map;
            map.X0 = origin.x();
            map.dx = 1.0 / per;
            map.baseH = 0;
            map.yScale = 1;
            map.by = origin.y();
            const ClipBox box {origin.x() - 2.0, origin.y() - 2.0, origin.x() + kW + 2.0, origin.y() + kH + 2.0};
            QImage pictures[2];
            for (int k = 0; k < 2; ++k) {
                constexpr int kAt = 7;
                const bool clipped = sc.way == Way::ClippedTranslated;
                QImage whole(kW + (clipped ? 2 * kAt : 0), kH + (clipped ? 2 * kAt : 0), QImage::Format_RGB32);
                whole.fill(Qt::black);
                {
                    QPainter p(&whole);
                    if (clipped) {
                        p.translate(kAt, kAt);
                        p.setClipRect(0, 0, kW, kH);
                    }
                    if (k == 0)
                        painter.draw(p, view, samples, two, map, box, origin);
                    else
                        painter.drawEverySegment(p, view, samples, two, map, box, origin);
                }
                if (k == 0 && !clipped) {
                    // The connectors the rule covers are all written, the
                    // others (long downward lines) left to Qt.
                    if (d <= NeighbourConnector::kMaxDown) {
                        EXPECT_EQ(painter.qtSegments(), 0);
                    } else if (per == 1) {
                        EXPECT_GT(painter.qtSegments(), 0);
                    }
                }
                pictures[k] = clipped ? whole.copy(kAt, kAt, kW, kH) : whole;
            }
            ASSERT_GT(curvePixels(pictures[1]), 0) << "the scene draws curves";
            int differing = 0;
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x)
                    differing += pictures[0].pixel(x, y) != pictures[1].pixel(x, y);
            ASSERT_EQ(differing, 0);
        }
    }
}

TEST(CurveDecimation, AMapThatOverflowsLeavesGapsAsDrawingEverySegment)
{
    // A map steep enough that ordinary readings overflow to an infinite y:
    // those are gaps however small the reading; the zeros between them
    // are drawn on row 50, as drawing every segment draws them.
    constexpr int kN = 400;
    auto series = std::make_unique<LiveSeries>();
    for (int s = 0; s < kN; ++s)
        series->values[kAir][s] = s % 5 == 0 ? 1.0e10f : 0.0f;
    RunInfo info;
    info.count = kN;
    info.interval = 1;
    const RunView view = RunView::of(*series, info);
    plot::CurveMap map;
    map.dx = 0.25;  // four samples a column
    map.baseH = 0;
    map.yScale = 1;
    map.ay = 1e300;
    map.by = 50;
    const ClipBox box {-2, -2, 102, 102};
    const CurveSet airOnly {true, false, false, false, false};
    CurvePainter painter;
    for (bool clipped : {false, true}) {
        SCOPED_TRACE(clipped ? "clipped, translated" : "into the image");
        QImage pictures[2];
        for (int k = 0; k < 2; ++k) {
            QImage whole(100 + (clipped ? 10 : 0), 100 + (clipped ? 10 : 0), QImage::Format_RGB32);
            whole.fill(Qt::black);
            {
                QPainter p(&whole);
                if (clipped) {
                    p.translate(5, 5);
                    p.setClipRect(0, 0, 100, 100);
                }
                if (k == 0)
                    painter.draw(p, view, kN, airOnly, map, box);
                else
                    painter.drawEverySegment(p, view, kN, airOnly, map, box);
            }
            pictures[k] = clipped ? whole.copy(5, 5, 100, 100) : whole;
        }
        ASSERT_GT(curvePixels(pictures[1]), 0) << "the scene draws curves";
        EXPECT_EQ(pictures[0], pictures[1]);
    }
}
